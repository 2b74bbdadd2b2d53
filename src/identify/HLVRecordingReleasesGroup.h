#pragma once

#include "HLVRecordingRelease.h"

#include <QList>
#include <memory>

// The result of one release query: the recording, its artist and the
// accepted releases in the order they should be offered.
class HLVRecordingReleasesGroup
{
public:
    const std::optional<QString>& ArtistName() const { return _ArtistName; }
    void setArtistName(const std::optional<QString>& v) { _ArtistName = v; }
    const std::optional<QString>& ArtistID() const { return _ArtistID; }
    void setArtistID(const std::optional<QString>& v) { _ArtistID = v; }
    const std::optional<QString>& TrackName() const { return _TrackName; }
    void setTrackName(const std::optional<QString>& v) { _TrackName = v; }
    const std::optional<QString>& RecordingID() const { return _RecordingID; }
    void setRecordingID(const std::optional<QString>& v) { _RecordingID = v; }

    QList<std::shared_ptr<HLVRecordingRelease>>& RecordingReleases() { return _RecordingReleases; }
    const QList<std::shared_ptr<HLVRecordingRelease>>& RecordingReleases() const { return _RecordingReleases; }

    // Solo albums, then solo singles, then compilation albums, then
    // compilation singles; the service's order within each.
    void sortReleases();

private:
    std::optional<QString> _ArtistName;
    std::optional<QString> _ArtistID;
    std::optional<QString> _TrackName;
    std::optional<QString> _RecordingID;
    QList<std::shared_ptr<HLVRecordingRelease>> _RecordingReleases;
};
