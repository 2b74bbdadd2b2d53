#include "HLVTagLib.h"
#include "HLVTagLibFLACReader.h"
#include "HLVTagLibFLACWriter.h"
#include "HLVTestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <functional>
#include <gtest/gtest.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/xiphcomment.h>

namespace {

using FlacFile = TagLib::FLAC::File;
using Picture = TagLib::FLAC::Picture;

// Tags prepared the way other software would: TagLib directly.
void prepare(const QString& path, const std::function<void(FlacFile&, TagLib::Ogg::XiphComment&)>& change)
{
    FlacFile file(QFile::encodeName(path).constData());
    ASSERT_TRUE(file.isValid());
    change(file, *file.xiphComment(true));
    ASSERT_TRUE(file.save());
}

TagLib::String utf8(const QString& text)
{
    return TagLib::String(text.toUtf8().toStdString(), TagLib::String::UTF8);
}

QString unicode(const TagLib::String& text)
{
    return QString::fromStdWString(text.toWString());
}

// Every value of a comment field, read back through TagLib's Unicode conversion.
QStringList fieldValues(const QString& path, const char* key)
{
    FlacFile file(QFile::encodeName(path).constData());
    QStringList values;
    if (!file.isValid() || !file.xiphComment())
        return {QStringLiteral("<unreadable>")};
    const auto& fields = file.xiphComment()->fieldListMap();
    const auto it = fields.find(key);
    if (it != fields.end())
        for (const auto& value : it->second)
            values << unicode(value);
    return values;
}

struct PictureInfo
{
    QByteArray data;
    QString mimeType;
    int type;
    QString description;
};

QList<PictureInfo> infos(const TagLib::List<Picture*>& pictures)
{
    QList<PictureInfo> result;
    for (const Picture* p : pictures)
        result << PictureInfo{QByteArray(p->data().data(), p->data().size()), unicode(p->mimeType()),
                              int(p->type()), unicode(p->description())};
    return result;
}

QList<PictureInfo> pictureBlocks(const QString& path)
{
    FlacFile file(QFile::encodeName(path).constData());
    return infos(file.pictureList());
}

QList<PictureInfo> commentPictures(const QString& path)
{
    FlacFile file(QFile::encodeName(path).constData());
    return file.xiphComment() ? infos(file.xiphComment()->pictureList()) : QList<PictureInfo>();
}

Picture* newPicture(const QByteArray& data, Picture::Type type = Picture::FrontCover,
                    const char* description = "")
{
    auto* picture = new Picture;
    picture->setData(TagLib::ByteVector(data.constData(), unsigned(data.size())));
    picture->setMimeType("image/png");
    picture->setType(type);
    picture->setDescription(description);
    return picture;
}

QByteArray imageBytes(const char* format, Qt::GlobalColor color)
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// The file read by its own structure, as metaflac-style tools see it.
struct RawFlac
{
    QList<QByteArray> commentFields; // "KEY=value" exactly as stored
    QByteArray audio;                // everything after the last metadata block
    bool sound = false;
};

quint32 littleEndian32(const QByteArray& bytes, qsizetype at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | quint8(bytes.at(at + i));
    return v;
}

RawFlac rawFlac(const QString& path)
{
    RawFlac raw;
    const QByteArray d = HLVTestFiles::readAll(path);
    qsizetype p = 0;
    if (d.startsWith("ID3") && d.size() >= 10) // a leading ID3v2 tag, without footer
        p = 10 + ((quint8(d.at(6)) << 21) | (quint8(d.at(7)) << 14) | (quint8(d.at(8)) << 7) | quint8(d.at(9)));
    if (d.mid(p, 4) != "fLaC")
        return raw;
    p += 4;
    for (bool last = false; !last;) {
        if (p + 4 > d.size())
            return raw;
        const quint8 header = quint8(d.at(p));
        last = header & 0x80;
        const qsizetype length = (quint8(d.at(p + 1)) << 16) | (quint8(d.at(p + 2)) << 8) | quint8(d.at(p + 3));
        if (p + 4 + length > d.size())
            return raw;
        if ((header & 0x7F) == 4) {
            const QByteArray block = d.mid(p + 4, length);
            qsizetype q = 4 + littleEndian32(block, 0);
            const quint32 count = littleEndian32(block, q);
            q += 4;
            for (quint32 i = 0; i < count; ++i) {
                const quint32 fieldLength = littleEndian32(block, q);
                raw.commentFields << block.mid(q + 4, fieldLength);
                q += 4 + fieldLength;
            }
        }
        p += 4 + length;
    }
    raw.audio = d.mid(p);
    raw.sound = true;
    return raw;
}

std::shared_ptr<HLVCustomTagValue> customValue(const char* identifier, std::optional<QString> value,
                                               bool marked = false)
{
    return std::make_shared<HLVCustomTagValue>(QString::fromLatin1(identifier), value, marked);
}

} // namespace

TEST(HLVTagLibFLACReader, ReadsTheCommentFields)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    prepare(path, [](FlacFile&, TagLib::Ogg::XiphComment& c) {
        c.setTitle("Title");
        c.addField("ALBUM ARTIST", "Two Words");
        c.addField("TRACKTOTAL", "0");
        c.addField("DISCNUMBER", "1/2");
        c.addField("COMPOSER", utf8(QStringLiteral("Dvořák")));
        c.addField("COMPOSER", "Second", false);
        c.addField("GROUPING", "Set");
        c.addField("COMPILATION", "1");
    });
    HLVTagMap map;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(path, map));
    EXPECT_EQ(map.TrackName(), QStringLiteral("Title"));
    EXPECT_EQ(map.AlbumArtist(), QStringLiteral("Two Words"));
    EXPECT_EQ(map.TrackTotal(), 0); // present, not absent
    EXPECT_EQ(map.DiscNumber(), 1);
    EXPECT_FALSE(map.DiscTotal());
    EXPECT_EQ(map.Composer(), QStringLiteral("Dvořák"));
    EXPECT_EQ(map.Grouping(), QStringLiteral("Set"));
    EXPECT_EQ(map.Compilation(), 1);
    EXPECT_FALSE(map.CustomTagValues());

    prepare(path, [](FlacFile&, TagLib::Ogg::XiphComment& c) {
        c.addField("ALBUMARTIST", "One Word");
        c.addField("DISCTOTAL", "3");
        c.addField("COMPILATION", "no");
    });
    HLVTagMap second;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(path, second));
    EXPECT_EQ(second.AlbumArtist(), QStringLiteral("One Word"));
    EXPECT_EQ(second.DiscTotal(), 3);
    EXPECT_EQ(second.Compilation(), 0);

    // A file without these fields leaves them absent.
    HLVTagMap bare;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(files.copyFixture("tone.flac", "bare.flac"), bare));
    EXPECT_FALSE(bare.AlbumArtist());
    EXPECT_FALSE(bare.TrackTotal());
    EXPECT_FALSE(bare.Compilation());
    EXPECT_FALSE(bare.Composer());
}

TEST(HLVTagLibFLACReader, PrefersPictureBlocksOverCommentPictures)
{
    HLVTestFiles files;
    const QByteArray red = imageBytes("PNG", Qt::red);
    const QByteArray blue = imageBytes("PNG", Qt::blue);

    const QString both = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("both.flac"));
    prepare(both, [&](FlacFile& f, TagLib::Ogg::XiphComment& c) {
        c.addPicture(newPicture(blue));
        f.addPicture(newPicture(red));
    });
    HLVTagMap map;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(both, map));
    EXPECT_EQ(map.Artwork().encodedData(), red);
    EXPECT_EQ(map.ArtworkState(), HLVArtworkStateInFile);
    EXPECT_TRUE(map.ArtworkAttempted());

    const QString commentOnly = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("comment.flac"));
    prepare(commentOnly, [&](FlacFile&, TagLib::Ogg::XiphComment& c) { c.addPicture(newPicture(blue)); });
    HLVTagMap fromComment;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(commentOnly, fromComment));
    EXPECT_EQ(fromComment.Artwork().encodedData(), blue);
    EXPECT_EQ(fromComment.ArtworkState(), HLVArtworkStateInFile);

    const QString broken = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("broken.flac"));
    prepare(broken, [&](FlacFile& f, TagLib::Ogg::XiphComment&) { f.addPicture(newPicture("not an image")); });
    HLVTagMap none;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(broken, none));
    EXPECT_TRUE(none.Artwork().isNull());
    EXPECT_EQ(none.ArtworkState(), HLVArtworkStateNone);
    EXPECT_TRUE(none.ArtworkAttempted());
}

TEST(HLVTagLibFLACReader, ReadsCustomTagsAndSingleFields)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    prepare(path, [](FlacFile&, TagLib::Ogg::XiphComment& c) {
        c.addField("CTIS", "XTRA,MOOD,lowr,");
        c.addField("XTRA", utf8(QStringLiteral("Ünïcode 夜")));
        c.addField("LOWR", "Lower"); // TagLib keeps keys in upper case
        c.addField("ISRC", "GBAYE0000001");
    });
    HLVTagMap map;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(path, map));
    ASSERT_TRUE(map.CustomTagValues());
    const auto& values = *map.CustomTagValues();
    ASSERT_EQ(values.size(), 3);
    EXPECT_EQ(values[0]->identifier(), QStringLiteral("XTRA"));
    EXPECT_EQ(values[0]->value(), QStringLiteral("Ünïcode 夜"));
    EXPECT_EQ(values[1]->identifier(), QStringLiteral("MOOD"));
    EXPECT_FALSE(values[1]->value());
    EXPECT_EQ(values[2]->identifier(), QStringLiteral("lowr"));
    EXPECT_EQ(values[2]->value(), QStringLiteral("Lower"));
    EXPECT_FALSE(values[0]->isMarkedForRemoval());
    EXPECT_FALSE(map.CustomTagIdentifierString());

    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("ISRC"), path), QStringLiteral("GBAYE0000001"));
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("XTRA"), path), QStringLiteral("Ünïcode 夜"));
    const auto missing = HLVTagLib::readTagWithIdentifier(QStringLiteral("NONE"), path);
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->isEmpty());

    // A file whose list names nothing has no custom tags.
    prepare(path, [](FlacFile&, TagLib::Ogg::XiphComment& c) { c.addField("CTIS", "XTRA"); });
    HLVTagMap noList;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(path, noList));
    EXPECT_FALSE(noList.CustomTagValues());
}

TEST(HLVTagLibFLACWriter, WritesEveryFieldAndReplacesAllItsValues)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    prepare(path, [](FlacFile&, TagLib::Ogg::XiphComment& c) {
        c.addField("COMPOSER", "Old one");
        c.addField("COMPOSER", "Old two", false);
        c.addField("ALBUM ARTIST", "Other Software");
        c.addField("GROUPING", "Kept");
        c.addField("DISCTOTAL", "4");
    });
    const QString composer = QStringLiteral("Józef 作曲家");
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Title"));
    map.setAlbumArtist(QStringLiteral("Band"));
    map.setTrackTotal(12);
    map.setDiscNumber(1);
    map.setComposer(composer);
    map.setCompilation(0);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));

    EXPECT_EQ(fieldValues(path, "TITLE"), QStringList{"Title"});
    EXPECT_EQ(fieldValues(path, "ALBUMARTIST"), QStringList{"Band"});
    EXPECT_EQ(fieldValues(path, "ALBUM ARTIST"), QStringList{"Other Software"});
    EXPECT_EQ(fieldValues(path, "TRACKTOTAL"), QStringList{"12"});
    EXPECT_EQ(fieldValues(path, "DISCNUMBER"), QStringList{"1"});
    EXPECT_EQ(fieldValues(path, "DISCTOTAL"), QStringList{"4"}); // absent in the map: untouched
    EXPECT_EQ(fieldValues(path, "COMPOSER"), QStringList{composer});
    EXPECT_EQ(fieldValues(path, "GROUPING"), QStringList{"Kept"});
    EXPECT_EQ(fieldValues(path, "COMPILATION"), QStringList{"0"});

    // What the user typed is stored as its UTF-8 bytes.
    const RawFlac raw = rawFlac(path);
    EXPECT_TRUE(raw.commentFields.contains("COMPOSER=" + composer.toUtf8()));

    HLVTagMap second;
    second.setTrackTotal(0);
    second.setDiscNumber(0);
    second.setDiscTotal(2);
    second.setGrouping(QStringLiteral("New"));
    second.setCompilation(1);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &second));
    EXPECT_TRUE(fieldValues(path, "TRACKTOTAL").isEmpty());
    EXPECT_TRUE(fieldValues(path, "DISCNUMBER").isEmpty());
    EXPECT_EQ(fieldValues(path, "DISCTOTAL"), QStringList{"2"});
    EXPECT_EQ(fieldValues(path, "GROUPING"), QStringList{"New"});
    EXPECT_EQ(fieldValues(path, "COMPILATION"), QStringList{"1"});
    EXPECT_EQ(fieldValues(path, "ALBUMARTIST"), QStringList{"Band"});
    EXPECT_EQ(fieldValues(path, "ALBUM ARTIST"), QStringList{"Other Software"});

    // And our own reader agrees.
    const auto read = HLVTagLib::loadTagsFromFileAtPath(path);
    EXPECT_EQ(read->AlbumArtist(), QStringLiteral("Band"));
    EXPECT_EQ(read->Composer(), composer);
    EXPECT_FALSE(read->TrackTotal());
    EXPECT_EQ(read->DiscTotal(), 2);
    EXPECT_EQ(read->Compilation(), 1);
}

TEST(HLVTagLibFLACWriter, EmbedsAndRemovesPictureBlocks)
{
    HLVTestFiles files;
    const QByteArray png = imageBytes("PNG", Qt::green);
    const QByteArray jpeg = imageBytes("JPEG", Qt::yellow);
    const QString pngPath = files.writeFile(QStringLiteral("cover.PNG"), png);
    const QString jpegPath = files.writeFile(QStringLiteral("cover.jpg"), jpeg);

    // A file without pictures gets a new block.
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    HLVTagMap map;
    map.setArtworkPath(pngPath);
    map.setArtworkState(HLVArtworkStateChosen);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    auto blocks = pictureBlocks(path);
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0].data, png);
    EXPECT_EQ(blocks[0].mimeType, QStringLiteral("image/png"));

    // The first block takes the new bytes and keeps its type and description.
    prepare(path, [&](FlacFile& f, TagLib::Ogg::XiphComment&) {
        f.removePictures();
        f.addPicture(newPicture(png, Picture::BackCover, "back"));
        f.addPicture(newPicture(png, Picture::Artist, "second"));
    });
    map.setArtworkPath(jpegPath);
    map.setArtworkState(HLVArtworkStateFound);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    blocks = pictureBlocks(path);
    ASSERT_EQ(blocks.size(), 2);
    EXPECT_EQ(blocks[0].data, jpeg);
    EXPECT_EQ(blocks[0].mimeType, QStringLiteral("image/jpeg"));
    EXPECT_EQ(blocks[0].type, int(Picture::BackCover));
    EXPECT_EQ(blocks[0].description, QStringLiteral("back"));
    EXPECT_EQ(blocks[1].description, QStringLiteral("second"));

    // States 0 and 1 leave the pictures alone even with a path.
    map.setArtworkPath(pngPath);
    map.setArtworkState(HLVArtworkStateInFile);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(pictureBlocks(path)[0].data, jpeg);

    // Removing one takes the first block only.
    ASSERT_TRUE(HLVTagLib::removeArtworkImageFromFileAtPath(path));
    blocks = pictureBlocks(path);
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0].description, QStringLiteral("second"));

    // State 4 takes every block; a picture inside the comment stays.
    prepare(path, [&](FlacFile& f, TagLib::Ogg::XiphComment& c) {
        f.addPicture(newPicture(png));
        c.addPicture(newPicture(jpeg, Picture::FrontCover, "in comment"));
    });
    ASSERT_EQ(pictureBlocks(path).size(), 2);
    HLVTagMap remove;
    remove.setArtworkState(HLVArtworkStateRemove);
    remove.setArtworkPath(pngPath);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &remove));
    EXPECT_TRUE(pictureBlocks(path).isEmpty());
    ASSERT_EQ(commentPictures(path).size(), 1);
    EXPECT_EQ(commentPictures(path)[0].description, QStringLiteral("in comment"));
    EXPECT_TRUE(HLVTagLib::removeArtworkImageFromFileAtPath(path)); // nothing left to remove
    EXPECT_EQ(commentPictures(path).size(), 1);

    // Adding on its own.
    ASSERT_TRUE(HLVTagLib::addArtwokImageToFileAtPath(path, pngPath));
    blocks = pictureBlocks(path);
    ASSERT_EQ(blocks.size(), 1);
    EXPECT_EQ(blocks[0].data, png);
}

TEST(HLVTagLibFLACWriter, AMissingImageLeavesThePicturesAsTheyWere)
{
    HLVTestFiles files;
    const QString missing = files.path(QStringLiteral("missing.png"));
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    const QByteArray before = HLVTestFiles::readAll(path);
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, missing));
    EXPECT_EQ(HLVTestFiles::readAll(path), before);

    HLVTagMap map;
    map.setComposer(QStringLiteral("Still written"));
    map.setArtworkPath(missing);
    map.setArtworkState(HLVArtworkStateChosen);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(fieldValues(path, "COMPOSER"), QStringList{"Still written"});
    EXPECT_TRUE(pictureBlocks(path).isEmpty()); // no empty picture block either

    EXPECT_EQ(HLVTagLibFLACWriter::pictureMimeType(QStringLiteral("/a/b.GIF"), QByteArray()), QStringLiteral("image/gif"));
    EXPECT_EQ(HLVTagLibFLACWriter::pictureMimeType(QStringLiteral("/a/b.bmp"), QByteArray()), QStringLiteral("image/bmp"));
    EXPECT_EQ(HLVTagLibFLACWriter::pictureMimeType(QStringLiteral("/a.png/b"), QByteArray()), QStringLiteral("image/jpeg"));
}

TEST(HLVTagLibFLACWriter, WritesCustomTagsAndTheirList)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    prepare(path, [](FlacFile&, TagLib::Ogg::XiphComment& c) {
        c.addField("CTIS", "GONE,MOOD,");
        c.addField("GONE", "one");
        c.addField("GONE", "two", false);
        c.addField("MOOD", "Calm");
        c.addField("NEWT", "old");
    });
    HLVTagMap map;
    map.setCustomTagIdentifierString(QStringLiteral("GONE,MOOD,"));
    map.setCustomTagValues(HLVCustomTagValueArray{
        customValue("GONE", QStringLiteral("one"), true),  // not in the catalogue: deleted
        customValue("MOOD", QStringLiteral("Calm"), true), // well known: stays in the file
        customValue("NEWT", QStringLiteral("Ça va")),
        customValue("NONE", std::nullopt),
    });
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_TRUE(fieldValues(path, "GONE").isEmpty());
    EXPECT_EQ(fieldValues(path, "MOOD"), QStringList{"Calm"});
    EXPECT_EQ(fieldValues(path, "NEWT"), QStringList{"Ça va"});
    EXPECT_TRUE(fieldValues(path, "NONE").isEmpty()); // TagLib stores no empty field
    EXPECT_EQ(fieldValues(path, "CTIS"), QStringList{"NEWT,NONE,"});

    const auto read = HLVTagLib::loadTagsFromFileAtPath(path);
    ASSERT_TRUE(read->CustomTagValues());
    ASSERT_EQ(read->CustomTagValues()->size(), 2);
    EXPECT_EQ(read->CustomTagValues()->at(0)->value(), QStringLiteral("Ça va"));
    EXPECT_FALSE(read->CustomTagValues()->at(1)->value());

    // Emptying the list removes it.
    HLVTagMap empty;
    empty.setCustomTagIdentifierString(QStringLiteral("NEWT,NONE,"));
    empty.setCustomTagValues(HLVCustomTagValueArray{customValue("NEWT", std::nullopt, true),
                                                    customValue("NONE", std::nullopt, true)});
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &empty));
    EXPECT_TRUE(fieldValues(path, "CTIS").isEmpty());
    EXPECT_TRUE(fieldValues(path, "NEWT").isEmpty());
}

// Saving rewrites the metadata only: the audio frames stay byte for byte,
// whether the metadata grows past the padding or shrinks again.
TEST(HLVTagLibFLACWriter, SavingKeepsTheAudioFrames)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    const RawFlac before = rawFlac(path);
    ASSERT_TRUE(before.sound);
    ASSERT_FALSE(before.audio.isEmpty());

    QByteArray large(64 * 1024, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char((i * 7919) >> 3);
    const QString image = files.writeFile(QStringLiteral("large.png"), large);
    HLVTagMap grow;
    grow.setComposer(QString(20000, QLatin1Char('c')));
    grow.setArtworkPath(image);
    grow.setArtworkState(HLVArtworkStateChosen);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &grow));
    const RawFlac grown = rawFlac(path);
    ASSERT_TRUE(grown.sound);
    EXPECT_TRUE(grown.audio == before.audio);
    EXPECT_EQ(pictureBlocks(path).value(0).data, large);

    HLVTagMap shrink;
    shrink.setComposer(QStringLiteral("c"));
    shrink.setArtworkState(HLVArtworkStateRemove);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &shrink));
    const RawFlac shrunk = rawFlac(path);
    ASSERT_TRUE(shrunk.sound);
    EXPECT_TRUE(shrunk.audio == before.audio);
}

// Some taggers put an ID3v2 tag before the FLAC stream; TagLib reads past it.
TEST(HLVTagLibFLACWriter, AcceptsALeadingID3v2Tag)
{
    HLVTestFiles files;
    const QByteArray body = QByteArray("TIT2", 4) + QByteArray::fromHex("000000060000") + QByteArray("\0Hello", 6)
        + QByteArray(20, '\0');
    QByteArray tag = QByteArray("ID3\x04\0\0", 6) + QByteArray(3, '\0') + char(body.size()) + body;
    const QString path = files.writeFile(QStringLiteral("id3.flac"),
                                         tag + HLVTestFiles::readAll(HLVTestFiles::fixturePath("tone.flac")));
    const QByteArray audio = rawFlac(path).audio;
    ASSERT_FALSE(audio.isEmpty());
    HLVTagMap map;
    map.setComposer(QStringLiteral("Behind ID3"));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(fieldValues(path, "COMPOSER"), QStringList{"Behind ID3"});
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->Composer(), QStringLiteral("Behind ID3"));
    EXPECT_TRUE(rawFlac(path).audio == audio);
}

// A metadata block can hold at most 16 MiB; TagLib would write a longer one
// with a wrapped length and leave an unreadable file.
TEST(HLVTagLibFLACWriter, RefusesBlocksTooLongForTheFormat)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    const QByteArray before = HLVTestFiles::readAll(path);
    const QString huge = files.writeFile(QStringLiteral("huge.png"), QByteArray(17 * 1024 * 1024, 'x'));
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, huge));
    EXPECT_EQ(HLVTestFiles::readAll(path), before);

    HLVTagMap map;
    map.setGrouping(QStringLiteral("Written"));
    map.setArtworkPath(huge);
    map.setArtworkState(HLVArtworkStateChosen);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(fieldValues(path, "GROUPING"), QStringList{"Written"});
    EXPECT_TRUE(pictureBlocks(path).isEmpty());

    const QByteArray saved = HLVTestFiles::readAll(path);
    HLVTagMap tooLong;
    tooLong.setComposer(QString(16 * 1024 * 1024, QLatin1Char('c')));
    EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &tooLong));
    EXPECT_EQ(HLVTestFiles::readAll(path), saved);
}

// Broken files read as nothing, save as nothing and stay as they were.
TEST(HLVTagLibFLAC, BadFilesAreRefusedAndLeftAlone)
{
    HLVTestFiles files;
    const QString tagged = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("tagged.flac"));
    prepare(tagged, [](FlacFile& f, TagLib::Ogg::XiphComment& c) {
        c.setTitle("Title");
        c.addField("COMPOSER", "Composer");
        f.addPicture(newPicture(imageBytes("PNG", Qt::red)));
    });
    const QByteArray whole = HLVTestFiles::readAll(tagged);
    // The blocks: STREAMINFO at 4, then the others; find the last one's header.
    qsizetype lastHeader = 4;
    while (!(quint8(whole.at(lastHeader)) & 0x80))
        lastHeader += 4 + ((quint8(whole.at(lastHeader + 1)) << 16) | (quint8(whole.at(lastHeader + 2)) << 8)
                           | quint8(whole.at(lastHeader + 3)));
    auto withLastLength = [&](int delta) {
        QByteArray bytes = whole;
        const int length = ((quint8(bytes.at(lastHeader + 1)) << 16) | (quint8(bytes.at(lastHeader + 2)) << 8)
                            | quint8(bytes.at(lastHeader + 3)))
            + delta;
        bytes[lastHeader + 1] = char(length >> 16);
        bytes[lastHeader + 2] = char(length >> 8);
        bytes[lastHeader + 3] = char(length);
        return bytes;
    };
    QByteArray hugeFirst = whole;
    hugeFirst[5] = hugeFirst[6] = hugeFirst[7] = char(0xFF);

    const QStringList bad = {
        files.writeFile(QStringLiteral("cut-header.flac"), whole.left(40)),
        files.writeFile(QStringLiteral("cut-blocks.flac"), whole.left(lastHeader + 10)),
        // Longer by more than the picture and padding could explain.
        files.writeFile(QStringLiteral("much-longer.flac"), withLastLength(300000)),
        files.writeFile(QStringLiteral("past-end.flac"), hugeFirst),
        files.copyFixture(QStringLiteral("tone.ogg"), QStringLiteral("ogg.flac")),
        files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("mp3.flac")),
    };
    const QString image = files.writeFile(QStringLiteral("cover.png"), imageBytes("PNG", Qt::blue));
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Not written"));
    map.setComposer(QStringLiteral("Not written"));
    map.setArtworkPath(image);
    map.setArtworkState(HLVArtworkStateChosen);
    for (const QString& path : bad) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray before = HLVTestFiles::readAll(path);
        HLVTagMap read;
        EXPECT_FALSE(HLVTagLibFLACReader().readTagsFromFileAtPath(path, read));
        EXPECT_FALSE(HLVTagLib::readTagWithIdentifier(QStringLiteral("COMPOSER"), path));
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(path, image));
        EXPECT_FALSE(HLVTagLib::removeArtworkImageFromFileAtPath(path));
        EXPECT_EQ(HLVTestFiles::readAll(path), before);
    }

    // A picture or padding block whose declared length is off, as some encoders
    // write it: its own contents say where it ends, so it reads, and a save
    // writes it with the right length and keeps the audio.
    qsizetype pictureHeader = 4;
    while ((quint8(whole.at(pictureHeader)) & 0x7F) != 6)
        pictureHeader += 4 + ((quint8(whole.at(pictureHeader + 1)) << 16) | (quint8(whole.at(pictureHeader + 2)) << 8)
                              | quint8(whole.at(pictureHeader + 3)));
    ASSERT_LT(pictureHeader, lastHeader);
    auto withPictureLength = [&](int delta) {
        QByteArray bytes = whole;
        const int length = quint8(bytes.at(pictureHeader + 3)) + (quint8(bytes.at(pictureHeader + 2)) << 8) + delta;
        bytes[pictureHeader + 2] = char(length >> 8);
        bytes[pictureHeader + 3] = char(length);
        return bytes;
    };
    const QByteArray audio = rawFlac(tagged).audio;
    const QList<QByteArray> offLengths = {withLastLength(100), withLastLength(-100), withLastLength(3),
                                          withPictureLength(5), withPictureLength(-2)};
    for (const QByteArray& bytes : offLengths) {
        SCOPED_TRACE(offLengths.indexOf(bytes));
        const QString path = files.writeFile(QStringLiteral("off.flac"), bytes);
        HLVTagMap read;
        EXPECT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(path, read));
        EXPECT_EQ(read.Composer(), QStringLiteral("Composer"));
        HLVFailure failure;
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map, &failure)) << failure.message.toStdString();
        EXPECT_EQ(fieldValues(path, "COMPOSER"), QStringList{"Not written"});
        ASSERT_EQ(pictureBlocks(path).size(), 1);
        EXPECT_TRUE(rawFlac(path).audio == audio);
        EXPECT_TRUE(rawFlac(path).sound);
    }

    // Bytes between the metadata and the first frame: harmless to read, but a
    // save would not know where the audio begins.
    const qsizetype audioStart = whole.size() - audio.size();
    const QString gap = files.writeFile(QStringLiteral("gap.flac"),
                                        whole.left(audioStart) + QByteArray("junk") + whole.mid(audioStart));
    const QByteArray gapBefore = HLVTestFiles::readAll(gap);
    HLVTagMap gapRead;
    EXPECT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(gap, gapRead));
    EXPECT_EQ(gapRead.TrackName(), QStringLiteral("Title"));
    HLVFailure gapFailure;
    EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(gap, &map, &gapFailure));
    EXPECT_EQ(gapFailure.kind, HLVFailure::Kind::StructureRefused);
    EXPECT_EQ(HLVTestFiles::readAll(gap), gapBefore);

    // Audio cut short after whole metadata is still a file worth tagging, and
    // what audio it has stays.
    const QString shortAudio = files.writeFile(QStringLiteral("short-audio.flac"), whole.left(whole.size() - 20000));
    const QByteArray audioBefore = rawFlac(shortAudio).audio;
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(shortAudio, &map));
    EXPECT_EQ(fieldValues(shortAudio, "COMPOSER"), QStringList{"Not written"});
    EXPECT_TRUE(rawFlac(shortAudio).audio == audioBefore);
}

TEST(HLVTagLibFLACWriter, CreatesTheCommentWhenTheFileHasNone)
{
    HLVTestFiles files;
    // The fixture's blocks: STREAMINFO, the comment, padding. Drop the comment.
    const QByteArray whole = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.flac")));
    ASSERT_EQ(quint8(whole.at(42)) & 0x7F, 4);
    const qsizetype commentEnd = 42 + 4 + quint8(whole.at(45));
    const QString path = files.writeFile(QStringLiteral("plain.flac"), whole.left(42) + whole.mid(commentEnd));
    ASSERT_FALSE(FlacFile(QFile::encodeName(path).constData()).hasXiphComment());

    HLVTagMap read;
    ASSERT_TRUE(HLVTagLibFLACReader().readTagsFromFileAtPath(path, read));
    EXPECT_FALSE(read.Composer());
    EXPECT_EQ(read.ArtworkState(), HLVArtworkStateNone);
    EXPECT_EQ(HLVTagLib::readTagWithIdentifier(QStringLiteral("COMPOSER"), path), QString());

    HLVTagMap map;
    map.setComposer(QStringLiteral("New"));
    map.setDiscTotal(2);
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(fieldValues(path, "COMPOSER"), QStringList{"New"});
    EXPECT_EQ(fieldValues(path, "DISCTOTAL"), QStringList{"2"});
    EXPECT_TRUE(rawFlac(path).audio == rawFlac(HLVTestFiles::fixturePath(QStringLiteral("tone.flac"))).audio);
}
