#include "HLVTagLib.h"
#include "HLVTagLibFLACReader.h"
#include "HLVTagLibFLACWriter.h"
#include "HLVTagLibMP3Reader.h"
#include "HLVTagLibMP3Writer.h"
#include "HLVTagLibMP4Reader.h"
#include "HLVTagLibMP4Writer.h"
#include "HLVTagValueParser.h"

#include <taglib/mp4file.h>

HLVTagLib::Format HLVTagLib::formatForPath(const QString& path)
{
    const QString extension = HLVTagValueParser::pathExtension(path);
    auto is = [&](const char* e) { return extension.compare(QLatin1String(e), Qt::CaseInsensitive) == 0; };
    if (is("mp3"))
        return Format::MP3;
    if (is("mp4") || is("m4a") || is("m4p"))
        return Format::MP4;
    if (is("flac"))
        return Format::FLAC;
    return Format::Other;
}

std::unique_ptr<HLVTagLibReader> HLVTagLib::readerForPath(const QString& path)
{
    switch (formatForPath(path)) {
    case Format::MP3: return std::make_unique<HLVTagLibMP3Reader>();
    case Format::MP4: return std::make_unique<HLVTagLibMP4Reader>();
    case Format::FLAC: return std::make_unique<HLVTagLibFLACReader>();
    case Format::Other: break;
    }
    return std::make_unique<HLVTagLibReader>();
}

std::unique_ptr<HLVTagLibWriter> HLVTagLib::writerForPath(const QString& path)
{
    switch (formatForPath(path)) {
    case Format::MP3: return std::make_unique<HLVTagLibMP3Writer>();
    case Format::MP4: return std::make_unique<HLVTagLibMP4Writer>();
    case Format::FLAC: return std::make_unique<HLVTagLibFLACWriter>();
    case Format::Other: break;
    }
    return std::make_unique<HLVTagLibWriter>();
}

static bool opensAsMP4(const QString& path)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::MP4::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        return file.isValid();
    } catch (...) {
        return false;
    }
}

std::shared_ptr<HLVTagMap> HLVTagLib::loadTagsFromFileAtPath(const std::optional<QString>& path, bool* readable)
{
    auto tagMap = std::make_shared<HLVTagMap>();
    const bool read = path && readerForPath(*path)->readTagsFromFileAtPath(*path, *tagMap);
    // The MP4 reader also answers false for a file without an item list; only
    // then is the file opened a second time, to tell the two apart.
    if (readable)
        *readable = read || (path && formatForPath(*path) == Format::MP4 && opensAsMP4(*path));
    return tagMap;
}

std::optional<QString> HLVTagLib::readTagWithIdentifier(const QString& identifier,
                                                        const std::optional<QString>& path)
{
    if (!path || formatForPath(*path) == Format::Other)
        return std::nullopt;
    return readerForPath(*path)->readTagWithIdentifier(identifier, *path);
}

bool HLVTagLib::saveTagsToFileAtPath(const std::optional<QString>& path, const HLVTagMap* tagMap,
                                     HLVFailure* failure)
{
    if (!path || !tagMap)
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("nothing to write"));
    return writerForPath(*path)->writeTagsToFileAtPath(*path, *tagMap);
}

bool HLVTagLib::addArtwokImageToFileAtPath(const std::optional<QString>& path,
                                           const std::optional<QString>& imagePath)
{
    if (!path || !imagePath)
        return false;
    return writerForPath(*path)->addArtworkToFileAtPath(*path, *imagePath);
}

bool HLVTagLib::removeArtworkImageFromFileAtPath(const std::optional<QString>& path)
{
    if (!path)
        return false;
    return writerForPath(*path)->removeArtworkFromFileAtPath(*path);
}
