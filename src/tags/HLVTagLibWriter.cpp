#include "HLVTagLibWriter.h"
#include "HLVCustomTagIdentifierString.h"
#include "HLVImageData.h"
#include "HLVKnownTagDetail.h"
#include "HLVStrings.h"
#include "HLVTagLibReader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <QFileInfo>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tbytevector.h>
#include <taglib/tiostream.h>

bool HLVTagLibWriter::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure)
{
    if (!checkWritableFile(path, failure, _stream))
        return false;
    try {
        TagLib::FileRef file = _stream ? TagLib::FileRef(_stream, false)
                                       : TagLib::FileRef(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (file.isNull() || !file.tag())
            return HLVTagLibReader::reportNotAudio(failure, "an audio file TagLib can write");
        writeGenericTags(*file.tag(), tagMap);
        return finishSave(file.save(), {}, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the tags could not be written"));
    }
}

bool HLVTagLibWriter::addArtworkToFileAtPath(const QString&, const QString&, HLVFailure* failure)
{
    return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("this format holds no pictures"));
}

bool HLVTagLibWriter::removeArtworkFromFileAtPath(const QString&, HLVFailure* failure)
{
    return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("this format holds no pictures"));
}

bool HLVTagLibWriter::checkWritableFile(const QString& path, HLVFailure* failure, const TagLib::IOStream* stream)
{
    if (stream && !stream->readOnly())
        return true;
    if (!HLVTagLibReader::checkTagFileCandidate(path, failure))
        return false;
    const QFileInfo info(path);
    if (!info.isReadable())
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the file cannot be read"));
    if (!info.isWritable())
        return HLVReportFailure(failure, HLVFailure::Kind::ReadOnly, QStringLiteral("the file is read-only"));
    return true;
}

bool HLVTagLibWriter::finishSave(bool saved, const QStringList& refusedCustomTags, HLVFailure* failure)
{
    if (!saved)
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the file could not be written"));
    if (refusedCustomTags.isEmpty())
        return true;
    const QString names = refusedCustomTags.join(QStringLiteral(", "));
    return HLVReportFailure(failure, HLVFailure::Kind::CustomTagRefused,
                            refusedCustomTags.size() == 1
                                ? QStringLiteral("custom tag %1 cannot be written as text; the other tags were saved").arg(names)
                                : QStringLiteral("custom tags %1 cannot be written as text; the other tags were saved").arg(names));
}

bool HLVTagLibWriter::reportStructure(HLVFailure* failure, const QString& reason)
{
    return HLVReportFailure(failure, HLVFailure::Kind::StructureRefused, reason);
}

static unsigned int unsignedNumber(int value)
{
    // A negative number has no meaning here; 0 clears the field.
    return value < 0 ? 0u : unsigned(value);
}

void HLVTagLibWriter::writeGenericTags(TagLib::Tag& tag, const HLVTagMap& tagMap)
{
    if (tagMap.AlbumName())
        tag.setAlbum(HLVTagText::toTagLib(*tagMap.AlbumName()));
    if (tagMap.ArtistName())
        tag.setArtist(HLVTagText::toTagLib(*tagMap.ArtistName()));
    if (tagMap.Comment())
        tag.setComment(HLVTagText::toTagLib(*tagMap.Comment()));
    if (tagMap.Genre())
        tag.setGenre(HLVTagText::toTagLib(*tagMap.Genre()));
    if (tagMap.ReleaseYear())
        tag.setYear(unsignedNumber(*tagMap.ReleaseYear()));
    if (tagMap.TrackName())
        tag.setTitle(HLVTagText::toTagLib(*tagMap.TrackName()));
    if (tagMap.TrackNumber())
        tag.setTrack(unsignedNumber(*tagMap.TrackNumber()));
}

QStringList HLVTagLibWriter::writeCustomTags(const QString& path, const HLVTagMap& tagMap, const CustomTagStore& store,
                                             const std::function<void(const QString&)>& remove)
{
    QStringList refused;
    if (!tagMap.CustomTagValues() || tagMap.CustomTagValues()->isEmpty())
        return refused;
    HLVCustomTagIdentifierString list(tagMap.CustomTagIdentifierString());
    const QString extension = HLVTagValueParser::pathExtension(path);
    for (const auto& customTag : *tagMap.CustomTagValues()) {
        if (!customTag)
            continue;
        const QString& identifier = customTag->identifier();
        if (!customTag->isMarkedForRemoval()) {
            const auto detail = HLVKnownTagDetail::knownTagDetailForIdentifier(identifier, extension);
            const CustomTagWrite written =
                store(identifier, HLVStrings::nonNilString(customTag->value()), !detail || detail->allowEdit());
            if (written != CustomTagWrite::Refused)
                list.addTagIdentifier(identifier);
            if (written != CustomTagWrite::Stored)
                refused.append(identifier);
        } else {
            list.removeTagIdentifier(identifier);
            // A well-known tag stays in the file; it only stops being a custom one.
            if (!HLVKnownTagDetail::knownTagDetailForIdentifier(identifier, extension))
                remove(identifier);
        }
    }
    store(QStringLiteral("CTIS"), list.stringValue(), true);
    return refused;
}

std::optional<QString> HLVTagLibWriter::artworkPathToEmbed(const HLVTagMap& tagMap)
{
    const int state = tagMap.ArtworkState();
    if (state != HLVArtworkStateChosen && state != HLVArtworkStateFound)
        return std::nullopt;
    return tagMap.ArtworkPath();
}

QString HLVTagLibWriter::pictureMimeType(const QString& imagePath, const QByteArray& bytes)
{
    // A name says little about a downloaded picture (cover addresses often have
    // no extension at all), so the bytes decide where they can.
    if (const QString fromBytes = HLVArtwork::mimeTypeOfData(bytes); !fromBytes.isEmpty())
        return fromBytes;
    const QString extension = HLVTagValueParser::pathExtension(imagePath).toLower();
    if (extension == QLatin1String("png"))
        return QStringLiteral("image/png");
    if (extension == QLatin1String("bmp"))
        return QStringLiteral("image/bmp");
    if (extension == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    return QStringLiteral("image/jpeg");
}

TagLib::ByteVector HLVTagLibWriter::pictureBytes(const QString& imagePath)
{
    const QByteArray bytes = HLVImageData::imageDataFromImageAtPath(imagePath);
    return TagLib::ByteVector(bytes.constData(), unsigned(bytes.size()));
}
