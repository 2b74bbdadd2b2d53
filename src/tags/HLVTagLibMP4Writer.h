#pragma once

#include "HLVTagLibWriter.h"

#include <taglib/mp4coverart.h>
#include <taglib/mp4tag.h>

// Writes MPEG-4 audio (mp4, m4a, m4p) files: the generic fields, then the item
// list entries the generic tag does not cover, the cover and custom tags.
class HLVTagLibMP4Writer : public HLVTagLibWriter
{
public:
    bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure = nullptr) override;

    // Replaces every cover by the picture at imagePath; false (nothing saved)
    // when the file cannot be written or the picture has no bytes.
    bool addArtworkToFileAtPath(const QString& path, const QString& imagePath, HLVFailure* failure = nullptr) override;
    bool removeArtworkFromFileAtPath(const QString& path, HLVFailure* failure = nullptr) override;

    // Set or remove the item of an atom identifier ("x" stands for 0xA9).
    static void writeItemToAtom(const QString& identifier, TagLib::MP4::Tag& tag, const TagLib::MP4::Item& item);
    static void removeItemFromAtom(const QString& identifier, TagLib::MP4::Tag& tag);

    // Sets the one cover from the picture at imagePath; false, changing
    // nothing, when the picture has no bytes.
    static bool writeArtworkToTag(TagLib::MP4::Tag& tag, const QString& imagePath);

    // The cover format of a picture: by its leading bytes, else by the path's
    // extension in any letter case; unknown (0) when neither tells.
    static TagLib::MP4::CoverArt::Format coverArtFormat(const QString& imagePath, const QByteArray& leadingBytes);
};
