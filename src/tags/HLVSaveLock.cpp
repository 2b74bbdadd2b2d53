#include "HLVSaveLock.h"

#include <QFile>
#include <chrono>
#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

namespace {

enum class Attempt { Locked, Busy, Unsupported, Failed };

Attempt tryExclusive(int fd)
{
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return Attempt::Locked;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return Attempt::Busy;
        if (errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)
            return Attempt::Unsupported;
        return Attempt::Failed;
    }
}

} // namespace

bool HLVSaveLock::tryLock(int fd)
{
    return tryExclusive(fd) != Attempt::Busy;
}

HLVSaveLock::Result HLVSaveLock::lock(const QString& path, int flags, bool wait, HLVSaveCopy::Descriptor* out)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::minutes(1);
    const QByteArray name = QFile::encodeName(path);
    auto pause = std::chrono::milliseconds(1);
    while (Clock::now() < deadline) {
        HLVSaveCopy::Descriptor file(path, flags);
        if (!file.isOpen())
            return errno == ENOENT ? Result::Missing : Result::Failed;
        for (;;) {
            const Attempt attempt = tryExclusive(file.get());
            if (attempt == Attempt::Locked || attempt == Attempt::Unsupported)
                break;
            if (attempt == Attempt::Failed)
                return Result::Failed;
            if (!wait || Clock::now() >= deadline)
                return Result::Busy;
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(20));
        }
        struct stat held, named;
        if (::fstat(file.get(), &held) != 0)
            return Result::Failed;
        if (::stat(name.constData(), &named) != 0) {
            if (errno != ENOENT)
                return Result::Failed;
            continue; // renamed away while we waited: look again
        }
        if (held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            *out = std::move(file);
            return Result::Locked;
        }
        // Replaced by the save we waited for: lock the file that is there now.
    }
    return Result::Busy;
}
