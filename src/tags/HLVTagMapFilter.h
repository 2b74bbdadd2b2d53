#pragma once

#include "HLVTagMap.h"

// How incomplete a tag map is, for the untagged and partially tagged filters.
class HLVTagMapFilter
{
public:
    // 0 when every scored field is present, 10 when none is. The title weighs 2;
    // artist, album, genre, year, track number, track total, disc number and
    // artwork weigh 1 each. A number of 0 counts as missing.
    static int filteredTagCountForTagMap(const HLVTagMap& tagMap);
};
