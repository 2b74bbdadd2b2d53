#include "HLVSaveChecks.h"
#include "HLVBytesDevice.h"
#include "HLVRecordingStream.h"
#include "HLVSaveCopy.h"
#include "HLVTagLibMP4Structure.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using Range = HLVAudioBytes::Range;

namespace {

// The original file and the recorded result, read from what the stream holds:
// no second opening of the file, and the blocks TagLib read are read once.
HLVBytesDevice originalOf(const HLVRecordingStream& stream)
{
    return HLVBytesDevice(stream.originalLength(), [&stream](char* to, qint64 at, qint64 length) {
        return stream.readOriginal(to, at, length);
    });
}

HLVBytesDevice resultOf(const HLVRecordingStream& stream)
{
    return HLVBytesDevice(stream.resultLength(), [&stream](char* to, qint64 at, qint64 length) {
        return stream.readResult(to, at, length);
    });
}

} // namespace

namespace HLVSaveChecks {

// The audio of the result must be the original's, byte for byte; for MPEG-4
// every chunk offset must point at the same media bytes as before.
bool keepsTheAudio(HLVTagLib::Format format, const HLVRecordingStream& stream, std::optional<QList<Range>>* newAudio)
{
    if (format == HLVTagLib::Format::Other)
        return true;
    HLVBytesDevice original = originalOf(stream);
    // Only an original whose layout cannot be read is taken on trust; one
    // that could not be read at all is not.
    const auto oldAudio = HLVAudioBytes::audioRanges(original, format, HLVAudioBytes::Lengths::AsSaved);
    if (!oldAudio)
        return !stream.readFailed();
    HLVBytesDevice result = resultOf(stream);
    *newAudio = HLVAudioBytes::audioRanges(result, format);
    const QList<Range>& before = *oldAudio;
    if (!*newAudio || (*newAudio)->size() != before.size())
        return false;
    for (qsizetype i = 0; i < before.size(); ++i) {
        if ((*newAudio)->at(i).size() != before.at(i).size())
            return false;
    }
    bool taken = true; // the audio was never written, only kept (or moved whole)
    for (qsizetype i = 0; i < before.size(); ++i)
        taken = taken && stream.takesFromOriginal((*newAudio)->at(i).begin, before.at(i).begin, before.at(i).size());
    if (!taken && !HLVAudioBytes::sameBytes(original, before, result, *(*newAudio)))
        return false;
    if (format != HLVTagLib::Format::MP4)
        return !stream.readFailed();
    original.seek(0);
    const auto oldOffsets = HLVTagLibMP4Structure::chunkOffsets(original);
    const auto newOffsets = HLVTagLibMP4Structure::chunkOffsets(result);
    if (!oldOffsets || !newOffsets || oldOffsets->size() != newOffsets->size())
        return false;
    for (qsizetype i = 0; i < oldOffsets->size(); ++i) {
        const qint64 at = oldOffsets->at(i);
        qint64 expected = at; // outside the media data nothing may move
        for (qsizetype m = 0; m < before.size(); ++m) {
            if (at >= before.at(m).begin && at < before.at(m).end)
                expected = (*newAudio)->at(m).begin + (at - before.at(m).begin);
        }
        if (newOffsets->at(i) != expected)
            return false;
    }
    return !stream.readFailed();
}

// Gives the new file the old one's permissions, group and extended
// attributes (ACLs among them); false when one cannot be carried over.
bool carryOver(int from, int to)
{
    struct stat info;
    if (::fstat(from, &info) != 0)
        return false;
    struct stat made;
    if (::fstat(to, &made) != 0)
        return false;
    if ((made.st_uid != info.st_uid || made.st_gid != info.st_gid) && ::fchown(to, info.st_uid, info.st_gid) != 0)
        return false;
    if (::fchmod(to, info.st_mode & 07777) != 0)
        return false;
    const ssize_t listed = ::flistxattr(from, nullptr, 0);
    if (listed < 0)
        return errno == ENOTSUP;
    QByteArray names(listed, '\0');
    const ssize_t got = ::flistxattr(from, names.data(), size_t(names.size()));
    if (got < 0)
        return false;
    for (const QByteArray& name : names.left(got).split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t size = ::fgetxattr(from, name.constData(), nullptr, 0);
        if (size < 0)
            return false;
        QByteArray value(size, '\0');
        const ssize_t read = ::fgetxattr(from, name.constData(), value.data(), size_t(value.size()));
        if (read < 0 || ::fsetxattr(to, name.constData(), value.constData(), size_t(read), 0) != 0)
            return false;
    }
    return true;
}

bool writeResult(const HLVRecordingStream& stream, int from, int to)
{
    qint64 at = 0;
    for (const HLVRecordingStream::Piece& piece : stream.pieces()) {
        const bool written = piece.source >= 0
            ? HLVSaveCopy::copyRange(from, piece.source, to, at, piece.length)
            : HLVSaveCopy::writeAll(to, piece.bytes.constData(), piece.length, at);
        if (!written)
            return false;
        at += piece.length;
    }
    return ::ftruncate(to, off_t(at)) == 0;
}

bool newFileChecksOut(const QString& newPath, int fd, const QString& path, HLVTagLib::Format format,
                      const HLVRecordingStream& stream, const std::optional<QList<Range>>& newAudio)
{
    struct stat info;
    if (::fstat(fd, &info) != 0 || qint64(info.st_size) != stream.resultLength())
        return false;
    qint64 at = 0;
    for (const HLVRecordingStream::Piece& piece : stream.pieces()) {
        if (piece.source < 0) {
            QByteArray bytes(piece.length, Qt::Uninitialized);
            if (!HLVSaveCopy::readAll(fd, bytes.data(), piece.length, at) || bytes != piece.bytes)
                return false;
        }
        at += piece.length;
    }
    if (!newAudio)
        return true;
    if (HLVAudioBytes::audioRanges(newPath, format) != newAudio)
        return false;
    return HLVAudioBytes::haveSameAudio(newPath, path, format) == std::optional<bool>(true);
}

} // namespace HLVSaveChecks
