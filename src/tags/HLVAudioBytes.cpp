#include "HLVAudioBytes.h"
#include "HLVFLACFile.h"

#include <QFile>
#include <QtEndian>

namespace HLVAudioBytes {
namespace {

constexpr qint64 chunkSize = 1 << 20;

QByteArray readAt(QIODevice& file, qint64 at, qint64 length)
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

// The length of an ID3v2 tag whose header is at bytes, footer included; 0
// when bytes do not start a tag header.
qint64 id3v2Length(const uchar* b)
{
    if (b[0] != 'I' || b[1] != 'D' || b[2] != '3' || b[3] == 0xFF || b[4] == 0xFF)
        return 0;
    qint64 size = 0;
    for (int i = 6; i < 10; ++i) {
        if (b[i] & 0x80)
            return 0;
        size = (size << 7) | b[i];
    }
    return 10 + size + ((b[5] & 0x10) ? 10 : 0);
}

// Just past the ID3v2 tag (or tags) at the start, footer included.
qint64 id3v2End(QIODevice& file)
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

// The length of the frame a valid header starts; 0 for a free bit rate,
// whose frames do not say how long they are.
qint64 mpegFrameLength(const uchar* b)
{
    static constexpr short kilobits[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2/2.5 layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2/2.5 layers II, III
    };
    static constexpr qint64 mpeg1Rates[3] = {44100, 48000, 32000};
    const int version = (b[1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = 4 - ((b[1] >> 1) & 3);
    const int table = version == 3 ? layer - 1 : (layer == 1 ? 3 : 4);
    const qint64 bitRate = kilobits[table][b[2] >> 4] * 1000LL;
    const qint64 sampleRate = mpeg1Rates[(b[2] >> 2) & 3] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int padding = (b[2] >> 1) & 1;
    if (layer == 1)
        return (12 * bitRate / sampleRate + padding) * 4;
    return (layer == 3 && version != 3 ? 72 : 144) * bitRate / sampleRate + padding;
}

// A header is taken for the first frame only when the next frame of the same
// stream follows it (or it ends the audio): the bytes 0xFF 0xFE of a UTF-16
// text in a tag, or a picture's data, often look like a lone frame header.
bool startsMPEGStream(QIODevice& file, qint64 at, const uchar* b, qint64 end)
{
    const qint64 length = mpegFrameLength(b);
    if (length <= 0)
        return false;
    if (at + length == end)
        return true;
    const QByteArray next = readAt(file, at + length, 4);
    if (next.size() < 4)
        return false;
    const auto n = reinterpret_cast<const uchar*>(next.constData());
    return isMPEGFrameHeader(n) && (n[1] & 0xFE) == (b[1] & 0xFE) && (n[2] & 0x0C) == (b[2] & 0x0C);
}

// Where the audio starts: the first frame confirmed by the next. Junk may come
// before the ID3v2 tag (TagLib finds and rewrites a tag there), so a tag met
// before the first frame is skipped whole. Without a confirmed frame (free bit
// rate), the first plausible header after the tags.
std::optional<qint64> firstMPEGFrame(QIODevice& file, qint64 end)
{
    // Read in small pieces: the first frame is usually near the start.
    constexpr qint64 scanSize = 64 * 1024;
    std::optional<qint64> plausible;
    for (qint64 at = 0; at + 3 < end;) {
        const QByteArray chunk = readAt(file, at, qMin(scanSize + 9, end - at));
        const auto bytes = reinterpret_cast<const uchar*>(chunk.constData());
        qint64 next = at + scanSize;
        for (qsizetype i = 0; i + 3 < chunk.size() && i < scanSize; ++i) {
            const qint64 tag = i + 9 < chunk.size() ? id3v2Length(bytes + i) : 0;
            if (tag > 0) {
                next = at + i + tag;
                plausible.reset();
                break;
            }
            if (!isMPEGFrameHeader(bytes + i))
                continue;
            if (startsMPEGStream(file, at + i, bytes + i, end))
                return at + i;
            if (!plausible)
                plausible = at + i;
        }
        at = next;
    }
    return plausible;
}

std::optional<QList<Range>> mp3Audio(QIODevice& file)
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
    if (const auto begin = firstMPEGFrame(file, end))
        return QList<Range>{{*begin, end}};
    return std::nullopt;
}

std::optional<QList<Range>> flacAudio(QIODevice& file, Lengths lengths)
{
    const qint64 size = file.size();
    qint64 at = id3v2End(file);
    if (readAt(file, at, 4) != "fLaC")
        return std::nullopt;
    at += 4;
    // A block whose declared length is off is read, and saved, at the length
    // that makes the metadata end at a frame sync: the audio begins there, in
    // the file as in its saved form.
    QList<HLVFLACFile::BlockRepair> repairs;
    if (lengths == Lengths::AsTheyAre || !HLVFLACFile::planRepairs(file, &repairs, nullptr))
        repairs.clear();
    for (bool last = false; !last;) {
        const QByteArray header = readAt(file, at, 4);
        if (header.size() < 4)
            return std::nullopt;
        last = static_cast<uchar>(header[0]) & 0x80;
        qint64 length = bigEndian32(header, 0) & 0xFFFFFF;
        for (const HLVFLACFile::BlockRepair& repair : std::as_const(repairs)) {
            if (repair.offset == at + 1)
                length = repair.corrected;
        }
        at += 4 + length;
        if (at > size)
            return std::nullopt;
    }
    qint64 end = size;
    if (end - 128 >= at && readAt(file, end - 128, 3) == "TAG")
        end -= 128;
    return QList<Range>{{at, end}};
}

std::optional<QList<Range>> mp4Audio(QIODevice& file)
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
    RangeCursor(QIODevice& file, const QList<Range>& ranges) : _file(file), _ranges(ranges) {}

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
    QIODevice& _file;
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

bool sameBytesIn(QIODevice& a, const QList<Range>& aRanges, QIODevice& b, const QList<Range>& bRanges)
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


std::optional<QList<Range>> rangesOf(QIODevice& device, HLVTagLib::Format format, Lengths lengths)
{
    switch (format) {
    case HLVTagLib::Format::MP3: return mp3Audio(device);
    case HLVTagLib::Format::FLAC: return flacAudio(device, lengths);
    case HLVTagLib::Format::MP4: return mp4Audio(device);
    case HLVTagLib::Format::Other: break;
    }
    return std::nullopt;
}

} // namespace

std::optional<QList<Range>> audioRanges(const QString& path, HLVTagLib::Format format)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return rangesOf(file, format, Lengths::AsSaved);
}

std::optional<QList<Range>> audioRanges(QIODevice& device, HLVTagLib::Format format, Lengths lengths)
{
    return rangesOf(device, format, lengths);
}

bool sameBytes(QIODevice& device, const QList<Range>& ranges, QIODevice& other, const QList<Range>& otherRanges)
{
    return sameBytesIn(device, ranges, other, otherRanges);
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
    return sameBytesIn(file, *ranges, other, *otherRanges);
}

} // namespace HLVAudioBytes
