#include "HLVTagLibMP3Writer.h"
#include "HLVFileDetails.h"
#include "HLVArtwork.h"
#include "HLVTagLib.h"
#include "HLVTagLibMP3Reader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>
#include <memory>

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

// Where the ID3v2 tag TagLib found begins: TagLib also finds one behind junk
// at the start of the file, and a save replaces it where it stands.
long long id3v2Start(TagLib::MPEG::File& file, long long audio)
{
    const TagLib::ByteVector marker("ID3", 3);
    file.seek(0);
    if (file.readBlock(3) == marker)
        return 0;
    file.seek(0);
    const TagLib::ByteVector head = file.readBlock(static_cast<unsigned long>(qMin(audio + 3, 64LL * 1024)));
    const int at = head.find(marker);
    return at < 0 ? -1 : at;
}

// TagLib rewrites a tag it found behind leading junk where it stands, where
// programs that look for a tag only at the start of the file (as the format
// asks) find none. The saved tag moves to the start; the junk and the audio
// stay as they are, byte for byte.
bool moveTagToStart(TagLib::MPEG::File& file, long long start)
{
    file.seek(start);
    const TagLib::ByteVector head = file.readBlock(TagLib::ID3v2::Header::size());
    if (!head.startsWith(TagLib::ID3v2::Header::fileIdentifier()))
        return true; // the save removed the tag: it had become empty
    const unsigned int length = TagLib::ID3v2::Header(head).completeTagSize();
    file.seek(start);
    const TagLib::ByteVector tag = file.readBlock(length);
    if (tag.size() != length)
        return false;
    file.removeBlock(start, length);
    file.insert(tag, 0, 0);
    return true;
}

// TagLib's default save (every tag type, the tags kept in step), in the ID3v2
// version asked for, but values go from ID3v2 to ID3v1 only. Copying back
// fills an ID3v2 track number that reads as 0 ("0/12") from ID3v1, which
// replaces or drops the whole TRCK text and with it the total.
bool saveMPEGFile(TagLib::MPEG::File& file)
{
    const long long start = file.hasID3v2Tag() ? id3v2Start(file, file.firstFrameOffset()) : 0;
    if (TagLib::ID3v2::Tag* tag = file.ID3v2Tag())
        TagLib::Tag::duplicate(tag, file.ID3v1Tag(true), false);
    const auto version = HLVTagLib::ID3v2Version() == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
    if (!file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripOthers, version, TagLib::File::DoNotDuplicate))
        return false;
    return start <= 0 || moveTagToStart(file, start);
}

// The length of the MPEG audio frame whose header starts at bytes, or 0 when
// they are no valid header (free bit rate included).
unsigned int mpegFrameLength(const unsigned char* h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (h[1] >> 3) & 3; // 0: MPEG 2.5, 2: MPEG 2, 3: MPEG 1
    const int layer = 4 - ((h[1] >> 1) & 3); // 1, 2, 3 (4: reserved)
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static const int bitrates[2][3][14] = {
        {{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int rates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int rate = rates[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    const long bitrate = bitrates[mpeg1 ? 0 : 1][layer - 1][bitrateIndex - 1] * 1000L;
    const int padding = (h[2] >> 1) & 1;
    if (layer == 1)
        return unsigned((12 * bitrate / rate + padding) * 4);
    return unsigned((layer == 3 && !mpeg1 ? 72 : 144) * bitrate / rate + padding);
}

// TagLib trusts an ID3v2 header's size and footer flag: a save replaces the
// tag as the header declares it. When the size runs into the audio, or the
// footer flag is set on a tag without a footer, the start of the audio is taken
// for part of the tag and dropped. TagLib's first frame is searched for after
// the declared tag, so a size running into the audio shows as an MPEG frame
// that starts inside the declared tag and ends where that first frame begins.
// Bytes between the declared tag and the first frame (padding, junk, an
// encoder's leftovers) are no such frame, and stay where they are.
bool checkLayout(const QString& path, TagLib::MPEG::File& file, HLVFailure* failure)
{
    if (!HLVTagLibMP3Reader::isMPEGAudio(file))
        return HLVTagLibMP3Reader::reportNoMPEGAudio(path, failure);
    if (!file.hasID3v2Tag())
        return true; // a new tag goes in front of whatever the file starts with
    const long long audio = file.firstFrameOffset();
    const long long start = id3v2Start(file, audio);
    if (start < 0)
        return HLVTagLibWriter::reportStructure(
            failure, QStringLiteral("the ID3v2 tag stands more than 64 KiB after the start of the file"));
    const TagLib::ID3v2::Header* header = file.ID3v2Tag()->header();
    const long long tagEnd = start + header->completeTagSize();
    bool sound = tagEnd <= audio;
    if (sound && header->footerPresent()) {
        file.seek(tagEnd - 10);
        if (file.readBlock(3) != TagLib::ByteVector("3DI", 3))
            return HLVTagLibWriter::reportStructure(
                failure, QStringLiteral("the ID3v2 tag is damaged: its header announces a footer it does not have"));
    }
    // The longest MPEG frame (layer I at its lowest rate) is under 8 KiB.
    const long long from = qMax(start + 10, tagEnd - 8192);
    if (sound && from < tagEnd) {
        file.seek(from);
        const TagLib::ByteVector tail = file.readBlock(static_cast<unsigned long>(tagEnd - from));
        file.seek(tagEnd);
        const TagLib::ByteVector bytes = tail + file.readBlock(3);
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        for (unsigned int i = 0; sound && i + 3 < bytes.size() && i < tail.size(); ++i) {
            const unsigned int length = mpegFrameLength(data + i);
            sound = length == 0 || from + i + length != audio;
        }
    }
    file.seek(0);
    if (!sound)
        return HLVTagLibWriter::reportStructure(
            failure, QStringLiteral("the ID3v2 tag is damaged: its header claims more bytes than the tag holds"));
    return true;
}

// A field's value; an emptied field leaves no frame behind, as the generic
// fields do in TagLib: an empty one would show as such in other programs.
void writeFieldValue(const QString& identifier, TagLib::ID3v2::Tag& tag, const QString& value)
{
    if (value.isEmpty())
        tag.removeFrames(frameIdentifierBytes(identifier));
    else
        HLVTagLibMP3Writer::writeValueToTagWithHandle(identifier, tag, value);
}

bool openForWriting(const QString& path, TagLib::IOStream* stream, std::unique_ptr<TagLib::MPEG::File>& file,
                    HLVFailure* failure)
{
    if (!HLVTagLibWriter::checkWritableFile(path, failure, stream))
        return false;
    if (stream)
        file = std::make_unique<TagLib::MPEG::File>(stream, TagLib::ID3v2::FrameFactory::instance(), false);
    else
        file = std::make_unique<TagLib::MPEG::File>(HLVTagLibReader::fileSystemPath(path).constData(), false);
    return checkLayout(path, *file, failure);
}

// Frames that are more than one text: written as text they would be read back
// as something else (a comment's language taken from the text, a URL with a
// stray encoding byte) or dropped by other programs.
bool isStructuredFrameIdentifier(const QString& identifier)
{
    static const QStringList structured = {
        QStringLiteral("AENC"), QStringLiteral("APIC"), QStringLiteral("ASPI"), QStringLiteral("CHAP"),
        QStringLiteral("COMM"), QStringLiteral("COMR"), QStringLiteral("CTOC"), QStringLiteral("ENCR"),
        QStringLiteral("EQU2"), QStringLiteral("EQUA"), QStringLiteral("ETCO"), QStringLiteral("GEOB"),
        QStringLiteral("GRID"), QStringLiteral("IPLS"), QStringLiteral("LINK"), QStringLiteral("MCDI"),
        QStringLiteral("MLLT"), QStringLiteral("OWNE"), QStringLiteral("PCNT"), QStringLiteral("POPM"),
        QStringLiteral("POSS"), QStringLiteral("PRIV"), QStringLiteral("RBUF"), QStringLiteral("RVA2"),
        QStringLiteral("RVAD"), QStringLiteral("RVRB"), QStringLiteral("SEEK"), QStringLiteral("SIGN"),
        QStringLiteral("SYLT"), QStringLiteral("SYTC"), QStringLiteral("TXXX"), QStringLiteral("UFID"),
        QStringLiteral("USER"), QStringLiteral("USLT")};
    return identifier.startsWith(QLatin1Char('W')) || structured.contains(identifier);
}

// Frames that ID3v2.3 lacks; TagLib drops them when it saves that version.
bool isMissingFromID3v23(const QString& identifier)
{
    static const QStringList missing = {QStringLiteral("TDRL"), QStringLiteral("TDTG"), QStringLiteral("TMOO"),
                                        QStringLiteral("TPRO"), QStringLiteral("TSOA"), QStringLiteral("TSOT"),
                                        QStringLiteral("TSST"), QStringLiteral("TSOP")};
    return missing.contains(identifier);
}

} // namespace

bool HLVTagLibMP3Writer::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure)
{
    try {
        std::unique_ptr<TagLib::MPEG::File> opened;
        if (!openForWriting(path, stream(), opened, failure))
            return false;
        TagLib::MPEG::File& file = *opened;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        if (!tag || !file.tag())
            return HLVTagLibReader::reportNotAudio(failure, "an MP3 file");

        // Taken before the generic step: setting the track number there
        // replaces the whole TRCK text, and with it the total kept below.
        const QString existingTrack = HLVTagText::fromTagLib(readMP3ValueForTag(QStringLiteral("TRCK"), *tag));
        const QString existingDisc = HLVTagText::fromTagLib(readMP3ValueForTag(QStringLiteral("TPOS"), *tag));

        writeGenericTags(*file.tag(), tagMap);

        if (tagMap.AlbumArtist())
            writeFieldValue(QStringLiteral("TPE2"), *tag, *tagMap.AlbumArtist());
        if (auto track = mergedNumberPair(tagMap.TrackNumber(), tagMap.TrackTotal(), existingTrack)) {
            writeFieldValue(QStringLiteral("TRCK"), *tag, *track);
            // Where ID3v2's track number reads as 0 ("0/12"), readers fall back
            // on ID3v1's: keep the two in step.
            if (TagLib::ID3v1::Tag* v1 = file.ID3v1Tag())
                v1->setTrack(unsigned(qMax(0, HLVTagValueParser::integerOfText(*track))));
        }
        if (auto disc = mergedNumberPair(tagMap.DiscNumber(), tagMap.DiscTotal(), existingDisc))
            writeFieldValue(QStringLiteral("TPOS"), *tag, *disc);
        if (tagMap.Composer())
            writeFieldValue(QStringLiteral("TCOM"), *tag, *tagMap.Composer());
        if (tagMap.Grouping())
            writeFieldValue(QStringLiteral("TIT1"), *tag, *tagMap.Grouping());
        if (tagMap.Compilation())
            writeValueToTagWithHandle(QStringLiteral("TCMP"), *tag,
                                      *tagMap.Compilation() ? QStringLiteral("1") : QStringLiteral("0"));

        if (tagMap.ArtworkState() == HLVArtworkStateRemove) {
            removeValueForTagWithHandle(QStringLiteral("APIC"), *tag);
        } else if (const auto picture = artworkPathToEmbed(tagMap)) {
            // A picture that cannot be had leaves the file's own; the rest is still saved.
            addArtworkToTag(*tag, *picture);
        }

        const QStringList refused = writeCustomTags(
            path, tagMap,
            [tag](const QString& identifier, const QString& value, bool editable) {
                return writeValueToCustomTagWithHandle(identifier, *tag, value, editable);
            },
            [tag](const QString& identifier) { removeValueForTagWithHandle(identifier, *tag); });

        const bool saved = saveMPEGFile(file);
        if (saved && _savedDetails)
            _savedDetails->readMPEG(file, HLVArtwork::fromEncodedData(HLVTagLibMP3Reader::readMP3CoverImageForTag(*tag)));
        return finishSave(saved, refused, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the tags could not be written"));
    }
}

bool HLVTagLibMP3Writer::addArtworkToFileAtPath(const QString& path, const QString& imagePath, HLVFailure* failure)
{
    try {
        std::unique_ptr<TagLib::MPEG::File> file;
        if (!openForWriting(path, stream(), file, failure))
            return false;
        TagLib::ID3v2::Tag* tag = file->ID3v2Tag(true);
        if (!tag || !addArtworkToTag(*tag, imagePath))
            return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the picture could not be read"));
        return finishSave(saveMPEGFile(*file), {}, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the picture could not be written"));
    }
}

bool HLVTagLibMP3Writer::removeArtworkFromFileAtPath(const QString& path, HLVFailure* failure)
{
    try {
        std::unique_ptr<TagLib::MPEG::File> file;
        if (!openForWriting(path, stream(), file, failure))
            return false;
        TagLib::ID3v2::Tag* tag = file->ID3v2Tag(false);
        // Nothing to remove: the file is not rewritten.
        if (!tag || !HLVTagLibMP3Reader::firstFrame(QStringLiteral("APIC"), *tag))
            return true;
        removeValueForTagWithHandle(QStringLiteral("APIC"), *tag);
        return finishSave(saveMPEGFile(*file), {}, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the picture could not be removed"));
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

HLVTagLibWriter::CustomTagWrite HLVTagLibMP3Writer::writeValueToCustomTagWithHandle(const QString& identifier, TagLib::ID3v2::Tag& tag,
                                                         const QString& value, bool editable)
{
    if (!isFrameIdentifier(identifier))
        return CustomTagWrite::Refused;
    if (TagLib::ID3v2::Frame* frame = HLVTagLibMP3Reader::firstFrame(identifier, tag)) {
        const bool replaceable = isReplaceableByText(frame);
        // Custom values are rewritten on every save; one the file already holds
        // is left as it is (and never refused), so frames that are more than
        // text survive. Text stored under the old UTF-8-as-Latin-1 rule reads
        // as the value but is stored otherwise: it is rewritten as Unicode.
        if (HLVTagText::fromTagLib(HLVTagLibMP3Reader::readMP3ValueForTag(identifier, tag)) == value) {
            const bool legacyText = replaceable && editable && !dynamic_cast<TagLib::ID3v2::UnknownFrame*>(frame)
                && frame->toString() != HLVTagText::toTagLib(value);
            if (!legacyText)
                return CustomTagWrite::Stored;
        }
        if (!replaceable || !editable)
            return CustomTagWrite::RefusedKeptInFile;
        tag.removeFrame(frame, true);
    }
    if (!editable || isStructuredFrameIdentifier(identifier)
        || (HLVTagLib::ID3v2Version() == 3 && isMissingFromID3v23(identifier)))
        return CustomTagWrite::Refused;
    writeValueToTagWithHandle(identifier, tag, value);
    return CustomTagWrite::Stored;
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
        // What players look for; an existing picture keeps its type.
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        tag.addFrame(frame);
    }
    frame->setPicture(bytes);
    const QByteArray leading = QByteArray::fromRawData(bytes.data(), qsizetype(qMin(bytes.size(), 16u)));
    frame->setMimeType(HLVTagText::keyToTagLib(pictureMimeType(imagePath, leading)));
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
    if (!number && !total)
        return std::nullopt;
    // A half that is 0 is no half: "3/0" would show as a total of 0 and "0" as
    // track 0, so an emptied half goes, and a pair with neither half the frame.
    auto half = [](const QString& text) { return integerOfText(text) == 0 ? QString() : text; };
    const bool hasTotal = existing.contains(QLatin1Char('/'));
    const QString first = number ? half(QString::number(*number))
                                 : half(hasTotal ? deletingLastPathComponent(existing) : existing);
    const QString second = total ? half(QString::number(*total)) : half(hasTotal ? lastPathComponent(existing) : QString());
    if (second.isEmpty())
        return first;
    return (first.isEmpty() ? QStringLiteral("0") : first) + QLatin1Char('/') + second;
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
