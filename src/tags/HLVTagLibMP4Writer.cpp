#include "HLVTagLibMP4Writer.h"
#include "HLVBytesDevice.h"
#include "HLVFileDetails.h"
#include "HLVArtwork.h"
#include "HLVTagLibMP4Items.h"
#include "HLVTagLibMP4Reader.h"
#include "HLVTagLibMP4Structure.h"
#include "HLVTagLibReader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <memory>
#include <taglib/mp4file.h>

namespace {

// Only a file whose layout TagLib can rewrite without harm is written to.
std::unique_ptr<TagLib::MP4::File> openForWriting(const QString& path, TagLib::IOStream* stream, HLVFailure* failure)
{
    if (!HLVTagLibWriter::checkWritableFile(path, failure, stream))
        return nullptr;
    auto file = stream ? std::make_unique<TagLib::MP4::File>(stream, false)
                       : std::make_unique<TagLib::MP4::File>(HLVTagLibReader::fileSystemPath(path).constData(), false);
    if (!file->isValid() || !file->tag()) {
        HLVTagLibMP4Reader::reportUnreadable(path, failure);
        return nullptr;
    }
    QString reason;
    // Through the stream the save reads, when there is one: the file is not opened again.
    bool sound = false;
    if (stream) {
        HLVBytesDevice device(*stream);
        sound = HLVTagLibMP4Structure::isSoundForWriting(device, &reason);
    } else {
        sound = HLVTagLibMP4Structure::isSoundForWriting(path, &reason);
    }
    if (!sound) {
        HLVTagLibWriter::reportStructure(failure, reason);
        return nullptr;
    }
    return file;
}

// The track and disc atoms hold two unsigned 16-bit numbers.
int pairNumber(int value)
{
    return qBound(0, value, 0xFFFF);
}

TagLib::MP4::Item textItem(const QString& value)
{
    return TagLib::MP4::Item(TagLib::StringList(HLVTagText::toTagLib(value)));
}

// Sets a number pair from the map's number and total. When only one of them is
// known the other half is kept from what the file held before, or 0.
// A pair of zeros (the Remove Tags command) removes the atom, as it removes
// the MP3 frame: other programs would show (0, 0) as a track.
void writePair(TagLib::MP4::Tag& tag, const QString& identifier, const std::optional<int>& number,
               const std::optional<int>& total, const TagLib::MP4::Item::IntPair& before)
{
    if (!number && !total)
        return;
    const int first = pairNumber(number ? *number : before.first);
    const int second = pairNumber(total ? *total : before.second);
    if (first == 0 && second == 0)
        HLVTagLibMP4Writer::removeItemFromAtom(identifier, tag);
    else
        HLVTagLibMP4Writer::writeItemToAtom(identifier, tag, TagLib::MP4::Item(first, second));
}

// Empty text removes the atom, as TagLib does for the generic fields.
void writeText(TagLib::MP4::Tag& tag, const QString& identifier, const std::optional<QString>& value)
{
    if (!value)
        return;
    if (value->isEmpty())
        HLVTagLibMP4Writer::removeItemFromAtom(identifier, tag);
    else
        HLVTagLibMP4Writer::writeItemToAtom(identifier, tag, textItem(*value));
}

// A custom value under its atom; see CustomTagStore.
HLVTagLibWriter::CustomTagWrite storeCustomValue(TagLib::MP4::Tag& tag, const QString& identifier,
                                                 const QString& value, bool editable)
{
    using Write = HLVTagLibWriter::CustomTagWrite;
    const TagLib::String key = HLVTagLibMP4Items::atomKey(identifier);
    const bool present = HLVTagLibMP4Items::findItem(tag.itemMap(), key);
    if (present && HLVTagLibMP4Reader::readMP4TextValueForAtom(identifier, tag.itemMap()) == value)
        return Write::Stored;
    const auto item = HLVTagLibMP4Items::itemFromText(key, value);
    if (!editable || !item)
        return present ? Write::RefusedKeptInFile : Write::Refused;
    tag.setItem(key, *item);
    return Write::Stored;
}

} // namespace

void HLVTagLibMP4Writer::writeItemToAtom(const QString& identifier, TagLib::MP4::Tag& tag, const TagLib::MP4::Item& item)
{
    tag.setItem(HLVTagLibMP4Items::atomKey(identifier), item);
}

void HLVTagLibMP4Writer::removeItemFromAtom(const QString& identifier, TagLib::MP4::Tag& tag)
{
    tag.removeItem(HLVTagLibMP4Items::atomKey(identifier));
}

TagLib::MP4::CoverArt::Format HLVTagLibMP4Writer::coverArtFormat(const QString& imagePath, const QByteArray& leadingBytes)
{
    const QString extension = HLVTagValueParser::pathExtension(imagePath).toLower();
    const QString mimeType = pictureMimeType(imagePath, leadingBytes);
    // The MIME type falls back on JPEG for any name; the atom says "unknown" instead.
    if (mimeType == QLatin1String("image/jpeg")
        && (leadingBytes.startsWith("\xFF\xD8\xFF") || extension == QLatin1String("jpeg") || extension == QLatin1String("jpg")))
        return TagLib::MP4::CoverArt::JPEG;
    if (mimeType == QLatin1String("image/png"))
        return TagLib::MP4::CoverArt::PNG;
    if (mimeType == QLatin1String("image/bmp"))
        return TagLib::MP4::CoverArt::BMP;
    if (mimeType == QLatin1String("image/gif"))
        return TagLib::MP4::CoverArt::GIF;
    return TagLib::MP4::CoverArt::Unknown;
}

bool HLVTagLibMP4Writer::writeArtworkToTag(TagLib::MP4::Tag& tag, const QString& imagePath)
{
    const TagLib::ByteVector bytes = pictureBytes(imagePath);
    if (bytes.isEmpty())
        return false;
    TagLib::MP4::CoverArtList covers;
    const QByteArray leading = QByteArray::fromRawData(bytes.data(), qsizetype(qMin(bytes.size(), 16u)));
    covers.append(TagLib::MP4::CoverArt(coverArtFormat(imagePath, leading), bytes));
    writeItemToAtom(QStringLiteral("covr"), tag, TagLib::MP4::Item(covers));
    return true;
}

bool HLVTagLibMP4Writer::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap, HLVFailure* failure)
{
    try {
        const auto file = openForWriting(path, stream(), failure);
        if (!file)
            return false;
        TagLib::MP4::Tag& tag = *file->tag();

        // Taken before the generic track number is set, which drops the total.
        const auto trackBefore = HLVTagLibMP4Reader::readMP4IntPairForAtom(QStringLiteral("trkn"), tag.itemMap());
        const auto discBefore = HLVTagLibMP4Reader::readMP4IntPairForAtom(QStringLiteral("disk"), tag.itemMap());

        writeGenericTags(tag, tagMap);

        writeText(tag, QStringLiteral("aART"), tagMap.AlbumArtist());
        writePair(tag, QStringLiteral("trkn"), tagMap.TrackNumber(), tagMap.TrackTotal(), trackBefore);
        writePair(tag, QStringLiteral("disk"), tagMap.DiscNumber(), tagMap.DiscTotal(), discBefore);
        writeText(tag, QStringLiteral("xwrt"), tagMap.Composer());
        writeText(tag, QStringLiteral("xgrp"), tagMap.Grouping());
        if (tagMap.Compilation())
            writeItemToAtom(QStringLiteral("cpil"), tag, TagLib::MP4::Item(*tagMap.Compilation() != 0));

        if (tagMap.ArtworkState() == HLVArtworkStateRemove) {
            removeItemFromAtom(QStringLiteral("covr"), tag);
        } else if (const auto picture = artworkPathToEmbed(tagMap)) {
            writeArtworkToTag(tag, *picture); // without bytes the cover stays as it is
        }

        const QStringList refused = writeCustomTags(
            path, tagMap,
            [&tag](const QString& identifier, const QString& value, bool editable) {
                return storeCustomValue(tag, identifier, value, editable);
            },
            [&tag](const QString& identifier) { removeItemFromAtom(identifier, tag); });

        const bool saved = file->save();
        if (saved && _savedDetails)
            _savedDetails->readMP4(*file, HLVArtwork::fromEncodedData(
                                              HLVTagLibMP4Reader::readMP4CoverImageFromItemMap(file->tag()->itemMap())));
        return finishSave(saved, refused, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the tags could not be written"));
    }
}

bool HLVTagLibMP4Writer::addArtworkToFileAtPath(const QString& path, const QString& imagePath, HLVFailure* failure)
{
    try {
        const auto file = openForWriting(path, stream(), failure);
        if (!file)
            return false;
        if (!writeArtworkToTag(*file->tag(), imagePath))
            return HLVReportFailure(failure, HLVFailure::Kind::Other, QStringLiteral("the picture could not be read"));
        return finishSave(file->save(), {}, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the picture could not be written"));
    }
}

bool HLVTagLibMP4Writer::removeArtworkFromFileAtPath(const QString& path, HLVFailure* failure)
{
    try {
        const auto file = openForWriting(path, stream(), failure);
        if (!file)
            return false;
        removeItemFromAtom(QStringLiteral("covr"), *file->tag());
        return finishSave(file->save(), {}, failure);
    } catch (...) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("the picture could not be removed"));
    }
}
