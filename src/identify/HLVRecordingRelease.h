#pragma once

#include <QString>
#include <optional>

// One candidate release of an identified recording, as the release query
// filled it from the MusicBrainz reply.
class HLVRecordingRelease
{
#define HLV_RELEASE_FIELD(Type, Name, Default)                          \
public:                                                                 \
    const Type& Name() const { return _##Name; }                        \
    void set##Name(const Type& value) { _##Name = value; }              \
private:                                                                \
    Type _##Name = Default;

    HLV_RELEASE_FIELD(bool, IsCompilation, false)
    HLV_RELEASE_FIELD(bool, IsSingle, false)
    HLV_RELEASE_FIELD(int, TrackCount, 0)
    HLV_RELEASE_FIELD(int, TrackPosition, 0)
    HLV_RELEASE_FIELD(int, DiscCount, 0)
    HLV_RELEASE_FIELD(int, DiscPosition, 0)
    HLV_RELEASE_FIELD(std::optional<QString>, ReleaseID, std::nullopt)
    HLV_RELEASE_FIELD(std::optional<QString>, ReleaseTitle, std::nullopt)
    HLV_RELEASE_FIELD(std::optional<QString>, ReleaseYear, std::nullopt)
    HLV_RELEASE_FIELD(std::optional<QString>, ReleaseGenre, std::nullopt)
    HLV_RELEASE_FIELD(std::optional<QString>, TrackName, std::nullopt)
    HLV_RELEASE_FIELD(std::optional<QString>, ReleaseCountry, std::nullopt)

#undef HLV_RELEASE_FIELD
};
