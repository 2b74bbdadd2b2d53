#pragma once

#include <QString>
#include <optional>

// One candidate recording of an AcoustID reply.
struct HLVAcoustIDRecording
{
    std::optional<double> duration;       // length in seconds
    std::optional<QString> title;         // recording title
    std::optional<QString> identifier;    // MusicBrainz recording identifier
    std::optional<QString> artist;        // name of the first credited artist
    std::optional<QString> artistId;      // MusicBrainz identifier of that artist
};
