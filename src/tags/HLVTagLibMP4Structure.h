#pragma once

#include <QList>
#include <QString>
#include <optional>

class QIODevice;

// A check of an MPEG-4 file's box layout before TagLib rewrites it. TagLib
// trusts the sizes it reads: a box that overruns its parent makes a save
// overwrite the audio, and a chunk-offset table with a huge count makes it
// write gigabytes. Writers refuse a file that fails this check.
namespace HLVTagLibMP4Structure {

// True when the top-level boxes fill the file exactly, a movie box is among
// them, every box TagLib descends into holds children that fit it, and every
// chunk-offset table fits its box. Otherwise reason, when given, says what is
// wrong and where ("the MPEG-4 structure is damaged: box moov/udta claims more
// bytes than its parent holds").
bool isSoundForWriting(const QString& path, QString* reason = nullptr);
bool isSoundForWriting(QIODevice& device, QString* reason = nullptr);

// Every entry of every chunk-offset table (stco, co64), in file order; absent
// when the boxes cannot be walked.
std::optional<QList<qint64>> chunkOffsets(QIODevice& device);

// True when the file begins with a box an MPEG-4 file begins with, so that a
// file TagLib cannot read is damaged rather than of another kind.
bool beginsAsMPEG4(const QString& path);

} // namespace HLVTagLibMP4Structure
