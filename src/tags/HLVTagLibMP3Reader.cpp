#include "HLVTagLibMP3Reader.h"

#include <taglib/mpegfile.h>

bool HLVTagLibMP3Reader::readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap)
{
    if (!isTagFileCandidate(path))
        return false;
    try {
        TagLib::MPEG::File file(fileSystemPath(path).constData(), false);
        if (!isMPEGAudio(file) || !file.tag())
            return false;
        readGenericTags(*file.tag(), tagMap);
        return true;
    } catch (...) {
        return false;
    }
}

bool HLVTagLibMP3Reader::isMPEGAudio(TagLib::MPEG::File& file)
{
    return file.isValid() && file.firstFrameOffset() >= 0;
}
