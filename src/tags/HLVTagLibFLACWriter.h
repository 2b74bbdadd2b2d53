#pragma once

#include "HLVTagLibWriter.h"

namespace TagLib {
namespace FLAC {
class File;
}
namespace Ogg {
class XiphComment;
}
}

// Writes FLAC files: the generic fields, the Xiph comment fields the generic
// tag does not cover, the picture blocks and the custom tags, in one save.
class HLVTagLibFLACWriter : public HLVTagLibWriter
{
public:
    bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure = nullptr) override;

    // Puts the picture into the first picture block (a new one when the file
    // has none) and saves; false when the image has no bytes.
    bool addArtworkToFileAtPath(const QString& path, const QString& imagePath, HLVFailure* failure = nullptr) override;

    // Removes the first picture block, if any; pictures inside the comment stay.
    bool removeArtworkFromFileAtPath(const QString& path, HLVFailure* failure = nullptr) override;

    // Replaces every field of the key with one field holding the value. TagLib
    // drops a field whose value is empty, so an empty value only removes.
    static void writeValueForKey(const QString& key, TagLib::Ogg::XiphComment& comment, const QString& value);
    static void removeValueForKey(const QString& key, TagLib::Ogg::XiphComment& comment);

    // Sets the first picture block (type and description kept) or a new one
    // to the image's bytes; false, with the pictures untouched, when there are
    // no bytes or they would not fit a metadata block.
    static bool addCoverImageToFile(TagLib::FLAC::File& file, const QString& imagePath);
};
