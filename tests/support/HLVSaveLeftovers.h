#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What an interrupted save leaves beside a file, made on purpose.
namespace HLVSaveLeftovers {

// Writes the journal of a save that changes the file at path (holding
// oldBytes now) into newBytes, as a save writes it just before touching the
// file; answers the journal's path (empty on failure).
QString writeJournal(const QString& path, const QByteArray& oldBytes, const QByteArray& newBytes,
                     bool earlierFormat = false);

// oldBytes with the first half of every byte that differs from newBytes
// taken from newBytes: a write cut half-way.
QByteArray tornMix(const QByteArray& oldBytes, const QByteArray& newBytes);

// The files in folder whose names start with a dot (what a save hides), and
// those that hold ".cadrelle-interrupted-" (what recovery set aside).
QStringList hiddenFiles(const QString& folder);
QStringList setAsideFiles(const QString& folder);

} // namespace HLVSaveLeftovers
