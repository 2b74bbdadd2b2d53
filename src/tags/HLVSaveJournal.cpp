#include "HLVSaveJournal.h"

#include <QCryptographicHash>
#include <QtEndian>
#include <zlib.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// A journal holds the old and new bytes of every stretch a save changes (a
// moved save's, the whole file twice): its checksum is CRC-32, which finds a
// torn or damaged journal at several times BLAKE2b's speed. What a journal
// may restore is proven against the file besides. Journals left by earlier
// versions (BLAKE2b, SHA-256) are still read.
constexpr char magic[] = "CadrelleJournal4";
constexpr char blake2bMagic[] = "CadrelleJournal3";
constexpr char sha256Magic[] = "CadrelleJournal2";
constexpr qsizetype magicSize = sizeof magic - 1;
static_assert(sizeof sha256Magic == sizeof magic && sizeof blake2bMagic == sizeof magic);

// Which checksum a journal's magic names.
enum class Checksum { None, Crc32, Blake2b, Sha256 };

Checksum checksumNamedBy(QByteArrayView start)
{
    if (start == QByteArrayView(magic, magicSize))
        return Checksum::Crc32;
    if (start == QByteArrayView(blake2bMagic, magicSize))
        return Checksum::Blake2b;
    if (start == QByteArrayView(sha256Magic, magicSize))
        return Checksum::Sha256;
    return Checksum::None;
}

qsizetype checksumSize(Checksum kind)
{
    return kind == Checksum::Crc32 ? 4 : 32;
}

QByteArray checksum(Checksum kind, QByteArrayView bytes)
{
    switch (kind) {
    case Checksum::Crc32: {
        char out[4];
        const auto data = reinterpret_cast<const Bytef*>(bytes.data());
        qToLittleEndian<quint32>(quint32(crc32_z(crc32_z(0, nullptr, 0), data, size_t(bytes.size()))), out);
        return QByteArray(out, 4);
    }
    case Checksum::Blake2b: return QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256);
    case Checksum::Sha256: return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    case Checksum::None: break;
    }
    return QByteArray();
}

void append64(QByteArray& out, qint64 value)
{
    char bytes[8];
    qToLittleEndian<qint64>(value, bytes);
    out.append(bytes, 8);
}

} // namespace

class HLVSaveJournal::Reader
{
public:
    explicit Reader(const QByteArray& bytes, qsizetype end) : _bytes(bytes), _end(end) {}

    bool take64(qint64& value)
    {
        if (_end - _at < 8)
            return _ok = false;
        value = qFromLittleEndian<qint64>(_bytes.constData() + _at);
        _at += 8;
        return true;
    }
    bool takeBytes(qint64 length, QByteArray& out)
    {
        if (length < 0 || length > _end - _at)
            return _ok = false;
        out = _bytes.mid(_at, length);
        _at += length;
        return true;
    }
    bool atEnd() const { return _ok && _at == _end; }

private:
    const QByteArray& _bytes;
    qsizetype _end;
    qsizetype _at = magicSize;
    bool _ok = true;
};

QByteArray HLVSaveJournal::serialized(const QList<HLVSaveJournal>& entries)
{
    qsizetype size = magicSize + 8 + checksumSize(Checksum::Crc32);
    for (const HLVSaveJournal& entry : entries)
        size += 8 + entry.path.size() * 3 + 9 * 8 + entry.ranges.size() * 3 * 8 + entry.payloadSize();
    QByteArray out;
    out.reserve(size); // a group's journal holds its files' changes: grown once, not copied on the way
    out.append(magic, magicSize);
    append64(out, entries.size());
    for (const HLVSaveJournal& entry : entries)
        entry.append(out);
    out += checksum(Checksum::Crc32, out);
    return out;
}

void HLVSaveJournal::append(QByteArray& out) const
{
    const QByteArray name = path.toUtf8();
    append64(out, name.size());
    out += name;
    append64(out, qint64(identity.device));
    append64(out, qint64(identity.inode));
    append64(out, identity.size);
    append64(out, identity.modified);
    append64(out, identity.changed);
    append64(out, identity.born);
    append64(out, identity.generation);
    append64(out, newSize);
    append64(out, ranges.size());
    for (const Range& range : ranges) {
        append64(out, range.offset);
        append64(out, range.oldBytes.size());
        append64(out, range.newBytes.size());
        out += range.oldBytes;
        out += range.newBytes;
    }
}

std::optional<QList<HLVSaveJournal>> HLVSaveJournal::parse(const QByteArray& bytes)
{
    if (bytes.size() < magicSize)
        return std::nullopt;
    const Checksum kind = checksumNamedBy(QByteArrayView(bytes.constData(), magicSize));
    if (kind == Checksum::None || bytes.size() < magicSize + checksumSize(kind))
        return std::nullopt;
    const qsizetype end = bytes.size() - checksumSize(kind);
    if (checksum(kind, QByteArrayView(bytes.constData(), end)) != QByteArrayView(bytes).sliced(end))
        return std::nullopt;
    Reader reader(bytes, end);
    qint64 entries = 0;
    if (!reader.take64(entries) || entries < 0 || entries > end)
        return std::nullopt;
    QList<HLVSaveJournal> journals;
    for (qint64 i = 0; i < entries; ++i) {
        auto entry = takeEntry(reader, end);
        if (!entry)
            return std::nullopt;
        journals.append(*entry);
    }
    if (!reader.atEnd())
        return std::nullopt;
    return journals;
}

std::optional<HLVSaveJournal> HLVSaveJournal::takeEntry(Reader& reader, qsizetype end)
{
    HLVSaveJournal journal;
    qint64 nameSize = 0, device = 0, inode = 0, count = 0;
    QByteArray name;
    if (!reader.take64(nameSize) || !reader.takeBytes(nameSize, name) || !reader.take64(device)
        || !reader.take64(inode) || !reader.take64(journal.identity.size) || !reader.take64(journal.identity.modified)
        || !reader.take64(journal.identity.changed) || !reader.take64(journal.identity.born)
        || !reader.take64(journal.identity.generation) || !reader.take64(journal.newSize) || !reader.take64(count))
        return std::nullopt;
    journal.path = QString::fromUtf8(name);
    journal.identity.device = quint64(device);
    journal.identity.inode = quint64(inode);
    if (count < 0 || count > end || journal.identity.size < 0 || journal.newSize < 0)
        return std::nullopt;
    for (qint64 i = 0; i < count; ++i) {
        Range range;
        qint64 oldSize = 0, newSize = 0;
        if (!reader.take64(range.offset) || !reader.take64(oldSize) || !reader.take64(newSize)
            || !reader.takeBytes(oldSize, range.oldBytes) || !reader.takeBytes(newSize, range.newBytes))
            return std::nullopt;
        // Old bytes lie inside the old file, new ones inside the new.
        const qint64 longer = qMax(journal.identity.size, journal.newSize);
        if (range.offset < 0 || range.offset > longer || (oldSize > 0 && oldSize > journal.identity.size - range.offset)
            || (newSize > 0 && newSize > journal.newSize - range.offset))
            return std::nullopt;
        journal.ranges.append(range);
    }
    return journal;
}

std::optional<HLVSaveJournal::Identity> HLVSaveJournal::identityOf(int fd)
{
    // One call for what fstat() says and the birth time: this runs several times a save.
    struct statx info;
    constexpr unsigned wanted = STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME;
    if (::statx(fd, "", AT_EMPTY_PATH, wanted, &info) != 0)
        return std::nullopt;
    constexpr unsigned needed = STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME;
    if ((info.stx_mask & needed) != needed)
        return std::nullopt;
    Identity identity;
    identity.device = quint64(makedev(info.stx_dev_major, info.stx_dev_minor));
    identity.inode = quint64(info.stx_ino);
    identity.size = qint64(info.stx_size);
    identity.modified = qint64(info.stx_mtime.tv_sec) * 1000000000LL + info.stx_mtime.tv_nsec;
    identity.changed = qint64(info.stx_ctime.tv_sec) * 1000000000LL + info.stx_ctime.tv_nsec;
    if (info.stx_mask & STATX_BTIME)
        identity.born = qint64(info.stx_btime.tv_sec) * 1000000000LL + info.stx_btime.tv_nsec;
    int generation = 0;
    if (::ioctl(fd, FS_IOC_GETVERSION, &generation) == 0)
        identity.generation = generation;
    return identity;
}

bool HLVSaveJournal::Identity::isSameFile(const Identity& other) const
{
    return device == other.device && inode == other.inode && (born < 0 || other.born < 0 || born == other.born)
        && (generation < 0 || other.generation < 0 || generation == other.generation);
}

qint64 HLVSaveJournal::payloadSize() const
{
    qint64 total = 0;
    for (const Range& range : ranges)
        total += range.oldBytes.size() + range.newBytes.size();
    return total;
}
