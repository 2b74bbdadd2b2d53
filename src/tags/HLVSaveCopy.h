#pragma once

#include "HLVFailure.h"

#include <QList>
#include <QString>

// The file operations a save is made of (see HLVSafeSave), on descriptors,
// retried on EINTR, with errno telling why one failed; and the copies that
// saves of earlier versions kept beside a file (".NAME.cadrelle-original":
// either the whole file, or some parts with their offsets behind a header),
// which recovery still has to recognise.
namespace HLVSaveCopy {

// An open file descriptor, closed with its owner.
class Descriptor
{
public:
    Descriptor() = default;
    Descriptor(const QString& path, int flags, unsigned int mode = 0);
    ~Descriptor();
    Descriptor(Descriptor&& other) noexcept : _fd(other._fd) { other._fd = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return _fd; }
    // Gives up the descriptor, which the caller then closes.
    int release()
    {
        const int fd = _fd;
        _fd = -1;
        return fd;
    }
    bool isOpen() const { return _fd >= 0; }
    qint64 size() const;

private:
    int _fd = -1;
};

struct Region
{
    qint64 offset = 0;
    qint64 length = 0;
};

// True when the file holds exactly what an earlier version's copy says it held.
bool matches(const QString& path, const QString& copyPath);

// pread/pwrite of exactly length bytes at an offset.
bool readAll(int fd, char* data, qint64 length, qint64 at);
bool writeAll(int fd, const char* data, qint64 length, qint64 at);

// Copies length bytes from one file's offset to another's; the kernel copies
// (or shares the blocks) where it can, else through memory.
bool copyRange(int from, qint64 fromAt, int to, qint64 toAt, qint64 length);

// Flushes a file's data to disk.
bool syncDescriptor(int fd);

// Flushes the folder that holds path, so that a name made or removed in it
// lasts. A file system that cannot flush folders (EINVAL: some FUSE and
// network file systems) is no failure.
bool syncFolderOf(const QString& path);

// The failure for a system error met while doing something ("cannot read the file").
HLVFailure failureForError(int error, const QString& doing);

// Removes a file; a missing one is no failure.
void remove(const QString& path);

} // namespace HLVSaveCopy
