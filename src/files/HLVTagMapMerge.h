#pragma once

#include "HLVTagMap.h"

#include <memory>

// The merge rules of a record: pending changes laid over the file's tags.
namespace HLVTagMapMerge {

// A fresh map: every field the pending map gives replaces the initial one.
std::shared_ptr<HLVTagMap> merged(const HLVTagMap& initial, const HLVTagMap* pending);
// Pending custom values first, then the initial ones not overridden.
HLVCustomTagValueArray mergedCustomTagValues(const HLVTagMap& initial, const HLVTagMap& pending);
// True when the pending map changes a field or the picture.
bool changesAnything(const HLVTagMap& pending);
// A copy that shares nothing mutable with the source (custom values copied too).
std::shared_ptr<HLVTagMap> detachedCopy(const HLVTagMap& map);

} // namespace HLVTagMapMerge
