#include "HLVTagLibMP4Writer.h"
#include "HLVTagLibReader.h"

#include <taglib/mp4file.h>

bool HLVTagLibMP4Writer::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::MP4::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        writeGenericTags(*file.tag(), tagMap);
        return file.save();
    } catch (...) {
        return false;
    }
}
