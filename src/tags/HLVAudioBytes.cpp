#include "HLVAudioBytes.h"

#include <QFile>
#include <QtEndian>

namespace HLVAudioBytes {
namespace {

constexpr qint64 chunkSize = 1 << 20;

QByteArray readAt(QFile& file, qint64 at, qint64 length)
{
    if (at < 0 || length <= 0 || !file.seek(at))
        return QByteArray();
    return file.read(length);
}

quint32 bigEndian32(const QByteArray& bytes, int at)
{
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

quint32 littleEndian32(const QByteArray& bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// Just past the ID3v2 tag (or tags) at the start, footer included.
qint64 id3v2End(QFile& file)
{
    qint64 at = 0;
    for (;;) {
        const QByteArray header = readAt(file, at, 10);
        if (header.size() < 10 || !header.startsWith("ID3"))
            return at;
        qint64 size = 0;
        for (int i = 6; i < 10; ++i)
            size = (size << 7) | (static_cast<uchar>(header[i]) & 0x7F);
        const bool footer = static_cast<uchar>(header[5]) & 0x10;
        at += 10 + size + (footer ? 10 : 0);
    }
}

bool isMPEGFrameHeader(const uchar* b)
{
    return b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 // sync
        && ((b[1] >> 3) & 3) != 1                 // version
        && ((b[1] >> 1) & 3) != 0                 // layer
        && (b[2] >> 4) != 0xF                     // bit rate
        && ((b[2] >> 2) & 3) != 3;                // sample rate
}

std::optional<QList<Range>> mp3Audio(QFile& file)
{
    const qint64 size = file.size();
    qint64 end = size;
    if (end >= 128 && readAt(file, end - 128, 3) == "TAG")
        end -= 128;
    if (end >= 32) {
        const QByteArray footer = readAt(file, end - 32, 32);
        if (footer.startsWith("APETAGEX")) {
            const qint64 tagSize = littleEndian32(footer, 12) + ((littleEndian32(footer, 20) & 0x80000000u) ? 32 : 0);
            if (tagSize <= end)
                end -= tagSize;
        }
    }
    for (qint64 at = id3v2End(file); at + 3 < end; at += chunkSize) {
        const QByteArray chunk = readAt(file, at, qMin(chunkSize + 3, end - at));
        const auto bytes = reinterpret_cast<const uchar*>(chunk.constData());
        for (qsizetype i = 0; i + 3 < chunk.size(); ++i) {
            if (isMPEGFrameHeader(bytes + i))
                return QList<Range>{{at + i, end}};
        }
    }
    return std::nullopt;
}

std::optional<QList<Range>> flacAudio(QFile& file)
{
    const qint64 size = file.size();
    qint64 at = id3v2End(file);
    if (readAt(file, at, 4) != "fLaC")
        return std::nullopt;
    at += 4;
    for (bool last = false; !last;) {
        const QByteArray header = readAt(file, at, 4);
        if (header.size() < 4)
            return std::nullopt;
        last = static_cast<uchar>(header[0]) & 0x80;
        at += 4 + (bigEndian32(header, 0) & 0xFFFFFF);
        if (at > size)
            return std::nullopt;
    }
    qint64 end = size;
    if (end - 128 >= at && readAt(file, end - 128, 3) == "TAG")
        end -= 128;
    return QList<Range>{{at, end}};
}

std::optional<QList<Range>> mp4Audio(QFile& file)
{
    const qint64 size = file.size();
    QList<Range> ranges;
    qint64 at = 0;
    while (at < size) {
        const QByteArray header = readAt(file, at, 16);
        if (header.size() < 8)
            return std::nullopt;
        qint64 boxSize = bigEndian32(header, 0);
        qint64 headerSize = 8;
        if (boxSize == 1) {
            if (header.size() < 16)
                return std::nullopt;
            boxSize = qint64(qFromBigEndian<quint64>(header.constData() + 8) & 0x7FFFFFFFFFFFFFFFull);
            headerSize = 16;
        } else if (boxSize == 0) {
            boxSize = size - at;
        }
        if (boxSize < headerSize || boxSize > size - at)
            return std::nullopt;
        if (header.mid(4, 4) == "mdat")
            ranges.append({at + headerSize, at + boxSize});
        at += boxSize;
    }
    return ranges;
}

// Reads the bytes of a list of ranges in order, piece by piece.
class RangeCursor
{
public:
    RangeCursor(QFile& file, const QList<Range>& ranges) : _file(file), _ranges(ranges) {}

    qint64 availableInRange()
    {
        while (_index < _ranges.size() && _offset >= _ranges[_index].size()) {
            ++_index;
            _offset = 0;
        }
        return _index < _ranges.size() ? _ranges[_index].size() - _offset : 0;
    }

    QByteArray take(qint64 length)
    {
        const QByteArray bytes = readAt(_file, _ranges[_index].begin + _offset, length);
        _offset += length;
        return bytes;
    }

private:
    QFile& _file;
    const QList<Range>& _ranges;
    qsizetype _index = 0;
    qint64 _offset = 0;
};

qint64 totalSize(const QList<Range>& ranges)
{
    qint64 total = 0;
    for (const Range& range : ranges)
        total += range.size();
    return total;
}

bool sameBytes(QFile& a, const QList<Range>& aRanges, QFile& b, const QList<Range>& bRanges)
{
    if (totalSize(aRanges) != totalSize(bRanges))
        return false;
    RangeCursor left(a, aRanges);
    RangeCursor right(b, bRanges);
    for (;;) {
        const qint64 length = qMin(chunkSize, qMin(left.availableInRange(), right.availableInRange()));
        if (length == 0)
            return left.availableInRange() == 0 && right.availableInRange() == 0;
        const QByteArray leftBytes = left.take(length);
        if (leftBytes.size() != length || leftBytes != right.take(length))
            return false;
    }
}

} // namespace

std::optional<QList<Range>> audioRanges(const QString& path, HLVTagLib::Format format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    switch (format) {
    case HLVTagLib::Format::MP3: return mp3Audio(file);
    case HLVTagLib::Format::FLAC: return flacAudio(file);
    case HLVTagLib::Format::MP4: return mp4Audio(file);
    case HLVTagLib::Format::Other: break;
    }
    return std::nullopt;
}

std::optional<bool> haveSameAudio(const QString& path, const QString& otherPath, HLVTagLib::Format format)
{
    const auto ranges = audioRanges(path, format);
    const auto otherRanges = audioRanges(otherPath, format);
    if (!ranges || !otherRanges)
        return std::nullopt;
    QFile file(path);
    QFile other(otherPath);
    if (!file.open(QIODevice::ReadOnly) || !other.open(QIODevice::ReadOnly))
        return std::nullopt;
    return sameBytes(file, *ranges, other, *otherRanges);
}

} // namespace HLVAudioBytes
