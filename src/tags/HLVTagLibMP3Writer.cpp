#include "HLVTagLibMP3Writer.h"
#include "HLVTagLibMP3Reader.h"

#include <taglib/mpegfile.h>

bool HLVTagLibMP3Writer::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::MPEG::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!HLVTagLibMP3Reader::isMPEGAudio(file) || !file.tag())
            return false;
        writeGenericTags(*file.tag(), tagMap);
        return file.save();
    } catch (...) {
        return false;
    }
}
