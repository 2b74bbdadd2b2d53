#pragma once

#include <QString>
#include <optional>

// The recording that a file's fingerprint was matched to.
class HLVFingerprint
{
public:
    HLVFingerprint(const std::optional<QString>& recordingMBID, const std::optional<QString>& trackName,
                   const std::optional<QString>& artistMBID)
        : _RecordingMBID(recordingMBID), _TrackName(trackName), _ArtistMBID(artistMBID)
    {
    }

    const std::optional<QString>& ArtistMBID() const { return _ArtistMBID; }
    void setArtistMBID(const std::optional<QString>& value) { _ArtistMBID = value; }
    const std::optional<QString>& TrackName() const { return _TrackName; }
    void setTrackName(const std::optional<QString>& value) { _TrackName = value; }
    const std::optional<QString>& RecordingMBID() const { return _RecordingMBID; }
    void setRecordingMBID(const std::optional<QString>& value) { _RecordingMBID = value; }

private:
    std::optional<QString> _RecordingMBID;
    std::optional<QString> _TrackName;
    std::optional<QString> _ArtistMBID;
};
