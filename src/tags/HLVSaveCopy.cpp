#include "HLVSaveCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace HLVSaveCopy {
namespace {

// A copy of parts starts with this; a whole copy starts like the audio file it
// copies, which never does.
constexpr char regionsMagic[] = "CadrelleRegions1";
constexpr qint64 magicSize = sizeof regionsMagic - 1;
constexpr qint64 chunkSize = 1 << 20;

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool sameRange(int a, qint64 aAt, int b, qint64 bAt, qint64 length)
{
    QByteArray left(int(qMin(chunkSize, qMax<qint64>(length, 1))), Qt::Uninitialized);
    QByteArray right(left.size(), Qt::Uninitialized);
    while (length > 0) {
        const qint64 piece = qMin<qint64>(left.size(), length);
        if (!readAll(a, left.data(), piece, aAt) || !readAll(b, right.data(), piece, bAt)
            || std::memcmp(left.constData(), right.constData(), size_t(piece)) != 0)
            return false;
        aAt += piece;
        bAt += piece;
        length -= piece;
    }
    return true;
}

// What a copy holds: the original's length, and where each part it kept
// went in the file (the parts follow one another in the copy from dataStart).
struct Layout
{
    qint64 originalSize = 0;
    QList<Region> regions;
    qint64 dataStart = 0;
};

std::optional<Layout> readLayout(const Descriptor& copy)
{
    const qint64 copySize = copy.size();
    if (copySize < 0)
        return std::nullopt;
    QByteArray start(int(qMin<qint64>(magicSize + 16, copySize)), Qt::Uninitialized);
    if (!readAll(copy.get(), start.data(), start.size(), 0))
        return std::nullopt;
    if (start.size() < magicSize + 16 || !start.startsWith(QByteArray(regionsMagic, magicSize)))
        return Layout{copySize, {{0, copySize}}, 0};
    Layout layout;
    layout.originalSize = qFromLittleEndian<qint64>(start.constData() + magicSize);
    const qint64 count = qFromLittleEndian<qint64>(start.constData() + magicSize + 8);
    // The header is read from disk: check the count before computing with it.
    if (count < 0 || count > 16 || layout.originalSize < 0)
        return std::nullopt;
    layout.dataStart = magicSize + 16 + count * 16;
    if (layout.dataStart > copySize)
        return std::nullopt;
    QByteArray table(int(count * 16), Qt::Uninitialized);
    if (!readAll(copy.get(), table.data(), table.size(), magicSize + 16))
        return std::nullopt;
    qint64 kept = 0;
    for (qint64 i = 0; i < count; ++i) {
        const Region region{qFromLittleEndian<qint64>(table.constData() + i * 16),
                            qFromLittleEndian<qint64>(table.constData() + i * 16 + 8)};
        if (region.offset < 0 || region.length < 0 || region.offset > layout.originalSize
            || region.length > layout.originalSize - region.offset || region.length > copySize)
            return std::nullopt;
        layout.regions.append(region);
        kept += region.length;
    }
    if (layout.dataStart + kept != copySize)
        return std::nullopt;
    return layout;
}

} // namespace

Descriptor::Descriptor(const QString& path, int flags, unsigned int mode)
{
    do
        _fd = ::open(encoded(path).constData(), flags | O_CLOEXEC, mode_t(mode));
    while (_fd < 0 && errno == EINTR);
}

Descriptor::~Descriptor()
{
    if (_fd >= 0)
        ::close(_fd);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept
{
    if (this != &other) {
        if (_fd >= 0)
            ::close(_fd);
        _fd = other._fd;
        other._fd = -1;
    }
    return *this;
}

qint64 Descriptor::size() const
{
    struct stat info;
    return ::fstat(_fd, &info) == 0 ? qint64(info.st_size) : -1;
}

bool writeAll(int fd, const char* data, qint64 length, qint64 at)
{
    while (length > 0) {
        const ssize_t written = ::pwrite(fd, data, size_t(length), off_t(at));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        length -= written;
        at += written;
    }
    return true;
}

bool readAll(int fd, char* data, qint64 length, qint64 at)
{
    while (length > 0) {
        const ssize_t read = ::pread(fd, data, size_t(length), off_t(at));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0) {
            if (read == 0)
                errno = EIO; // shorter than it was
            return false;
        }
        data += read;
        length -= read;
        at += read;
    }
    return true;
}

bool copyRange(int from, qint64 fromAt, int to, qint64 toAt, qint64 length)
{
    while (length > 0) {
        loff_t in = fromAt, out = toAt;
        const ssize_t copied = ::copy_file_range(from, &in, to, &out, size_t(length), 0);
        if (copied > 0) {
            fromAt += copied;
            toAt += copied;
            length -= copied;
            continue;
        }
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied == 0) {
            errno = EIO;
            return false;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            return false;
        break;
    }
    QByteArray buffer(int(qMin(chunkSize, qMax<qint64>(length, 1))), Qt::Uninitialized);
    while (length > 0) {
        const qint64 piece = qMin<qint64>(buffer.size(), length);
        if (!readAll(from, buffer.data(), piece, fromAt) || !writeAll(to, buffer.constData(), piece, toAt))
            return false;
        fromAt += piece;
        toAt += piece;
        length -= piece;
    }
    return true;
}

bool syncDescriptor(int fd)
{
    int result;
    do
        result = ::fdatasync(fd);
    while (result < 0 && errno == EINTR);
    return result == 0;
}

bool syncFolderOf(const QString& path)
{
    const Descriptor folder(QFileInfo(path).absolutePath(), O_RDONLY | O_DIRECTORY);
    if (!folder.isOpen())
        return false;
    int result;
    do
        result = ::fsync(folder.get());
    while (result < 0 && errno == EINTR);
    return result == 0 || errno == EINVAL;
}

bool matches(const QString& path, const QString& copyPath)
{
    const Descriptor copy(copyPath, O_RDONLY);
    const Descriptor file(path, O_RDONLY);
    const auto layout = copy.isOpen() ? readLayout(copy) : std::nullopt;
    if (!layout || !file.isOpen() || file.size() != layout->originalSize)
        return false;
    qint64 at = layout->dataStart;
    for (const Region& region : layout->regions) {
        if (!sameRange(file.get(), region.offset, copy.get(), at, region.length))
            return false;
        at += region.length;
    }
    return true;
}

HLVFailure failureForError(int error, const QString& doing)
{
    using Kind = HLVFailure::Kind;
    switch (error) {
    case ENOSPC:
    case EDQUOT: return HLVFailure::make(Kind::WriteFailed, QStringLiteral("the disk is full"));
    case EFBIG: return HLVFailure::make(Kind::WriteFailed, QStringLiteral("the file would exceed the file size limit"));
    case EACCES:
    case EPERM:
    case EROFS: return HLVFailure::make(Kind::ReadOnly, doing + QStringLiteral(": permission denied"));
    default:
        return HLVFailure::make(Kind::WriteFailed, doing + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
    }
}

void remove(const QString& path)
{
    ::unlink(encoded(path).constData());
}

} // namespace HLVSaveCopy
