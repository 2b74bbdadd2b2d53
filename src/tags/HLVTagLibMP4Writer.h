#pragma once

#include "HLVTagLibWriter.h"

#include <taglib/mp4coverart.h>
#include <taglib/mp4tag.h>

// Writes MPEG-4 audio (mp4, m4a, m4p) files: the generic fields, then the item
// list entries the generic tag does not cover, the cover and custom tags.
class HLVTagLibMP4Writer : public HLVTagLibWriter
{
public:
    bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap) override;

    // Replaces every cover by the picture at imagePath; false (nothing saved)
    // when the file cannot be written or the picture has no bytes.
    bool addArtworkToFileAtPath(const QString& path, const QString& imagePath) override;
    bool removeArtworkFromFileAtPath(const QString& path) override;

    // Set or remove the item of an atom identifier ("x" stands for 0xA9).
    static void writeItemToAtom(const QString& identifier, TagLib::MP4::Tag& tag, const TagLib::MP4::Item& item);
    static void removeItemFromAtom(const QString& identifier, TagLib::MP4::Tag& tag);

    // Sets the one cover from the picture at imagePath; false, changing
    // nothing, when the picture has no bytes.
    static bool writeArtworkToTag(TagLib::MP4::Tag& tag, const QString& imagePath);

    // The cover format for a picture path, by its extension in any letter case.
    static TagLib::MP4::CoverArt::Format coverArtFormatForPath(const QString& imagePath);
};
