#include "HLVRecordingReleasesGroup.h"

#include <algorithm>

void HLVRecordingReleasesGroup::sortReleases()
{
    auto bucket = [](const std::shared_ptr<HLVRecordingRelease>& release) {
        return (release->IsCompilation() ? 2 : 0) + (release->IsSingle() ? 1 : 0);
    };
    std::stable_sort(_RecordingReleases.begin(), _RecordingReleases.end(),
                     [&](const auto& a, const auto& b) { return bucket(a) < bucket(b); });
}
