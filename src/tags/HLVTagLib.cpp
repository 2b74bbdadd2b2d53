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

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>
#include <algorithm>
#include <vector>
#include <QScopedValueRollback>
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
// Taken once for a batch of saves and set for each of its writes, on
// whichever thread runs it: reading the preferences for each file cost a
// tenth of a small file's save.
thread_local int id3v2VersionOfBatch = 0;
} // namespace

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
                                                             HLVFailure* failure, HLVFileDetails* details, bool audio)
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
    HLVFileDetails found;
    const auto reader = readerForPath(*path);
    if (details)
        reader->setDetails(&found, audio);
    const bool read = reader->readTagsFromFileAtPath(*path, *tagMap, &reason);
    // The MP4 reader also answers false, without a reason, for a file without
    // an item list; an older reader's silence is checked by opening the file again.
    const bool withoutItems = !read && formatForPath(*path) == Format::MP4 && reason.message.isEmpty();
    if (readable || details) {
        const bool isReadable = read || (withoutItems && opensAsMP4(*path));
        if (readable)
            *readable = isReadable;
        if (details && isReadable) {
            found.folder = QFileInfo(*path).absolutePath();
            *details = std::move(found);
        }
    }
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

namespace {

// A picture named by a web address is fetched before the save starts, into a
// temporary file the write then reads like any other: every write is then
// the same however often it runs, and no download happens inside a save.
class FetchedPicture
{
public:
    // The path to read the picture from: path itself, or the fetched copy of
    // a web address (empty when the download failed, as the writers expect).
    QString localPath(const QString& path)
    {
        if (!HLVImageData::isWebAddress(path))
            return path;
        // The address's extension is kept: it says the type when the bytes do not.
        QString extension = QUrl(path).fileName().section(QLatin1Char('.'), -1).left(5);
        if (extension.isEmpty() || !std::all_of(extension.begin(), extension.end(), [](QChar c) { return c.isLetterOrNumber(); }))
            extension = QStringLiteral("img");
        _file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QLatin1String("/cadrelle-picture-XXXXXX.") + extension);
        if (!_file->open())
            return QString();
        const QByteArray bytes = HLVImageData::imageDataFromImageAtPath(path);
        _file->write(bytes);
        _file->flush();
        return _file->fileName();
    }

private:
    std::unique_ptr<QTemporaryFile> _file;
};

// The map with its picture fetched, when it names one on the web to embed.
HLVTagMap withLocalPicture(const HLVTagMap& tagMap, FetchedPicture& picture)
{
    HLVTagMap copy(tagMap);
    if (tagMap.ArtworkPath() && HLVImageData::isWebAddress(*tagMap.ArtworkPath()))
        copy.setArtworkPath(picture.localPath(*tagMap.ArtworkPath()));
    return copy;
}

template <typename Call>
HLVSafeSave::Write writerCall(const QString& path, Call call)
{
    return [path, call](TagLib::IOStream& stream, HLVFailure* failure) {
        auto writer = HLVTagLib::writerForPath(path);
        writer->setStream(&stream);
        return call(*writer, failure);
    };
}

} // namespace

bool HLVTagLib::saveTagsToFileAtPath(const std::optional<QString>& path, const HLVTagMap* tagMap, HLVFailure* failure)
{
    if (!path || !tagMap)
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("nothing to save"));
    QList<Save> saves{Save{*path, tagMap, false, {}, false, {}}}; // saveTagsToFiles checks the access
    saveTagsToFiles(saves);
    if (failure)
        *failure = saves.first().failure;
    return saves.first().saved;
}

void HLVTagLib::saveTagsToFiles(QList<Save>& saves, const std::function<bool()>& stopped)
{
    std::vector<FetchedPicture> pictures(saves.size());
    std::vector<HLVTagMap> maps;
    maps.reserve(saves.size());
    std::vector<HLVFileDetails> found(saves.size());
    const bool anyMP3 =
        std::any_of(saves.cbegin(), saves.cend(), [](const Save& save) { return formatForPath(save.path) == Format::MP3; });
    const int id3v2Version = anyMP3 ? ID3v2Version() : 0;
    QList<HLVSafeSave::Request> requests;
    for (qsizetype i = 0; i < saves.size(); ++i) {
        checkAccess("save", saves[i].path);
        maps.push_back(saves[i].tagMap ? withLocalPicture(*saves[i].tagMap, pictures[i]) : HLVTagMap());
        const HLVTagMap* map = &maps.back();
        const QString path = saves[i].path;
        HLVFileDetails* details = saves[i].wantsDetails ? &found[size_t(i)] : nullptr;
        requests.append({path, writerCall(path, [path, map, details, id3v2Version](HLVTagLibWriter& writer, HLVFailure* failure) {
            const QScopedValueRollback batchVersion(id3v2VersionOfBatch, id3v2Version);
            writer.setSavedDetails(details);
            return writer.writeTagsToFileAtPath(path, *map, failure);
        }), false, {}, false});
    }
    HLVSafeSave::saveFiles(requests, stopped);
    for (qsizetype i = 0; i < saves.size(); ++i) {
        saves[i].stopped = requests[i].stopped;
        saves[i].saved = saves[i].tagMap && requests[i].saved;
        // A format writer that described the file named its format.
        if (saves[i].saved && !found[size_t(i)].format.isEmpty()) {
            found[size_t(i)].folder = QFileInfo(saves[i].path).absolutePath();
            saves[i].details = std::move(found[size_t(i)]);
        }
        saves[i].failure = saves[i].tagMap ? requests[i].failure
                                           : HLVFailure::make(HLVFailure::Kind::Other, QStringLiteral("nothing to save"));
    }
}

bool HLVTagLib::addArtwokImageToFileAtPath(const std::optional<QString>& path,
                                           const std::optional<QString>& imagePath, HLVFailure* failure)
{
    checkAccess("add a picture to", path);
    if (!path || !imagePath)
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("no file or picture was given"));
    FetchedPicture picture;
    const QString local = picture.localPath(*imagePath);
    return HLVSafeSave::saveFileAtPath(*path, writerCall(*path, [&path, local](HLVTagLibWriter& writer, HLVFailure* f) {
        return writer.addArtworkToFileAtPath(*path, local, f);
    }), failure);
}

bool HLVTagLib::removeArtworkImageFromFileAtPath(const std::optional<QString>& path, HLVFailure* failure)
{
    checkAccess("remove the picture of", path);
    if (!path)
        return HLVReportFailure(failure, HLVFailure::Kind::FileMissing, QStringLiteral("no file was given"));
    return HLVSafeSave::saveFileAtPath(*path, writerCall(*path, [&path](HLVTagLibWriter& writer, HLVFailure* f) {
        return writer.removeArtworkFromFileAtPath(*path, f);
    }), failure);
}

namespace {
std::atomic<int> id3v2VersionOverride{0};
}

int HLVTagLib::ID3v2Version()
{
    if (const int version = id3v2VersionOverride.load(); version != 0)
        return version;
    if (id3v2VersionOfBatch != 0)
        return id3v2VersionOfBatch;
    return QSettings().value(QStringLiteral("ID3v2Version"), 4).toInt() == 3 ? 3 : 4;
}

void HLVTagLib::setID3v2Version(int version)
{
    id3v2VersionOverride.store(version == 3 || version == 4 ? version : 0);
}
