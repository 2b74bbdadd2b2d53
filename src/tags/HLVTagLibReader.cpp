#include "HLVTagLibReader.h"
#include "HLVCustomTagIdentifierString.h"
#include "HLVTagText.h"

#include <QFile>
#include <QFileInfo>
#include <limits>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tbytevector.h>

bool HLVTagLibReader::isTagFileCandidate(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

bool HLVTagLibReader::checkTagFileCandidate(const QString& path, HLVFailure* failure)
{
    const QFileInfo info(path);
    if (!info.exists())
        return HLVReportFailure(failure, HLVFailure::Kind::FileMissing, QStringLiteral("the file does not exist"));
    if (!info.isFile())
        return HLVReportFailure(failure, HLVFailure::Kind::FileMissing, QStringLiteral("not a regular file"));
    if (info.size() <= 0)
        return HLVReportFailure(failure, HLVFailure::Kind::NotAudio, QStringLiteral("the file is empty"));
    return true;
}

bool HLVTagLibReader::reportNotAudio(HLVFailure* failure, const char* formatName)
{
    return HLVReportFailure(failure, HLVFailure::Kind::NotAudio, QStringLiteral("not %1").arg(QLatin1String(formatName)));
}

QByteArray HLVTagLibReader::fileSystemPath(const QString& path)
{
    return QFile::encodeName(path);
}

bool HLVTagLibReader::readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure)
{
    if (!checkTagFileCandidate(path, failure))
        return false;
    try {
        TagLib::FileRef file(fileSystemPath(path).constData(), readsAudioProperties(), TagLib::AudioProperties::Fast);
        if (file.isNull() || !file.tag())
            return reportNotAudio(failure, "an audio file TagLib can read");
        readGenericTags(*file.tag(), tagMap);
        if (_details)
            _details->readOther(*file.file(), path);
        return true;
    } catch (...) {
        return reportNotAudio(failure, "an audio file TagLib can read");
    }
}

std::optional<QString> HLVTagLibReader::readTagWithIdentifier(const QString&, const QString&)
{
    return std::nullopt;
}

static std::optional<int> positiveNumber(unsigned int value)
{
    if (value == 0)
        return std::nullopt;
    return int(qMin<unsigned int>(value, unsigned(std::numeric_limits<int>::max())));
}

void HLVTagLibReader::readGenericTags(const TagLib::Tag& tag, HLVTagMap& tagMap)
{
    if (auto v = HLVTagText::presentFromTagLib(tag.album()))
        tagMap.setAlbumName(v);
    if (auto v = HLVTagText::presentFromTagLib(tag.artist()))
        tagMap.setArtistName(v);
    if (auto v = HLVTagText::presentFromTagLib(tag.comment()))
        tagMap.setComment(v);
    if (auto v = HLVTagText::presentFromTagLib(tag.genre()))
        tagMap.setGenre(v);
    if (auto year = positiveNumber(tag.year()))
        tagMap.setReleaseYear(year);
    if (auto v = HLVTagText::presentFromTagLib(tag.title()))
        tagMap.setTrackName(v);
    if (auto track = positiveNumber(tag.track()))
        tagMap.setTrackNumber(track);
}

QByteArray HLVTagLibReader::toQByteArray(const TagLib::ByteVector& bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

void HLVTagLibReader::setArtwork(HLVTagMap& tagMap, const QByteArray& pictureBytes)
{
    tagMap.setArtwork(HLVArtwork::fromEncodedData(pictureBytes));
    tagMap.setArtworkState(tagMap.Artwork().isNull() ? HLVArtworkStateNone : HLVArtworkStateInFile);
    tagMap.setArtworkAttempted(true);
}

void HLVTagLibReader::setCustomTagValues(
    HLVTagMap& tagMap, const std::optional<QString>& ctisText,
    const std::function<std::optional<QString>(const QString& identifier)>& valueOf)
{
    if (!ctisText || ctisText->isEmpty())
        return;
    const HLVCustomTagIdentifierString list(ctisText);
    const QStringList identifiers = list.tagIdentifiers();
    if (identifiers.isEmpty())
        return;
    HLVCustomTagValueArray values;
    values.reserve(identifiers.size());
    for (const QString& identifier : identifiers)
        values.append(std::make_shared<HLVCustomTagValue>(identifier, valueOf(identifier), false));
    tagMap.setCustomTagValues(values);
}
