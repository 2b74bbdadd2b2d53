#include "HLVTagLib.h"
#include "HLVTagLibMP3Writer.h"
#include "HLVTestFiles.h"

#include <QFile>
#include <QImage>
#include <QSettings>
#include <functional>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>

namespace {

using TagLib::ID3v2::AttachedPictureFrame;
using TagLib::ID3v2::TextIdentificationFrame;

const QString kJapanese = QStringLiteral("坂本龍一 – 夜に駆ける");
const QString kAccented = QStringLiteral("Zoë Keating, Café Tacvba");

void changeTag(const QString& path, const std::function<void(TagLib::ID3v2::Tag&)>& change)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    ASSERT_TRUE(file.isValid());
    change(*file.ID3v2Tag(true));
    ASSERT_TRUE(file.save());
}

void addText(TagLib::ID3v2::Tag& tag, const char* id, const QString& text,
             TagLib::String::Type encoding = TagLib::String::Latin1)
{
    auto* frame = new TextIdentificationFrame(id, encoding);
    frame->setText(TagLib::String(text.toStdWString()));
    tag.addFrame(frame);
}

void addPicture(TagLib::ID3v2::Tag& tag, const QByteArray& bytes, AttachedPictureFrame::Type type,
                const char* mime = "image/png", const char* description = "")
{
    auto* frame = new AttachedPictureFrame;
    frame->setPicture(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
    frame->setMimeType(mime);
    frame->setType(type);
    frame->setDescription(description);
    tag.addFrame(frame);
}

// What any other program sees: TagLib's own Unicode text of every frame with that identifier.
QStringList frameTexts(const QString& path, const char* id)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    QStringList texts;
    if (file.ID3v2Tag())
        for (auto* frame : file.ID3v2Tag()->frameList(id))
            texts << QString::fromStdWString(frame->toString().toWString());
    return texts;
}

struct Picture
{
    QByteArray bytes;
    QString mime;
    int type;
    QString description;
};

QList<Picture> pictures(const QString& path)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    QList<Picture> result;
    if (file.ID3v2Tag())
        for (auto* frame : file.ID3v2Tag()->frameList("APIC")) {
            auto* p = dynamic_cast<AttachedPictureFrame*>(frame);
            result.append({QByteArray(p->picture().data(), p->picture().size()),
                           QString::fromStdString(p->mimeType().to8Bit()), int(p->type()),
                           QString::fromStdWString(p->description().toWString())});
        }
    return result;
}

// Qt writes no GIF: the smallest valid one.
const QByteArray kGif = QByteArray::fromHex(
    "47494638396101000100800000000000ffffff21f90401000000002c000000000100010000020144003b");

// The MPEG frames: the file without an ID3v2 tag at its start and an ID3v1 tag at its end.
QByteArray mpegStream(QByteArray bytes)
{
    if (bytes.startsWith("ID3") && bytes.size() >= 10) {
        int size = 0;
        for (int i = 6; i < 10; ++i)
            size = (size << 7) | (static_cast<unsigned char>(bytes[i]) & 0x7F);
        bytes.remove(0, 10 + size + ((bytes[5] & 0x10) ? 10 : 0));
    }
    if (bytes.size() >= 128 && bytes.mid(bytes.size() - 128, 3) == "TAG")
        bytes.chop(128);
    return bytes;
}

const QByteArray& fixtureAudio()
{
    static const QByteArray audio = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")));
    return audio;
}

} // namespace

TEST(HLVTagLibMP3Reader, ReadsTheFramesTheGenericTagLacks)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    const QByteArray backCover = HLVTestFiles::imageBytes("PNG", 3, 2);
    changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
        tag.setTrack(7);
        addText(tag, "TPE2", kAccented, TagLib::String::UTF16);
        tag.removeFrames("TRCK");
        addText(tag, "TRCK", QStringLiteral("7/12"));
        addText(tag, "TPOS", QStringLiteral("1/2"));
        addText(tag, "TCOM", kJapanese, TagLib::String::UTF8);
        addText(tag, "TIT1", QStringLiteral("Grouped"));
        addText(tag, "TCMP", QStringLiteral("1"));
        addPicture(tag, backCover, AttachedPictureFrame::BackCover);
        addPicture(tag, HLVTestFiles::imageBytes("JPEG", 5, 4), AttachedPictureFrame::FrontCover, "image/jpeg");
        auto* mood = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::Latin1);
        mood->setDescription("Mood");
        mood->setText("calm");
        tag.addFrame(mood);
        addText(tag, "TCOP", QStringLiteral("2020 Label"));
        addText(tag, "CTIS", QStringLiteral("TXXX,TCOP,"));
    });

    auto map = HLVTagLib::loadTagsFromFileAtPath(path);
    EXPECT_EQ(map->AlbumArtist(), kAccented);
    EXPECT_EQ(map->TrackNumber(), 7);
    EXPECT_EQ(map->TrackTotal(), 12);
    EXPECT_EQ(map->DiscNumber(), 1);
    EXPECT_EQ(map->DiscTotal(), 2);
    EXPECT_EQ(map->Composer(), kJapanese);
    EXPECT_EQ(map->Grouping(), QStringLiteral("Grouped"));
    EXPECT_EQ(map->Compilation(), 1);
    // The first picture, back cover or not.
    EXPECT_EQ(map->Artwork().size(), QSize(3, 2));
    EXPECT_EQ(map->Artwork().encodedData(), backCover);
    EXPECT_EQ(map->ArtworkState(), HLVArtworkStateInFile);
    EXPECT_TRUE(map->ArtworkAttempted());
    ASSERT_TRUE(map->CustomTagValues());
    ASSERT_EQ(map->CustomTagValues()->size(), 2);
    EXPECT_EQ(map->CustomTagValues()->at(0)->identifier(), QStringLiteral("TXXX"));
    EXPECT_EQ(map->CustomTagValues()->at(0)->value(), frameTexts(path, "TXXX").value(0));
    EXPECT_EQ(map->CustomTagValues()->at(1)->identifier(), QStringLiteral("TCOP"));
    EXPECT_EQ(map->CustomTagValues()->at(1)->value(), QStringLiteral("2020 Label"));
    EXPECT_FALSE(map->CustomTagIdentifierString());
}

TEST(HLVTagLibMP3Reader, ParsesNumberPairsFlagsAndLists)
{
    struct Case
    {
        const char *trck, *tpos, *tcmp, *ctis;
        std::optional<int> trackTotal, discNumber, discTotal, compilation;
    };
    const Case cases[] = {
        {"7/12", "2", "1", "", 12, 2, std::nullopt, 1},
        {"7", "1/2", "0", nullptr, std::nullopt, 1, 2, 0},
        {"7/", "/2", "true", "TXXX", 7, 0, 2, 1},
        {nullptr, nullptr, nullptr, nullptr, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    HLVTestFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trck ? c.trck : "no frames");
        const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
        changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
            tag.setTitle("t");
            for (auto [id, text] : {std::pair{"TRCK", c.trck}, {"TPOS", c.tpos}, {"TCMP", c.tcmp}, {"CTIS", c.ctis}})
                if (text)
                    addText(tag, id, QString::fromLatin1(text));
        });
        auto map = HLVTagLib::loadTagsFromFileAtPath(path);
        EXPECT_EQ(map->TrackTotal(), c.trackTotal);
        EXPECT_EQ(map->DiscNumber(), c.discNumber);
        EXPECT_EQ(map->DiscTotal(), c.discTotal);
        EXPECT_EQ(map->Compilation(), c.compilation);
        EXPECT_FALSE(map->CustomTagValues());
        EXPECT_TRUE(map->Artwork().isNull());
        EXPECT_EQ(map->ArtworkState(), HLVArtworkStateNone);
        EXPECT_TRUE(map->ArtworkAttempted());
    }
}

TEST(HLVTagLibMP3Reader, RawFramesReadThroughTheFallback)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    QString longList;
    for (int i = 0; i < 80; ++i)
        longList += QStringLiteral("X%1,").arg(i, 3, 10, QLatin1Char('0'));
    changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
        addText(tag, "CTIS", QStringLiteral("TXXX,TCOP,"), TagLib::String::UTF16);
        addText(tag, "TCOP", QStringLiteral("Label"));
        addText(tag, "XLNG", longList);
    });
    // TagLib itself has no text for these frames.
    EXPECT_EQ(frameTexts(path, "CTIS"), QStringList{QString()});
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("CTIS"), path), QStringLiteral("TXXX,TCOP,"));
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("XLNG"), path), longList);
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("TCOP"), path), QStringLiteral("Label"));
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("TIT3"), path), QString());
    auto map = HLVTagLib::loadTagsFromFileAtPath(path);
    ASSERT_TRUE(map->CustomTagValues());
    ASSERT_EQ(map->CustomTagValues()->size(), 2);
    EXPECT_EQ(map->CustomTagValues()->at(0)->value(), std::nullopt); // no TXXX frame
    EXPECT_EQ(map->CustomTagValues()->at(1)->value(), QStringLiteral("Label"));

    const QString notAudio = files.writeFile(QStringLiteral("text.mp3"), QByteArray(4096, 'a'));
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("TCOP"), notAudio), std::nullopt);
}

TEST(HLVTagLibMP3Writer, WritesEveryFieldAsTextOtherProgramsRead)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    HLVTagMap map;
    map.setTrackName(kJapanese);
    map.setAlbumArtist(kAccented);
    map.setComposer(kJapanese);
    map.setGrouping(kAccented);
    map.setCompilation(1);
    map.setTrackNumber(3);
    map.setTrackTotal(12);
    map.setDiscNumber(1);
    map.setDiscTotal(2);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));

    EXPECT_EQ(frameTexts(path, "TIT2"), QStringList{kJapanese});
    EXPECT_EQ(frameTexts(path, "TPE2"), QStringList{kAccented});
    EXPECT_EQ(frameTexts(path, "TCOM"), QStringList{kJapanese});
    EXPECT_EQ(frameTexts(path, "TIT1"), QStringList{kAccented});
    EXPECT_EQ(frameTexts(path, "TCMP"), QStringList{QStringLiteral("1")});
    EXPECT_EQ(frameTexts(path, "TRCK"), QStringList{QStringLiteral("3/12")});
    EXPECT_EQ(frameTexts(path, "TPOS"), QStringList{QStringLiteral("1/2")});
    EXPECT_EQ(mpegStream(HLVTestFiles::readAll(path)), fixtureAudio());

    auto read = HLVTagLib::loadTagsFromFileAtPath(path);
    EXPECT_EQ(read->AlbumArtist(), kAccented);
    EXPECT_EQ(read->Composer(), kJapanese);
    EXPECT_EQ(read->Grouping(), kAccented);
    EXPECT_EQ(read->TrackTotal(), 12);
    EXPECT_EQ(read->DiscTotal(), 2);

    // Compilation off is written, not removed; absent fields keep their frames.
    HLVTagMap off;
    off.setCompilation(0);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &off));
    EXPECT_EQ(frameTexts(path, "TCMP"), QStringList{QStringLiteral("0")});
    EXPECT_EQ(frameTexts(path, "TCOM"), QStringList{kJapanese});
    EXPECT_EQ(frameTexts(path, "TRCK"), QStringList{QStringLiteral("3/12")});
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->Compilation(), 0);

    // A value an older version stored as UTF-8 bytes in Latin-1 is saved back as real text.
    changeTag(path, [](TagLib::ID3v2::Tag& tag) {
        tag.removeFrames("TPE2");
        auto* frame = new TextIdentificationFrame("TPE2", TagLib::String::Latin1);
        frame->setText(TagLib::String(std::string("Zo\xC3\xAB"), TagLib::String::Latin1));
        tag.addFrame(frame);
    });
    auto legacy = HLVTagLib::loadTagsFromFileAtPath(path);
    EXPECT_EQ(legacy->AlbumArtist(), QStringLiteral("Zoë"));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, legacy.get()));
    EXPECT_EQ(frameTexts(path, "TPE2"), QStringList{QStringLiteral("Zoë")});
}

TEST(HLVTagLibMP3Writer, MergesTrackAndDiscPairsWithTheFile)
{
    struct Case
    {
        const char* existing; // TRCK and TPOS before the save
        std::optional<int> number, total;
        const char* expected; // both frames after; nullptr: no frame
    };
    const Case cases[] = {
        {"5/10", 3, 12, "3/12"},
        {nullptr, 3, 12, "3/12"},
        {"5/10", std::nullopt, 12, "5/12"},
        {"5", std::nullopt, 12, "5/12"}, // the file's number is kept
        {nullptr, std::nullopt, 12, "0/12"},
        {"4", 4, std::nullopt, "4"},
        {"4/9", 4, std::nullopt, "4/9"},
        {"4/9", 6, std::nullopt, "6/9"}, // the file's total is kept
        {nullptr, 1, std::nullopt, "1"},
        {"2/3", std::nullopt, std::nullopt, "2/3"},
    };
    HLVTestFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.existing ? c.existing : "none") + " " + std::to_string(c.number.value_or(-1))
                     + "/" + std::to_string(c.total.value_or(-1)));
        const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
        changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
            tag.setTitle("t");
            if (c.existing) {
                addText(tag, "TRCK", QString::fromLatin1(c.existing));
                addText(tag, "TPOS", QString::fromLatin1(c.existing));
            }
        });
        HLVTagMap map;
        map.setTrackNumber(c.number);
        map.setTrackTotal(c.total);
        map.setDiscNumber(c.number);
        map.setDiscTotal(c.total);
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        const QStringList expected = c.expected ? QStringList{QString::fromLatin1(c.expected)} : QStringList();
        EXPECT_EQ(frameTexts(path, "TPOS"), expected);
        if (c.expected) {
            // Every reader, ours included, falls back on ID3v1's number where ID3v2's is 0.
            const int number = QString::fromLatin1(c.expected).section(QLatin1Char('/'), 0, 0).toInt();
            auto read = HLVTagLib::loadTagsFromFileAtPath(path);
            EXPECT_EQ(read->TrackNumber(), number ? std::optional(number) : std::nullopt);
            EXPECT_EQ(read->DiscNumber(), number);
        }
        // The generic step alone writes a lone track number.
        if (c.expected || !c.number)
            EXPECT_EQ(frameTexts(path, "TRCK"), expected);
        else
            EXPECT_EQ(frameTexts(path, "TRCK"), QStringList{QString::number(*c.number)});
    }
}

// Remove Tags sets both numbers of each pair to 0: the frames go instead of
// reading "0/0", which other programs show as a track.
TEST(HLVTagLibMP3Writer, ZeroPairsClearTheirFrames)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
        addText(tag, "TRCK", QStringLiteral("5/10"));
        addText(tag, "TPOS", QStringLiteral("1/2"));
    });
    HLVTagMap map;
    map.setTrackNumber(0);
    map.setTrackTotal(0);
    map.setDiscNumber(0);
    map.setDiscTotal(0);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(frameTexts(path, "TRCK"), QStringList());
    EXPECT_EQ(frameTexts(path, "TPOS"), QStringList());
    auto read = HLVTagLib::loadTagsFromFileAtPath(path);
    EXPECT_FALSE(read->TrackNumber());
    EXPECT_FALSE(read->TrackTotal());
    EXPECT_FALSE(read->DiscNumber());
}

TEST(HLVTagLibMP3Writer, ActsOnArtworkStates)
{
    HLVTestFiles files;
    const QByteArray png = HLVTestFiles::imageBytes("PNG", 4, 4);
    const QByteArray jpeg = HLVTestFiles::imageBytes("JPEG", 6, 2);
    const QByteArray bmp = HLVTestFiles::imageBytes("BMP", 2, 2);
    const QByteArray first = HLVTestFiles::imageBytes("PNG", 1, 1);
    const QByteArray second = HLVTestFiles::imageBytes("PNG", 2, 1);
    auto withTwoPictures = [&] {
        const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
        changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
            addPicture(tag, first, AttachedPictureFrame::BackCover, "image/png", "back");
            addPicture(tag, second, AttachedPictureFrame::FrontCover);
        });
        return path;
    };
    auto save = [](const QString& path, int state, const std::optional<QString>& image) {
        HLVTagMap map;
        map.setTrackName(QStringLiteral("saved"));
        map.setArtworkState(state);
        map.setArtworkPath(image);
        EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        EXPECT_EQ(frameTexts(path, "TIT2"), QStringList{QStringLiteral("saved")});
    };

    QString path = withTwoPictures();
    save(path, HLVArtworkStateRemove, std::nullopt);
    ASSERT_EQ(pictures(path).size(), 1);
    EXPECT_EQ(pictures(path)[0].bytes, second);

    // The first picture takes the new bytes and keeps its type and description.
    path = withTwoPictures();
    save(path, HLVArtworkStateChosen, files.writeFile(QStringLiteral("cover.PNG"), png));
    ASSERT_EQ(pictures(path).size(), 2);
    EXPECT_EQ(pictures(path)[0].bytes, png);
    EXPECT_EQ(pictures(path)[0].mime, QStringLiteral("image/png"));
    EXPECT_EQ(pictures(path)[0].type, int(AttachedPictureFrame::BackCover));
    EXPECT_EQ(pictures(path)[0].description, QStringLiteral("back"));

    struct Embed
    {
        const char* name;
        QByteArray bytes;
        const char* mime;
    };
    const Embed embeds[] = {
        {"front", jpeg, "image/jpeg"},
        {"cover.jpg", jpeg, "image/jpeg"},
        {"cover.bmp", bmp, "image/bmp"},
        {"cover.GIF", kGif, "image/gif"},
        {"misnamed.jpg", png, "image/png"}, // the bytes decide
        {"unknown.gif", "not a known format", "image/gif"},
        {"unknown.tiff", "not a known format", "image/jpeg"},
    };
    for (const Embed& e : embeds) {
        SCOPED_TRACE(e.name);
        path = files.copyFixture(QStringLiteral("tone.mp3"));
        save(path, HLVArtworkStateFound, files.writeFile(QString::fromLatin1(e.name), e.bytes));
        ASSERT_EQ(pictures(path).size(), 1);
        EXPECT_EQ(pictures(path)[0].bytes, e.bytes);
        EXPECT_EQ(pictures(path)[0].mime, QString::fromLatin1(e.mime));
        EXPECT_EQ(mpegStream(HLVTestFiles::readAll(path)), fixtureAudio());
    }

    // States 0 and 1 leave pictures alone; a path that yields nothing changes none
    // and adds no empty picture frame.
    const QString image = files.writeFile(QStringLiteral("x.png"), png);
    for (auto [state, imagePath] : {std::pair{int(HLVArtworkStateNone), image},
                                    {int(HLVArtworkStateInFile), image},
                                    {int(HLVArtworkStateChosen), files.path(QStringLiteral("missing.png"))}}) {
        SCOPED_TRACE(state);
        path = withTwoPictures();
        save(path, state, imagePath);
        ASSERT_EQ(pictures(path).size(), 2);
        EXPECT_EQ(pictures(path)[0].bytes, first);
        path = files.copyFixture(QStringLiteral("tone.mp3"));
        save(path, state, imagePath);
        EXPECT_TRUE(pictures(path).isEmpty());
    }
}

TEST(HLVTagLibMP3Writer, AddsAndRemovesArtworkOnItsOwn)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    const QString gif = files.writeFile(QStringLiteral("c.gif"), kGif);
    const QByteArray untouched = HLVTestFiles::readAll(path);

    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, files.path(QStringLiteral("missing.jpg"))));
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, files.writeFile(QStringLiteral("empty.png"), {})));
    EXPECT_TRUE(HLVTagLib::removeArtworkImageFromFileAtPath(path)); // nothing to remove
    EXPECT_EQ(HLVTestFiles::readAll(path), untouched);

    ASSERT_TRUE(HLVTagLib::addArtwokImageToFileAtPath(path, gif));
    ASSERT_EQ(pictures(path).size(), 1);
    EXPECT_EQ(pictures(path)[0].bytes, kGif);
    EXPECT_EQ(pictures(path)[0].mime, QStringLiteral("image/gif"));
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->ArtworkState(), HLVArtworkStateInFile);

    ASSERT_TRUE(HLVTagLib::removeArtworkImageFromFileAtPath(path));
    EXPECT_TRUE(pictures(path).isEmpty());
    EXPECT_EQ(mpegStream(HLVTestFiles::readAll(path)), fixtureAudio());

    const QString notAudio = files.writeFile(QStringLiteral("text.mp3"), QByteArray(4096, 'a'));
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(notAudio, gif));
    EXPECT_FALSE(HLVTagLib::removeArtworkImageFromFileAtPath(notAudio));
    EXPECT_EQ(HLVTestFiles::readAll(notAudio), QByteArray(4096, 'a'));
}

TEST(HLVTagLibMP3Writer, CustomTagsFollowTheCatalogue)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
        addText(tag, "XABC", QStringLiteral("unlisted"));
        addText(tag, "TCOP", QStringLiteral("listed"));
        addText(tag, "TIT3", QStringLiteral("first"));
        addText(tag, "TIT3", QStringLiteral("second"));
        addText(tag, "CTIS", QStringLiteral("XABC,TCOP,TIT3,"));
    });
    auto map = HLVTagLib::loadTagsFromFileAtPath(path);
    ASSERT_TRUE(map->CustomTagValues());
    ASSERT_EQ(map->CustomTagValues()->size(), 3);
    map->CustomTagValues()->at(0)->setIsMarkedForRemoval(true); // not in the catalogue: deleted
    map->CustomTagValues()->at(1)->setIsMarkedForRemoval(true); // a catalogue tag: only unlisted
    map->CustomTagValues()->at(2)->setValue(QStringLiteral("changed"));
    map->CustomTagValues()->append(std::make_shared<HLVCustomTagValue>(QStringLiteral("XNEW"), kJapanese));
    map->CustomTagValues()->append(std::make_shared<HLVCustomTagValue>(QStringLiteral("XEMP")));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, map.get()));

    EXPECT_TRUE(frameTexts(path, "XABC").isEmpty());
    EXPECT_EQ(frameTexts(path, "TCOP"), QStringList{QStringLiteral("listed")});
    // The first of two frames goes; the value lands in the other.
    EXPECT_EQ(frameTexts(path, "TIT3"), QStringList{QStringLiteral("changed")});
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("XNEW"), path), kJapanese);
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("XEMP"), path), QString());
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("CTIS"), path), QStringLiteral("TIT3,XNEW,XEMP,"));

    auto reread = HLVTagLib::loadTagsFromFileAtPath(path);
    ASSERT_TRUE(reread->CustomTagValues());
    ASSERT_EQ(reread->CustomTagValues()->size(), 3);
    EXPECT_EQ(reread->CustomTagValues()->at(1)->value(), kJapanese);

    // Removing the last one still stores the (now empty) list.
    for (auto& value : *reread->CustomTagValues())
        value->setIsMarkedForRemoval(true);
    reread->setCustomTagIdentifierString(QStringLiteral("TIT3,XNEW,XEMP,"));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, reread.get()));
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("CTIS"), path), QString());
    EXPECT_EQ(frameTexts(path, "CTIS").size(), 1);
    EXPECT_FALSE(HLVTagLib::loadTagsFromFileAtPath(path)->CustomTagValues());
}

TEST(HLVTagLibMP3Writer, CustomTagsNeverDamageOtherFrames)
{
    HLVTestFiles files;
    // A frame TagLib does not know, holding bytes that are no text.
    const QByteArray binary("\x80\x05\xff\x00\x02" "AB", 7);
    const QString path = files.writeFile(QStringLiteral("binary.mp3"),
                                         QByteArray::fromHex("494433040000000000") + char(10 + binary.size())
                                             + "XBIN" + QByteArray(3, '\0') + char(binary.size())
                                             + QByteArray(2, '\0') + binary + fixtureAudio());
    const QByteArray picture = HLVTestFiles::imageBytes("PNG", 3, 3);
    changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
        auto* composers = new TextIdentificationFrame("TCOM", TagLib::String::Latin1);
        composers->setText(TagLib::StringList(TagLib::String("A")).append("B"));
        tag.addFrame(composers);
        addPicture(tag, picture, AttachedPictureFrame::FrontCover);
        auto* comment = new TagLib::ID3v2::CommentsFrame;
        comment->setLanguage("eng");
        comment->setDescription("note");
        comment->setText("kept");
        tag.addFrame(comment);
        auto* mood = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::Latin1);
        mood->setDescription("Mood");
        mood->setText("calm");
        tag.addFrame(mood);
        addText(tag, "CTIS", QStringLiteral("XBIN,TCOM,APIC,COMM,TXXX,"));
    });
    const QStringList comments = frameTexts(path, "COMM");

    const QStringList moods = frameTexts(path, "TXXX");

    // Saved as read, and saved with values those frames cannot take as text.
    auto map = HLVTagLib::loadTagsFromFileAtPath(path);
    ASSERT_TRUE(map->CustomTagValues());
    ASSERT_EQ(map->CustomTagValues()->size(), 5);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, map.get()));
    {
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        auto* unknown = dynamic_cast<TagLib::ID3v2::UnknownFrame*>(file.ID3v2Tag()->frameList("XBIN").front());
        ASSERT_TRUE(unknown);
        EXPECT_EQ(QByteArray(unknown->data().data(), unknown->data().size()), binary);
        auto* text = dynamic_cast<TextIdentificationFrame*>(file.ID3v2Tag()->frameList("TCOM").front());
        EXPECT_EQ(text->fieldList().size(), 2u);
    }
    for (auto& value : *map->CustomTagValues())
        if (value->identifier() != QLatin1String("XBIN") && value->identifier() != QLatin1String("TCOM"))
            value->setValue(QStringLiteral("typed"));
    // An identifier that is no frame identifier is not written: readers stop at such a frame.
    map->CustomTagValues()->append(std::make_shared<HLVCustomTagValue>(QStringLiteral("txxx"), QStringLiteral("v")));
    map->setTrackName(QStringLiteral("after"));
    // The refusal is reported; the other fields are still saved.
    HLVFailure failure;
    EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, map.get(), &failure));
    EXPECT_EQ(failure.kind, HLVFailure::Kind::CustomTagRefused);
    EXPECT_TRUE(failure.message.contains(QStringLiteral("APIC, COMM, TXXX, txxx"))) << failure.message.toStdString();

    ASSERT_EQ(pictures(path).size(), 1);
    EXPECT_EQ(pictures(path)[0].bytes, picture);
    EXPECT_EQ(frameTexts(path, "COMM"), comments);
    EXPECT_EQ(frameTexts(path, "TXXX"), moods);
    EXPECT_TRUE(frameTexts(path, "txxx").isEmpty());
    EXPECT_EQ(frameTexts(path, "TIT2"), QStringList{QStringLiteral("after")});
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("CTIS"), path), QStringLiteral("XBIN,TCOM,APIC,COMM,TXXX,"));
}

// Bad files answer false or keep their audio: the MPEG frames after the tag stay byte for byte.
TEST(HLVTagLibMP3, BadFilesKeepTheirAudio)
{
    HLVTestFiles files;
    HLVTagMap map;
    map.setTrackName(QStringLiteral("t"));
    map.setAlbumArtist(QStringLiteral("aa"));

    // A huge picture reads (its header only) and survives a save untouched.
    const QString huge = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("huge.mp3"));
    const QByteArray bigPicture = HLVTestFiles::imageBytes("PNG", 8, 8) + QByteArray(24 * 1024 * 1024, '\x7f');
    changeTag(huge, [&](TagLib::ID3v2::Tag& tag) { addPicture(tag, bigPicture, AttachedPictureFrame::FrontCover); });
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(huge)->Artwork().size(), QSize(8, 8));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(huge, &map));
    EXPECT_EQ(pictures(huge).value(0).bytes, bigPicture);
    EXPECT_EQ(mpegStream(HLVTestFiles::readAll(huge)), fixtureAudio());

    // Cut inside the tag: no audio left to find.
    const QString cutTag = files.writeFile(QStringLiteral("cut-tag.mp3"), HLVTestFiles::readAll(huge).left(100000));
    // A tag header whose size runs past the end of the file.
    const QString badHeader = files.writeFile(QStringLiteral("bad-header.mp3"),
                                              QByteArray::fromHex("4944330400007f7f7f7f") + fixtureAudio());
    for (const QString& path : {cutTag, badHeader}) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray before = HLVTestFiles::readAll(path);
        bool readable = true;
        HLVTagLib::loadTagsFromFileAtPath(path, &readable);
        EXPECT_FALSE(readable);
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, files.writeFile(QStringLiteral("p.png"), bigPicture)));
        EXPECT_FALSE(HLVTagLib::removeArtworkImageFromFileAtPath(path));
        EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("TIT2"), path), std::nullopt);
        EXPECT_EQ(HLVTestFiles::readAll(path), before);
    }

    // Audio cut mid-frame is still audio, and so is audio behind a tag header
    // with a malformed size: the new tag replaces the header, the frames stay.
    const QByteArray cutAudio = fixtureAudio().left(fixtureAudio().size() / 2 + 77);
    const QString cut = files.writeFile(QStringLiteral("cut-audio.mp3"), cutAudio);
    const QString badSize = files.writeFile(QStringLiteral("bad-size.mp3"),
                                            QByteArray::fromHex("494433040000ff00ff00") + fixtureAudio());
    for (auto [path, audio] : {std::pair{cut, cutAudio}, {badSize, fixtureAudio()}}) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        EXPECT_EQ(mpegStream(HLVTestFiles::readAll(path)), audio);
        EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->AlbumArtist(), QStringLiteral("aa"));
    }
}

// A tag header that claims more than the tag (a size running into the audio, a
// footer flag without a footer) would have a save drop the start of the audio:
// such files are refused and left alone. Zero padding after the tag is kept.
TEST(HLVTagLibMP3Writer, RefusesATagHeaderThatReachesIntoTheAudio)
{
    HLVTestFiles files;
    HLVTagMap map;
    map.setTrackName(QStringLiteral("t"));
    // An empty ID3v2.4 tag with four bytes of padding: size 4, then zeros.
    const QByteArray header = QByteArray::fromHex("49443304000000000004");
    const QByteArray padding(4, '\0');

    const QString tooLong = files.writeFile(QStringLiteral("too-long.mp3"),
                                            QByteArray::fromHex("49443304000000000005") + padding + fixtureAudio());
    const QString noFooter = files.writeFile(QStringLiteral("no-footer.mp3"),
                                             QByteArray::fromHex("49443304001000000004") + padding + fixtureAudio());
    for (const QString& path : {tooLong, noFooter}) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray before = HLVTestFiles::readAll(path);
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(
            path, files.writeFile(QStringLiteral("p.png"), HLVTestFiles::imageBytes("PNG", 2, 2))));
        EXPECT_FALSE(HLVTagLib::removeArtworkImageFromFileAtPath(path));
        EXPECT_EQ(HLVTestFiles::readAll(path), before);
    }

    // Padding outside the declared tag stays in front of the frames.
    const QString padded = files.writeFile(QStringLiteral("padded.mp3"), header + padding + padding + fixtureAudio());
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(padded, &map));
    EXPECT_EQ(mpegStream(HLVTestFiles::readAll(padded)), padding + fixtureAudio());
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(padded)->TrackName(), QStringLiteral("t"));
}

// A custom value stored under the old rule (UTF-8 bytes as Latin-1 text) reads
// right, and a save rewrites it as Unicode, as it does the standard fields.
TEST(HLVTagLibMP3Writer, UpgradesCustomValuesStoredAsUtf8InLatin1)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    const QString legacy = QString::fromLatin1(kAccented.toUtf8());
    changeTag(path, [&](TagLib::ID3v2::Tag& tag) {
        addText(tag, "TMOO", legacy);
        addText(tag, "TIT2", legacy);
        addText(tag, "CTIS", QStringLiteral("TMOO,"));
    });
    auto map = HLVTagLib::loadTagsFromFileAtPath(path);
    ASSERT_TRUE(map->CustomTagValues());
    EXPECT_EQ(map->CustomTagValues()->at(0)->value(), kAccented);
    EXPECT_EQ(map->TrackName(), kAccented);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, map.get()));
    EXPECT_EQ(frameTexts(path, "TIT2"), QStringList{kAccented});
    EXPECT_EQ(frameTexts(path, "TMOO"), QStringList{kAccented});
}

// For players that read only ID3v2.3: the whole tag in that version, with
// TagLib's conversions (the date as TYER), text beyond Latin-1 in UTF-16.
TEST(HLVTagLibMP3Writer, SavesID3v23WhenAsked)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    EXPECT_EQ(HLVTagLib::ID3v2Version(), 4);
    QSettings().setValue(QStringLiteral("ID3v2Version"), 3);
    EXPECT_EQ(HLVTagLib::ID3v2Version(), 3);
    QSettings().setValue(QStringLiteral("ID3v2Version"), 7); // nonsense: the default
    EXPECT_EQ(HLVTagLib::ID3v2Version(), 4);
    QSettings().remove(QStringLiteral("ID3v2Version"));

    HLVTagLib::setID3v2Version(3);
    HLVTagMap map;
    map.setTrackName(kJapanese);
    map.setAlbumName(QStringLiteral("Album"));
    map.setReleaseYear(1999);
    map.setTrackNumber(4);
    map.setTrackTotal(12);
    map.setCustomTagValues(HLVCustomTagValueArray{
        std::make_shared<HLVCustomTagValue>(QStringLiteral("TMOO"), QStringLiteral("calm")),
        std::make_shared<HLVCustomTagValue>(QStringLiteral("TCOP"), kAccented)});
    HLVFailure failure;
    const bool saved = HLVTagLib::saveTagsToFileAtPath(path, &map, &failure);
    HLVTagLib::setID3v2Version(0);
    // TMOO does not exist in ID3v2.3: refused, where TagLib would drop it.
    EXPECT_FALSE(saved);
    EXPECT_EQ(failure.kind, HLVFailure::Kind::CustomTagRefused);
    EXPECT_TRUE(failure.message.contains(QStringLiteral("TMOO")));

    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    ASSERT_TRUE(file.ID3v2Tag());
    EXPECT_EQ(file.ID3v2Tag()->header()->majorVersion(), 3u);
    EXPECT_EQ(file.ID3v2Tag()->year(), 1999u);
    EXPECT_EQ(frameTexts(path, "TRCK"), QStringList{QStringLiteral("4/12")});
    EXPECT_EQ(frameTexts(path, "TCOP"), QStringList{kAccented});
    const auto titles = file.ID3v2Tag()->frameList("TIT2");
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(QString::fromStdWString(titles.front()->toString().toWString()), kJapanese);
    // As stored: the encoding byte right after the frame header says UTF-16.
    const QByteArray bytes = HLVTestFiles::readAll(path);
    const qsizetype frame = bytes.indexOf("TIT2");
    ASSERT_GT(frame, 0);
    EXPECT_EQ(int(bytes.at(frame + 10)), 1);
    EXPECT_TRUE(bytes.contains("TYER"));
    EXPECT_FALSE(bytes.contains("TDRC"));
    EXPECT_EQ(mpegStream(bytes), fixtureAudio());
}
