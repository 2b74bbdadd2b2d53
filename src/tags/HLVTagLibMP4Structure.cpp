#include "HLVTagLibMP4Structure.h"

#include <QFile>
#include <QtEndian>
#include <cstring>

namespace HLVTagLibMP4Structure {

namespace {

constexpr int kMaximumDepth = 16;

struct Box {
    QByteArray type;
    qint64 size = 0;
    qint64 headerSize = 0;
};

// Older writers store "meta" as a plain box, its first child right after the
// header; TagLib tells the two forms apart by the name of that child.
bool isPlainMetaBox(QIODevice& file, qint64 childrenStart)
{
    char name[4];
    if (!file.seek(childrenStart + 4) || file.read(name, 4) != 4)
        return false;
    for (const char* child : {"hdlr", "ilst", "mhdr", "ctry", "lang"}) {
        if (std::memcmp(name, child, 4) == 0)
            return true;
    }
    return false;
}

// The boxes TagLib parses the children of, with the bytes before the first child.
bool childrenOffset(const QByteArray& type, qint64* skip)
{
    static const char* const containers[] = {"moov", "udta", "mdia", "ilst", "stbl",
                                             "minf", "moof", "traf", "trak"};
    for (const char* container : containers) {
        if (type == container) {
            *skip = 0;
            return true;
        }
    }
    if (type == "meta") { // version and flags come first
        *skip = 4;
        return true;
    }
    if (type == "stsd") { // version, flags and entry count come first
        *skip = 8;
        return true;
    }
    return false;
}

bool readAt(QIODevice& file, qint64 offset, char* buffer, qint64 length)
{
    return file.seek(offset) && file.read(buffer, length) == length;
}

// The box starting at offset, which must end by end. Only a top-level box may
// have size 0 (it then runs to the end of the file); a container of that size
// would swallow the boxes after it.
bool readBox(QIODevice& file, qint64 offset, qint64 end, bool topLevel, Box* box)
{
    char header[16];
    if (end - offset < 8 || !readAt(file, offset, header, 8))
        return false;
    const quint32 size = qFromBigEndian<quint32>(header);
    box->type = QByteArray(header + 4, 4);
    if (size == 1) {
        if (end - offset < 16 || !readAt(file, offset + 8, header + 8, 8))
            return false;
        const quint64 largeSize = qFromBigEndian<quint64>(header + 8);
        if (largeSize > quint64(end - offset))
            return false;
        box->size = qint64(largeSize);
        box->headerSize = 16;
    } else if (size == 0) {
        qint64 skip = 0;
        if (!topLevel || childrenOffset(box->type, &skip))
            return false;
        box->size = end - offset;
        box->headerSize = 8;
    } else {
        box->size = size;
        box->headerSize = 8;
    }
    return box->size >= box->headerSize && box->size <= end - offset;
}

// A chunk-offset table: version and flags, an entry count, the entries.
bool offsetTableFits(QIODevice& file, qint64 offset, const Box& box, qint64 entrySize)
{
    char count[4];
    if (box.size < box.headerSize + 8 || !readAt(file, offset + box.headerSize + 4, count, 4))
        return false;
    return qint64(qFromBigEndian<quint32>(count)) * entrySize <= box.size - box.headerSize - 8;
}

bool onlyZeroBytes(QIODevice& file, qint64 offset, qint64 length)
{
    char bytes[8] = {};
    if (!readAt(file, offset, bytes, length))
        return false;
    static const char zeros[8] = {};
    return std::memcmp(bytes, zeros, size_t(length)) == 0;
}

bool fail(QString* reason, const char* text)
{
    if (reason)
        *reason = QString::fromLatin1(text);
    return false;
}

bool boxesFit(QIODevice& file, qint64 begin, qint64 end, int depth, bool* sawMovie, QString* reason)
{
    if (depth > kMaximumDepth)
        return fail(reason, "the MPEG-4 boxes are nested too deeply");
    const bool topLevel = depth == 0;
    qint64 offset = begin;
    while (end - offset >= 8) {
        Box box;
        if (!readBox(file, offset, end, topLevel, &box))
            return fail(reason, topLevel ? "an MPEG-4 box reaches past the end of the file"
                                         : "an MPEG-4 box reaches past the end of its parent");
        if (topLevel && box.type == "moov")
            *sawMovie = true;
        qint64 skip = 0;
        if (childrenOffset(box.type, &skip)) {
            if (box.type == "meta" && isPlainMetaBox(file, offset + box.headerSize))
                skip = 0;
            if (box.size < box.headerSize + skip)
                return fail(reason, "an MPEG-4 box is too short for its contents");
            if (!boxesFit(file, offset + box.headerSize + skip, offset + box.size, depth + 1, sawMovie, reason))
                return false;
        } else if ((box.type == "stco" && !offsetTableFits(file, offset, box, 4))
                   || (box.type == "co64" && !offsetTableFits(file, offset, box, 8))) {
            return fail(reason, "an MPEG-4 chunk offset table overruns its box");
        }
        offset += box.size;
    }
    // Some writers end a container with a 32-bit zero; the file itself ends with its last box.
    if (offset == end || (!topLevel && onlyZeroBytes(file, offset, end - offset)))
        return true;
    return fail(reason, topLevel ? "the file ends inside an MPEG-4 box header"
                                 : "an MPEG-4 box ends with stray bytes");
}

// Appends the entries of every chunk-offset table below begin..end, in file order.
bool collectChunkOffsets(QIODevice& file, qint64 begin, qint64 end, int depth, QList<qint64>* offsets)
{
    if (depth > kMaximumDepth)
        return false;
    for (qint64 offset = begin; end - offset >= 8;) {
        Box box;
        if (!readBox(file, offset, end, depth == 0, &box))
            return depth > 0; // stray bytes at a container's end carry no table
        qint64 skip = 0;
        if (childrenOffset(box.type, &skip)) {
            if (box.type == "meta" && isPlainMetaBox(file, offset + box.headerSize))
                skip = 0;
            if (box.size >= box.headerSize + skip
                && !collectChunkOffsets(file, offset + box.headerSize + skip, offset + box.size, depth + 1, offsets))
                return false;
        } else if (box.type == "stco" || box.type == "co64") {
            const qint64 entrySize = box.type == "stco" ? 4 : 8;
            if (!offsetTableFits(file, offset, box, entrySize))
                return false;
            char count[4];
            if (!readAt(file, offset + box.headerSize + 4, count, 4))
                return false;
            const qint64 entries = qFromBigEndian<quint32>(count);
            QByteArray table(entries * entrySize, Qt::Uninitialized);
            if (!readAt(file, offset + box.headerSize + 8, table.data(), table.size()))
                return false;
            for (qint64 i = 0; i < entries; ++i) {
                const char* entry = table.constData() + i * entrySize;
                offsets->append(entrySize == 4 ? qint64(qFromBigEndian<quint32>(entry))
                                               : qint64(qFromBigEndian<quint64>(entry) & 0x7FFFFFFFFFFFFFFFull));
            }
        }
        offset += box.size;
    }
    return true;
}

} // namespace

std::optional<QList<qint64>> chunkOffsets(QIODevice& device)
{
    QList<qint64> offsets;
    if (!collectChunkOffsets(device, 0, device.size(), 0, &offsets))
        return std::nullopt;
    return offsets;
}

bool isSoundForWriting(const QString& path, QString* reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(reason, "the file cannot be read");
    bool sawMovie = false;
    if (!boxesFit(file, 0, file.size(), 0, &sawMovie, reason))
        return false;
    return sawMovie || fail(reason, "the file has no MPEG-4 movie box");
}

} // namespace HLVTagLibMP4Structure
