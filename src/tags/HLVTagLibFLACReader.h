#pragma once

#include "HLVTagLibReader.h"

// Reads FLAC files: the generic fields, then the format's own.
class HLVTagLibFLACReader : public HLVTagLibReader
{
public:
    bool readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap) override;
};
