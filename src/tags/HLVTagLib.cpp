#include "HLVTagLib.h"
#include "HLVImageData.h"
#include "HLVSafeSave.h"
#include "HLVTagLibFLACReader.h"
#include "HLVTagLibFLACWriter.h"
#include "HLVTagLibMP3Reader.h"
#include "HLVTagLibMP3Writer.h"
#include "HLVTagLibMP4Reader.h"
#include "HLVTagLibMP4Writer.h"
#include "HLVTagValueParser.h"

#include <QFileInfo>
#include <QSettings>
#include <atomic>
#include <taglib/mp4file.h>

HLVTagLib::Format HLVTagLib::formatForPath(const QString& path)
{
    const QString extension = HLVTagValueParser::pathExtension(path);
    auto is = [&](const char* e) { return extension.compare(QLatin1String(e), Qt::CaseInsensitive) == 0; };
    if (is("mp3"))
        return Format::MP3;
    if (is("mp4") || is("m4a") || is("m4b") || is("m4p"))
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

namespace {

std::atomic<HLVTagLib::AccessCheck> accessCheck{nullptr};

void checkAccess(const char* operation, const std::optional<QString>& path)
{
    if (const HLVTagLib::AccessCheck check = accessCheck.load(std::memory_order_relaxed))
        check(operation, path.value_or(QString()));
}

} // namespace

void HLVTagLib::setAccessCheck(AccessCheck check)
{
    accessCheck.store(check);
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

std::shared_ptr<HLVTagMap> HLVTagLib::loadTagsFromFileAtPath(const std::optional<QString>& path, bool* readable,
                                                             HLVFailure* failure)
{
    checkAccess("read", path);
    auto tagMap = std::make_shared<HLVTagMap>();
    if (!path) {
        HLVReportFailure(failure, HLVFailure::Kind::FileMissing, QStringLiteral("no file was given"));
        if (readable)
            *readable = false;
        return tagMap;
    }
    HLVFailure reason;
    const bool read = readerForPath(*path)->readTagsFromFileAtPath(*path, *tagMap, &reason);
    // The MP4 reader also answers false, without a reason, for a file without
    // an item list; an older reader's silence is checked by opening the file again.
    const bool withoutItems = !read && formatForPath(*path) == Format::MP4 && reason.message.isEmpty();
    if (readable)
        *readable = read || (withoutItems && opensAsMP4(*path));
    if (!read && !withoutItems && failure) {
        *failure = reason;
        if (reason.kind == HLVFailure::Kind::NotAudio && !QFileInfo(*path).isReadable())
            *failure = HLVFailure::make(HLVFailure::Kind::Other, QStringLiteral("the file cannot be read"));
    }
    return tagMap;
}

std::optional<QString> HLVTagLib::readTagWithIdentifier(const QString& identifier,
                                                        const std::optional<QString>& path)
{
    checkAccess("read a tag of", path);
    if (!path || formatForPath(*path) == Format::Other)
        return std::nullopt;
    return readerForPath(*path)->readTagWithIdentifier(identifier, *path);
}

// A picture from the web is fetched by each write, and may not come twice.
static HLVSafeSave::WriteKind writeKindForPicture(const std::optional<QString>& picturePath)
{
    return picturePath && HLVImageData::isWebAddress(*picturePath) ? HLVSafeSave::WriteKind::Once
                                                                    : HLVSafeSave::WriteKind::Repeatable;
}

bool HLVTagLib::saveTagsToFileAtPath(const std::optional<QString>& path, const HLVTagMap* tagMap, HLVFailure* failure)
{
    checkAccess("save", path);
    if (!path || !tagMap)
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("nothing to save"));
    return HLVSafeSave::saveFileAtPath(*path, [&](const QString& target, HLVFailure* writeFailure) {
        return writerForPath(target)->writeTagsToFileAtPath(target, *tagMap, writeFailure);
    }, failure, writeKindForPicture(tagMap->ArtworkPath()));
}

bool HLVTagLib::addArtwokImageToFileAtPath(const std::optional<QString>& path,
                                           const std::optional<QString>& imagePath, HLVFailure* failure)
{
    checkAccess("add a picture to", path);
    if (!path || !imagePath)
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("no file or picture was given"));
    return HLVSafeSave::saveFileAtPath(*path, [&](const QString& target, HLVFailure* writeFailure) {
        return writerForPath(target)->addArtworkToFileAtPath(target, *imagePath, writeFailure);
    }, failure, writeKindForPicture(imagePath));
}

bool HLVTagLib::removeArtworkImageFromFileAtPath(const std::optional<QString>& path, HLVFailure* failure)
{
    checkAccess("remove the picture of", path);
    if (!path)
        return HLVReportFailure(failure, HLVFailure::Kind::FileMissing, QStringLiteral("no file was given"));
    return HLVSafeSave::saveFileAtPath(*path, [&](const QString& target, HLVFailure* writeFailure) {
        return writerForPath(target)->removeArtworkFromFileAtPath(target, writeFailure);
    }, failure);
}

namespace {
std::atomic<int> id3v2VersionOverride{0};
}

int HLVTagLib::ID3v2Version()
{
    if (const int version = id3v2VersionOverride.load(); version != 0)
        return version;
    return QSettings().value(QStringLiteral("ID3v2Version"), 4).toInt() == 3 ? 3 : 4;
}

void HLVTagLib::setID3v2Version(int version)
{
    id3v2VersionOverride.store(version == 3 || version == 4 ? version : 0);
}
