#include "HLVTagLibMP3Reader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <QFile>
#include <string>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

bool HLVTagLibMP3Reader::readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure)
{
    if (!checkTagFileCandidate(path, failure))
        return false;
    try {
        TagLib::MPEG::File file(fileSystemPath(path).constData(), readsAudioProperties(), TagLib::AudioProperties::Fast);
        if (!isMPEGAudio(file) || !file.tag())
            return reportNoMPEGAudio(path, failure);
        readGenericTags(*file.tag(), tagMap);
        // Created empty in memory when the file has none; this reader never saves.
        const TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        if (!tag)
            return reportNotAudio(failure, "an MP3 file");
        readMP3Tags(*tag, tagMap);
        if (_details)
            _details->readMPEG(file, tagMap.Artwork());
        return true;
    } catch (...) {
        return reportNotAudio(failure, "an MP3 file");
    }
}

void HLVTagLibMP3Reader::readMP3Tags(const TagLib::ID3v2::Tag& tag, HLVTagMap& tagMap)
{
    using namespace HLVTagValueParser;
    auto text = [&tag](const QString& identifier) {
        return HLVTagText::presentFromTagLib(readMP3ValueForTag(identifier, tag));
    };
    const QChar slash = QLatin1Char('/');

    if (auto v = text(QStringLiteral("TPE2")))
        tagMap.setAlbumArtist(v);
    // The track number itself comes from the generic tag.
    if (auto v = text(QStringLiteral("TRCK")); v && v->contains(slash))
        tagMap.setTrackTotal(integerOfText(lastPathComponent(*v)));
    if (auto v = text(QStringLiteral("TPOS"))) {
        if (!v->contains(slash)) {
            tagMap.setDiscNumber(integerOfText(*v));
        } else {
            tagMap.setDiscNumber(integerOfText(deletingLastPathComponent(*v)));
            tagMap.setDiscTotal(integerOfText(lastPathComponent(*v)));
        }
    }
    if (auto v = text(QStringLiteral("TCOM")))
        tagMap.setComposer(v);
    if (auto v = text(QStringLiteral("TIT1")))
        tagMap.setGrouping(v);
    if (auto v = text(QStringLiteral("TCMP")))
        tagMap.setCompilation(booleanOfText(*v) ? 1 : 0);

    setArtwork(tagMap, readMP3CoverImageForTag(tag));
    setCustomTagValues(tagMap, readCustomTagIdentifierStringForTag(tag), text);
}

std::optional<QString> HLVTagLibMP3Reader::readTagWithIdentifier(const QString& identifier, const QString& path)
{
    if (!isTagFileCandidate(path))
        return std::nullopt;
    try {
        TagLib::MPEG::File file(fileSystemPath(path).constData(), false);
        if (!isMPEGAudio(file))
            return std::nullopt;
        const TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        if (!tag)
            return std::nullopt;
        return HLVTagText::fromTagLib(readMP3ValueForTag(identifier, *tag));
    } catch (...) {
        return std::nullopt;
    }
}

bool HLVTagLibMP3Reader::isMPEGAudio(TagLib::MPEG::File& file)
{
    return file.isValid() && file.firstFrameOffset() >= 0;
}

bool HLVTagLibMP3Reader::reportNoMPEGAudio(const QString& path, HLVFailure* failure)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the file cannot be read"));
    const QByteArray header = file.read(10);
    if (header.size() < 10 || !header.startsWith("ID3"))
        return reportNotAudio(failure, "an MP3 file");
    const auto byte = [&header](int at) { return static_cast<unsigned char>(header[at]); };
    qint64 size = 0;
    bool valid = byte(3) != 0xFF && byte(4) != 0xFF;
    for (int i = 6; i < 10; ++i) {
        valid = valid && !(byte(i) & 0x80);
        size = (size << 7) | (byte(i) & 0x7F);
    }
    const auto damaged = [failure](const char* what) {
        return HLVReportFailure(failure, HLVFailure::Kind::StructureRefused,
                                QStringLiteral("the ID3v2 tag is damaged: %1").arg(QLatin1String(what)));
    };
    if (!valid)
        return damaged("its header is not valid");
    if (10 + size + ((byte(5) & 0x10) ? 10 : 0) > file.size())
        return damaged("its header claims more bytes than the file holds");
    return reportNotAudio(failure, "an MP3 file");
}

TagLib::ID3v2::Frame* HLVTagLibMP3Reader::firstFrame(const QString& identifier, const TagLib::ID3v2::Tag& tag)
{
    const QByteArray id = identifier.toLatin1();
    const auto& frames = tag.frameListMap();
    const auto it = frames.find(TagLib::ByteVector(id.constData(), unsigned(id.size())));
    if (it == frames.end() || it->second.isEmpty())
        return nullptr;
    return it->second.front();
}

TagLib::String HLVTagLibMP3Reader::readMP3ValueForTag(const QString& identifier, const TagLib::ID3v2::Tag& tag)
{
    const TagLib::ID3v2::Frame* frame = firstFrame(identifier, tag);
    if (!frame)
        return TagLib::String();
    const TagLib::String text = frame->toString();
    return text.isEmpty() ? readMP3ValueForFrame(*frame) : text;
}

TagLib::String HLVTagLibMP3Reader::readMP3ValueForFrame(const TagLib::ID3v2::Frame& frame)
{
    const TagLib::ByteVector rendered = frame.render();
    // TagLib renders every frame with its own header: identifier, four size
    // bytes and two flag bytes.
    const unsigned int headerSize = frame.frameID().size() + 6;
    if (rendered.size() <= headerSize)
        return TagLib::String();
    const TagLib::ByteVector body = rendered.mid(headerSize);

    // Our own frames are laid out like text frames: an encoding byte (Latin-1,
    // UTF-16 with byte-order mark, UTF-16BE or UTF-8), then the text. Decoding
    // them as TagLib decodes a text frame reads text of every encoding right,
    // where dropping bytes would keep the UTF-8 marker and mangle UTF-16.
    if (static_cast<unsigned char>(body[0]) <= 3) {
        const unsigned int size = body.size();
        TagLib::ByteVector header("TIT2");
        for (int shift = 21; shift >= 0; shift -= 7)
            header.append(char((size >> shift) & 0x7F)); // a synchsafe size
        header.append(TagLib::ByteVector(2, '\0'));
        return TagLib::ID3v2::TextIdentificationFrame(header + body).toString();
    }

    // Anything else: the bytes that can be text, as Latin-1.
    std::string kept;
    for (unsigned int i = 0; i < body.size(); ++i) {
        const auto byte = static_cast<unsigned char>(body[i]);
        if (byte != 0x00 && byte != 0x01 && byte != 0xFE && byte != 0xFF)
            kept.push_back(char(byte));
    }
    return TagLib::String(kept, TagLib::String::Latin1);
}

std::optional<QString> HLVTagLibMP3Reader::readCustomTagIdentifierStringForTag(const TagLib::ID3v2::Tag& tag)
{
    return HLVTagText::presentFromTagLib(readMP3ValueForTag(QStringLiteral("CTIS"), tag));
}

QByteArray HLVTagLibMP3Reader::readMP3CoverImageForTag(const TagLib::ID3v2::Tag& tag)
{
    const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(
        firstFrame(QStringLiteral("APIC"), tag));
    return picture ? toQByteArray(picture->picture()) : QByteArray();
}
