#pragma once

#include "HLVFailure.h"

#include <QList>
#include <QString>
#include <memory>

class QIODevice;

namespace TagLib {
class ByteVectorStream;
class IOStream;
namespace FLAC {
class File;
}
}

// Opening and saving FLAC files for the FLAC reader and writer, with the checks
// TagLib leaves to its callers. TagLib trusts the metadata block lengths: when
// one is wrong it takes audio for metadata, and a save then drops those audio
// bytes. It also writes blocks longer than a block header can describe, which
// leaves a file no reader can open.
namespace HLVFLACFile {

// The largest length a metadata block header can hold (24 bits).
inline constexpr unsigned int maximumBlockLength = 0xFFFFFF;

// A metadata block length field to correct: a picture, comment or padding
// block whose declared length is off while its own contents say where it ends
// (a fault of some encoders).
struct BlockRepair
{
    qint64 offset = 0;    // of the 3-byte length field
    quint32 declared = 0; // as the file has it
    quint32 corrected = 0;
};

// Walks the metadata blocks by their lengths from the "fLaC" marker (after an
// ID3v2 tag, if any). True when they end where an audio frame (or the file)
// begins, once the repairs listed are made; false with the reason otherwise,
// which names the damaged block by its place, the first being 1 ("the FLAC
// metadata is damaged: block 1 claims more bytes than it holds").
bool planRepairs(const QString& path, QList<BlockRepair>* repairs, HLVFailure* failure);
bool planRepairs(QIODevice& device, QList<BlockRepair>* repairs, HLVFailure* failure);

// A file opened for reading. Reading never changes a file, so no layout check
// is made; only a file TagLib cannot read is read again with its block
// lengths corrected in memory, where planRepairs() finds how. A file TagLib
// still cannot read is refused with the damage planRepairs() names when it
// begins as FLAC, else as no FLAC file.
class Readable
{
public:
    Readable();
    ~Readable();
    Readable(const Readable&) = delete;
    Readable& operator=(const Readable&) = delete;

    // With readProperties, TagLib also reads the audio properties (fast style).
    bool open(const QString& path, HLVFailure* failure = nullptr, bool readProperties = false);
    TagLib::FLAC::File& file() { return *_file; }

private:
    std::unique_ptr<TagLib::ByteVectorStream> _stream;
    std::unique_ptr<TagLib::FLAC::File> _file;
};

// A file about to be saved: its metadata blocks must end where an audio frame
// (or the file) begins. Repairs planRepairs() finds are made in the file before
// TagLib reads it, and undone unless save() succeeds.
class Writable
{
public:
    Writable() = default;
    ~Writable();
    Writable(const Writable&) = delete;
    Writable& operator=(const Writable&) = delete;

    // False, with the reason, when the file cannot be written safely. With a
    // stream, TagLib reads and writes through it, and so do the repairs.
    bool open(const QString& path, HLVFailure* failure, TagLib::IOStream* stream = nullptr);

    TagLib::FLAC::File& file() { return *_file; }

    // Saves when every block fits a block header; false, with the reason, when
    // refused or failed.
    bool save(HLVFailure* failure);

private:
    bool patch(bool corrected);

    QString _path;
    TagLib::IOStream* _stream = nullptr;
    std::unique_ptr<TagLib::FLAC::File> _file;
    QList<BlockRepair> _repairs;
    bool _saved = false;
};

// True when every block a save would write fits a block header.
bool fitsInBlocks(TagLib::FLAC::File& file);

} // namespace HLVFLACFile
