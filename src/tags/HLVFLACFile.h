#pragma once

#include "HLVFailure.h"

#include <QList>
#include <QString>
#include <memory>

namespace TagLib {
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

// The file at path as a FLAC file TagLib reads, or null (with the reason).
// Reading never changes a file, so no layout check is made.
std::unique_ptr<TagLib::FLAC::File> openForReading(const QString& path, HLVFailure* failure = nullptr);

// A file about to be saved. The metadata blocks, walked by their lengths from
// the "fLaC" marker (after an ID3v2 tag, if any), must end where an audio frame
// (or the file) begins. A picture, comment or padding block whose declared
// length is off while its contents say exactly where it ends (a fault of some
// encoders) has its length corrected in the file before TagLib reads it; the
// correction is undone unless save() succeeds.
class Writable
{
public:
    Writable() = default;
    ~Writable();
    Writable(const Writable&) = delete;
    Writable& operator=(const Writable&) = delete;

    // False, with the reason, when the file cannot be written safely.
    bool open(const QString& path, HLVFailure* failure);

    TagLib::FLAC::File& file() { return *_file; }

    // Saves when every block fits a block header; false, with the reason, when
    // refused or failed.
    bool save(HLVFailure* failure);

private:
    struct Repair
    {
        qint64 offset = 0;    // of the 3-byte length field
        quint32 declared = 0; // as the file had it
        quint32 corrected = 0;
    };
    bool patch(bool corrected);

    QString _path;
    std::unique_ptr<TagLib::FLAC::File> _file;
    QList<Repair> _repairs;
    bool _saved = false;
};

// True when every block a save would write fits a block header.
bool fitsInBlocks(TagLib::FLAC::File& file);

} // namespace HLVFLACFile
