#include "HLVTagLibWriter.h"
#include "HLVCustomTagIdentifierString.h"
#include "HLVImageData.h"
#include "HLVKnownTagDetail.h"
#include "HLVStrings.h"
#include "HLVTagLibReader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tbytevector.h>

bool HLVTagLibWriter::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::FileRef file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (file.isNull() || !file.tag())
            return false;
        writeGenericTags(*file.tag(), tagMap);
        return file.save();
    } catch (...) {
        return false;
    }
}

bool HLVTagLibWriter::addArtworkToFileAtPath(const QString&, const QString&)
{
    return false;
}

bool HLVTagLibWriter::removeArtworkFromFileAtPath(const QString&)
{
    return false;
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

void HLVTagLibWriter::writeCustomTags(const QString& path, const HLVTagMap& tagMap,
                                      const std::function<void(const QString&, const QString&)>& store,
                                      const std::function<void(const QString&)>& remove)
{
    if (!tagMap.CustomTagValues() || tagMap.CustomTagValues()->isEmpty())
        return;
    HLVCustomTagIdentifierString list(tagMap.CustomTagIdentifierString());
    const QString extension = HLVTagValueParser::pathExtension(path);
    for (const auto& customTag : *tagMap.CustomTagValues()) {
        if (!customTag)
            continue;
        const QString& identifier = customTag->identifier();
        if (!customTag->isMarkedForRemoval()) {
            list.addTagIdentifier(identifier);
            store(identifier, HLVStrings::nonNilString(customTag->value()));
        } else {
            list.removeTagIdentifier(identifier);
            // A well-known tag stays in the file; it only stops being a custom one.
            if (!HLVKnownTagDetail::knownTagDetailForIdentifier(identifier, extension))
                remove(identifier);
        }
    }
    store(QStringLiteral("CTIS"), list.stringValue());
}

std::optional<QString> HLVTagLibWriter::artworkPathToEmbed(const HLVTagMap& tagMap)
{
    const int state = tagMap.ArtworkState();
    if (state != HLVArtworkStateChosen && state != HLVArtworkStateFound)
        return std::nullopt;
    return tagMap.ArtworkPath();
}

TagLib::ByteVector HLVTagLibWriter::pictureBytes(const QString& imagePath)
{
    const QByteArray bytes = HLVImageData::imageDataFromImageAtPath(imagePath);
    return TagLib::ByteVector(bytes.constData(), unsigned(bytes.size()));
}
