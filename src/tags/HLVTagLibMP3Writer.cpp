#include "HLVTagLibMP3Writer.h"
#include "HLVTagLibMP3Reader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>

namespace {

TagLib::ByteVector frameIdentifierBytes(const QString& identifier)
{
    const QByteArray id = identifier.toLatin1();
    return TagLib::ByteVector(id.constData(), unsigned(id.size()));
}

// A text value can stand in for plain text frames and for frames TagLib does
// not know (our own custom frames). Pictures, comments, user text and the like
// hold more than their text form shows, so writing that text back would
// destroy them.
bool isReplaceableByText(TagLib::ID3v2::Frame* frame)
{
    if (dynamic_cast<TagLib::ID3v2::UnknownFrame*>(frame))
        return true;
    return dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame)
        && !dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(frame);
}

// TagLib's default save (every tag type, ID3v2.4, the tags kept in step), but
// values go from ID3v2 to ID3v1 only. Copying back fills an ID3v2 track number
// that reads as 0 ("0/12") from ID3v1, which replaces or drops the whole
// TRCK text and with it the total.
bool saveMPEGFile(TagLib::MPEG::File& file)
{
    if (TagLib::ID3v2::Tag* tag = file.ID3v2Tag())
        TagLib::Tag::duplicate(tag, file.ID3v1Tag(true), false);
    return file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v4,
                     TagLib::File::DoNotDuplicate);
}

// TagLib trusts an ID3v2 header's size and footer flag: a save replaces the
// tag as the header declares it. When the size runs into the audio, or the
// footer flag is set on a tag without a footer, the start of the audio is taken
// for part of the tag and dropped. Written is only a file whose declared tag is
// followed by the first MPEG frame, or by zero padding up to it (which a save
// keeps), and whose declared footer is there.
bool hasSoundLayout(TagLib::MPEG::File& file)
{
    const long long audio = file.firstFrameOffset();
    if (audio < 0)
        return false;
    if (!file.hasID3v2Tag())
        return true; // a new tag goes in front of whatever the file starts with
    file.seek(0);
    // TagLib also finds a tag behind leading junk; where it would then write is not told.
    if (file.readBlock(3) != TagLib::ByteVector("ID3", 3))
        return false;
    const TagLib::ID3v2::Header* header = file.ID3v2Tag()->header();
    const long long tagEnd = header->completeTagSize();
    if (tagEnd > audio)
        return false;
    if (header->footerPresent()) {
        file.seek(tagEnd - 10);
        if (file.readBlock(3) != TagLib::ByteVector("3DI", 3))
            return false;
    }
    constexpr long long chunk = 64 * 1024;
    for (long long at = tagEnd; at < audio; at += chunk) {
        file.seek(at);
        const TagLib::ByteVector gap = file.readBlock(static_cast<unsigned long>(qMin(chunk, audio - at)));
        if (gap.isEmpty())
            return false;
        for (const char byte : gap) {
            if (byte != 0)
                return false;
        }
    }
    file.seek(0);
    return true;
}

bool isWritableMPEGAudio(TagLib::MPEG::File& file)
{
    return HLVTagLibMP3Reader::isMPEGAudio(file) && hasSoundLayout(file);
}

} // namespace

bool HLVTagLibMP3Writer::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::MPEG::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!isWritableMPEGAudio(file) || !file.tag())
            return false;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        if (!tag)
            return false;

        // Taken before the generic step: setting the track number there
        // replaces the whole TRCK text, and with it the total kept below.
        const QString existingTrack = HLVTagText::fromTagLib(readMP3ValueForTag(QStringLiteral("TRCK"), *tag));
        const QString existingDisc = HLVTagText::fromTagLib(readMP3ValueForTag(QStringLiteral("TPOS"), *tag));

        writeGenericTags(*file.tag(), tagMap);

        if (tagMap.AlbumArtist())
            writeValueToTagWithHandle(QStringLiteral("TPE2"), *tag, *tagMap.AlbumArtist());
        // A pair of zeros (the Remove Tags command) clears the frame: "0/0"
        // would show as a track in every other program.
        auto bothZero = [](const std::optional<int>& number, const std::optional<int>& total) {
            return number && total && *number == 0 && *total == 0;
        };
        if (bothZero(tagMap.TrackNumber(), tagMap.TrackTotal())) {
            removeValueForTagWithHandle(QStringLiteral("TRCK"), *tag);
        } else if (auto track = mergedNumberPair(tagMap.TrackNumber(), tagMap.TrackTotal(), existingTrack)) {
            writeValueToTagWithHandle(QStringLiteral("TRCK"), *tag, *track);
            // Where ID3v2's track number reads as 0 ("0/12"), readers fall back
            // on ID3v1's: keep the two in step.
            if (TagLib::ID3v1::Tag* v1 = file.ID3v1Tag())
                v1->setTrack(unsigned(qMax(0, HLVTagValueParser::integerOfText(*track))));
        }
        if (bothZero(tagMap.DiscNumber(), tagMap.DiscTotal()))
            removeValueForTagWithHandle(QStringLiteral("TPOS"), *tag);
        else if (auto disc = mergedNumberPair(tagMap.DiscNumber(), tagMap.DiscTotal(), existingDisc))
            writeValueToTagWithHandle(QStringLiteral("TPOS"), *tag, *disc);
        if (tagMap.Composer())
            writeValueToTagWithHandle(QStringLiteral("TCOM"), *tag, *tagMap.Composer());
        if (tagMap.Grouping())
            writeValueToTagWithHandle(QStringLiteral("TIT1"), *tag, *tagMap.Grouping());
        if (tagMap.Compilation())
            writeValueToTagWithHandle(QStringLiteral("TCMP"), *tag,
                                      *tagMap.Compilation() ? QStringLiteral("1") : QStringLiteral("0"));

        if (tagMap.ArtworkState() == HLVArtworkStateRemove) {
            removeValueForTagWithHandle(QStringLiteral("APIC"), *tag);
        } else if (const auto picture = artworkPathToEmbed(tagMap)) {
            // A picture that cannot be had leaves the file's own; the rest is still saved.
            addArtworkToTag(*tag, *picture);
        }

        writeCustomTags(
            path, tagMap,
            [tag](const QString& identifier, const QString& value) {
                writeValueToCustomTagWithHandle(identifier, *tag, value);
            },
            [tag](const QString& identifier) { removeValueForTagWithHandle(identifier, *tag); });

        return saveMPEGFile(file);
    } catch (...) {
        return false;
    }
}

bool HLVTagLibMP3Writer::addArtworkToFileAtPath(const QString& path, const QString& imagePath)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::MPEG::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!isWritableMPEGAudio(file))
            return false;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        if (!tag || !addArtworkToTag(*tag, imagePath))
            return false;
        return saveMPEGFile(file);
    } catch (...) {
        return false;
    }
}

bool HLVTagLibMP3Writer::removeArtworkFromFileAtPath(const QString& path)
{
    if (!HLVTagLibReader::isTagFileCandidate(path))
        return false;
    try {
        TagLib::MPEG::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!isWritableMPEGAudio(file))
            return false;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(false);
        // Nothing to remove: the file is not rewritten.
        if (!tag || !HLVTagLibMP3Reader::firstFrame(QStringLiteral("APIC"), *tag))
            return true;
        removeValueForTagWithHandle(QStringLiteral("APIC"), *tag);
        return saveMPEGFile(file);
    } catch (...) {
        return false;
    }
}

void HLVTagLibMP3Writer::writeValueToTagWithHandle(const QString& identifier, TagLib::ID3v2::Tag& tag,
                                                   const QString& value)
{
    if (!isFrameIdentifier(identifier))
        return;
    TagLib::ID3v2::Frame* frame = HLVTagLibMP3Reader::firstFrame(identifier, tag);
    // A frame TagLib keeps as raw bytes ignores new text; a text frame takes its place.
    if (frame && dynamic_cast<TagLib::ID3v2::UnknownFrame*>(frame)) {
        tag.removeFrame(frame, true);
        frame = nullptr;
    }
    const TagLib::String text = HLVTagText::toTagLib(value);
    // A frame that already reads so keeps its form (several values stay several).
    if (frame && frame->toString() == text)
        return;
    if (!frame) {
        // Latin-1 unless the text needs more: TagLib widens the encoding when it renders the frame.
        frame = new TagLib::ID3v2::TextIdentificationFrame(frameIdentifierBytes(identifier), TagLib::String::Latin1);
        tag.addFrame(frame);
    }
    frame->setText(text);
}

void HLVTagLibMP3Writer::writeValueToCustomTagWithHandle(const QString& identifier, TagLib::ID3v2::Tag& tag,
                                                         const QString& value)
{
    if (!isFrameIdentifier(identifier))
        return;
    if (TagLib::ID3v2::Frame* frame = HLVTagLibMP3Reader::firstFrame(identifier, tag)) {
        // Custom values are rewritten on every save; one the file already holds
        // is left as it is, so frames that are more than text survive.
        if (HLVTagText::fromTagLib(HLVTagLibMP3Reader::readMP3ValueForTag(identifier, tag)) == value)
            return;
        if (!isReplaceableByText(frame))
            return;
        tag.removeFrame(frame, true);
    }
    writeValueToTagWithHandle(identifier, tag, value);
}

void HLVTagLibMP3Writer::removeValueForTagWithHandle(const QString& identifier, TagLib::ID3v2::Tag& tag)
{
    if (TagLib::ID3v2::Frame* frame = HLVTagLibMP3Reader::firstFrame(identifier, tag))
        tag.removeFrame(frame, true);
}

bool HLVTagLibMP3Writer::addArtworkToTag(TagLib::ID3v2::Tag& tag, const QString& imagePath)
{
    const TagLib::ByteVector bytes = pictureBytes(imagePath);
    // Checked before any frame is added, so a failed picture leaves no empty APIC behind.
    if (bytes.isEmpty())
        return false;
    auto* frame = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(
        HLVTagLibMP3Reader::firstFrame(QStringLiteral("APIC"), tag));
    if (!frame) {
        frame = new TagLib::ID3v2::AttachedPictureFrame;
        tag.addFrame(frame);
    }
    frame->setPicture(bytes);
    const QByteArray leading = QByteArray::fromRawData(bytes.data(), qsizetype(qMin(bytes.size(), 16u)));
    frame->setMimeType(HLVTagText::keyToTagLib(mimeTypeForPicture(imagePath, leading)));
    return true;
}

TagLib::String HLVTagLibMP3Writer::readMP3ValueForTag(const QString& identifier, const TagLib::ID3v2::Tag& tag)
{
    const TagLib::ID3v2::Frame* frame = HLVTagLibMP3Reader::firstFrame(identifier, tag);
    return frame ? frame->toString() : TagLib::String();
}

std::optional<QString> HLVTagLibMP3Writer::mergedNumberPair(const std::optional<int>& number,
                                                            const std::optional<int>& total,
                                                            const QString& existing)
{
    using namespace HLVTagValueParser;
    if (number && total)
        return QStringLiteral("%1/%2").arg(*number).arg(*total);
    if ((!number && !total) || existing.isEmpty())
        return std::nullopt;
    const bool hasTotal = existing.contains(QLatin1Char('/'));
    if (total)
        return (hasTotal ? deletingLastPathComponent(existing) : QStringLiteral("0"))
            + QStringLiteral("/%1").arg(*total);
    QString value = QString::number(*number);
    if (hasTotal)
        value += QLatin1Char('/') + lastPathComponent(existing);
    return value;
}

QString HLVTagLibMP3Writer::mimeTypeForPicture(const QString& imagePath, const QByteArray& bytes)
{
    // A name says little about a downloaded picture (cover addresses often have
    // no extension at all), so the bytes decide where they can.
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("image/png");
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("image/jpeg");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral("image/gif");
    if (bytes.startsWith("BM"))
        return QStringLiteral("image/bmp");
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral("image/webp");
    const QString extension = HLVTagValueParser::pathExtension(imagePath).toLower();
    if (extension == QLatin1String("png"))
        return QStringLiteral("image/png");
    if (extension == QLatin1String("bmp"))
        return QStringLiteral("image/bmp");
    if (extension == QLatin1String("gif"))
        return QStringLiteral("image/gif");
    return QStringLiteral("image/jpeg");
}

bool HLVTagLibMP3Writer::isFrameIdentifier(const QString& identifier)
{
    if (identifier.size() != 4)
        return false;
    for (const QChar c : identifier) {
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))))
            return false;
    }
    return true;
}
