#include "HLVSafeSave.h"
#include "HLVAudioBytes.h"
#include "HLVTagLib.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <taglib/fileref.h>
#include <unistd.h>

namespace {

constexpr char copySuffix[] = ".cadrelle-original";
// The copy is written under this name and renamed only once complete, so a
// copy under the final name is always a whole one.
constexpr char partialSuffix[] = ".partial";
constexpr qsizetype nameLimit = 255; // bytes in one name (NAME_MAX)

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

class Descriptor
{
public:
    explicit Descriptor(int fd) : _fd(fd) {}
    ~Descriptor()
    {
        if (_fd >= 0)
            ::close(_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return _fd; }
    bool isOpen() const { return _fd >= 0; }

private:
    int _fd;
};

int openPath(const QString& path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(encoded(path).constData(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool exists(const QString& path)
{
    struct stat info;
    return ::lstat(encoded(path).constData(), &info) == 0;
}

// A failed write returns EFBIG instead of the process being killed by SIGXFSZ
// when it reaches the file-size limit, so the save can put the file back.
void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

HLVFailure failureForError(int error, const QString& doing)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT: return HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the disk is full"));
    case EFBIG:
        return HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the file would exceed the file size limit"));
    case EACCES:
    case EPERM:
    case EROFS:
        return HLVFailure::make(HLVFailure::Kind::ReadOnly, doing + QStringLiteral(": permission denied"));
    default: return HLVFailure::make(HLVFailure::Kind::WriteFailed, doing + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
    }
}

bool report(HLVFailure* out, const HLVFailure& failure)
{
    if (out)
        *out = failure;
    return false;
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

// Copies the first length bytes of from into to, both from offset 0; errno
// tells why when it fails.
bool copyBytes(int from, int to, qint64 length)
{
    qint64 done = 0;
    while (done < length) {
        loff_t inAt = done, outAt = done;
        const ssize_t copied = ::copy_file_range(from, &inAt, to, &outAt, size_t(length - done), 0);
        if (copied > 0) {
            done += copied;
            continue;
        }
        if (copied < 0 && errno == EINTR)
            continue;
        if (copied == 0) {
            errno = EIO; // the source is shorter than it was
            return false;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL)
            return false;
        break; // not offered here: copy through memory
    }
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    while (done < length) {
        const ssize_t read = ::pread(from, buffer.data(), size_t(qMin<qint64>(buffer.size(), length - done)), off_t(done));
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0) {
            if (read == 0)
                errno = EIO;
            return false;
        }
        if (!writeAll(to, buffer.constData(), read, done))
            return false;
        done += read;
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
    const Descriptor folder(openPath(QFileInfo(path).absolutePath(), O_RDONLY | O_DIRECTORY));
    return folder.isOpen() && ::fsync(folder.get()) == 0;
}

bool syncFile(const QString& path)
{
    const Descriptor file(openPath(path, O_RDONLY));
    return file.isOpen() && syncDescriptor(file.get());
}

// The original's bytes beside it, on disk before the file is touched.
bool makeCopy(const QString& path, const QString& copy, HLVFailure* failure)
{
    const QString partial = copy + QLatin1String(partialSuffix);
    const auto fail = [&](const QString& doing) {
        const int error = errno;
        ::unlink(encoded(partial).constData());
        return report(failure, failureForError(error, doing));
    };
    const Descriptor source(openPath(path, O_RDONLY));
    struct stat info;
    if (!source.isOpen() || ::fstat(source.get(), &info) != 0)
        return fail(QStringLiteral("cannot read the file"));
    {
        const Descriptor target(openPath(partial, O_WRONLY | O_CREAT | O_TRUNC, S_IRUSR | S_IWUSR));
        if (!target.isOpen())
            return fail(QStringLiteral("cannot keep a copy in the file's folder"));
        // A clone shares the blocks where the file system can (btrfs, XFS).
        const bool cloned = ::ioctl(target.get(), FICLONE, source.get()) == 0;
        if (!cloned && !copyBytes(source.get(), target.get(), info.st_size))
            return fail(QStringLiteral("cannot keep a copy of the file"));
        if (!syncDescriptor(target.get()))
            return fail(QStringLiteral("cannot keep a copy of the file"));
    }
    if (::rename(encoded(partial).constData(), encoded(copy).constData()) != 0 || !syncFolderOf(copy))
        return fail(QStringLiteral("cannot keep a copy of the file"));
    return true;
}

// Puts the copy's bytes back into the file itself, so that its inode, links,
// owner and permissions stay.
bool restoreFromCopy(const QString& path, const QString& copy)
{
    const Descriptor source(openPath(copy, O_RDONLY));
    struct stat info;
    if (!source.isOpen() || ::fstat(source.get(), &info) != 0)
        return false;
    const Descriptor target(openPath(path, O_WRONLY));
    return target.isOpen() && copyBytes(source.get(), target.get(), info.st_size)
        && ::ftruncate(target.get(), info.st_size) == 0 && syncDescriptor(target.get());
}

bool opensInTagLib(const QString& path)
{
    try {
        const TagLib::FileRef file(encoded(path).constData(), false);
        return !file.isNull() && file.file()->isValid();
    } catch (...) {
        return false;
    }
}

// The saved file opens and holds the audio bytes the copy holds. Formats whose
// audio has no known layout are only opened.
bool savedFileChecksOut(const QString& path, const QString& copy)
{
    if (!opensInTagLib(path))
        return false;
    const HLVTagLib::Format format = HLVTagLib::formatForPath(path);
    if (const auto same = HLVAudioBytes::haveSameAudio(path, copy, format))
        return *same;
    // Only an original whose layout could not be read is taken on trust.
    return !HLVAudioBytes::audioRanges(copy, format);
}

// Paths whose copy is in use: a save or a recovery under way. A file added
// again while it is being saved must not be "recovered" from its own copy
// half-way through the write.
class BusyPaths
{
public:
    // Waits for the path to be free, then holds it.
    void claim(const QString& key)
    {
        std::unique_lock lock(_mutex);
        _freed.wait(lock, [&] { return !_paths.contains(key); });
        _paths.insert(key);
    }
    // Holds the path when it is free; false when it is in use.
    bool tryClaim(const QString& key)
    {
        std::lock_guard lock(_mutex);
        if (_paths.contains(key))
            return false;
        _paths.insert(key);
        return true;
    }
    void release(const QString& key)
    {
        {
            std::lock_guard lock(_mutex);
            _paths.remove(key);
        }
        _freed.notify_all();
    }

private:
    std::mutex _mutex;
    std::condition_variable _freed;
    QSet<QString> _paths;
};

BusyPaths& busyPaths()
{
    static BusyPaths paths;
    return paths;
}

class PathClaim
{
public:
    PathClaim(const QString& key, bool wait) : _key(key)
    {
        if (wait)
            busyPaths().claim(key);
        _held = wait || busyPaths().tryClaim(key);
    }
    ~PathClaim()
    {
        if (_held)
            busyPaths().release(_key);
    }
    PathClaim(const PathClaim&) = delete;
    PathClaim& operator=(const PathClaim&) = delete;
    bool isHeld() const { return _held; }

private:
    QString _key;
    bool _held = false;
};

HLVSafeSave::Recovery recoverWithClaim(const QString& path, const QString& copy, HLVFailure* failure)
{
    using Recovery = HLVSafeSave::Recovery;
    const QString partial = copy + QLatin1String(partialSuffix);
    // Left by a save stopped while copying: the file itself was not touched yet.
    if (exists(partial))
        ::unlink(encoded(partial).constData());
    struct stat info;
    if (::lstat(encoded(copy).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return Recovery::NothingToDo;
    if (!QFileInfo(path).isFile())
        return Recovery::NothingToDo; // moved or deleted since: the copy is all there is
    // A copy beside the file means its save never finished. Whatever differs
    // from it, even only in the tags (a tag rewritten in its padding, an ID3v1
    // tag not yet written), is a half-done save.
    if (HLVAudioBytes::haveSameBytes(path, copy)) {
        ::unlink(encoded(copy).constData());
        return Recovery::RemovedStaleCopy;
    }
    ignoreFileSizeSignal();
    if (!restoreFromCopy(path, copy)) {
        report(failure, HLVFailure::make(HLVFailure::Kind::WriteFailed,
                                         QStringLiteral("an interrupted save could not be undone; the original is kept in ")
                                             + QFileInfo(copy).fileName()));
        return Recovery::Failed;
    }
    ::unlink(encoded(copy).constData());
    return Recovery::Restored;
}

} // namespace

QString HLVSafeSave::copyPathForPath(const QString& path)
{
    const QFileInfo info(path);
    QString name = info.fileName();
    const qsizetype room = nameLimit - 1 - qsizetype(sizeof copySuffix - 1) - qsizetype(sizeof partialSuffix - 1);
    if (encoded(name).size() > room) {
        // Still says whose copy it is, and stays apart from other long names.
        const QString tag = QLatin1Char('~')
            + QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
        while (!name.isEmpty() && encoded(name).size() + tag.size() > room)
            name.chop(1);
        name += tag;
    }
    return info.absolutePath() + QLatin1String("/.") + name + QLatin1String(copySuffix);
}

HLVSafeSave::Recovery HLVSafeSave::recoverFileAtPath(const QString& path, HLVFailure* failure)
{
    const QString copy = copyPathForPath(path);
    const PathClaim claim(copy, false);
    if (!claim.isHeld())
        return Recovery::NothingToDo; // being saved right now; that save recovers first
    return recoverWithClaim(path, copy, failure);
}

bool HLVSafeSave::saveFileAtPath(const QString& path, const std::function<bool(HLVFailure*)>& write,
                                 HLVFailure* failure)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() == 0)
        return write(failure);
    ignoreFileSizeSignal();
    const QString copy = copyPathForPath(path);
    const PathClaim claim(copy, true);
    // An earlier save's copy holds the real original: it goes back first.
    if (recoverWithClaim(path, copy, failure) == Recovery::Failed)
        return false;
    if (::access(encoded(path).constData(), W_OK) != 0) {
        if (errno == EACCES || errno == EROFS || errno == EPERM)
            return HLVReportFailure(failure, HLVFailure::Kind::ReadOnly, QStringLiteral("the file is read-only"));
        return report(failure, failureForError(errno, QStringLiteral("cannot write the file")));
    }

    if (!makeCopy(path, copy, failure))
        return false;

    HLVFailure writeFailure;
    bool written = false;
    try {
        written = write(&writeFailure);
    } catch (...) {
        written = false;
    }
    HLVFailure outcome;
    if (!written) {
        outcome = writeFailure.message.isEmpty()
            ? HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the file could not be saved"))
            : writeFailure;
    } else if (!syncFile(path)) {
        outcome = failureForError(errno, QStringLiteral("cannot write the file"));
        written = false;
    } else if (!savedFileChecksOut(path, copy)) {
        outcome = HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the file could not be written in full"));
        written = false;
    }
    if (written) {
        ::unlink(encoded(copy).constData());
        return true;
    }
    // A write refused before it began leaves nothing to put back.
    if (!HLVAudioBytes::haveSameBytes(path, copy) && !restoreFromCopy(path, copy)) {
        return report(failure, HLVFailure::make(HLVFailure::Kind::WriteFailed,
                                                outcome.message + QStringLiteral("; the original is kept in ")
                                                    + QFileInfo(copy).fileName()));
    }
    ::unlink(encoded(copy).constData());
    return report(failure, outcome);
}
