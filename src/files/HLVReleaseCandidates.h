#pragma once

#include "HLVTagMap.h"

#include <QList>
#include <memory>
#include <optional>

class HLVRecordingReleasesGroup;

// Turns an identification result into candidate tag maps, one per release;
// those whose album matches the file's album (compared in lower case) go first.
namespace HLVReleaseCandidates {

QList<std::shared_ptr<HLVTagMap>> fromGroup(const HLVRecordingReleasesGroup& group,
                                            const std::optional<QString>& fileAlbum);

} // namespace HLVReleaseCandidates
