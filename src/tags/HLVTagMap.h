#pragma once

#include "HLVArtwork.h"
#include "HLVCustomTagValue.h"

#include <QString>
#include <memory>
#include <optional>

// What a map's artwork means for saving.
enum HLVArtworkState : int {
    HLVArtworkStateNone = 0,      // nothing to act on
    HLVArtworkStateInFile = 1,    // the file's own picture: leave it
    HLVArtworkStateChosen = 2,    // a picture chosen or loaded for display: write it
    HLVArtworkStateFound = 3,     // an address found by the artwork search: write it
    HLVArtworkStateRemove = 4,    // remove the file's picture
};

// The format-neutral record of a file's tags. A plain value holder: every field
// may be absent, which differs from 0 or the empty string. Copying (the copy
// constructor) gives a new custom-tag array that shares its elements.
class HLVTagMap
{
public:
    HLVTagMap() = default;
    HLVTagMap(const HLVTagMap&) = default;
    HLVTagMap& operator=(const HLVTagMap&) = default;

    // An independent copy of the source; an empty map when the source is null.
    static std::shared_ptr<HLVTagMap> initWithContentsOfTagMap(const std::shared_ptr<const HLVTagMap>& source);

#define HLV_TAGMAP_FIELD(Type, Name)                                    \
public:                                                                 \
    const Type& Name() const { return _##Name; }                        \
    void set##Name(const Type& value) { _##Name = value; }              \
private:                                                                \
    Type _##Name{};

    HLV_TAGMAP_FIELD(std::optional<QString>, AlbumArtist)
    HLV_TAGMAP_FIELD(std::optional<QString>, AlbumName)
    HLV_TAGMAP_FIELD(std::optional<QString>, ArtistName)
    HLV_TAGMAP_FIELD(HLVArtwork, Artwork)
    HLV_TAGMAP_FIELD(std::optional<QString>, ArtworkPath)
    HLV_TAGMAP_FIELD(int, ArtworkState)
    HLV_TAGMAP_FIELD(bool, ArtworkAttempted)
    HLV_TAGMAP_FIELD(std::optional<QString>, Comment)
    HLV_TAGMAP_FIELD(std::optional<int>, Compilation)
    HLV_TAGMAP_FIELD(std::optional<QString>, Composer)
    HLV_TAGMAP_FIELD(std::optional<int>, DiscNumber)
    HLV_TAGMAP_FIELD(std::optional<int>, DiscTotal)
    HLV_TAGMAP_FIELD(std::optional<QString>, Genre)
    HLV_TAGMAP_FIELD(std::optional<QString>, Grouping)
    HLV_TAGMAP_FIELD(std::optional<QString>, ReleaseMBID)
    HLV_TAGMAP_FIELD(std::optional<int>, ReleaseYear)
    HLV_TAGMAP_FIELD(std::optional<QString>, TrackName)
    HLV_TAGMAP_FIELD(std::optional<int>, TrackNumber)
    HLV_TAGMAP_FIELD(std::optional<int>, TrackTotal)
    HLV_TAGMAP_FIELD(std::optional<HLVCustomTagValueArray>, CustomTagValues)
    HLV_TAGMAP_FIELD(std::optional<QString>, CustomTagIdentifierString)

#undef HLV_TAGMAP_FIELD

public:
    // Convenience for a picture decoded elsewhere (a null image clears it).
    void setArtworkImage(const QImage& image) { _Artwork = HLVArtwork(image); }

    // The custom tag array is mutable in place, like the map's other owners expect.
    std::optional<HLVCustomTagValueArray>& CustomTagValues() { return _CustomTagValues; }
};
