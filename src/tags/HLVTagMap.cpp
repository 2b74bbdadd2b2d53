#include "HLVTagMap.h"

std::shared_ptr<HLVTagMap> HLVTagMap::initWithContentsOfTagMap(const std::shared_ptr<const HLVTagMap>& source)
{
    // Value copy: strings, numbers and the picture are values; the custom tag
    // array is new while its elements stay shared.
    return source ? std::make_shared<HLVTagMap>(*source) : std::make_shared<HLVTagMap>();
}
