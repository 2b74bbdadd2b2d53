#pragma once

#include "HLVTagLibWriter.h"

// Writes FLAC files: the generic fields, then the format's own.
class HLVTagLibFLACWriter : public HLVTagLibWriter
{
public:
    bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap) override;
};
