#pragma once

#include <memory>

class HLVTagMap;
class HLVFileData;

// Hears the end of an artwork address lookup, found or not.
class HLVArtworkPathsDelegate
{
public:
    virtual ~HLVArtworkPathsDelegate() = default;
    // On the main thread.
    virtual void OnArtworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>&) {}
    // On the thread that asked.
    virtual void OnArtworkPathsObtainedForFileData(const std::shared_ptr<HLVFileData>&) {}
};
