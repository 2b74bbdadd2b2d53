#pragma once

#include <QString>
#include <memory>

namespace TagLib {
class File;
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

// The file at path as a FLAC file, or null when it is not one TagLib reads
// whose metadata blocks end exactly where an audio frame (or the file) begins.
std::unique_ptr<TagLib::FLAC::File> open(const QString& path);

// True when the metadata blocks, walked by their lengths from the "fLaC"
// marker (after an ID3v2 tag, if any), stay inside the file and the last one
// is followed by a frame sync code or by the end of the file.
bool hasSoundLayout(TagLib::File& file);

// True when every block a save would write fits a block header.
bool fitsInBlocks(TagLib::FLAC::File& file);

// Saves the file when every block fits; false when refused or failed.
bool save(TagLib::FLAC::File& file);

} // namespace HLVFLACFile
