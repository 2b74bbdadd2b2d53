#include "HLVFuzz.h"
#include "HLVRecordingReleases.h"

#include <QSet>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

class Answer : public HLVRecordingReleasesDelegate
{
public:
    void OnRecordingReleasesObtained(const std::shared_ptr<HLVRecordingReleasesGroup>& group,
                                     const std::optional<HLVFailure>&) override
    {
        std::lock_guard lock(_mutex);
        ++_answers;
        _group = group;
        _arrived.notify_all();
    }

    // The first answer, waited for; false when none came in time.
    bool wait(std::shared_ptr<HLVRecordingReleasesGroup>& group)
    {
        std::unique_lock lock(_mutex);
        if (!_arrived.wait_for(lock, std::chrono::seconds(60), [this] { return _answers > 0; }))
            return false;
        group = _group;
        return true;
    }

    int answers()
    {
        std::lock_guard lock(_mutex);
        return _answers;
    }

private:
    std::mutex _mutex;
    std::condition_variable _arrived;
    int _answers = 0;
    std::shared_ptr<HLVRecordingReleasesGroup> _group;
};

} // namespace

// A MusicBrainz recording search reply: the releases a recording appeared on.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HLVFuzz::serveEveryRequest(HLVFuzz::bytes(data, size), "application/xml");
    auto answer = std::make_shared<Answer>();
    auto releases = std::make_shared<HLVRecordingReleases>();
    releases->setDelegate(answer);
    HLVFuzz::runOffTheMainThread([&] {
        releases->ObtianRecordingReleasesWithRecordingMBID(QStringLiteral("b1a9c0e9-d987-4042-ae91-78d6a3267d69"),
                                                           QStringLiteral("Yesterday"),
                                                           QStringLiteral("b10bbbfc-cf9e-42e0-be17-e2c3e1d2600d"));
    });
    std::shared_ptr<HLVRecordingReleasesGroup> group;
    HLVFuzz::expect(answer->wait(group), "no answer to a release query");
    if (group) {
        HLVFuzz::expect(!group->RecordingReleases().isEmpty(), "an answer without releases");
        QSet<QString> titles;
        for (const auto& release : group->RecordingReleases()) {
            HLVFuzz::expect(release != nullptr, "a null release");
            const auto& releaseTitle = release->ReleaseTitle();
            const QString title = releaseTitle ? QStringLiteral("title:") + releaseTitle->toCaseFolded() : QString();
            HLVFuzz::expect(!titles.contains(title), "the same release title twice");
            titles.insert(title);
        }
    }
    // Answered exactly once: nothing is left in flight to answer again.
    HLVFuzz::expect(answer->answers() == 1, "a release query answered twice");
    return 0;
}
