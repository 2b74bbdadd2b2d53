#pragma once

#include "HLVTagLib.h"

#include <QList>
#include <QString>
#include <optional>

class QIODevice;

// Where a file keeps its audio, found from its bytes alone (no TagLib), so that
// a file can be compared with a copy of itself taken before a save: tags may
// move and change size, the audio bytes must not.
//   MP3:  from the first MPEG frame that the next one confirms, after the
//         ID3v2 tag (junk before or after it is not audio), to before any APE
//         or ID3v1 tag at the end;
//   FLAC: from the first frame after the metadata blocks (at the lengths a
//         save corrects them to) to the end (before an ID3v1 tag);
//   MP4:  the payloads of the top-level media data boxes, in file order.
namespace HLVAudioBytes {

struct Range
{
    qint64 begin = 0;
    qint64 end = 0;
    qint64 size() const { return end - begin; }
    bool operator==(const Range&) const = default;
};

// The audio ranges of the file at path read as the given format; absent when
// the format is Other, the file cannot be read or its layout does not say
// where the audio is.
std::optional<QList<Range>> audioRanges(const QString& path, HLVTagLib::Format format);

// The same, for a file's bytes as a device gives them: a FLAC file's block
// lengths taken as they are, or as a save corrects them (as the path's
// version takes them).
enum class Lengths { AsTheyAre, AsSaved };
std::optional<QList<Range>> audioRanges(QIODevice& device, HLVTagLib::Format format,
                                        Lengths lengths = Lengths::AsTheyAre);

// True when the ranges of both devices hold the same bytes.
bool sameBytes(QIODevice& device, const QList<Range>& ranges, QIODevice& other, const QList<Range>& otherRanges);

// True when both files hold the same audio bytes, by the format's layout.
// Absent when the format has no known layout or a file's layout is unreadable.
std::optional<bool> haveSameAudio(const QString& path, const QString& otherPath, HLVTagLib::Format format);

} // namespace HLVAudioBytes
