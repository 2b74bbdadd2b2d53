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
// would swallow the boxes after it. Answers what is wrong, or null.
const char* readBox(QIODevice& file, qint64 offset, qint64 end, bool topLevel, Box* box)
{
    char header[16];
    if (!readAt(file, offset, header, 8))
        return "cannot be read";
    const quint32 size = qFromBigEndian<quint32>(header);
    box->type = QByteArray(header + 4, 4);
    const char* tooLong = topLevel ? "claims more bytes than the file holds" : "claims more bytes than its parent holds";
    if (size == 1) {
        if (end - offset < 16 || !readAt(file, offset + 8, header + 8, 8))
            return tooLong;
        const quint64 largeSize = qFromBigEndian<quint64>(header + 8);
        if (largeSize > quint64(end - offset))
            return tooLong;
        box->size = qint64(largeSize);
        box->headerSize = 16;
    } else if (size == 0) {
        qint64 skip = 0;
        if (!topLevel || childrenOffset(box->type, &skip))
            return "has no size";
        box->size = end - offset;
        box->headerSize = 8;
    } else {
        box->size = size;
        box->headerSize = 8;
    }
    if (box->size < box->headerSize)
        return "claims fewer bytes than its header";
    return box->size <= end - offset ? nullptr : tooLong;
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

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

// A box by its path from the top ("moov/udta/meta"); bytes outside printable
// ASCII, but for the 0xA9 of item names, show as "?".
QString boxName(const QString& parent, const QByteArray& type)
{
    QString name;
    for (const char c : type) {
        const auto byte = static_cast<unsigned char>(c);
        const bool shown = byte == 0xA9 || (byte >= 0x20 && byte < 0x7F);
        name += shown ? QChar(char16_t(byte)) : QChar(u'?');
    }
    return parent.isEmpty() ? name : parent + QLatin1Char('/') + name;
}

bool damaged(QString* reason, const QString& what)
{
    return fail(reason, QStringLiteral("the MPEG-4 structure is damaged: ") + what);
}

bool boxesFit(QIODevice& file, qint64 begin, qint64 end, const QString& parent, int depth, bool* sawMovie,
              QString* reason)
{
    if (depth > kMaximumDepth)
        return damaged(reason, QStringLiteral("its boxes are nested too deeply"));
    const bool topLevel = depth == 0;
    qint64 offset = begin;
    while (end - offset >= 8) {
        Box box;
        if (const char* problem = readBox(file, offset, end, topLevel, &box))
            return damaged(reason, QStringLiteral("box %1 %2").arg(boxName(parent, box.type), QLatin1String(problem)));
        const QString name = boxName(parent, box.type);
        if (topLevel && box.type == "moov")
            *sawMovie = true;
        qint64 skip = 0;
        if (childrenOffset(box.type, &skip)) {
            if (box.type == "meta" && isPlainMetaBox(file, offset + box.headerSize))
                skip = 0;
            if (box.size < box.headerSize + skip)
                return damaged(reason, QStringLiteral("box %1 is too short for its contents").arg(name));
            if (!boxesFit(file, offset + box.headerSize + skip, offset + box.size, name, depth + 1, sawMovie, reason))
                return false;
        } else if ((box.type == "stco" && !offsetTableFits(file, offset, box, 4))
                   || (box.type == "co64" && !offsetTableFits(file, offset, box, 8))) {
            return damaged(reason, QStringLiteral("box %1 claims more chunk offsets than it holds").arg(name));
        }
        offset += box.size;
    }
    // Some writers end a container with a 32-bit zero; the file itself ends with its last box.
    if (offset == end || (!topLevel && onlyZeroBytes(file, offset, end - offset)))
        return true;
    return damaged(reason, topLevel ? QStringLiteral("the file ends inside the header of a box")
                                    : QStringLiteral("box %1 ends with stray bytes").arg(parent));
}

// Appends the entries of every chunk-offset table below begin..end, in file order.
bool collectChunkOffsets(QIODevice& file, qint64 begin, qint64 end, int depth, QList<qint64>* offsets)
{
    if (depth > kMaximumDepth)
        return false;
    for (qint64 offset = begin; end - offset >= 8;) {
        Box box;
        if (readBox(file, offset, end, depth == 0, &box))
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
        return fail(reason, QStringLiteral("the file cannot be read"));
    return isSoundForWriting(file, reason);
}

bool isSoundForWriting(QIODevice& file, QString* reason)
{
    bool sawMovie = false;
    if (!boxesFit(file, 0, file.size(), QString(), 0, &sawMovie, reason))
        return false;
    return sawMovie || damaged(reason, QStringLiteral("the file has no movie box (moov)"));
}

bool beginsAsMPEG4(const QString& path)
{
    QFile file(path);
    char header[8];
    if (!file.open(QIODevice::ReadOnly) || file.read(header, 8) != 8)
        return false;
    // The boxes a file may begin with: the file type, or in older files the
    // movie, its media data or free space.
    const QByteArray type(header + 4, 4);
    for (const char* first : {"ftyp", "moov", "mdat", "free", "skip", "wide"}) {
        if (type == first)
            return true;
    }
    return false;
}

} // namespace HLVTagLibMP4Structure
