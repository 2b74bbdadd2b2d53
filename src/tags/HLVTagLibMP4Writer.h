#pragma once

#include "HLVTagLibWriter.h"

// Writes MPEG-4 audio (mp4, m4a, m4p) files: the generic fields, then the format's own.
class HLVTagLibMP4Writer : public HLVTagLibWriter
{
public:
    bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap) override;
};
