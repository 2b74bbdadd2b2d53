#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// What a save that rewrites parts of a file in place writes down first: the
// file it changes (path and identity), and for each stretch it changes the
// bytes there before and after. With it, a save cut short can be undone, but
// only in the file it was changing and only where that file still holds what
// the save put there or what it found. A checksum covers the whole record, so
// a journal cut short or damaged is never taken for one. Saves of a group
// share one journal file holding an entry per file, under a name (a hard
// link) beside each of them.
struct HLVSaveJournal
{
    struct Identity
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0; // nanoseconds
        qint64 changed = 0;  // nanoseconds
        // A file deleted and made again may get the same inode number; its
        // birth time and generation tell it apart (-1 where the file system
        // does not say).
        qint64 born = -1;       // nanoseconds
        qint64 generation = -1;
        bool operator==(const Identity&) const = default;
        // The same file, not only the same inode number.
        bool isSameFile(const Identity& other) const;
    };

    struct Range
    {
        qint64 offset = 0;
        QByteArray oldBytes;
        QByteArray newBytes;
    };

    QString path;       // absolute
    Identity identity;  // of the file before the save
    qint64 newSize = 0; // of the file after it
    QList<Range> ranges;

    // A journal file holding these entries.
    static QByteArray serialized(const QList<HLVSaveJournal>& entries);
    QByteArray serialized() const { return serialized({*this}); }
    // The entries; absent for anything that is not a whole, undamaged journal.
    static std::optional<QList<HLVSaveJournal>> parse(const QByteArray& bytes);

    // The identity of an open file.
    static std::optional<Identity> identityOf(int fd);

    // How many bytes the ranges hold, old and new.
    qint64 payloadSize() const;

private:
    class Reader;
    void append(QByteArray& out) const;
    static std::optional<HLVSaveJournal> takeEntry(Reader& reader, qsizetype end);
};
