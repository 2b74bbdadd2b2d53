#include "HLVTagLibFLACWriter.h"
#include "HLVFLACFile.h"
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

QString HLVTagLibFLACWriter::mimeTypeForImagePath(const QString& imagePath)
{
    const QString extension = HLVTagValueParser::pathExtension(imagePath).toLower();
    if (extension == QLatin1String("png"))
        return QStringLiteral("image/png");
    if (extension == QLatin1String("bmp"))
        return QStringLiteral("image/bmp");
    if (extension == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    return QStringLiteral("image/jpeg");
}

bool HLVTagLibFLACWriter::addCoverImageToFile(TagLib::FLAC::File& file, const QString& imagePath)
{
    // The bytes come first, so that a missing image never leaves an empty
    // picture block behind.
    const TagLib::ByteVector bytes = pictureBytes(imagePath);
    if (bytes.isEmpty())
        return false;
    const TagLib::String mimeType = HLVTagText::keyToTagLib(mimeTypeForImagePath(imagePath));
    const auto pictures = file.pictureList();
    TagLib::FLAC::Picture* picture = pictures.isEmpty() ? nullptr : pictures.front();
    const unsigned int descriptionLength = picture ? picture->description().data(TagLib::String::UTF8).size() : 0;
    if (bytes.size() + mimeType.size() + descriptionLength + pictureBlockOverhead > HLVFLACFile::maximumBlockLength)
        return false;
    if (!picture) {
        picture = new TagLib::FLAC::Picture;
        file.addPicture(picture); // the file owns it from here
    }
    picture->setData(bytes);
    picture->setMimeType(mimeType);
    return true;
}

bool HLVTagLibFLACWriter::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap)
{
    try {
        const auto file = HLVFLACFile::open(path);
        if (!file || !file->tag())
            return false;
        writeGenericTags(*file->tag(), tagMap);
        TagLib::Ogg::XiphComment* comment = file->xiphComment(true);
        if (!comment)
            return false;

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

        writeCustomTags(
            path, tagMap,
            [comment](const QString& identifier, const QString& value) {
                writeValueForKey(identifier, *comment, value);
            },
            [comment](const QString& identifier) { removeValueForKey(identifier, *comment); });

        return HLVFLACFile::save(*file);
    } catch (...) {
        return false;
    }
}

bool HLVTagLibFLACWriter::addArtworkToFileAtPath(const QString& path, const QString& imagePath)
{
    try {
        const auto file = HLVFLACFile::open(path);
        if (!file || !addCoverImageToFile(*file, imagePath))
            return false;
        return HLVFLACFile::save(*file);
    } catch (...) {
        return false;
    }
}

bool HLVTagLibFLACWriter::removeArtworkFromFileAtPath(const QString& path)
{
    try {
        const auto file = HLVFLACFile::open(path);
        if (!file)
            return false;
        const auto pictures = file->pictureList();
        // Nothing to remove: the file is already as asked.
        if (pictures.isEmpty())
            return true;
        file->removePicture(pictures.front(), true);
        return HLVFLACFile::save(*file);
    } catch (...) {
        return false;
    }
}
