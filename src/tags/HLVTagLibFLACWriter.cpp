#include "HLVTagLibFLACWriter.h"
#include "HLVFileDetails.h"
#include "HLVArtwork.h"
#include "HLVFLACFile.h"
#include "HLVTagLibFLACReader.h"
#include "HLVTagLibReader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/xiphcomment.h>

namespace {

// The fixed part of a picture block besides the MIME type, description and data.
constexpr unsigned int pictureBlockOverhead = 32;

void writeCount(TagLib::Ogg::XiphComment& comment, const char* key, const std::optional<int>& count)
{
    if (!count)
        return;
    // A count of 0 (or a meaningless negative one) clears the field.
    if (*count <= 0)
        HLVTagLibFLACWriter::removeValueForKey(QLatin1String(key), comment);
    else
        HLVTagLibFLACWriter::writeValueForKey(QLatin1String(key), comment, QString::number(*count));
}

void writeText(TagLib::Ogg::XiphComment& comment, const char* key, const std::optional<QString>& text)
{
    if (text)
        HLVTagLibFLACWriter::writeValueForKey(QLatin1String(key), comment, *text);
}

} // namespace

void HLVTagLibFLACWriter::writeValueForKey(const QString& key, TagLib::Ogg::XiphComment& comment,
                                           const QString& value)
{
    removeValueForKey(key, comment);
    if (!key.isEmpty())
        comment.addField(HLVTagText::keyToTagLib(key), HLVTagText::toTagLib(value), false);
}

void HLVTagLibFLACWriter::removeValueForKey(const QString& key, TagLib::Ogg::XiphComment& comment)
{
    comment.removeFields(HLVTagText::keyToTagLib(key));
}


bool HLVTagLibFLACWriter::addCoverImageToFile(TagLib::FLAC::File& file, const QString& imagePath)
{
    // The bytes come first, so that a missing image never leaves an empty
    // picture block behind.
    const TagLib::ByteVector bytes = pictureBytes(imagePath);
    if (bytes.isEmpty())
        return false;
    const QByteArray leading = QByteArray::fromRawData(bytes.data(), qsizetype(qMin(bytes.size(), 16u)));
    const TagLib::String mimeType = HLVTagText::keyToTagLib(pictureMimeType(imagePath, leading));
    const auto pictures = file.pictureList();
    TagLib::FLAC::Picture* picture = pictures.isEmpty() ? nullptr : pictures.front();
    const unsigned int descriptionLength = picture ? picture->description().data(TagLib::String::UTF8).size() : 0;
    if (bytes.size() + mimeType.size() + descriptionLength + pictureBlockOverhead > HLVFLACFile::maximumBlockLength)
        return false;
    if (!picture) {
        picture = new TagLib::FLAC::Picture;
        // What players look for; an existing picture keeps its type.
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        file.addPicture(picture); // the file owns it from here
    }
    picture->setData(bytes);
    picture->setMimeType(mimeType);
    // The block describes its picture; 0 where the header does not tell.
    const HLVArtwork::Header header = HLVArtwork::headerOf(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())));
    picture->setWidth(header.size.isValid() ? header.size.width() : 0);
    picture->setHeight(header.size.isValid() ? header.size.height() : 0);
    picture->setColorDepth(header.depth);
    picture->setNumColors(header.colours);
    return true;
}

bool HLVTagLibFLACWriter::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure)
{
    try {
        HLVFLACFile::Writable writable;
        if (!writable.open(path, failure, stream()))
            return false;
        TagLib::FLAC::File* file = &writable.file();
        TagLib::Ogg::XiphComment* comment = file->xiphComment(true);
        if (!file->tag() || !comment)
            return HLVTagLibReader::reportNotAudio(failure, "a FLAC file");
        writeGenericTags(*file->tag(), tagMap);

        // Only ALBUMARTIST is ours; an "ALBUM ARTIST" left by other software stays.
        writeText(*comment, "ALBUMARTIST", tagMap.AlbumArtist());
        writeCount(*comment, "TRACKTOTAL", tagMap.TrackTotal());
        writeCount(*comment, "DISCNUMBER", tagMap.DiscNumber());
        writeCount(*comment, "DISCTOTAL", tagMap.DiscTotal());
        writeText(*comment, "COMPOSER", tagMap.Composer());
        writeText(*comment, "GROUPING", tagMap.Grouping());
        if (tagMap.Compilation())
            writeValueForKey(QStringLiteral("COMPILATION"), *comment,
                             *tagMap.Compilation() ? QStringLiteral("1") : QStringLiteral("0"));

        if (tagMap.ArtworkState() == HLVArtworkStateRemove) {
            file->removePictures();
        } else if (const auto picture = artworkPathToEmbed(tagMap)) {
            // Without a usable picture the other tags are still saved.
            addCoverImageToFile(*file, *picture);
        }

        const QStringList refused = writeCustomTags(
            path, tagMap,
            [comment](const QString& identifier, const QString& value, bool editable) {
                // A value the file already holds is never refused.
                const TagLib::String stored = HLVTagLibFLACReader::readTextValueForKey(identifier, comment);
                if (!stored.isEmpty() && HLVTagText::fromTagLib(stored) == value)
                    return CustomTagWrite::Stored;
                if (!editable)
                    return stored.isEmpty() ? CustomTagWrite::Refused : CustomTagWrite::RefusedKeptInFile;
                writeValueForKey(identifier, *comment, value);
                return CustomTagWrite::Stored;
            },
            [comment](const QString& identifier) { removeValueForKey(identifier, *comment); });

        if (!writable.save(failure))
            return false;
        if (_savedDetails)
            _savedDetails->readFLAC(*file, HLVArtwork::fromEncodedData(HLVTagLibFLACReader::readCoverImage(*file, comment)));
        return finishSave(true, refused, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the tags could not be written"));
    }
}

bool HLVTagLibFLACWriter::addArtworkToFileAtPath(const QString& path, const QString& imagePath, HLVFailure* failure)
{
    try {
        HLVFLACFile::Writable writable;
        if (!writable.open(path, failure, stream()))
            return false;
        if (!addCoverImageToFile(writable.file(), imagePath))
            return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the picture could not be read"));
        return writable.save(failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the picture could not be written"));
    }
}

bool HLVTagLibFLACWriter::removeArtworkFromFileAtPath(const QString& path, HLVFailure* failure)
{
    try {
        HLVFLACFile::Writable writable;
        if (!writable.open(path, failure, stream()))
            return false;
        const auto pictures = writable.file().pictureList();
        // Nothing to remove: the file is already as asked.
        if (pictures.isEmpty())
            return true;
        writable.file().removePicture(pictures.front(), true);
        return writable.save(failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the picture could not be removed"));
    }
}
