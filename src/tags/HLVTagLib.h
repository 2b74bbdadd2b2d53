#pragma once

#include "HLVFailure.h"
#include "HLVFileDetails.h"
#include "HLVTagMap.h"

#include <QString>
#include <memory>
#include <functional>
#include <optional>

class HLVTagLibReader;
class HLVTagLibWriter;

// The one door through which tags are read from and written to audio files.
// The reader or writer is chosen by the file name's extension, in any letter
// case; any other extension goes through the generic, format-independent part.
// All operations are synchronous; two on the same file must not overlap.
class HLVTagLib
{
public:
    enum class Format { MP3, MP4, FLAC, Other };
    static Format formatForPath(const QString& path);

    static std::unique_ptr<HLVTagLibReader> readerForPath(const QString& path);
    static std::unique_ptr<HLVTagLibWriter> writerForPath(const QString& path);

    // Never null; empty when the path is absent or the file unreadable. When
    // readable is given it tells the two apart from a file without tags;
    // failure, when given, says why an unreadable file could not be read.
    // When details is given, a readable file's details are read as well (from
    // the same open file) and put there; an unreadable file leaves it alone.
    // Without audio, the details' audio part (codec, length, rates, channels)
    // is left absent and the audio properties are not read.
    static std::shared_ptr<HLVTagMap> loadTagsFromFileAtPath(const std::optional<QString>& path,
                                                             bool* readable = nullptr, HLVFailure* failure = nullptr,
                                                             HLVFileDetails* details = nullptr, bool audio = true);

    // The stored text of one raw tag; empty when not there; absent when the
    // path is absent, not one of the three formats, or cannot be read.
    static std::optional<QString> readTagWithIdentifier(const QString& identifier,
                                                        const std::optional<QString>& path);

    // Saves either complete or leave the file as it was (see HLVSafeSave).
    // False with the reason: file missing, read-only, not audio, a structure
    // a save could damage, the write failed. When only custom values are
    // refused the rest is saved and the answer is false (CustomTagRefused).
    static bool saveTagsToFileAtPath(const std::optional<QString>& path, const HLVTagMap* tagMap,
                                     HLVFailure* failure = nullptr);

    // Saves many files as saveTagsToFileAtPath() saves one, their flushes to
    // disk shared in groups; each save gets its own answer.
    struct Save
    {
        QString path;
        const HLVTagMap* tagMap = nullptr;
        bool saved = false;
        HLVFailure failure;
        // With wantsDetails, a saved MP3, MPEG-4 or FLAC file's details as the
        // save left them, without the audio part (which a save keeps).
        bool wantsDetails = false;
        std::optional<HLVFileDetails> details;
        bool stopped = false; // not begun: stopped answered true first
    };
    static void saveTagsToFiles(QList<Save>& saves, const std::function<bool()>& stopped = {});
    static bool addArtwokImageToFileAtPath(const std::optional<QString>& path,
                                           const std::optional<QString>& imagePath, HLVFailure* failure = nullptr);
    static bool removeArtworkImageFromFileAtPath(const std::optional<QString>& path, HLVFailure* failure = nullptr);

    // The ID3v2 version MP3 saves write: 4, or 3 for players that read only
    // ID3v2.3. setID3v2Version() decides for this process (0 forgets that);
    // otherwise the preference "ID3v2Version" does, 4 when unset or invalid.
    static int ID3v2Version();
    static void setID3v2Version(int version);

    // A check called at every read and write above, with what is done and the
    // path; none by default, so it costs one load. The window tests install
    // one that fails on the main thread, where file work freezes the window.
    using AccessCheck = void (*)(const char* operation, const QString& path);
    static void setAccessCheck(AccessCheck check);
};
