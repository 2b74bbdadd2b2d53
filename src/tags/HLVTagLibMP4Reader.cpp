#include "HLVTagLibMP4Reader.h"

#include <taglib/mp4file.h>

bool HLVTagLibMP4Reader::readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap)
{
    if (!isTagFileCandidate(path))
        return false;
    try {
        TagLib::MP4::File file(fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        readGenericTags(*file.tag(), tagMap);
        return true;
    } catch (...) {
        return false;
    }
}
