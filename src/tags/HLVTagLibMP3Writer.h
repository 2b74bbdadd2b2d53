#pragma once

#include "HLVTagLibWriter.h"

// Writes MPEG audio (mp3) files: the generic fields, then the format's own.
class HLVTagLibMP3Writer : public HLVTagLibWriter
{
public:
    bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap) override;
};
