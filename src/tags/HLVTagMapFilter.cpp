#include "HLVTagMapFilter.h"

namespace {

bool missing(const std::optional<QString>& s)
{
    return !s || s->isEmpty();
}

bool missing(const std::optional<int>& n)
{
    return !n || *n == 0;
}

} // namespace

int HLVTagMapFilter::filteredTagCountForTagMap(const HLVTagMap& tagMap)
{
    int score = 0;
    if (missing(tagMap.TrackName()))
        score += 2;
    for (const auto* s : {&tagMap.ArtistName(), &tagMap.AlbumName(), &tagMap.Genre()})
        score += missing(*s) ? 1 : 0;
    for (const auto* n : {&tagMap.ReleaseYear(), &tagMap.TrackNumber(), &tagMap.TrackTotal(), &tagMap.DiscNumber()})
        score += missing(*n) ? 1 : 0;
    if (tagMap.Artwork().isNull())
        score += 1;
    return score;
}
