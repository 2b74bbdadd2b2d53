#pragma once

#include "HLVTagLibReader.h"

#include <QByteArray>
#include <taglib/tstring.h>

namespace TagLib {
namespace FLAC {
class File;
}
namespace Ogg {
class XiphComment;
}
}

// Reads FLAC files: the generic fields, then the Xiph comment fields the
// generic tag does not cover, the first picture and the custom tags.
class HLVTagLibFLACReader : public HLVTagLibReader
{
public:
    bool readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure = nullptr) override;
    std::optional<QString> readTagWithIdentifier(const QString& identifier, const QString& path) override;

    // The first value of a comment field; the empty string when the field is
    // missing or the file has no comment.
    static TagLib::String readTextValueForKey(const QString& key, const TagLib::Ogg::XiphComment* comment);

    // The bytes of the first picture block or, when the file has none, of the
    // first picture stored inside the comment; empty when there is neither.
    static QByteArray readCoverImage(TagLib::FLAC::File& file, TagLib::Ogg::XiphComment* comment);
};
