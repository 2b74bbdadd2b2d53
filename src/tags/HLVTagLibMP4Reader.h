#pragma once

#include "HLVTagLibReader.h"

// Reads MPEG-4 audio (mp4, m4a, m4p) files: the generic fields, then the format's own.
class HLVTagLibMP4Reader : public HLVTagLibReader
{
public:
    bool readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap) override;
};
