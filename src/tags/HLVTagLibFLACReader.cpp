#include "HLVTagLibFLACReader.h"

#include <taglib/flacfile.h>

bool HLVTagLibFLACReader::readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap)
{
    if (!isTagFileCandidate(path))
        return false;
    try {
        TagLib::FLAC::File file(fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        readGenericTags(*file.tag(), tagMap);
        return true;
    } catch (...) {
        return false;
    }
}
