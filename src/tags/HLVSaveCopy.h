#pragma once

#include "HLVFailure.h"

#include <QList>
#include <QString>

// The copy of a file's original bytes that a save keeps beside it (see
// HLVSafeSave): either the whole file, byte for byte, or, when a save is known
// to rewrite only some parts in place, just those parts with their offsets.
// A copy is written under a temporary name, flushed to disk and only then
// renamed, so a copy under its own name is always complete.
namespace HLVSaveCopy {

struct Region
{
    qint64 offset = 0;
    qint64 length = 0;
};

// Copies the file at path to copyPath: whole when regions is empty, else only
// those regions. The copy and its name are on disk when this answers true.
bool make(const QString& path, const QString& copyPath, const QList<Region>& regions, HLVFailure* failure);

// Puts the copy's bytes back into the file itself (so that its inode, links,
// owner and permissions stay) and gives it its original length; flushed.
bool restore(const QString& path, const QString& copyPath);

// True when the file holds exactly what the copy says it held.
bool matches(const QString& path, const QString& copyPath);

// The name the copy has while it is being written.
QString partialPath(const QString& copyPath);

// Flushes the file's data to disk; errno says why when it fails.
bool flush(const QString& path);

// The failure for a system error met while doing something ("cannot read the file").
HLVFailure failureForError(int error, const QString& doing);

// Removes a file; a missing one is no failure.
void remove(const QString& path);

} // namespace HLVSaveCopy
