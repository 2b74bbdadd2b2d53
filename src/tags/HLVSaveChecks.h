#pragma once

#include "HLVAudioBytes.h"
#include "HLVTagLib.h"

#include <QList>
#include <QString>
#include <optional>

class HLVRecordingStream;

// The checks a save makes before it writes and after (see HLVSafeSave), and
// the writing of a whole new file. Each fails closed: whatever they cannot
// read or compare counts as a failed check.
namespace HLVSaveChecks {

// The recorded result holds the original's audio bytes, in a layout of the
// same sizes, and for MPEG-4 every chunk offset points at the same media
// bytes as before. newAudio gets the result's audio layout (absent for formats
// without a known layout, and for an original whose layout cannot be read,
// which alone is taken on trust). Both are read from the stream.
bool keepsTheAudio(HLVTagLib::Format format, const HLVRecordingStream& stream,
                   std::optional<QList<HLVAudioBytes::Range>>* newAudio);

// Writes the recorded result into the open file to (the original open as from).
bool writeResult(const HLVRecordingStream& stream, int from, int to);

// Gives the new file to the old one's owner, group, permissions and extended
// attributes (ACLs among them); false when one cannot be carried over.
bool carryOver(int from, int to);

// The new file written beside path holds the recorded result: its new bytes
// read back, and the original's audio at the planned place.
bool newFileChecksOut(const QString& newPath, int fd, const QString& path, HLVTagLib::Format format,
                      const HLVRecordingStream& stream, const std::optional<QList<HLVAudioBytes::Range>>& newAudio);

} // namespace HLVSaveChecks
