#include "HLVBenchCorpus.h"
#include "HLVCustomTagValue.h"
#include "HLVTestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QFileInfo>
#include <iterator>
#include <unistd.h>

namespace {

const HLVTagLib::Format kFormats[] = {HLVTagLib::Format::MP3, HLVTagLib::Format::MP4, HLVTagLib::Format::FLAC};

QString extension(HLVTagLib::Format format)
{
    switch (format) {
    case HLVTagLib::Format::MP3: return QStringLiteral("mp3");
    case HLVTagLib::Format::MP4: return QStringLiteral("m4a");
    case HLVTagLib::Format::FLAC: return QStringLiteral("flac");
    case HLVTagLib::Format::Other: break;
    }
    return QStringLiteral("bin");
}

// A custom identifier each format stores as plain text.
QString customIdentifier(HLVTagLib::Format format)
{
    switch (format) {
    case HLVTagLib::Format::MP3: return QStringLiteral("TCOP");
    case HLVTagLib::Format::MP4: return QStringLiteral("cprt");
    default: return QStringLiteral("MOOD");
    }
}

const char* const kArtists[] = {"The Generators", "Café Tacvba", "坂本龍一", "Sigur Rós",
                                "Simon & Garfunkel", "Мумий Тролль", "Björk", "Orchestre Lamoureux"};
const char* const kGenres[] = {"Electronic", "Rock", "Jazz", "Classical", "Folk", "Ambient"};

bool writable(const QString& path)
{
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                           | QFileDevice::ReadOther);
}

} // namespace

HLVBenchCorpus::HLVBenchCorpus()
{
    if (!_dir.isValid())
        _error = QStringLiteral("cannot create a temporary folder");
}

QString HLVBenchCorpus::fixturePath(HLVTagLib::Format format)
{
    return HLVTestFiles::fixturePath(QStringLiteral("tone.") + extension(format));
}

QStringList HLVBenchCorpus::paths(const QList<Entry>& entries)
{
    QStringList result;
    result.reserve(entries.size());
    for (const Entry& entry : entries)
        result.append(entry.path);
    return result;
}

QString HLVBenchCorpus::makeFolder(const QString& name)
{
    const QString folder = _dir.filePath(name);
    if (!QDir().mkpath(folder)) {
        _error = QStringLiteral("cannot create %1").arg(folder);
        return QString();
    }
    return folder;
}

bool HLVBenchCorpus::makeCovers()
{
    if (!_jpegCover.isEmpty())
        return true;
    // A picture with some detail, so the encoded size is like a real cover's.
    QImage image(300, 300, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) % 256, (y * 5) % 256, ((x ^ y) * 3) % 256));
    }
    _jpegCover = _dir.filePath(QStringLiteral("cover.jpg"));
    _pngCover = _dir.filePath(QStringLiteral("cover.png"));
    if (!image.save(_jpegCover, "JPEG", 85) || !image.scaled(120, 120).save(_pngCover, "PNG")) {
        _error = QStringLiteral("cannot write the cover pictures (image plugins missing?)");
        _jpegCover.clear();
        return false;
    }
    return true;
}

QList<HLVBenchCorpus::Entry> HLVBenchCorpus::makeTaggedCopies(const QString& name, int count)
{
    const QString folder = makeFolder(name);
    if (folder.isEmpty() || !makeCovers())
        return {};
    QList<Entry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        Entry entry;
        entry.format = kFormats[i % 3];
        entry.path = QDir(folder).filePath(QStringLiteral("track-%1.%2").arg(i, 6, 10, QLatin1Char('0')).arg(extension(entry.format)));
        if (!QFile::copy(fixturePath(entry.format), entry.path) || !writable(entry.path)) {
            _error = QStringLiteral("cannot copy %1").arg(fixturePath(entry.format));
            return {};
        }
        const int kind = (i / 3) % 10;
        entry.completeness = kind == 0 ? Completeness::Untagged : kind < 3 ? Completeness::Partial : Completeness::Complete;
        if (entry.completeness != Completeness::Untagged) {
            HLVTagMap map;
            map.setTrackName(QStringLiteral("Title %1").arg(i));
            map.setArtistName(QString::fromUtf8(kArtists[i % std::size(kArtists)]));
            map.setAlbumName(QStringLiteral("Album %1").arg(i / 12));
            if (entry.completeness == Completeness::Complete) {
                map.setAlbumArtist(map.ArtistName());
                map.setGenre(QString::fromUtf8(kGenres[i % std::size(kGenres)]));
                map.setReleaseYear(1960 + i % 60);
                map.setTrackNumber(i % 12 + 1);
                map.setTrackTotal(12);
                map.setDiscNumber(1);
                map.setDiscTotal(1 + i % 2);
                map.setArtworkPath(kind % 2 ? _jpegCover : _pngCover);
                map.setArtworkState(HLVArtworkStateChosen);
                if (kind == 9) {
                    map.setComposer(QStringLiteral("Composer %1").arg(i % 17));
                    map.setGrouping(QStringLiteral("Grouping"));
                    map.setComment(QStringLiteral("Comment on track %1").arg(i));
                    map.setCompilation(i % 2);
                    map.setCustomTagValues(HLVCustomTagValueArray{std::make_shared<HLVCustomTagValue>(
                        customIdentifier(entry.format), QStringLiteral("Custom %1").arg(i))});
                }
            }
            if (!HLVTagLib::saveTagsToFileAtPath(entry.path, &map)) {
                _error = QStringLiteral("cannot tag %1").arg(entry.path);
                return {};
            }
        }
        entries.append(entry);
    }
    return entries;
}

QList<HLVBenchCorpus::Entry> HLVBenchCorpus::makeLinks(const QString& name, const QList<Entry>& sources, int count)
{
    const QString folder = makeFolder(name);
    if (folder.isEmpty() || sources.isEmpty())
        return {};
    QList<Entry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        Entry entry = sources.at(i % sources.size());
        const QString target = QDir(folder).filePath(QStringLiteral("link-%1.%2").arg(i, 6, 10, QLatin1Char('0')).arg(extension(entry.format)));
        if (::link(QFile::encodeName(entry.path).constData(), QFile::encodeName(target).constData()) != 0
            && !QFile::copy(entry.path, target)) {
            _error = QStringLiteral("cannot link or copy %1").arg(entry.path);
            return {};
        }
        entry.path = target;
        entries.append(entry);
    }
    return entries;
}

QList<HLVBenchCorpus::Entry> HLVBenchCorpus::makeCopies(const QString& name, const QList<Entry>& sources)
{
    const QString folder = makeFolder(name);
    if (folder.isEmpty())
        return {};
    QList<Entry> entries;
    entries.reserve(sources.size());
    for (Entry entry : sources) {
        const QString target = QDir(folder).filePath(QFileInfo(entry.path).fileName());
        if (!QFile::copy(entry.path, target) || !writable(target)) {
            _error = QStringLiteral("cannot copy %1").arg(entry.path);
            return {};
        }
        entry.path = target;
        entries.append(entry);
    }
    return entries;
}

QList<HLVBenchCorpus::Entry> HLVBenchCorpus::makeUntaggedCopies(const QString& name, int count)
{
    const QString folder = makeFolder(name);
    if (folder.isEmpty())
        return {};
    QList<Entry> entries;
    for (int i = 0; i < count; ++i) {
        Entry entry;
        entry.format = kFormats[i % 3];
        entry.path = QDir(folder).filePath(QStringLiteral("tone-%1.%2").arg(i, 3, 10, QLatin1Char('0')).arg(extension(entry.format)));
        if (!QFile::copy(fixturePath(entry.format), entry.path) || !writable(entry.path)) {
            _error = QStringLiteral("cannot copy %1").arg(fixturePath(entry.format));
            return {};
        }
        entries.append(entry);
    }
    return entries;
}
