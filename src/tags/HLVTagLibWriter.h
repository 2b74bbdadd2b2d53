#pragma once

#include "HLVFailure.h"
#include "HLVTagMap.h"

#include <QString>
#include <QStringList>
#include <functional>

struct HLVFileDetails;

namespace TagLib {
class Tag;
class ByteVector;
class IOStream;
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
// Anything TagLib might throw is caught and answered with false. Where a
// failure is given, a false answer says why there. Custom values that cannot
// be stored are refused one by one: the rest is saved and the answer is false
// with kind CustomTagRefused.
class HLVTagLibWriter
{
public:
    virtual ~HLVTagLibWriter() = default;

    // True when the fields were written and the file saved.
    virtual bool writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure = nullptr);

    // The generic writer has no artwork: both answer false.
    virtual bool addArtworkToFileAtPath(const QString& path, const QString& imagePath,
                                        HLVFailure* failure = nullptr);
    virtual bool removeArtworkFromFileAtPath(const QString& path, HLVFailure* failure = nullptr);

    // The picture's MIME type: from its leading bytes when they are a known
    // format, else from the path's extension (png, bmp, gif; anything else jpeg).
    static QString pictureMimeType(const QString& imagePath, const QByteArray& leadingBytes);

    // The stream TagLib reads and writes the file through instead of the path
    // (a save records its writes so); not owned, and used by one request.
    void setStream(TagLib::IOStream* stream) { _stream = stream; }
    TagLib::IOStream* stream() const { return _stream; }

    // Where a format writer puts the saved file's details (tags, picture and
    // size, from the file object it saved; no audio part) after writing the
    // tags, so that a save need not read the file again. Not owned.
    void setSavedDetails(HLVFileDetails* details) { _savedDetails = details; }

    // Stores one custom value; editable is false when the catalogue forbids
    // editing the identifier. Refuses a value the format cannot hold as text
    // (the file's own tag, if any, stays as it is and stays listed); a value
    // the file already holds is never refused.
    enum class CustomTagWrite { Stored, Refused, RefusedKeptInFile };
    using CustomTagStore = std::function<CustomTagWrite(const QString& identifier, const QString& value, bool editable)>;

    // A file that may be handed to TagLib for writing: a tag file candidate
    // that this process may write to. A writable stream is a file the save
    // has checked, opened for writing and holds: nothing to look up again.
    static bool checkWritableFile(const QString& path, HLVFailure* failure, const TagLib::IOStream* stream = nullptr);

    // The end of every write: the save's result, then the refused custom values.
    static bool finishSave(bool saved, const QStringList& refusedCustomTags, HLVFailure* failure);

    // Reports a layout that a save could damage.
    static bool reportStructure(HLVFailure* failure, const QString& reason);

protected:
    // Absent fields are left as the file has them.
    static void writeGenericTags(TagLib::Tag& tag, const HLVTagMap& tagMap);

    // Applies the map's custom tag values and stores the updated "CTIS" list
    // through store(). remove() deletes a stored value; it is called only for
    // values marked for removal that the known-tag catalogue does not list for
    // the file's extension. A refused identifier joins the list only when the
    // file holds that tag.
    // Answers the refused identifiers; nothing is done when the map has no
    // custom tags.
    static QStringList writeCustomTags(const QString& path, const HLVTagMap& tagMap, const CustomTagStore& store,
                                       const std::function<void(const QString& identifier)>& remove);


    // The picture to embed: the map's path when its state asks for a new picture.
    static std::optional<QString> artworkPathToEmbed(const HLVTagMap& tagMap);

    // The bytes of the picture at a local path or web address (empty when none).
    static TagLib::ByteVector pictureBytes(const QString& imagePath);

private:
    TagLib::IOStream* _stream = nullptr;

protected:
    HLVFileDetails* _savedDetails = nullptr;
};
