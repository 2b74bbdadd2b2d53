#include "HLVFileData.h"
#include "HLVTagLib.h"
#include "HLVTagMapMerge.h"

// What a record keeps of its file for lists: the details, and the tags of a
// throw-away read (the filter pass reads every file once without loading it).

using Lock = std::lock_guard<std::recursive_mutex>;

void HLVFileData::keepListing(const HLVTagMap& read, const std::optional<HLVFileDetails>& details)
{
    // Pictures and custom tags would make every row of a large list cost what
    // a loaded record costs; the details say what the picture is.
    auto listing = std::make_shared<HLVTagMap>(read);
    listing->setArtwork(HLVArtwork());
    listing->setCustomTagValues(std::nullopt);
    listing->setCustomTagIdentifierString(std::nullopt);
    Lock lock(_lock);
    if (_initialTagMap)
        return; // a load, newer than this read, serves lists now
    _listingTagMap = std::move(listing);
    _details = details;
}

void HLVFileData::rereadDetails(const QString& path)
{
    std::optional<HLVFileDetails> earlier = Details();
    bool readable = false;
    HLVFileDetails details;
    // A save checks that the audio stays as it was, so its properties, the
    // dearest part of a read, are taken from the earlier details.
    HLVTagLib::loadTagsFromFileAtPath(path, &readable, nullptr, &details, !earlier.has_value());
    if (readable && earlier)
        details.takeAudioFrom(*earlier);
    Lock lock(_lock);
    _details = readable ? std::optional(std::move(details)) : std::nullopt;
}

std::optional<HLVFileDetails> HLVFileData::Details() const
{
    Lock lock(_lock);
    return _details;
}

std::shared_ptr<const HLVTagMap> HLVFileData::ListingTagMap() const
{
    Lock lock(_lock);
    if (_initialTagMap)
        return HLVTagMapMerge::merged(*_initialTagMap, _virtualTagMap.get());
    if (_listingTagMap && _virtualTagMap)
        return HLVTagMapMerge::merged(*_listingTagMap, _virtualTagMap.get());
    return _listingTagMap;
}

quint64 HLVFileData::pendingGeneration() const
{
    Lock lock(_lock);
    return _pendingGeneration;
}
