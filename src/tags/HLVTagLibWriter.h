#pragma once

#include "HLVTagMap.h"

#include <QString>
#include <functional>

namespace TagLib {
class Tag;
class ByteVector;
}

// Writes a tag map into a file. This base class writes any file TagLib knows
// through the format-independent tag. The format writers follow one template:
//   1. open the format's own file object once and check that it is valid;
//   2. writeGenericTags() into that object's tag();
//   3. the format's own fields, each only when present in the map;
//   4. the artwork by ArtworkState (4 removes, 2 or 3 with a path embeds);
//   5. writeCustomTags();
//   6. save once, answering the save's own result.
// One save instead of two means a failure part-way leaves the file as it was.
// Anything TagLib might throw is caught and answered with false.
class HLVTagLibWriter
{
public:
    virtual ~HLVTagLibWriter() = default;

    // True when the fields were written and the file saved.
    virtual bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap);

    // The generic writer has no artwork: both answer false.
    virtual bool addArtworkToFileAtPath(const QString& path, const QString& imagePath);
    virtual bool removeArtworkFromFileAtPath(const QString& path);

protected:
    // Absent fields are left as the file has them.
    static void writeGenericTags(TagLib::Tag& tag, const HLVTagMap& tagMap);

    // Applies the map's custom tag values and stores the updated "CTIS" list
    // through store(). remove() deletes a stored value; it is called only for
    // values marked for removal that the known-tag catalogue does not list for
    // the file's extension. Does nothing when the map has no custom tags.
    static void writeCustomTags(const QString& path, const HLVTagMap& tagMap,
                                const std::function<void(const QString& identifier, const QString& value)>& store,
                                const std::function<void(const QString& identifier)>& remove);

    // The picture to embed: the map's path when its state asks for a new picture.
    static std::optional<QString> artworkPathToEmbed(const HLVTagMap& tagMap);

    // The bytes of the picture at a local path or web address (empty when none).
    static TagLib::ByteVector pictureBytes(const QString& imagePath);
};
