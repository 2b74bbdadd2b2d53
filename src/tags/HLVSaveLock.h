#pragma once

#include "HLVSaveCopy.h"

#include <QString>

// The lock that makes one save at a time of a file, across processes: an
// exclusive flock on the file itself, held for the whole save. It dies with
// the process that holds it, which is exactly when a leftover needs recovery.
// A file system without locks (some network file systems) is taken as it is.
class HLVSaveLock
{
public:
    enum class Result { Locked, Busy, Missing, Failed };

    // Opens path with flags (O_RDONLY or O_RDWR) and locks it, waiting up to
    // a minute when wait is true. Locked only when path still names the file
    // locked: a file replaced meanwhile is opened again. errno says why on Failed.
    static Result lock(const QString& path, int flags, bool wait, HLVSaveCopy::Descriptor* out);

    // Takes the lock on an open file without waiting; false when another holds it.
    static bool tryLock(int fd);
};
