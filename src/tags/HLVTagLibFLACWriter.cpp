#include "HLVTagLibFLACWriter.h"
#include "HLVTagLibReader.h"

#include <taglib/flacfile.h>

bool HLVTagLibFLACWriter::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::FLAC::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        writeGenericTags(*file.tag(), tagMap);
        return file.save();
    } catch (...) {
        return false;
    }
}
