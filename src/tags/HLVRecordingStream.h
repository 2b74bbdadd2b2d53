#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <taglib/tiostream.h>
#include <taglib/taglib.h>

// A file as TagLib sees it during a save, without the file being touched:
// reads come from the file (through a descriptor the caller keeps open) until
// a write covers them; writes, inserts, removals and truncations are kept in
// memory as a list of pieces, each either a stretch of the original file or
// new bytes. What the save would leave is then known exactly before anything
// is written: which bytes change, and whether bytes that stay move.
class HLVRecordingStream : public TagLib::IOStream
{
public:
#if TAGLIB_MAJOR_VERSION >= 2
    using Offset = TagLib::offset_t;
    using Start = TagLib::offset_t;
    using Size = size_t;
#else
    using Offset = long;
    using Start = unsigned long;
    using Size = unsigned long;
#endif

    struct Piece
    {
        qint64 source = -1; // offset in the original file, or -1 for new bytes
        qint64 length = 0;
        QByteArray bytes;   // the new bytes
    };

    // A stretch of the result that differs from the original at the same
    // offset (or lies past one of the two ends).
    struct Change
    {
        qint64 offset = 0;
        QByteArray oldBytes; // what the original holds there (up to its end)
        QByteArray newBytes; // what the result holds there (up to its end)
    };

    // fd stays the caller's; it is read with pread and never written.
    HLVRecordingStream(const QString& path, int fd, qint64 length, bool readOnly = false);

    TagLib::FileName name() const override;
    TagLib::ByteVector readBlock(Size length) override;
    void writeBlock(const TagLib::ByteVector& data) override;
    void insert(const TagLib::ByteVector& data, Start start = 0, Size replace = 0) override;
    void removeBlock(Start start = 0, Size length = 0) override;
    bool readOnly() const override { return _readOnly; }
    bool isOpen() const override { return true; }
    void seek(Offset offset, Position p = Beginning) override;
    Offset tell() const override { return Offset(_position); }
    Offset length() override { return Offset(_length); }
    void truncate(Offset length) override;

    qint64 originalLength() const { return _originalLength; }
    qint64 resultLength() const { return _length; }
    const QList<Piece>& pieces() const { return _pieces; }
    // A read of the original failed: the recording cannot be trusted.
    bool readFailed() const { return _readFailed; }

    // Bytes of the result, or of the original.
    QByteArray resultBytes(qint64 at, qint64 length) const;
    QByteArray originalBytes(qint64 at, qint64 length) const;
    // The same into to: how many were copied, -1 when the original could not be read.
    qint64 readResult(char* to, qint64 at, qint64 length) const;
    qint64 readOriginal(char* to, qint64 at, qint64 length) const;

    // Where the result differs from the original, as few stretches as
    // possible; a stretch of the original that moved counts as changed.
    QList<Change> changes() const;
    // True when every byte of the original that the result keeps stays at its offset.
    bool keepsOriginalInPlace() const;
    // True when the result's bytes from resultAt are the original's from
    // originalAt, length of them, taken over unwritten.
    bool takesFromOriginal(qint64 resultAt, qint64 originalAt, qint64 length) const;

private:
    void splice(qint64 at, qint64 removed, const QByteArray& inserted);
    qsizetype splitAt(qint64 at);
    // Copies length bytes of the original from at (which lie inside it).
    bool copyOriginal(char* to, qint64 at, qint64 length) const;

    QByteArray _name;
    int _fd;
    qint64 _originalLength;
    qint64 _length;
    qint64 _position = 0;
    bool _readOnly;
    mutable bool _readFailed = false;
    QList<Piece> _pieces;
    // TagLib reads a tag in many small pieces: the original is read in blocks.
    mutable QHash<qint64, QByteArray> _blocks;
};
