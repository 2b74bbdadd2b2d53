#include "HLVRecordingStream.h"
#include "HLVSaveCopy.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

HLVRecordingStream::HLVRecordingStream(const QString& path, int fd, qint64 length, bool readOnly)
    : _name(QFile::encodeName(path))
    , _fd(fd)
    , _originalLength(length)
    , _length(length)
    , _readOnly(readOnly)
{
    if (length > 0)
        _pieces.append(Piece{0, length, {}});
}

TagLib::FileName HLVRecordingStream::name() const
{
    return _name.constData();
}

namespace {
constexpr qint64 blockSize = 64 * 1024;
constexpr qsizetype cachedBlocks = 32;

// How many bytes two stretches share from their start, compared a run at a
// time: a rewritten tag is mostly the same bytes, often a whole picture.
qsizetype sameFromStart(const char* a, const char* b, qsizetype length)
{
    constexpr qsizetype run = 256;
    qsizetype same = 0;
    while (same + run <= length && std::memcmp(a + same, b + same, run) == 0)
        same += run;
    while (same < length && a[same] == b[same])
        ++same;
    return same;
}

// The same from the end: aEnd and bEnd point just past the stretches.
qsizetype sameFromEnd(const char* aEnd, const char* bEnd, qsizetype length)
{
    constexpr qsizetype run = 256;
    qsizetype same = 0;
    while (same + run <= length && std::memcmp(aEnd - same - run, bEnd - same - run, run) == 0)
        same += run;
    while (same < length && aEnd[-1 - same] == bEnd[-1 - same])
        ++same;
    return same;
}
} // namespace

QByteArray HLVRecordingStream::originalBytes(qint64 at, qint64 length) const
{
    QByteArray bytes(qBound<qint64>(0, length, _originalLength - qMax<qint64>(at, 0)), Qt::Uninitialized);
    const qint64 read = readOriginal(bytes.data(), at, bytes.size());
    bytes.truncate(qMax<qint64>(read, 0));
    return bytes;
}

QByteArray HLVRecordingStream::resultBytes(qint64 at, qint64 length) const
{
    QByteArray bytes(qBound<qint64>(0, length, _length - qMax<qint64>(at, 0)), Qt::Uninitialized);
    const qint64 read = readResult(bytes.data(), at, bytes.size());
    bytes.truncate(qMax<qint64>(read, 0));
    return bytes;
}

qint64 HLVRecordingStream::readOriginal(char* to, qint64 at, qint64 length) const
{
    if (at < 0 || length <= 0 || at >= _originalLength)
        return 0;
    length = qMin(length, _originalLength - at);
    return copyOriginal(to, at, length) ? length : -1;
}

bool HLVRecordingStream::copyOriginal(char* to, qint64 at, qint64 length) const
{
    if (length > 4 * blockSize) {
        if (!HLVSaveCopy::readAll(_fd, to, length, at)) {
            _readFailed = true;
            return false;
        }
        return true;
    }
    for (qint64 block = at / blockSize; block * blockSize < at + length; ++block) {
        auto cached = _blocks.constFind(block);
        if (cached == _blocks.constEnd()) {
            const qint64 start = block * blockSize;
            QByteArray read(qMin(blockSize, _originalLength - start), Qt::Uninitialized);
            if (!HLVSaveCopy::readAll(_fd, read.data(), read.size(), start)) {
                _readFailed = true;
                return false;
            }
            if (_blocks.size() >= cachedBlocks)
                _blocks.clear();
            cached = _blocks.insert(block, read);
        }
        const qint64 from = qMax(at, block * blockSize) - block * blockSize;
        const qint64 until = qMin(at + length, (block + 1) * blockSize) - block * blockSize;
        std::memcpy(to, cached->constData() + from, size_t(until - from));
        to += until - from;
    }
    return true;
}

qint64 HLVRecordingStream::readResult(char* to, qint64 at, qint64 length) const
{
    if (at < 0 || length <= 0 || at >= _length)
        return 0;
    length = qMin(length, _length - at);
    qint64 pieceStart = 0;
    for (const Piece& piece : _pieces) {
        const qint64 pieceEnd = pieceStart + piece.length;
        if (pieceEnd > at && pieceStart < at + length) {
            const qint64 from = qMax(at, pieceStart) - pieceStart;
            const qint64 until = qMin(at + length, pieceEnd) - pieceStart;
            if (piece.source < 0)
                std::memcpy(to, piece.bytes.constData() + from, size_t(until - from));
            else if (!copyOriginal(to, piece.source + from, until - from))
                return -1;
            to += until - from;
        }
        if (pieceEnd >= at + length)
            break;
        pieceStart = pieceEnd;
    }
    return length;
}

TagLib::ByteVector HLVRecordingStream::readBlock(Size length)
{
    const qint64 wanted = qMin<qint64>(qint64(qMin<Size>(length, Size(1) << 30)), qMax<qint64>(0, _length - _position));
    TagLib::ByteVector bytes(unsigned(wanted), '\0');
    const qint64 read = qMax<qint64>(0, readResult(bytes.data(), _position, wanted));
    if (read < wanted)
        bytes.resize(unsigned(read));
    _position += read;
    return bytes;
}

// Splits the piece that holds offset at so that a piece starts there;
// answers that piece's index (the count when at is the end).
qsizetype HLVRecordingStream::splitAt(qint64 at)
{
    qint64 pieceStart = 0;
    for (qsizetype i = 0; i < _pieces.size(); ++i) {
        if (pieceStart == at)
            return i;
        Piece& piece = _pieces[i];
        if (at < pieceStart + piece.length) {
            const qint64 head = at - pieceStart;
            Piece tail;
            tail.length = piece.length - head;
            if (piece.source >= 0) {
                tail.source = piece.source + head;
            } else {
                tail.bytes = piece.bytes.mid(head);
                piece.bytes.truncate(head);
            }
            piece.length = head;
            _pieces.insert(i + 1, tail);
            return i + 1;
        }
        pieceStart += piece.length;
    }
    return _pieces.size();
}

// Replaces removed bytes at at with inserted ones; the result past at+removed shifts.
void HLVRecordingStream::splice(qint64 at, qint64 removed, const QByteArray& inserted)
{
    if (at > _length) {
        // Written past the end: the gap reads as zeros, as in a file.
        const QByteArray zeros(at - _length, '\0');
        _pieces.append(Piece{-1, zeros.size(), zeros});
        _length = at;
    }
    removed = qBound<qint64>(0, removed, _length - at);
    const qsizetype first = splitAt(at);
    const qsizetype last = splitAt(at + removed);
    _pieces.remove(first, last - first);
    if (!inserted.isEmpty()) {
        // New bytes next to new bytes join, so a tag written frame by frame stays one piece.
        if (first > 0 && _pieces[first - 1].source < 0) {
            _pieces[first - 1].bytes += inserted;
            _pieces[first - 1].length += inserted.size();
        } else {
            _pieces.insert(first, Piece{-1, inserted.size(), inserted});
        }
    }
    _length += inserted.size() - removed;
}

void HLVRecordingStream::writeBlock(const TagLib::ByteVector& data)
{
    if (_readOnly)
        return;
    const QByteArray bytes(data.data(), qsizetype(data.size()));
    splice(_position, qMin<qint64>(bytes.size(), qMax<qint64>(0, _length - _position)), bytes);
    _position += bytes.size();
}

void HLVRecordingStream::insert(const TagLib::ByteVector& data, Start start, Size replace)
{
    const qint64 at = qint64(start);
    if (_readOnly || at < 0)
        return;
    splice(at, qint64(replace), QByteArray(data.data(), qsizetype(data.size())));
    _position = at + qint64(data.size());
}

void HLVRecordingStream::removeBlock(Start start, Size length)
{
    const qint64 at = qint64(start);
    if (_readOnly || at < 0 || at >= _length)
        return;
    splice(at, qint64(length), QByteArray());
}

void HLVRecordingStream::seek(Offset offset, Position p)
{
    qint64 base = 0;
    if (p == Current)
        base = _position;
    else if (p == End)
        base = _length;
    if (base + qint64(offset) >= 0)
        _position = base + qint64(offset);
}

void HLVRecordingStream::truncate(Offset length)
{
    if (_readOnly || length < 0)
        return;
    if (length < _length)
        splice(length, _length - length, QByteArray());
    else if (length > _length)
        splice(_length, 0, QByteArray(length - _length, '\0'));
}

bool HLVRecordingStream::keepsOriginalInPlace() const
{
    qint64 at = 0;
    for (const Piece& piece : _pieces) {
        if (piece.source >= 0 && piece.source != at)
            return false;
        at += piece.length;
    }
    return true;
}

bool HLVRecordingStream::takesFromOriginal(qint64 resultAt, qint64 originalAt, qint64 length) const
{
    qint64 pieceStart = 0;
    const qint64 end = resultAt + length;
    for (const Piece& piece : _pieces) {
        const qint64 pieceEnd = pieceStart + piece.length;
        if (pieceEnd > resultAt && pieceStart < end) {
            if (piece.source < 0 || piece.source - pieceStart != originalAt - resultAt)
                return false;
        }
        if (pieceEnd >= end)
            return pieceEnd >= end && length >= 0;
        pieceStart = pieceEnd;
    }
    return length == 0;
}

QList<HLVRecordingStream::Change> HLVRecordingStream::changes() const
{
    // Stretches of the result not taken from the same offset of the original,
    // plus whatever of the original lies past the result's end.
    QList<std::pair<qint64, qint64>> spans;
    qint64 at = 0;
    for (const Piece& piece : _pieces) {
        if (piece.source != at && piece.length > 0) {
            if (!spans.isEmpty() && spans.last().second == at)
                spans.last().second = at + piece.length;
            else
                spans.append({at, at + piece.length});
        }
        at += piece.length;
    }
    if (_originalLength > _length) {
        if (!spans.isEmpty() && spans.last().second == _length)
            spans.last().second = _originalLength;
        else
            spans.append({_length, _originalLength});
    }
    QList<Change> changes;
    changes.reserve(spans.size());
    for (const auto& [begin, end] : std::as_const(spans)) {
        Change change;
        change.offset = begin;
        change.oldBytes = originalBytes(begin, end - begin);
        change.newBytes = resultBytes(begin, end - begin);
        // TagLib rewrites a whole tag for one changed frame: only what differs is kept.
        const char* before = change.oldBytes.constData();
        const char* after = change.newBytes.constData();
        const qsizetype oldSize = change.oldBytes.size();
        const qsizetype newSize = change.newBytes.size();
        const qsizetype common = qMin(oldSize, newSize);
        const qsizetype head = sameFromStart(before, after, common);
        const qsizetype tail = oldSize == newSize ? sameFromEnd(before + oldSize, after + newSize, common - head) : 0;
        if (head == oldSize && head == newSize)
            continue;
        change.offset += head;
        // Cut in place: no copies of a whole tag.
        change.oldBytes.chop(tail);
        change.oldBytes.remove(0, head);
        change.newBytes.chop(tail);
        change.newBytes.remove(0, head);
        changes.append(std::move(change));
    }
    return changes;
}
