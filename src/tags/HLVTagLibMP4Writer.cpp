#include "HLVTagLibMP4Writer.h"
#include "HLVTagLibMP4Items.h"
#include "HLVTagLibMP4Reader.h"
#include "HLVTagLibMP4Structure.h"
#include "HLVTagLibReader.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <taglib/mp4file.h>

namespace {

// Only a file whose layout TagLib can rewrite without harm is written to.
bool isWritableFile(const QString& path)
{
    return HLVTagLibReader::isTagFileCandidate(path) && HLVTagLibMP4Structure::isSoundForWriting(path);
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
void writePair(TagLib::MP4::Tag& tag, const QString& identifier, const std::optional<int>& number,
               const std::optional<int>& total, const TagLib::MP4::Item::IntPair& before)
{
    if (!number && !total)
        return;
    const int first = number ? *number : before.first;
    const int second = total ? *total : before.second;
    HLVTagLibMP4Writer::writeItemToAtom(identifier, tag, TagLib::MP4::Item(pairNumber(first), pairNumber(second)));
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

TagLib::MP4::CoverArt::Format HLVTagLibMP4Writer::coverArtFormatForPath(const QString& imagePath)
{
    const QString extension = HLVTagValueParser::pathExtension(imagePath).toLower();
    if (extension == QLatin1String("jpeg") || extension == QLatin1String("jpg"))
        return TagLib::MP4::CoverArt::JPEG;
    if (extension == QLatin1String("png"))
        return TagLib::MP4::CoverArt::PNG;
    if (extension == QLatin1String("bmp"))
        return TagLib::MP4::CoverArt::BMP;
    if (extension == QLatin1String("gif"))
        return TagLib::MP4::CoverArt::GIF;
    return TagLib::MP4::CoverArt::Unknown;
}

bool HLVTagLibMP4Writer::writeArtworkToTag(TagLib::MP4::Tag& tag, const QString& imagePath)
{
    const TagLib::ByteVector bytes = pictureBytes(imagePath);
    if (bytes.isEmpty())
        return false;
    TagLib::MP4::CoverArtList covers;
    covers.append(TagLib::MP4::CoverArt(coverArtFormatForPath(imagePath), bytes));
    writeItemToAtom(QStringLiteral("covr"), tag, TagLib::MP4::Item(covers));
    return true;
}

bool HLVTagLibMP4Writer::writeTagsToFileAtPath(const QString& path, const HLVTagMap& tagMap)
{
    if (!isWritableFile(path))
        return false;
    try {
        TagLib::MP4::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        TagLib::MP4::Tag& tag = *file.tag();

        // Taken before the generic track number is set, which drops the total.
        const auto trackBefore = HLVTagLibMP4Reader::readMP4IntPairForAtom(QStringLiteral("trkn"), tag.itemMap());
        const auto discBefore = HLVTagLibMP4Reader::readMP4IntPairForAtom(QStringLiteral("disk"), tag.itemMap());

        writeGenericTags(tag, tagMap);

        if (tagMap.AlbumArtist())
            writeItemToAtom(QStringLiteral("aART"), tag, textItem(*tagMap.AlbumArtist()));
        writePair(tag, QStringLiteral("trkn"), tagMap.TrackNumber(), tagMap.TrackTotal(), trackBefore);
        writePair(tag, QStringLiteral("disk"), tagMap.DiscNumber(), tagMap.DiscTotal(), discBefore);
        if (tagMap.Composer())
            writeItemToAtom(QStringLiteral("xwrt"), tag, textItem(*tagMap.Composer()));
        if (tagMap.Grouping())
            writeItemToAtom(QStringLiteral("xgrp"), tag, textItem(*tagMap.Grouping()));
        if (tagMap.Compilation())
            writeItemToAtom(QStringLiteral("cpil"), tag, TagLib::MP4::Item(*tagMap.Compilation() != 0));

        if (tagMap.ArtworkState() == HLVArtworkStateRemove) {
            removeItemFromAtom(QStringLiteral("covr"), tag);
        } else if (const auto picture = artworkPathToEmbed(tagMap)) {
            writeArtworkToTag(tag, *picture); // without bytes the cover stays as it is
        }

        writeCustomTags(
            path, tagMap,
            [&tag](const QString& identifier, const QString& value) {
                const TagLib::String key = HLVTagLibMP4Items::atomKey(identifier);
                if (const auto item = HLVTagLibMP4Items::itemFromText(key, value))
                    tag.setItem(key, *item);
            },
            [&tag](const QString& identifier) { removeItemFromAtom(identifier, tag); });

        return file.save();
    } catch (...) {
        return false;
    }
}

bool HLVTagLibMP4Writer::addArtworkToFileAtPath(const QString& path, const QString& imagePath)
{
    if (!isWritableFile(path))
        return false;
    try {
        TagLib::MP4::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        if (!writeArtworkToTag(*file.tag(), imagePath))
            return false;
        return file.save();
    } catch (...) {
        return false;
    }
}

bool HLVTagLibMP4Writer::removeArtworkFromFileAtPath(const QString& path)
{
    if (!isWritableFile(path))
        return false;
    try {
        TagLib::MP4::File file(HLVTagLibReader::fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        removeItemFromAtom(QStringLiteral("covr"), *file.tag());
        return file.save();
    } catch (...) {
        return false;
    }
}
