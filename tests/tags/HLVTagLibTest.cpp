#include "HLVFileData.h"
#include "HLVOtherWriters.h"
#include "HLVTagField.h"
#include "HLVTagLib.h"
#include "HLVTagLibFLACReader.h"
#include "HLVTagLibFLACWriter.h"
#include "HLVTagLibMP3Reader.h"
#include "HLVTagLibMP3Writer.h"
#include "HLVTagLibMP4Reader.h"
#include "HLVTagLibMP4Writer.h"
#include "HLVTestEnvironment.h"
#include "HLVTestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QtEndian>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/xiphcomment.h>
#include <typeinfo>

namespace {

// What any other program would see: TagLib's own Unicode conversion.
QString taglibTitle(const QString& path)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    if (file.isNull() || !file.tag())
        return QStringLiteral("<unreadable>");
    return QString::fromUtf8(file.tag()->title().toCString(true));
}

void taglibSet(const QString& path, const std::function<void(TagLib::Tag&)>& change)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull());
    change(*file.tag());
    ASSERT_TRUE(file.save());
}

const QStringList kFixtures = {"tone.mp3", "tone.m4a", "tone.flac", "tone.ogg", "tone.wav"};

} // namespace

TEST(HLVTagLib, DispatchesByExtensionInAnyCase)
{
    EXPECT_TRUE(dynamic_cast<HLVTagLibMP3Reader*>(HLVTagLib::readerForPath("/m/Song.MP3").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibMP4Reader*>(HLVTagLib::readerForPath("/m/a.M4P").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibMP4Reader*>(HLVTagLib::readerForPath("/m/a.mp4").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibFLACReader*>(HLVTagLib::readerForPath("/m/b.Flac").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibMP3Writer*>(HLVTagLib::writerForPath("/m/Song.mP3").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibMP4Writer*>(HLVTagLib::writerForPath("/m/x.m4a").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibMP4Writer*>(HLVTagLib::writerForPath("/m/book.M4B").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibMP4Reader*>(HLVTagLib::readerForPath("/m/book.m4b").get()));
    EXPECT_TRUE(dynamic_cast<HLVTagLibFLACWriter*>(HLVTagLib::writerForPath("/m/b.FLAC").get()));
    for (const char* other : {"/m/c.ogg", "/m/d.wav", "/m/noextension", "/m.mp3/noextension", "/m/e.mp3.bak"}) {
        const auto reader = HLVTagLib::readerForPath(QString::fromLatin1(other));
        const auto writer = HLVTagLib::writerForPath(QString::fromLatin1(other));
        const HLVTagLibReader& readerObject = *reader;
        const HLVTagLibWriter& writerObject = *writer;
        EXPECT_EQ(typeid(readerObject), typeid(HLVTagLibReader)) << other;
        EXPECT_EQ(typeid(writerObject), typeid(HLVTagLibWriter)) << other;
    }
}

TEST(HLVTagLib, GenericFieldsRoundTripOnEveryFormat)
{
    HLVTestFiles files;
    for (const QString& fixture : kFixtures) {
        SCOPED_TRACE(fixture.toStdString());
        const QString path = files.copyFixture(fixture);
        HLVTagMap map;
        map.setTrackName(QStringLiteral("Title"));
        map.setArtistName(QStringLiteral("Artist"));
        map.setAlbumName(QStringLiteral("Album"));
        map.setComment(QStringLiteral("Comment"));
        map.setGenre(QStringLiteral("Jazz"));
        map.setReleaseYear(1987);
        map.setTrackNumber(4);
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));

        TagLib::FileRef file(QFile::encodeName(path).constData());
        ASSERT_FALSE(file.isNull());
        EXPECT_EQ(file.tag()->title(), TagLib::String("Title"));
        EXPECT_EQ(file.tag()->artist(), TagLib::String("Artist"));
        EXPECT_EQ(file.tag()->album(), TagLib::String("Album"));
        EXPECT_EQ(file.tag()->comment(), TagLib::String("Comment"));
        EXPECT_EQ(file.tag()->genre(), TagLib::String("Jazz"));
        EXPECT_EQ(file.tag()->year(), 1987u);
        EXPECT_EQ(file.tag()->track(), 4u);

        auto read = HLVTagLib::loadTagsFromFileAtPath(path);
        EXPECT_EQ(read->TrackName(), QStringLiteral("Title"));
        EXPECT_EQ(read->ArtistName(), QStringLiteral("Artist"));
        EXPECT_EQ(read->AlbumName(), QStringLiteral("Album"));
        EXPECT_EQ(read->Comment(), QStringLiteral("Comment"));
        EXPECT_EQ(read->Genre(), QStringLiteral("Jazz"));
        EXPECT_EQ(read->ReleaseYear(), 1987);
        EXPECT_EQ(read->TrackNumber(), 4);
    }
}

TEST(HLVTagLib, AMapWithOnlyAGenreChangesOnlyTheGenre)
{
    HLVTestFiles files;
    for (const QString& fixture : kFixtures) {
        SCOPED_TRACE(fixture.toStdString());
        const QString path = files.copyFixture(fixture);
        taglibSet(path, [](TagLib::Tag& tag) {
            tag.setTitle("Kept title");
            tag.setArtist("Kept artist");
            tag.setAlbum("Kept album");
            tag.setYear(2001);
            tag.setTrack(9);
            tag.setGenre("Old");
        });
        HLVTagMap map;
        map.setGenre(QStringLiteral("Blues"));
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));

        TagLib::FileRef file(QFile::encodeName(path).constData());
        EXPECT_EQ(file.tag()->genre(), TagLib::String("Blues"));
        EXPECT_EQ(file.tag()->title(), TagLib::String("Kept title"));
        EXPECT_EQ(file.tag()->artist(), TagLib::String("Kept artist"));
        EXPECT_EQ(file.tag()->album(), TagLib::String("Kept album"));
        EXPECT_EQ(file.tag()->year(), 2001u);
        EXPECT_EQ(file.tag()->track(), 9u);
    }
}

TEST(HLVTagLib, UnicodeTextIsStoredAsUnicode)
{
    HLVTestFiles files;
    const QString japanese = QStringLiteral("夜に駆ける – Café");
    for (const QString& fixture : {QStringLiteral("tone.mp3"), QStringLiteral("tone.m4a"), QStringLiteral("tone.flac")}) {
        SCOPED_TRACE(fixture.toStdString());
        const QString path = files.copyFixture(fixture);
        HLVTagMap map;
        map.setTrackName(japanese);
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        EXPECT_EQ(taglibTitle(path), japanese);
        EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->TrackName(), japanese);
    }
}

TEST(HLVTagLib, ReadsLatin1AndLegacyUtf8AsLatin1Text)
{
    HLVTestFiles files;
    for (const QString& fixture : {QStringLiteral("tone.mp3"), QStringLiteral("tone.m4a"), QStringLiteral("tone.flac")}) {
        SCOPED_TRACE(fixture.toStdString());
        const QString path = files.copyFixture(fixture);
        taglibSet(path, [](TagLib::Tag& tag) {
            // Another program's plain Latin-1 e-acute.
            tag.setTitle(TagLib::String(std::string("Caf\xE9"), TagLib::String::Latin1));
            // The old rule: UTF-8 bytes stored one per character.
            tag.setArtist(TagLib::String(std::string("Bj\xC3\xB6rk \xE5\xA4\x9C"), TagLib::String::Latin1));
            // Latin-1 text that merely looks like it could be UTF-8 stays as it is.
            tag.setAlbum(TagLib::String(std::string("\xC3"), TagLib::String::Latin1));
        });
        auto map = HLVTagLib::loadTagsFromFileAtPath(path);
        EXPECT_EQ(map->TrackName(), QStringLiteral("Café"));
        EXPECT_EQ(map->ArtistName(), QStringLiteral("Björk 夜"));
        EXPECT_EQ(map->AlbumName(), QStringLiteral("Ã"));
    }
}

TEST(HLVTagLib, GenericOperationsOnOtherFormats)
{
    HLVTestFiles files;
    const QString ogg = files.copyFixture(QStringLiteral("tone.ogg"));
    EXPECT_FALSE(HLVTagLib::readTagWithIdentifier(QStringLiteral("TITL"), ogg));
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(ogg, files.path(QStringLiteral("cover.png"))));
    EXPECT_FALSE(HLVTagLib::removeArtworkImageFromFileAtPath(ogg));
    // Without an extension TagLib goes by the contents.
    const QString noExtension = files.copyFixture(QStringLiteral("tone.ogg"), QStringLiteral("tone"));
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Bare"));
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(noExtension, &map));
    EXPECT_EQ(taglibTitle(noExtension), QStringLiteral("Bare"));
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(noExtension)->TrackName(), QStringLiteral("Bare"));
    EXPECT_FALSE(HLVTagLib::readTagWithIdentifier(QStringLiteral("TIT2"), noExtension));
}

TEST(HLVTagLib, AbsentArgumentsGiveEmptyResults)
{
    HLVTagMap map;
    EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(std::nullopt, &map));
    HLVTestFiles files;
    EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(files.copyFixture("tone.mp3"), nullptr));
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(std::nullopt, QStringLiteral("x.png")));
    EXPECT_FALSE(HLVTagLib::addArtwokImageToFileAtPath(files.path("tone.mp3"), std::nullopt));
    EXPECT_FALSE(HLVTagLib::removeArtworkImageFromFileAtPath(std::nullopt));
    EXPECT_FALSE(HLVTagLib::readTagWithIdentifier(QStringLiteral("TIT2"), std::nullopt));
    auto empty = HLVTagLib::loadTagsFromFileAtPath(std::nullopt);
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->TrackName());
}

// Bad files: an empty map or false, never a crash, and the file stays as it was.
TEST(HLVTagLib, BadFilesAreLeftAlone)
{
    HLVTestFiles files;
    QStringList bad;
    for (const QString& ext : {QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("flac"), QStringLiteral("ogg")}) {
        bad << files.writeFile("empty." + ext, QByteArray());
        bad << files.writeFile("garbage." + ext, QByteArray(4096, '\x5a'));
    }
    // Cut inside the first metadata or header structure.
    for (const QString& ext : {QStringLiteral("m4a"), QStringLiteral("flac")}) {
        const QByteArray whole = HLVTestFiles::readAll(HLVTestFiles::fixturePath("tone." + ext));
        bad << files.writeFile("truncated." + ext, whole.left(300));
    }
    QDir(files.path(QString())).mkdir(QStringLiteral("folder.mp3"));
    bad << files.path(QStringLiteral("folder.mp3"));
    bad << files.path(QStringLiteral("missing.flac"));

    HLVTagMap map;
    map.setTrackName(QStringLiteral("Should not be written"));
    map.setAlbumArtist(QStringLiteral("Nor this"));
    map.setTrackTotal(12);
    map.setArtworkState(HLVArtworkStateRemove);
    const QString missing = files.path(QStringLiteral("missing.flac"));
    for (const QString& path : bad) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray before = HLVTestFiles::readAll(path);
        bool readable = true;
        HLVFailure readFailure;
        HLVTagLib::loadTagsFromFileAtPath(path, &readable, &readFailure);
        EXPECT_FALSE(readable);
        HLVFailure saveFailure;
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map, &saveFailure));
        // Every refusal says why, and a missing file is told from a bad one
        // and a damaged one.
        for (const HLVFailure& failure : {readFailure, saveFailure}) {
            EXPECT_FALSE(failure.message.isEmpty());
            const auto expected = path == missing || path.endsWith(QLatin1String("folder.mp3"))
                ? HLVFailure::Kind::FileMissing
                : path.contains(QLatin1String("truncated")) ? HLVFailure::Kind::StructureRefused
                                                             : HLVFailure::Kind::NotAudio;
            EXPECT_EQ(failure.kind, expected) << failure.message.toStdString();
        }
        HLVTagLib::removeArtworkImageFromFileAtPath(path);
        HLVTagLib::readTagWithIdentifier(QStringLiteral("TIT2"), path);
        EXPECT_EQ(HLVTestFiles::readAll(path), before);
    }
}

// A downloaded cover has no extension: the picture's own bytes name its format in every writer.
TEST(HLVTagLib, PictureFormatComesFromItsBytes)
{
    HLVTestFiles files;
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::darkRed);
    const QString cover = files.path(QStringLiteral("cover"));
    ASSERT_TRUE(image.save(cover, "PNG"));
    HLVTagMap map;
    map.setArtworkPath(cover);
    map.setArtworkState(HLVArtworkStateChosen);

    const QString mp3 = files.copyFixture(QStringLiteral("tone.mp3"));
    const QString m4a = files.copyFixture(QStringLiteral("tone.m4a"));
    const QString flac = files.copyFixture(QStringLiteral("tone.flac"));
    for (const QString& path : {mp3, m4a, flac})
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map)) << path.toStdString();

    TagLib::MPEG::File mpeg(QFile::encodeName(mp3).constData());
    const auto apic = mpeg.ID3v2Tag()->frameList("APIC");
    ASSERT_EQ(apic.size(), 1u);
    EXPECT_EQ(dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(apic.front())->mimeType(), "image/png");
    TagLib::MP4::File mp4(QFile::encodeName(m4a).constData());
    const auto covers = mp4.tag()->item("covr").toCoverArtList();
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_EQ(covers.front().format(), TagLib::MP4::CoverArt::PNG);
    TagLib::FLAC::File flacFile(QFile::encodeName(flac).constData());
    ASSERT_EQ(flacFile.pictureList().size(), 1u);
    EXPECT_EQ(flacFile.pictureList().front()->mimeType(), "image/png");
}

// A cut-off MP3 is still MPEG audio: saving may succeed, but the audio bytes stay.
TEST(HLVTagLib, TruncatedMP3KeepsItsAudio)
{
    HLVTestFiles files;
    const QByteArray audio = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3"))).left(1000);
    const QString path = files.writeFile(QStringLiteral("cut.mp3"), audio);
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Short"));
    if (HLVTagLib::saveTagsToFileAtPath(path, &map)) {
        EXPECT_TRUE(HLVTestFiles::readAll(path).contains(audio)); // between ID3v2 and ID3v1
        EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->TrackName(), QStringLiteral("Short"));
    } else {
        EXPECT_EQ(HLVTestFiles::readAll(path), audio);
    }
}

// Root ignores file permissions: the test scripts run this test again as an
// unprivileged user (scripts/test-unprivileged), so it runs in CI too.
TEST(HLVTagLib, UnreadableAndReadOnlyFiles)
{
    if (HLVTestEnvironment::runningAsRoot())
        GTEST_SKIP() << "permissions do not apply to root; scripts/test-unprivileged runs this test";
    HLVTestFiles files;
    for (const char* fixture : {"tone.mp3", "tone.m4a", "tone.flac"}) {
        SCOPED_TRACE(fixture);
        const QString path = files.copyFixture(QString::fromLatin1(fixture));
        taglibSet(path, [](TagLib::Tag& tag) { tag.setTitle("Before"); });
        const QByteArray before = HLVTestFiles::readAll(path);

        QFile::setPermissions(path, QFileDevice::ReadOwner);
        EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->TrackName(), QStringLiteral("Before"));
        HLVTagMap map;
        map.setTrackName(QStringLiteral("After"));
        HLVFailure failure;
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map, &failure));
        EXPECT_EQ(failure.kind, HLVFailure::Kind::ReadOnly);
        EXPECT_EQ(HLVTestFiles::readAll(path), before);

        QFile::setPermissions(path, QFileDevice::WriteOwner);
        bool readable = true;
        EXPECT_FALSE(HLVTagLib::loadTagsFromFileAtPath(path, &readable)->TrackName());
        EXPECT_FALSE(readable);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}

// A picture the program adds is the front cover players look for; a FLAC
// picture block also says how large the picture is and how deep its colours
// are. A picture already there keeps its type.
TEST(HLVTagLib, ANewPictureIsAFrontCoverThatFLACDescribes)
{
    HLVTestFiles files;
    QImage photo(5, 3, QImage::Format_RGB32);
    photo.fill(Qt::darkRed);
    const QString jpeg = files.path(QStringLiteral("cover.jpg"));
    ASSERT_TRUE(photo.save(jpeg, "JPEG"));
    QImage drawing(4, 2, QImage::Format_Indexed8);
    drawing.setColorTable({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)});
    drawing.fill(1);
    const QString palette = files.path(QStringLiteral("palette.png"));
    ASSERT_TRUE(drawing.save(palette, "PNG"));
    HLVTagMap map;
    map.setArtworkPath(jpeg);
    map.setArtworkState(HLVArtworkStateChosen);

    // Through a save (the artwork well, set --artwork) and on its own.
    const QString saved = files.copyFixture(QStringLiteral("tone.mp3"));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(saved, &map));
    const QString added = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("added.mp3"));
    ASSERT_TRUE(HLVTagLib::addArtwokImageToFileAtPath(added, palette));
    for (const QString& path : {saved, added}) {
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        const auto frames = file.ID3v2Tag()->frameList("APIC");
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frames.front())->type(),
                  TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    }

    struct Block
    {
        int type, width, height, depth, colours;
        bool operator==(const Block&) const = default;
    };
    auto block = [](const QString& path) {
        TagLib::FLAC::File file(QFile::encodeName(path).constData());
        EXPECT_EQ(file.pictureList().size(), 1u);
        const TagLib::FLAC::Picture* p = file.pictureList().front();
        return Block{int(p->type()), p->width(), p->height(), p->colorDepth(), p->numColors()};
    };
    const QString flac = files.copyFixture(QStringLiteral("tone.flac"));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(flac, &map));
    EXPECT_EQ(block(flac), (Block{TagLib::FLAC::Picture::FrontCover, 5, 3, 24, 0}));
    {
        TagLib::FLAC::File file(QFile::encodeName(flac).constData());
        file.pictureList().front()->setType(TagLib::FLAC::Picture::BackCover);
        ASSERT_TRUE(file.save());
    }
    ASSERT_TRUE(HLVTagLib::addArtwokImageToFileAtPath(flac, palette));
    EXPECT_EQ(block(flac), (Block{TagLib::FLAC::Picture::BackCover, 4, 2, 8, 3}));
}

namespace {

// A file's tags as TagLib gives them, key by key: ID3v2 frames, MP4 items,
// FLAC comment fields. An empty value is a frame, item or field left empty.
QMap<QString, QString> storedTags(const QString& path)
{
    QMap<QString, QString> tags;
    auto text = [](const TagLib::String& s) { return QString::fromStdWString(s.toWString()); };
    auto add = [&tags](const QString& key, const QString& value) {
        tags[key] = tags.contains(key) ? tags[key] + QLatin1Char('|') + value : value;
    };
    const QByteArray name = QFile::encodeName(path);
    if (path.endsWith(QLatin1String(".mp3"))) {
        TagLib::MPEG::File file(name.constData());
        if (file.ID3v2Tag())
            for (const auto* frame : file.ID3v2Tag()->frameList())
                add(QString::fromLatin1(frame->frameID().data(), 4), text(frame->toString()));
    } else if (path.endsWith(QLatin1String(".m4a"))) {
        TagLib::MP4::File file(name.constData());
        for (const auto& [key, item] : file.tag()->itemMap()) {
            const QString k = QString::fromLatin1(key.toCString());
            if (k == QLatin1String("trkn") || k == QLatin1String("disk"))
                add(k, QStringLiteral("%1/%2").arg(item.toIntPair().first).arg(item.toIntPair().second));
            else if (k == QLatin1String("cpil"))
                add(k, item.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
            else
                add(k, text(item.toStringList().toString(" | ")));
        }
    } else {
        TagLib::FLAC::File file(name.constData());
        for (const auto& [key, values] : file.xiphComment(true)->fieldListMap())
            for (const auto& value : values)
                add(text(key), text(value));
    }
    return tags;
}

} // namespace

// Emptying a field removes its frame, item or comment field in every format and
// ID3v2 version, alone or with every field (Remove Tags, set --clear), so no
// other program shows an empty one; an emptied half of a number pair leaves the
// other half as a pair without it. The compilation flag is a value, never empty.
TEST(HLVTagLib, AnEmptiedFieldLeavesNoEmptyFrameItemOrField)
{
    struct Emptied
    {
        const char* key;
        const char* after = nullptr; // what the key holds afterwards; null: nothing
    };
    struct Row
    {
        const char* field;
        Emptied mp3, mp4, flac;
    };
    const Row rows[] = {
        {"TrackName", {"TIT2"}, {"\xA9nam"}, {"TITLE"}},
        {"ArtistName", {"TPE1"}, {"\xA9" "ART"}, {"ARTIST"}},
        {"AlbumName", {"TALB"}, {"\xA9" "alb"}, {"ALBUM"}},
        {"AlbumArtist", {"TPE2"}, {"aART"}, {"ALBUMARTIST"}},
        {"Genre", {"TCON"}, {"\xA9gen"}, {"GENRE"}},
        {"ReleaseYear", {"TDRC"}, {"\xA9" "day"}, {"DATE"}},
        {"TrackNumber", {"TRCK", "0/12"}, {"trkn", "0/12"}, {"TRACKNUMBER"}},
        {"TrackTotal", {"TRCK", "3"}, {"trkn", "3/0"}, {"TRACKTOTAL"}},
        {"DiscNumber", {"TPOS", "0/2"}, {"disk", "0/2"}, {"DISCNUMBER"}},
        {"DiscTotal", {"TPOS", "1"}, {"disk", "1/0"}, {"DISCTOTAL"}},
        {"Composer", {"TCOM"}, {"\xA9wrt"}, {"COMPOSER"}},
        {"Grouping", {"TIT1"}, {"\xA9grp"}, {"GROUPING"}},
        {"Comment", {"COMM"}, {"\xA9" "cmt"}, {"COMMENT"}},
    };
    const Row compilation{"Compilation", {"TCMP"}, {"cpil"}, {"COMPILATION"}};
    struct Variant
    {
        const char* name;
        const char* fixture;
        int id3v2Version;
        Emptied Row::*column;
    };
    const Variant variants[] = {
        {"ID3v2.3", "tone.mp3", 3, &Row::mp3},
        {"ID3v2.4", "tone.mp3", 4, &Row::mp3},
        {"MPEG-4", "tone.m4a", 0, &Row::mp4},
        {"FLAC", "tone.flac", 0, &Row::flac},
    };

    HLVTagMap full;
    for (const HLVTagField& field : HLVTagField::all()) {
        if (field.numeric)
            field.setNumber(full, field.key == QLatin1String("ReleaseYear") ? 1999 : 1);
        else
            field.setText(full, field.key);
    }
    full.setTrackNumber(3);
    full.setTrackTotal(12);
    full.setDiscTotal(2);

    HLVTestFiles files;
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        HLVTagLib::setID3v2Version(variant.id3v2Version);
        const QString path = files.copyFixture(QString::fromLatin1(variant.fixture));
        const QMap<QString, QString> untagged = storedTags(path);
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &full));
        const QMap<QString, QString> tagged = storedTags(path);
        for (const Row& row : rows)
            EXPECT_FALSE(tagged.value(QString::fromLatin1((row.*variant.column).key)).isEmpty()) << row.field;

        // Remove Tags: what the file had before, and the compilation flag.
        const QString cleared = files.writeFile(QStringLiteral("cleared-") + QFileInfo(path).fileName(),
                                                HLVTestFiles::readAll(path));
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(cleared, HLVFileData::removeTagsTagMap().get()));
        QMap<QString, QString> expected = untagged;
        const QString flag = QString::fromLatin1((compilation.*variant.column).key);
        expected.insert(flag, tagged.value(flag));
        EXPECT_EQ(storedTags(cleared), expected);

        for (const Row& row : rows) {
            SCOPED_TRACE(row.field);
            const QString one = files.writeFile(QStringLiteral("one-") + QFileInfo(path).fileName(),
                                                HLVTestFiles::readAll(path));
            HLVTagMap emptied;
            const HLVTagField* field = HLVTagField::withKey(QString::fromLatin1(row.field));
            if (field->numeric)
                field->setNumber(emptied, 0);
            else
                field->setText(emptied, QString());
            ASSERT_TRUE(HLVTagLib::writerForPath(one)->writeTagsToFileAtPath(one, emptied));
            const Emptied& change = row.*variant.column;
            expected = tagged;
            if (change.after)
                expected.insert(QString::fromLatin1(change.key), QString::fromLatin1(change.after));
            else
                expected.remove(QString::fromLatin1(change.key));
            EXPECT_EQ(storedTags(one), expected);
        }
    }
    HLVTagLib::setID3v2Version(0);
}

// A file whose structure is damaged is refused with a reason that names the
// structure and the damage, on reading and on saving, and stays as it was.
TEST(HLVTagLib, ADamagedStructureIsNamedInTheReason)
{
    const QByteArray mp3 = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")));
    const QByteArray m4a = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.m4a")));
    auto withBoxSize = [&m4a](const char* type, quint32 size) {
        QByteArray bytes = m4a;
        qToBigEndian(size, bytes.data() + bytes.indexOf(type) - 4);
        return bytes;
    };
    struct Case
    {
        const char* name;
        QByteArray bytes;
        const char* readReason; // null: the file reads
        const char* saveReason;
    };
    const Case cases[] = {
        {"stream-info.flac", HLVOtherWriters::flacWithLongStreamInfo(),
         "the FLAC metadata is damaged: block 1 claims more bytes than it holds",
         "the FLAC metadata is damaged: block 1 claims more bytes than it holds"},
        {"cut-tag.mp3", QByteArray::fromHex("49443304000000007f00") + mp3.left(1000),
         "the ID3v2 tag is damaged: its header claims more bytes than the file holds",
         "the ID3v2 tag is damaged: its header claims more bytes than the file holds"},
        {"long-tag.mp3", QByteArray::fromHex("49443304000000000800") + QByteArray(1000, '\0') + mp3, nullptr,
         "the ID3v2 tag is damaged: its header claims more bytes than the tag holds"},
        {"movie.m4a", withBoxSize("moov", quint32(m4a.size()) * 2),
         "the MPEG-4 structure is damaged: box moov claims more bytes than the file holds",
         "the MPEG-4 structure is damaged: box moov claims more bytes than the file holds"},
        {"items.m4a", withBoxSize("ilst", 5000), nullptr,
         "the MPEG-4 structure is damaged: box moov/udta/meta/ilst claims more bytes than its parent holds"},
    };
    HLVTestFiles files;
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Not written"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = files.writeFile(QString::fromLatin1(c.name), c.bytes);
        bool readable = false;
        HLVFailure read;
        HLVTagLib::loadTagsFromFileAtPath(path, &readable, &read);
        EXPECT_EQ(readable, !c.readReason);
        if (c.readReason) {
            EXPECT_EQ(read.message, QString::fromLatin1(c.readReason));
        }
        HLVFailure saved;
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(path, &map, &saved));
        EXPECT_EQ(saved.kind, HLVFailure::Kind::StructureRefused);
        EXPECT_EQ(saved.message, QString::fromLatin1(c.saveReason));
        EXPECT_EQ(HLVTestFiles::readAll(path), c.bytes);
    }
}
