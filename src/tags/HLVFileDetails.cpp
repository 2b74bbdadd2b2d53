#include "HLVFileDetails.h"
#include "HLVArtwork.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <QStringList>
#include <iterator>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/flacproperties.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4properties.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegproperties.h>
#include <taglib/xiphcomment.h>

namespace {

std::optional<int> positive(int value)
{
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

QString mpegCodec(const TagLib::MPEG::Properties& properties)
{
    const char* version = "1";
    switch (properties.version()) {
    case TagLib::MPEG::Header::Version1: version = "1"; break;
    case TagLib::MPEG::Header::Version2: version = "2"; break;
    case TagLib::MPEG::Header::Version2_5: version = "2.5"; break;
    }
    return QStringLiteral("MPEG-%1 Layer %2").arg(QLatin1String(version)).arg(properties.layer());
}

QString formatName(const QString& mimeType)
{
    if (mimeType == QLatin1String("image/jpeg"))
        return QStringLiteral("JPEG");
    if (mimeType == QLatin1String("image/png"))
        return QStringLiteral("PNG");
    if (mimeType == QLatin1String("image/gif"))
        return QStringLiteral("GIF");
    if (mimeType == QLatin1String("image/bmp"))
        return QStringLiteral("BMP");
    if (mimeType == QLatin1String("image/webp"))
        return QStringLiteral("WebP");
    return mimeType;
}

} // namespace

void HLVFileDetails::readAudio(const TagLib::AudioProperties* properties)
{
    if (!properties)
        return;
    lengthMilliseconds = properties->lengthInMilliseconds() >= 0
        ? std::optional<int>(properties->lengthInMilliseconds()) : std::nullopt;
    bitRate = positive(properties->bitrate());
    sampleRate = positive(properties->sampleRate());
    channels = positive(properties->channels());
}

void HLVFileDetails::takeAudioFrom(const HLVFileDetails& earlier)
{
    codec = earlier.codec;
    lengthMilliseconds = earlier.lengthMilliseconds;
    bitRate = earlier.bitRate;
    sampleRate = earlier.sampleRate;
    channels = earlier.channels;
    bitsPerSample = earlier.bitsPerSample;
}

void HLVFileDetails::readPicture(const HLVArtwork& artwork, const QString& storedMimeType)
{
    const QByteArray bytes = artwork.encodedData();
    // The bytes say what the picture is; a stored MIME type may be wrong.
    const QString mimeType = HLVArtwork::mimeTypeOfData(bytes);
    pictureFormat = formatName(mimeType.isEmpty() ? storedMimeType : mimeType);
    pictureSize = artwork.size();
    pictureBytes = bytes.size();
}

void HLVFileDetails::readMPEG(TagLib::MPEG::File& file, const HLVArtwork& artwork)
{
    format = QStringLiteral("MP3");
    if (const auto* properties = file.audioProperties()) {
        codec = mpegCodec(*properties);
        readAudio(properties);
    }
    id3v1 = file.hasID3v1Tag();
    ape = file.hasAPETag();
    fileSize = file.length();
    if (!file.hasID3v2Tag())
        return;
    const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    if (!tag)
        return;
    id3v2Version = int(tag->header()->majorVersion());
    const auto& frames = tag->frameListMap();
    const auto found = frames.find("APIC");
    if (found == frames.end() || found->second.isEmpty())
        return;
    pictures = int(found->second.size());
    if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(found->second.front())) {
        pictureType = int(picture->type());
        readPicture(artwork, HLVTagText::fromTagLib(picture->mimeType()));
    }
}

void HLVFileDetails::readMP4(TagLib::MP4::File& file, const HLVArtwork& artwork)
{
    format = QStringLiteral("MPEG-4");
    if (const auto* properties = file.audioProperties()) {
        switch (properties->codec()) {
        case TagLib::MP4::Properties::AAC: codec = QStringLiteral("AAC"); break;
        case TagLib::MP4::Properties::ALAC: codec = QStringLiteral("ALAC"); break;
        default: break;
        }
        readAudio(properties);
        bitsPerSample = positive(properties->bitsPerSample());
    }
    fileSize = file.length();
    if (!file.hasMP4Tag() || !file.tag())
        return;
    const TagLib::MP4::ItemMap& items = file.tag()->itemMap();
    mp4Items = int(items.size());
    const auto covers = items.find("covr");
    if (covers == items.end() || !covers->second.isValid())
        return;
    const TagLib::MP4::CoverArtList list = covers->second.toCoverArtList();
    pictures = int(list.size());
    if (list.isEmpty())
        return;
    QString stored;
    switch (list.front().format()) {
    case TagLib::MP4::CoverArt::JPEG: stored = QStringLiteral("image/jpeg"); break;
    case TagLib::MP4::CoverArt::PNG: stored = QStringLiteral("image/png"); break;
    case TagLib::MP4::CoverArt::GIF: stored = QStringLiteral("image/gif"); break;
    case TagLib::MP4::CoverArt::BMP: stored = QStringLiteral("image/bmp"); break;
    default: break;
    }
    readPicture(artwork, stored);
}

void HLVFileDetails::readFLAC(TagLib::FLAC::File& file, const HLVArtwork& artwork)
{
    format = QStringLiteral("FLAC");
    if (const auto* properties = file.audioProperties()) {
        codec = QStringLiteral("FLAC");
        readAudio(properties);
        bitsPerSample = positive(properties->bitsPerSample());
    }
    id3v2Version = std::nullopt;
    if (file.hasID3v2Tag() && file.ID3v2Tag())
        id3v2Version = int(file.ID3v2Tag()->header()->majorVersion());
    id3v1 = file.hasID3v1Tag();
    fileSize = file.length();
    TagLib::Ogg::XiphComment* comment = file.hasXiphComment() ? file.xiphComment(false) : nullptr;
    if (comment)
        xiphFields = int(comment->fieldCount());
    // The reader's choice: picture blocks, else the pictures inside the comment.
    auto list = file.pictureList();
    if (list.isEmpty() && comment)
        list = comment->pictureList();
    pictures = int(list.size());
    if (list.isEmpty())
        return;
    pictureType = int(list.front()->type());
    readPicture(artwork, HLVTagText::fromTagLib(list.front()->mimeType()));
}

void HLVFileDetails::readOther(TagLib::File& file, const QString& path)
{
    format = HLVTagValueParser::pathExtension(path).toUpper();
    readAudio(file.audioProperties());
    fileSize = file.length();
}

QString HLVFileDetails::tagSummary() const
{
    QStringList kinds;
    if (id3v2Version)
        kinds.append(QStringLiteral("ID3v2.%1").arg(*id3v2Version));
    if (id3v1)
        kinds.append(QStringLiteral("ID3v1"));
    if (ape)
        kinds.append(QStringLiteral("APE"));
    if (mp4Items)
        kinds.append(QStringLiteral("MP4 items (%1)").arg(*mp4Items));
    if (xiphFields)
        kinds.append(QStringLiteral("Xiph comment (%1 fields)").arg(*xiphFields));
    return kinds.isEmpty() ? QStringLiteral("none") : kinds.join(QLatin1String(", "));
}

QString HLVFileDetails::pictureTypeName(int type)
{
    // Marked for translation; the window shows them translated, the command line as they are.
    static const char* const names[] = {
        QT_TRANSLATE_NOOP("HLVFileDetails", "Other"), QT_TRANSLATE_NOOP("HLVFileDetails", "File icon"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Other file icon"), QT_TRANSLATE_NOOP("HLVFileDetails", "Front cover"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Back cover"), QT_TRANSLATE_NOOP("HLVFileDetails", "Leaflet page"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Media"), QT_TRANSLATE_NOOP("HLVFileDetails", "Lead artist"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Artist"), QT_TRANSLATE_NOOP("HLVFileDetails", "Conductor"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Band"), QT_TRANSLATE_NOOP("HLVFileDetails", "Composer"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Lyricist"), QT_TRANSLATE_NOOP("HLVFileDetails", "Recording location"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "During recording"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "During performance"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Movie screen capture"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Coloured fish"), QT_TRANSLATE_NOOP("HLVFileDetails", "Illustration"),
        QT_TRANSLATE_NOOP("HLVFileDetails", "Band logo"), QT_TRANSLATE_NOOP("HLVFileDetails", "Publisher logo"),
    };
    if (type < 0 || type >= int(std::size(names)))
        return QString();
    return QString::fromLatin1(names[type]);
}
