#include "HLVFLACFile.h"
#include "HLVTagLibReader.h"

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/tbytevector.h>
#include <taglib/xiphcomment.h>

namespace HLVFLACFile {

namespace {

unsigned int byteAt(const TagLib::ByteVector& bytes, unsigned int index)
{
    return static_cast<unsigned char>(bytes[index]);
}

// Where the stream begins: after an ID3v2 tag at the very start, if any.
long long id3v2End(TagLib::File& file)
{
    file.seek(0);
    const TagLib::ByteVector header = file.readBlock(10);
    if (header.size() < 10 || !header.startsWith("ID3"))
        return 0;
    long long size = 0;
    for (unsigned int i = 6; i < 10; ++i)
        size = (size << 7) | (byteAt(header, i) & 0x7F);
    const bool hasFooter = (byteAt(header, 5) & 0x10) != 0;
    return 10 + size + (hasFooter ? 10 : 0);
}

} // namespace

bool hasSoundLayout(TagLib::File& file)
{
    const long long length = file.length();
    const long long marker = file.find(TagLib::ByteVector("fLaC", 4), id3v2End(file));
    if (marker < 0)
        return false;
    long long position = marker + 4;
    bool last = false;
    // Every block takes at least its 4-byte header, so the walk ends.
    while (!last) {
        file.seek(position);
        const TagLib::ByteVector header = file.readBlock(4);
        if (header.size() < 4)
            return false;
        last = (byteAt(header, 0) & 0x80) != 0;
        const long long blockLength = (byteAt(header, 1) << 16) | (byteAt(header, 2) << 8) | byteAt(header, 3);
        position += 4 + blockLength;
        if (position > length)
            return false;
    }
    bool sound = position == length;
    if (!sound) {
        file.seek(position);
        const TagLib::ByteVector sync = file.readBlock(2);
        sound = sync.size() == 2 && byteAt(sync, 0) == 0xFF && (byteAt(sync, 1) & 0xFE) == 0xF8;
    }
    file.seek(0);
    return sound;
}

std::unique_ptr<TagLib::FLAC::File> open(const QString& path)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return nullptr;
    auto file = std::make_unique<TagLib::FLAC::File>(HLVTagLibReader::fileSystemPath(path).constData(), false);
    if (!file->isValid() || !hasSoundLayout(*file))
        return nullptr;
    return file;
}

bool fitsInBlocks(TagLib::FLAC::File& file)
{
    const auto pictures = file.pictureList();
    for (const TagLib::FLAC::Picture* picture : pictures) {
        if (picture->render().size() > maximumBlockLength)
            return false;
    }
    const TagLib::Ogg::XiphComment* comment = file.xiphComment(false);
    return !comment || comment->render(false).size() <= maximumBlockLength;
}

bool save(TagLib::FLAC::File& file)
{
    return fitsInBlocks(file) && file.save();
}

} // namespace HLVFLACFile
