#pragma once

#include "HLVFailure.h"

#include "HLVTagMap.h"

#include <QString>
#include <memory>
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
    // readable is given it tells the two apart from a file without tags.
    static std::shared_ptr<HLVTagMap> loadTagsFromFileAtPath(const std::optional<QString>& path,
                                                             bool* readable = nullptr);

    // The stored text of one raw tag; empty when not there; absent when the
    // path is absent, not one of the three formats, or cannot be read.
    static std::optional<QString> readTagWithIdentifier(const QString& identifier,
                                                        const std::optional<QString>& path);

    static bool saveTagsToFileAtPath(const std::optional<QString>& path, const HLVTagMap* tagMap,
                                     HLVFailure* failure = nullptr);
    static bool addArtwokImageToFileAtPath(const std::optional<QString>& path,
                                           const std::optional<QString>& imagePath);
    static bool removeArtworkImageFromFileAtPath(const std::optional<QString>& path);
};
