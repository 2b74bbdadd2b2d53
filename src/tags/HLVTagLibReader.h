#pragma once

#include "HLVFailure.h"
#include "HLVFileDetails.h"
#include "HLVTagMap.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace TagLib {
class Tag;
class ByteVector;
}

// Reads a file's tags into a tag map. This base class reads any file TagLib
// knows through the format-independent tag (title, artist, album, comment,
// genre, year, track). The format readers follow one template:
//   1. open the format's own file object once and check that it is valid;
//   2. readGenericTags() from that object's tag() (what a generic FileRef would
//      resolve to, without opening the file twice);
//   3. the format's own fields;
//   4. setArtwork() with the first picture's bytes (or none);
//   5. setCustomTagValues() from the "CTIS" list;
// and catch anything TagLib might throw, answering false. Where a failure is
// given, a false answer says why there.
class HLVTagLibReader
{
public:
    virtual ~HLVTagLibReader() = default;

    // True when the file could be opened and has a tag.
    virtual bool readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure = nullptr);

    // Makes this reader's reads also fill in the file's details, reading its
    // audio properties as well unless audio is false; null (the default) reads
    // the tags alone. Left alone when TagLib cannot open the file as its format.
    void setDetails(HLVFileDetails* details, bool audio = true)
    {
        _details = details;
        _detailsAudio = audio;
    }

    // The stored text of one raw tag (frame, atom or comment key): the empty
    // string when missing, absent when the file cannot be read. The generic
    // reader has no raw tags and always answers absent.
    virtual std::optional<QString> readTagWithIdentifier(const QString& identifier, const QString& path);

    // A path TagLib may be given: an existing, non-empty regular file. TagLib
    // happily "opens" folders and empty files, which would then be written to.
    static bool isTagFileCandidate(const QString& path);

    // isTagFileCandidate() that also says why not: missing, not a regular
    // file or empty. (Whether it may be read is asked only after TagLib
    // failed: the check costs a system call on every read.)
    static bool checkTagFileCandidate(const QString& path, HLVFailure* failure);

    // Reports a file that TagLib does not take for the format ("not an MP3 file").
    static bool reportNotAudio(HLVFailure* failure, const char* formatName);

    // The path as the bytes the file system expects.
    static QByteArray fileSystemPath(const QString& path);

protected:
    // Whether TagLib is to read the audio properties (in its fast style).
    bool readsAudioProperties() const { return _details != nullptr && _detailsAudio; }

    static void readGenericTags(const TagLib::Tag& tag, HLVTagMap& tagMap);

    // Artwork from the first picture's bytes (empty when the file has none):
    // state 1 when it reads as an image, else 0; the attempt is recorded.
    static void setArtwork(HLVTagMap& tagMap, const QByteArray& pictureBytes);
    static QByteArray toQByteArray(const TagLib::ByteVector& bytes);

    // Custom tag values for the identifiers of a stored "CTIS" text, in list
    // order; valueOf answers a stored value or absent. Leaves the map's custom
    // tags absent when the list names no identifier.
    static void setCustomTagValues(HLVTagMap& tagMap, const std::optional<QString>& ctisText,
                                   const std::function<std::optional<QString>(const QString& identifier)>& valueOf);

    HLVFileDetails* _details = nullptr;
    bool _detailsAudio = true;
};
