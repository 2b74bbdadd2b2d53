#include "HLVFileData.h"
#include "HLVKnownTagDetail.h"
#include "HLVTagLib.h"
#include "HLVTagLibMP4Reader.h"
#include "HLVTagLibMP4Writer.h"
#include "HLVTestFiles.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <gtest/gtest.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

using TagLib::MP4::CoverArt;
using TagLib::MP4::Item;

namespace {

// Keys as TagLib spells them: "\xA9" is the first byte of the classic atoms.
TagLib::String key(const char* latin1)
{
    return TagLib::String(latin1, TagLib::String::Latin1);
}

void prepare(const QString& path, const std::function<void(TagLib::MP4::Tag&)>& change)
{
    TagLib::MP4::File file(QFile::encodeName(path).constData());
    ASSERT_TRUE(file.isValid());
    change(*file.tag());
    ASSERT_TRUE(file.save());
}

std::optional<Item> itemOf(const QString& path, const char* latin1Key)
{
    TagLib::MP4::File file(QFile::encodeName(path).constData());
    if (!file.isValid() || !file.tag()->contains(key(latin1Key)))
        return std::nullopt;
    return file.tag()->item(key(latin1Key));
}

// What any other program reads: TagLib's own Unicode conversion.
QString textOf(const QString& path, const char* latin1Key)
{
    const auto item = itemOf(path, latin1Key);
    if (!item || item->toStringList().isEmpty())
        return QStringLiteral("<none>");
    return QString::fromUtf8(item->toStringList().front().toCString(true));
}

std::pair<int, int> pairOf(const QString& path, const char* latin1Key)
{
    const auto item = itemOf(path, latin1Key);
    return item ? std::pair(item->toIntPair().first, item->toIntPair().second) : std::pair(-1, -1);
}

QByteArray imageFile(HLVTestFiles& files, const QString& name, int width, const char* format = "PNG")
{
    QImage image(width, 4, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 90));
    const QString path = files.path(name);
    EXPECT_TRUE(image.save(path, format));
    return HLVTestFiles::readAll(path);
}

CoverArt cover(const QByteArray& bytes, CoverArt::Format format = CoverArt::PNG)
{
    return CoverArt(format, TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
}

QByteArray bytesOf(const CoverArt& art)
{
    return QByteArray(art.data().data(), qsizetype(art.data().size()));
}

} // namespace

TEST(HLVTagLibMP4Reader, ReadsTheItemList)
{
    struct Case {
        Item trkn, disk;
        std::optional<bool> cpil;
        std::optional<int> number, total, disc, discTotal;
    };
    const Case cases[] = {
        {Item(5, 12), Item(1, 2), true, 5, 12, 1, 2},
        {Item(5, 0), Item(2, 0), std::nullopt, 5, std::nullopt, 2, std::nullopt},
        {Item(0, 12), Item(0, 3), false, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {Item(40000, 50000), Item(1, 2), true, 40000, 50000, 1, 2}, // unsigned 16-bit numbers
    };
    HLVTestFiles files;
    const QByteArray wide = imageFile(files, QStringLiteral("wide.png"), 12);
    const QByteArray narrow = imageFile(files, QStringLiteral("narrow.png"), 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.trkn.toIntPair().first << "/" << c.trkn.toIntPair().second);
        const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
        prepare(path, [&](TagLib::MP4::Tag& tag) {
            tag.setItem("trkn", c.trkn);
            tag.setItem("disk", c.disk);
            if (c.cpil)
                tag.setItem("cpil", Item(*c.cpil));
            tag.setItem("aART", TagLib::StringList("Album artist"));
            tag.setItem(key("\xA9wrt"), TagLib::StringList("Composer"));
            tag.setItem(key("\xA9grp"), TagLib::StringList("Grouping"));
            tag.setItem("covr", Item(TagLib::MP4::CoverArtList().append(cover(wide)).append(cover(narrow))));
        });
        HLVTagMap map;
        ASSERT_TRUE(HLVTagLibMP4Reader().readTagsFromFileAtPath(path, map));
        EXPECT_EQ(map.TrackNumber(), c.number);
        EXPECT_EQ(map.TrackTotal(), c.total);
        EXPECT_EQ(map.DiscNumber(), c.disc);
        EXPECT_EQ(map.DiscTotal(), c.discTotal);
        EXPECT_EQ(map.Compilation(), c.cpil.value_or(false) ? 1 : 0); // absent reads as 0
        EXPECT_EQ(map.AlbumArtist(), QStringLiteral("Album artist"));
        EXPECT_EQ(map.Composer(), QStringLiteral("Composer"));
        EXPECT_EQ(map.Grouping(), QStringLiteral("Grouping"));
        EXPECT_EQ(map.Artwork().size(), QSize(12, 4)); // the first cover
        EXPECT_EQ(map.ArtworkState(), HLVArtworkStateInFile);
        EXPECT_TRUE(map.ArtworkAttempted());
    }
}

TEST(HLVTagLibMP4Reader, FilesWithOnlyACoverOrNoItems)
{
    HLVTestFiles files;
    const QString bare = files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("bare.m4a"));
    HLVTagMap map;
    EXPECT_FALSE(HLVTagLibMP4Reader().readTagsFromFileAtPath(bare, map));
    EXPECT_FALSE(map.Compilation());
    EXPECT_FALSE(map.ArtworkAttempted());
    EXPECT_FALSE(HLVTagLib::readTagWithIdentifier(QStringLiteral("xnam"), bare));

    const QString coverOnly = files.copyFixture(QStringLiteral("tone.m4a"));
    const QByteArray png = imageFile(files, QStringLiteral("c.png"), 7);
    prepare(coverOnly, [&](TagLib::MP4::Tag& tag) { tag.setItem("covr", Item(TagLib::MP4::CoverArtList().append(cover(png)))); });
    HLVTagMap withCover;
    ASSERT_TRUE(HLVTagLibMP4Reader().readTagsFromFileAtPath(coverOnly, withCover));
    EXPECT_EQ(withCover.Artwork().size(), QSize(7, 4));
    EXPECT_EQ(withCover.ArtworkState(), HLVArtworkStateInFile);
    EXPECT_EQ(withCover.Compilation(), 0);
    EXPECT_FALSE(withCover.TrackName());
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("xnam"), coverOnly), QString());

    // A cover that is no picture counts as none.
    prepare(coverOnly, [&](TagLib::MP4::Tag& tag) { tag.setItem("covr", Item(TagLib::MP4::CoverArtList().append(cover("not a picture")))); });
    HLVTagMap badCover;
    ASSERT_TRUE(HLVTagLibMP4Reader().readTagsFromFileAtPath(coverOnly, badCover));
    EXPECT_TRUE(badCover.Artwork().isNull());
    EXPECT_EQ(badCover.ArtworkState(), HLVArtworkStateNone);
}

TEST(HLVTagLibMP4Reader, CustomTagsNamedInTheList)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
    prepare(path, [](TagLib::MP4::Tag& tag) {
        tag.setItem("CTIS", TagLib::StringList("xnam,TEST,NONE,tmpo,"));
        tag.setItem(key("\xA9nam"), TagLib::StringList("Song"));
        tag.setItem("TEST", TagLib::StringList("custom"));
        tag.setItem("tmpo", Item(120));
    });
    HLVTagMap map;
    ASSERT_TRUE(HLVTagLibMP4Reader().readTagsFromFileAtPath(path, map));
    EXPECT_EQ(map.CustomTagIdentifierString(), QStringLiteral("xnam,TEST,NONE,tmpo,"));
    ASSERT_TRUE(map.CustomTagValues());
    ASSERT_EQ(map.CustomTagValues()->size(), 4);
    const auto& values = *map.CustomTagValues();
    EXPECT_EQ(values[0]->identifier(), QStringLiteral("xnam"));
    EXPECT_EQ(values[0]->value(), QStringLiteral("Song"));
    EXPECT_EQ(values[1]->value(), QStringLiteral("custom"));
    EXPECT_FALSE(values[2]->value());
    EXPECT_EQ(values[3]->value(), QStringLiteral("120")); // a numeric atom reads as its number
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("xnam"), path), QStringLiteral("Song"));
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("NONE"), path), QString());

    prepare(path, [](TagLib::MP4::Tag& tag) { tag.setItem("CTIS", TagLib::StringList("word")); });
    HLVTagMap noIdentifiers;
    ASSERT_TRUE(HLVTagLibMP4Reader().readTagsFromFileAtPath(path, noIdentifiers));
    EXPECT_FALSE(noIdentifiers.CustomTagValues());
    EXPECT_EQ(noIdentifiers.CustomTagIdentifierString(), QString());
}

TEST(HLVTagLibMP4Writer, WritesTheItemListAndKeepsAbsentFields)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Title"));
    map.setAlbumArtist(QStringLiteral("Album artist"));
    map.setTrackNumber(3);
    map.setTrackTotal(12);
    map.setDiscNumber(2);
    map.setDiscTotal(3);
    map.setCompilation(1);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(textOf(path, "\xA9nam"), QStringLiteral("Title"));
    EXPECT_EQ(textOf(path, "aART"), QStringLiteral("Album artist"));
    EXPECT_EQ(pairOf(path, "trkn"), std::pair(3, 12));
    EXPECT_EQ(pairOf(path, "disk"), std::pair(2, 3));
    ASSERT_TRUE(itemOf(path, "cpil"));
    EXPECT_TRUE(itemOf(path, "cpil")->toBool());

    HLVTagMap onlyFlag;
    onlyFlag.setCompilation(0);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &onlyFlag));
    ASSERT_TRUE(itemOf(path, "cpil")); // false is written, not removed
    EXPECT_FALSE(itemOf(path, "cpil")->toBool());
    EXPECT_EQ(textOf(path, "aART"), QStringLiteral("Album artist"));
    EXPECT_EQ(pairOf(path, "trkn"), std::pair(3, 12));
    EXPECT_EQ(pairOf(path, "disk"), std::pair(2, 3));
}

// One half of a pair keeps the other half from the file, or 0 when the file has none.
TEST(HLVTagLibMP4Writer, MergesTrackAndDiscPairsWithTheFile)
{
    struct Case {
        std::optional<Item> before;
        std::optional<int> number, total;
        std::pair<int, int> expected;
    };
    const Case cases[] = {
        {Item(5, 10), std::nullopt, 12, {5, 12}}, {Item(5, 0), std::nullopt, 12, {5, 12}},
        {std::nullopt, std::nullopt, 12, {0, 12}}, {Item(5, 10), 7, std::nullopt, {7, 10}},
        {Item(0, 10), 7, std::nullopt, {7, 10}},   {std::nullopt, 7, std::nullopt, {7, 0}},
        {Item(5, 10), 3, 12, {3, 12}},
    };
    HLVTestFiles files;
    for (const Case& c : cases) {
        for (const char* atom : {"trkn", "disk"}) {
            SCOPED_TRACE(::testing::Message() << atom << " " << c.expected.first << "/" << c.expected.second);
            const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
            prepare(path, [&](TagLib::MP4::Tag& tag) {
                tag.setItem("aART", TagLib::StringList("so the file has items"));
                if (c.before)
                    tag.setItem(atom, *c.before);
            });
            HLVTagMap map;
            if (atom == std::string("trkn")) {
                map.setTrackNumber(c.number);
                map.setTrackTotal(c.total);
            } else {
                map.setDiscNumber(c.number);
                map.setDiscTotal(c.total);
            }
            ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
            EXPECT_EQ(pairOf(path, atom), c.expected);
        }
    }
}

TEST(HLVTagLibMP4Writer, OneCoverReplacesAllInTheFormatOfItsBytes)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
    const QByteArray old = imageFile(files, QStringLiteral("old.png"), 2);
    auto threeCovers = [&] {
        prepare(path, [&](TagLib::MP4::Tag& tag) {
            tag.setItem("covr", Item(TagLib::MP4::CoverArtList().append(cover(old)).append(cover(old)).append(cover(old))));
        });
    };
    threeCovers();
    HLVTagMap map; // state 1, or a path without bytes, leaves the covers; the rest is written
    map.setTrackName(QStringLiteral("Still written"));
    map.setArtworkPath(files.path(QStringLiteral("old.png")));
    map.setArtworkState(HLVArtworkStateInFile);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    map.setArtworkPath(files.path(QStringLiteral("missing.png")));
    map.setArtworkState(HLVArtworkStateFound);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(itemOf(path, "covr")->toCoverArtList().size(), 3u);
    EXPECT_EQ(textOf(path, "\xA9nam"), QStringLiteral("Still written"));

    // The bytes decide, whatever the name says (a downloaded cover has no extension).
    const std::tuple<const char*, const char*, CoverArt::Format> cases[] = {
        {"a.JPG", "PNG", CoverArt::PNG},      {"b.png", "JPEG", CoverArt::JPEG}, {"c.bmp", "PNG", CoverArt::PNG},
        {"noextension", "PNG", CoverArt::PNG}, {"d.gif", "BMP", CoverArt::BMP},  {"e", "JPEG", CoverArt::JPEG},
    };
    for (const auto& [name, encoding, format] : cases) {
        SCOPED_TRACE(name);
        threeCovers();
        const QByteArray bytes = imageFile(files, QString::fromLatin1(name), 5, encoding);
        map.setArtworkPath(files.path(QString::fromLatin1(name)));
        map.setArtworkState(HLVArtworkStateChosen);
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        auto covers = itemOf(path, "covr")->toCoverArtList();
        ASSERT_EQ(covers.size(), 1u);
        EXPECT_EQ(covers.front().format(), format);
        EXPECT_EQ(bytesOf(covers.front()), bytes);

        threeCovers();
        ASSERT_TRUE(HLVTagLib::addArtwokImageToFileAtPath(path, files.path(QString::fromLatin1(name))));
        covers = itemOf(path, "covr")->toCoverArtList();
        ASSERT_EQ(covers.size(), 1u);
        EXPECT_EQ(covers.front().format(), format);
    }
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->Artwork().size(), QSize(5, 4));
    EXPECT_EQ(HLVTagLibMP4Writer::coverArtFormat(QStringLiteral("x.webp"), QByteArray("RIFF....WEBP")), CoverArt::Unknown);
    EXPECT_EQ(HLVTagLibMP4Writer::coverArtFormat(QStringLiteral("x.jpeg"), QByteArray()), CoverArt::JPEG);
    EXPECT_EQ(HLVTagLibMP4Writer::coverArtFormat(QStringLiteral("x"), QByteArray("??")), CoverArt::Unknown);

    const QByteArray before = HLVTestFiles::readAll(path);
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, files.path(QStringLiteral("missing.png"))));
    EXPECT_EQ(HLVTestFiles::readAll(path), before);
    EXPECT_TRUE(HLVTagLib::removeArtworkImageFromFileAtPath(path));
    EXPECT_FALSE(itemOf(path, "covr"));
    threeCovers();
    HLVTagMap removal;
    removal.setArtworkState(HLVArtworkStateRemove);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &removal));
    EXPECT_FALSE(itemOf(path, "covr"));
}

class HLVTagLibMP4CustomTags : public ::testing::Test
{
protected:
    void TearDown() override { HLVKnownTagDetail::setCatalogPathForTesting(QStringLiteral(":/KnownTags.xml")); }
    HLVTestFiles files;
};

TEST_F(HLVTagLibMP4CustomTags, RemovalDeletesOnlyAtomsOutsideTheCatalogue)
{
    const QString catalogue = files.writeFile(QStringLiteral("known.xml"),
        "<k><appleTags><t><identifier>aART</identifier><knownType>1</knownType><allowsEdit>1</allowsEdit></t>"
        "</appleTags></k>");
    HLVKnownTagDetail::setCatalogPathForTesting(catalogue);
    const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
    prepare(path, [](TagLib::MP4::Tag& tag) {
        tag.setItem(key("\xA9grp"), TagLib::StringList("Grouping"));
        tag.setItem("aART", TagLib::StringList("Known"));
        tag.setItem("CTIS", TagLib::StringList("xgrp,aART,"));
    });
    HLVTagMap map = *HLVTagLib::loadTagsFromFileAtPath(path);
    for (const auto& value : *map.CustomTagValues())
        value->setIsMarkedForRemoval(true);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_FALSE(itemOf(path, "\xA9grp"));
    EXPECT_EQ(textOf(path, "aART"), QStringLiteral("Known"));
    EXPECT_EQ(textOf(path, "CTIS"), QString());
}

// TagLib writes numeric atoms as numbers whatever it is handed, so text would
// turn them into zeros; covers cannot hold text at all.
TEST_F(HLVTagLibMP4CustomTags, NumericAtomsKeepTheirNumbersAndCoversStay)
{
    const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
    const QByteArray png = imageFile(files, QStringLiteral("c.png"), 3);
    prepare(path, [&](TagLib::MP4::Tag& tag) {
        tag.setItem("tmpo", Item(120));
        tag.setItem("plID", Item(5000000000LL));
        tag.setItem("covr", Item(TagLib::MP4::CoverArtList().append(cover(png))));
        tag.setItem("CTIS", TagLib::StringList("tmpo,plID,covr,pgap,disk,"));
    });
    HLVTagMap map = *HLVTagLib::loadTagsFromFileAtPath(path);
    const auto& values = *map.CustomTagValues();
    ASSERT_EQ(values.size(), 5);
    EXPECT_EQ(values[1]->value(), QStringLiteral("5000000000"));
    values[2]->setValue(QStringLiteral("text"));
    values[3]->setValue(QStringLiteral("yes"));
    values[4]->setValue(QStringLiteral("0/4"));
    HLVFailure failure;
    EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map, &failure)); // the cover takes no text
    EXPECT_EQ(failure.kind, HLVFailure::Kind::CustomTagRefused);
    EXPECT_TRUE(failure.message.contains(QStringLiteral("covr, disk"))); // the catalogue keeps disk as it is
    EXPECT_EQ(itemOf(path, "tmpo")->toInt(), 120);
    EXPECT_EQ(itemOf(path, "plID")->toLongLong(), 5000000000LL);
    EXPECT_EQ(itemOf(path, "covr")->toCoverArtList().size(), 1u);
    EXPECT_TRUE(itemOf(path, "pgap")->toBool());
    EXPECT_FALSE(itemOf(path, "disk"));
    EXPECT_EQ(textOf(path, "CTIS"), QStringLiteral("tmpo,plID,covr,pgap,disk,")); // as the file listed them
}

// Custom identifiers take the "x" rule; text of every kind reads back through TagLib unchanged.
TEST(HLVTagLibMP4, CustomAndUnicodeTextReadBackThroughTagLib)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.m4a"));
    HLVTagMap map;
    map.setAlbumArtist(QStringLiteral("夜に駆ける"));
    map.setComposer(QStringLiteral("Antonín Dvořák"));
    map.setGrouping(QStringLiteral("Ünïcødé – 🎵"));
    map.setCustomTagIdentifierString(QStringLiteral("OLDx,"));
    map.setCustomTagValues(HLVCustomTagValueArray{
        std::make_shared<HLVCustomTagValue>(QStringLiteral("xnam"), QStringLiteral("Custom title")),
        std::make_shared<HLVCustomTagValue>(QStringLiteral("TEST"), QStringLiteral("日本語")),
        std::make_shared<HLVCustomTagValue>(QStringLiteral("EMPT"))});
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(textOf(path, "aART"), *map.AlbumArtist());
    EXPECT_EQ(textOf(path, "\xA9wrt"), *map.Composer());
    EXPECT_EQ(textOf(path, "\xA9grp"), *map.Grouping());
    EXPECT_EQ(textOf(path, "\xA9nam"), QStringLiteral("Custom title"));
    EXPECT_FALSE(itemOf(path, "xnam"));
    EXPECT_EQ(textOf(path, "TEST"), QStringLiteral("日本語"));
    EXPECT_EQ(textOf(path, "EMPT"), QString());
    EXPECT_EQ(textOf(path, "CTIS"), QStringLiteral("OLDx,xnam,TEST,EMPT,"));
    const auto read = HLVTagLib::loadTagsFromFileAtPath(path);
    EXPECT_EQ(read->AlbumArtist(), map.AlbumArtist());
    EXPECT_EQ(read->Grouping(), map.Grouping());
    EXPECT_EQ(read->CustomTagValues()->at(2)->value(), QStringLiteral("日本語"));

    // Files written under the old rule hold UTF-8 bytes as Latin-1 characters.
    prepare(path, [](TagLib::MP4::Tag& tag) {
        tag.setItem("aART", TagLib::StringList(TagLib::String(std::string("Bj\xC3\xB6rk"), TagLib::String::Latin1)));
    });
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->AlbumArtist(), QStringLiteral("Björk"));
}

namespace {

// The offset of the box at a path of box types (children of "meta" start 4 bytes late), or -1.
qsizetype boxOffset(const QByteArray& bytes, const QList<QByteArray>& path)
{
    qsizetype at = 0, end = bytes.size();
    for (const QByteArray& type : path) {
        while (at + 8 <= end && bytes.mid(at + 4, 4) != type)
            at += qMax<quint32>(8, qFromBigEndian<quint32>(bytes.constData() + at));
        if (at + 8 > end)
            return -1;
        end = at + qFromBigEndian<quint32>(bytes.constData() + at);
        if (&type != &path.last())
            at += 8 + (type == "meta" ? 4 : 0);
    }
    return at;
}

QByteArray withSize(QByteArray bytes, const QList<QByteArray>& path, quint32 size, qsizetype field = 0)
{
    const qsizetype at = boxOffset(bytes, path);
    EXPECT_GE(at, 0);
    qToBigEndian(size, bytes.data() + at + field);
    return bytes;
}

} // namespace

// Saving must refuse, not damage: TagLib trusts box sizes and would overwrite
// the audio (an item list overrunning its parent) or write gigabytes (an
// oversized chunk-offset table).
TEST(HLVTagLibMP4, BadFilesGiveNoOrAnEmptyMapAndStayUnchanged)
{
    HLVTestFiles files;
    const QString source = files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("source.m4a"));
    prepare(source, [](TagLib::MP4::Tag& tag) { tag.setItem("aART", TagLib::StringList("Artist")); });
    const QByteArray whole = HLVTestFiles::readAll(source);
    const QByteArray mp3 = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")));
    const QList<QByteArray> ilst{"moov", "udta", "meta", "ilst"};
    const QList<QByteArray> stco{"moov", "trak", "mdia", "minf", "stbl", "stco"};
    const std::pair<const char*, QByteArray> bad[] = {
        {"cut in the movie box", whole.left(boxOffset(whole, ilst) + 4)},
        {"cut in the audio", whole.left(whole.size() - 3000)},
        {"movie box beyond the end", withSize(whole, {"moov"}, quint32(whole.size()) * 2)},
        {"item list overruns its parent", withSize(whole, ilst, 5000)},
        {"track box of size zero", withSize(whole, {"moov", "trak"}, 0)},
        {"huge chunk-offset count", withSize(whole, stco, 0x7FFFFFFF, 12)},
        {"an MP3 named m4a", mp3},
    };
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Not written"));
    map.setAlbumArtist(QStringLiteral("Nor this"));
    map.setTrackTotal(12);
    imageFile(files, QStringLiteral("c.png"), 3);
    map.setArtworkPath(files.path(QStringLiteral("c.png")));
    map.setArtworkState(HLVArtworkStateChosen);
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        const QString path = files.writeFile(QStringLiteral("bad.m4a"), bytes);
        HLVTagLib::loadTagsFromFileAtPath(path);
        HLVTagLib::readTagWithIdentifier(QStringLiteral("aART"), path);
        HLVFailure failure;
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map, &failure));
        EXPECT_TRUE(failure.kind == HLVFailure::Kind::StructureRefused || failure.kind == HLVFailure::Kind::NotAudio)
            << failure.message.toStdString();
        EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, files.path(QStringLiteral("c.png"))));
        EXPECT_FALSE(HLVTagLib::removeArtworkImageFromFileAtPath(path));
        EXPECT_EQ(HLVTestFiles::readAll(path), bytes);
    }
    EXPECT_FALSE(HLVTagLib::readTagWithIdentifier(QStringLiteral("aART"), files.writeFile("mp3.m4a", mp3)));
    EXPECT_FALSE(HLVTagLib::loadTagsFromFileAtPath(files.path("mp3.m4a"))->ArtworkAttempted());
}

// Remove Tags leaves no item behind that other programs would show: no (0, 0)
// pairs, no empty text atoms. The compilation flag and custom tags stay.
TEST(HLVTagLibMP4Writer, RemoveTagsLeavesNoEmptyItems)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("book.m4b"));
    prepare(path, [](TagLib::MP4::Tag& tag) {
        tag.setTitle("Title");
        tag.setArtist("Artist");
        tag.setItem("aART", TagLib::StringList("Album Artist"));
        tag.setItem(key("\xA9grp"), TagLib::StringList("Grouping"));
        tag.setItem(key("\xA9wrt"), TagLib::StringList("Composer"));
        tag.setItem("trkn", Item(3, 12));
        tag.setItem("disk", Item(1, 2));
        tag.setItem("cpil", Item(true));
        tag.setItem("CTIS", TagLib::StringList("tmpo,"));
        tag.setItem("tmpo", Item(120));
    });
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, HLVFileData::removeTagsTagMap().get()));

    TagLib::MP4::File file(QFile::encodeName(path).constData());
    ASSERT_TRUE(file.isValid());
    const TagLib::MP4::ItemMap items = file.tag()->itemMap();
    for (const char* gone : {"\xA9nam", "\xA9" "ART", "aART", "\xA9grp", "\xA9wrt", "trkn", "disk", "covr"})
        EXPECT_EQ(items.find(key(gone)), items.end()) << gone;
    EXPECT_TRUE(itemOf(path, "cpil")->toBool());
    EXPECT_EQ(itemOf(path, "tmpo")->toInt(), 120);
}
