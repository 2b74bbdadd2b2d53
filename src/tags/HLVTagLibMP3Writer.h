#pragma once

#include "HLVTagLibWriter.h"

#include <QByteArray>
#include <optional>

namespace TagLib {
class String;
namespace ID3v2 {
class Tag;
}
} // namespace TagLib

// Writes MPEG audio (mp3) files: the generic fields, then the ID3v2 frames the
// generic tag does not cover, the artwork by its state and the custom tags.
// Everything goes into one ID3v2 tag that is saved once.
class HLVTagLibMP3Writer : public HLVTagLibWriter
{
public:
    bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure = nullptr) override;

    // False when the file is not MPEG audio or the image yields no bytes; the
    // file is then left as it was.
    bool addArtworkToFileAtPath(const QString& path, const QString& imagePath, HLVFailure* failure = nullptr) override;

    // Removes the first picture. True when there was none to remove, too.
    bool removeArtworkFromFileAtPath(const QString& path, HLVFailure* failure = nullptr) override;

    // Sets the text of the identifier's first frame, adding a text frame when
    // there is none. Frames that are not valid identifiers are never written.
    static void writeValueToTagWithHandle(const QString& identifier, TagLib::ID3v2::Tag& tag, const QString& value);

    // A custom tag's value, written as above. Refused, with the tag unchanged,
    // when the value cannot be stored as text: a frame that holds more than
    // text (picture, comment, user text, URL), or one the catalogue does not
    // let the user edit (editable false). A frame that already reads as the
    // value is never refused.
    static CustomTagWrite writeValueToCustomTagWithHandle(const QString& identifier, TagLib::ID3v2::Tag& tag,
                                                          const QString& value, bool editable = true);

    // Removes the identifier's first frame, if any.
    static void removeValueForTagWithHandle(const QString& identifier, TagLib::ID3v2::Tag& tag);

    // Puts the picture at the path into the first APIC frame (added when there
    // is none). False, with the tag unchanged, when the path yields no bytes.
    static bool addArtworkToTag(TagLib::ID3v2::Tag& tag, const QString& imagePath);

    // The text of the identifier's first frame, without the raw fallback the
    // reader has; empty when there is none.
    static TagLib::String readMP3ValueForTag(const QString& identifier, const TagLib::ID3v2::Tag& tag);

    // "TRCK"/"TPOS" text for a number and a total, merged with the existing
    // text where only one of the two is given (the other half is kept); absent
    // when nothing is to be written, empty when the frame is to go (no half but 0).
    static std::optional<QString> mergedNumberPair(const std::optional<int>& number, const std::optional<int>& total,
                                                   const QString& existing);

    // Four characters, each A-Z or 0-9: any other identifier makes readers,
    // TagLib included, stop at that frame and miss the rest of the tag.
    static bool isFrameIdentifier(const QString& identifier);
};
