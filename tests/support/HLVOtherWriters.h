#pragma once

#include <QByteArray>

// Files laid out as other programs write them, made at test time from the
// committed fixtures (so no encoder is needed to run the tests). Each answers
// the whole file's bytes.
namespace HLVOtherWriters {

// tone.mp3 behind a LAME "Xing" information frame, as encoders write it first.
QByteArray mp3WithXingFrame();

// tone.m4a with the movie box after the media data (written without "faststart").
QByteArray mp4WithMovieLast();
// tone.m4a whose "meta" box is a plain box, without version and flags (older writers).
QByteArray mp4WithPlainMeta();
// tone.m4a whose media data box has a 64-bit size.
QByteArray mp4WithLargeSize();
// tone.m4a with a top-level box whose type is not printable ASCII.
QByteArray mp4WithOddBoxType();

// tone.flac whose stream information block claims three bytes more than it
// holds, as a damaged copy has it.
QByteArray flacWithLongStreamInfo();

// Sixteen bytes at each chunk offset of the first sample table, in order: the
// same before and after a save exactly when the audio is still where the
// movie says it is.
QByteArray mp4ChunkBytes(const QByteArray& file);

} // namespace HLVOtherWriters
