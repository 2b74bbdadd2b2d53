#pragma once

#include "HLVTagLibReader.h"

namespace TagLib::MPEG {
class File;
}

// Reads MPEG audio (mp3) files: the generic fields, then the format's own.
class HLVTagLibMP3Reader : public HLVTagLibReader
{
public:
    bool readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap) override;

    // TagLib takes any file for MPEG audio; a file without a single MPEG frame
    // (a picture, a text file named .mp3) must be neither read nor written.
    static bool isMPEGAudio(TagLib::MPEG::File& file);
};
