#include "HLVTagLibMP4Reader.h"
#include "HLVCustomTagIdentifierString.h"
#include "HLVTagLibMP4Items.h"
#include "HLVTagLibMP4Structure.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>

using namespace HLVTagLibMP4Items;

namespace {

// Pair and flag atoms have plain names; they take no "x" substitution.
TagLib::String plainKey(const QString& identifier)
{
    return HLVTagText::keyToTagLib(identifier);
}

} // namespace

QString HLVTagLibMP4Reader::readMP4TextValueForAtom(const QString& identifier, const TagLib::MP4::ItemMap& itemMap)
{
    const TagLib::String key = atomKey(identifier);
    const TagLib::MP4::Item* item = findItem(itemMap, key);
    if (!item || !item->isValid())
        return QString();
    const TagLib::StringList strings = item->toStringList();
    if (!strings.isEmpty())
        return HLVTagText::fromTagLib(strings.front());
    return numericItemText(key, *item).value_or(QString());
}

TagLib::MP4::Item::IntPair HLVTagLibMP4Reader::readMP4IntPairForAtom(const QString& identifier,
                                                                    const TagLib::MP4::ItemMap& itemMap)
{
    const TagLib::MP4::Item* item = findItem(itemMap, plainKey(identifier));
    if (!item || !item->isValid())
        return {0, 0};
    // The atom holds unsigned 16-bit numbers; large ones may come back negative.
    auto pair = item->toIntPair();
    pair.first = pair.first < 0 ? pair.first & 0xFFFF : pair.first;
    pair.second = pair.second < 0 ? pair.second & 0xFFFF : pair.second;
    return pair;
}

QString HLVTagLibMP4Reader::readMP4UIntPairForAtom(const QString& identifier, const TagLib::MP4::ItemMap& itemMap)
{
    const auto pair = readMP4IntPairForAtom(identifier, itemMap);
    if (pair.first == 0)
        return QString();
    QString text = QString::number(pair.first);
    if (pair.second != 0)
        text += QLatin1Char('/') + QString::number(pair.second);
    return text;
}

bool HLVTagLibMP4Reader::readMP4BoolValueForAtom(const QString& identifier, const TagLib::MP4::ItemMap& itemMap)
{
    const TagLib::MP4::Item* item = findItem(itemMap, plainKey(identifier));
    return item && item->isValid() && item->toBool();
}

QByteArray HLVTagLibMP4Reader::readMP4CoverImageFromItemMap(const TagLib::MP4::ItemMap& itemMap)
{
    const TagLib::MP4::Item* item = findItem(itemMap, plainKey(QStringLiteral("covr")));
    if (!item || !item->isValid())
        return QByteArray();
    const TagLib::MP4::CoverArtList covers = item->toCoverArtList();
    if (covers.isEmpty())
        return QByteArray();
    return toQByteArray(covers.front().data());
}

std::optional<QString> HLVTagLibMP4Reader::readCustomTagIdentifierStringInItemMap(const TagLib::MP4::ItemMap& itemMap)
{
    const QString text = readMP4TextValueForAtom(QStringLiteral("CTIS"), itemMap);
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

bool HLVTagLibMP4Reader::reportUnreadable(const QString& path, HLVFailure* failure)
{
    QString reason;
    if (HLVTagLibMP4Structure::beginsAsMPEG4(path) && !HLVTagLibMP4Structure::isSoundForWriting(path, &reason))
        return HLVReportFailure(failure, HLVFailure::Kind::StructureRefused, reason);
    return reportNotAudio(failure, "an MPEG-4 audio file");
}

bool HLVTagLibMP4Reader::readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure)
{
    if (!checkTagFileCandidate(path, failure))
        return false;
    try {
        TagLib::MP4::File file(fileSystemPath(path).constData(), readsAudioProperties(), TagLib::AudioProperties::Fast);
        if (!file.isValid() || !file.tag())
            return reportUnreadable(path, failure);
        readGenericTags(*file.tag(), tagMap);
        const TagLib::MP4::ItemMap& items = file.tag()->itemMap();
        if (items.isEmpty()) {
            // A readable file without an item list: no reason given, but its details are known.
            if (_details)
                _details->readMP4(file, HLVArtwork());
            return false;
        }

        const QString albumArtist = readMP4TextValueForAtom(QStringLiteral("aART"), items);
        if (!albumArtist.isEmpty())
            tagMap.setAlbumArtist(albumArtist);

        // TagLib's generic track number reads numbers above 32767 as negative.
        if (const int number = readMP4IntPairForAtom(QStringLiteral("trkn"), items).first; number > 0)
            tagMap.setTrackNumber(number);
        const QString track = readMP4UIntPairForAtom(QStringLiteral("trkn"), items);
        if (!track.isEmpty() && tagMap.TrackNumber() && track.contains(QLatin1Char('/')))
            tagMap.setTrackTotal(HLVTagValueParser::integerOfText(HLVTagValueParser::lastPathComponent(track)));

        const QString disc = readMP4UIntPairForAtom(QStringLiteral("disk"), items);
        if (!disc.isEmpty()) {
            if (!disc.contains(QLatin1Char('/'))) {
                tagMap.setDiscNumber(HLVTagValueParser::integerOfText(disc));
            } else {
                tagMap.setDiscNumber(HLVTagValueParser::integerOfText(HLVTagValueParser::deletingLastPathComponent(disc)));
                tagMap.setDiscTotal(HLVTagValueParser::integerOfText(HLVTagValueParser::lastPathComponent(disc)));
            }
        }

        const QString composer = readMP4TextValueForAtom(QStringLiteral("xwrt"), items);
        if (!composer.isEmpty())
            tagMap.setComposer(composer);
        const QString grouping = readMP4TextValueForAtom(QStringLiteral("xgrp"), items);
        if (!grouping.isEmpty())
            tagMap.setGrouping(grouping);

        // Always set: a file without the atom is not a compilation.
        tagMap.setCompilation(readMP4BoolValueForAtom(QStringLiteral("cpil"), items) ? 1 : 0);

        setArtwork(tagMap, readMP4CoverImageFromItemMap(items));

        if (const auto ctis = readCustomTagIdentifierStringInItemMap(items)) {
            setCustomTagValues(tagMap, ctis, [&items](const QString& identifier) -> std::optional<QString> {
                const QString value = readMP4TextValueForAtom(identifier, items);
                if (value.isEmpty())
                    return std::nullopt;
                return value;
            });
            tagMap.setCustomTagIdentifierString(HLVCustomTagIdentifierString(ctis).stringValue());
        }
        if (_details)
            _details->readMP4(file, tagMap.Artwork());
        return true;
    } catch (...) {
        return reportNotAudio(failure, "an MPEG-4 audio file");
    }
}

std::optional<QString> HLVTagLibMP4Reader::readTagWithIdentifier(const QString& identifier, const QString& path)
{
    if (!isTagFileCandidate(path))
        return std::nullopt;
    try {
        TagLib::MP4::File file(fileSystemPath(path).constData(), false);
        if (!file.isValid() || !file.tag() || file.tag()->itemMap().isEmpty())
            return std::nullopt;
        return readMP4TextValueForAtom(identifier, file.tag()->itemMap());
    } catch (...) {
        return std::nullopt;
    }
}
