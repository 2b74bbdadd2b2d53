// Files as other programs write them: saved where a save cannot lose data, and
// read back through TagLib with the audio where it was.
#include "HLVOtherWriters.h"
#include "HLVTagLib.h"
#include "HLVTestFiles.h"

#include <QFile>
#include <gtest/gtest.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

namespace {

const QString kJapanese = QStringLiteral("坂本龍一 – 夜に駆ける");

QString unicode(const TagLib::String& text)
{
    return QString::fromStdWString(text.toWString());
}

// The file's bytes from the first MPEG frame TagLib finds on.
QByteArray fromFirstFrame(const QString& path)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    return HLVTestFiles::readAll(path).mid(file.firstFrameOffset());
}

} // namespace

// An encoder's information frame behind an ID3v2.3 tag in UTF-16, and the
// same with junk between the tag and the first frame, or 2 KB of it before the
// tag: there the saved tag moves to the start, where other programs look for
// it (TagLib would rewrite it behind the junk), and the junk and the frames
// stay byte for byte.
TEST(HLVOtherProgramsFiles, MP3WithAnInformationFrameAndJunkAroundTheTag)
{
    HLVTestFiles files;
    const QString lame = files.writeFile(QStringLiteral("lame.mp3"), HLVOtherWriters::mp3WithXingFrame());
    {
        TagLib::MPEG::File file(QFile::encodeName(lame).constData());
        ASSERT_TRUE(file.isValid());
        auto* title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF16);
        title->setText(TagLib::String(kJapanese.toStdWString()));
        file.ID3v2Tag(true)->addFrame(title);
        file.ID3v2Tag()->setArtist("Artist");
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3));
    }
    const QByteArray tagged = HLVTestFiles::readAll(lame);
    const TagLib::ID3v2::Header header(TagLib::ByteVector(tagged.constData(), 10));
    ASSERT_EQ(header.majorVersion(), 3u);
    const qsizetype tagEnd = 10 + header.tagSize();
    const QByteArray audio = tagged.mid(tagEnd);
    ASSERT_TRUE(audio.startsWith(HLVOtherWriters::mp3WithXingFrame().left(4)));
    const QByteArray junk("\x00\x00junk from an old tagger\x00", 26);

    const QString junkAfter = files.writeFile(QStringLiteral("junk-after.mp3"), tagged.left(tagEnd) + junk + audio);
    const QByteArray leadingJunk = junk.repeated(80);
    const QString junkBefore = files.writeFile(QStringLiteral("junk-before.mp3"), leadingJunk + tagged);
    for (const QString& path : {lame, junkAfter, junkBefore}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(path)->TrackName(), kJapanese);
        const QByteArray before = HLVTestFiles::readAll(path);
        HLVTagMap map;
        map.setAlbumName(QStringLiteral("Été"));
        map.setTrackNumber(7);
        HLVFailure failure;
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map, &failure)) << failure.message.toStdString();
        const QByteArray after = HLVTestFiles::readAll(path);
        EXPECT_TRUE(after.contains(audio));
        if (path == junkAfter) {
            EXPECT_TRUE(after.contains(junk + audio));
        }
        if (path == junkBefore) {
            ASSERT_TRUE(after.startsWith("ID3"));
            const TagLib::ID3v2::Header moved(TagLib::ByteVector(after.constData(), 10));
            EXPECT_EQ(after.mid(moved.completeTagSize(), leadingJunk.size() + audio.size()), leadingJunk + audio);
        }
        EXPECT_EQ(fromFirstFrame(path).left(audio.size()), audio);

        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        ASSERT_TRUE(file.ID3v2Tag());
        EXPECT_EQ(unicode(file.ID3v2Tag()->title()), kJapanese);
        EXPECT_EQ(unicode(file.ID3v2Tag()->album()), QStringLiteral("Été"));
        EXPECT_EQ(file.ID3v2Tag()->track(), 7u);
        EXPECT_NE(after, before);
    }
}

// Movie after the media data, a plain meta box, a 64-bit media size and a box
// type outside printable ASCII: TagLib rewrites each without moving the media.
TEST(HLVOtherProgramsFiles, MP4LayoutsOfOtherWriters)
{
    HLVTestFiles files;
    const std::pair<const char*, QByteArray> layouts[] = {
        {"movie-last.m4a", HLVOtherWriters::mp4WithMovieLast()},
        {"plain-meta.m4a", HLVOtherWriters::mp4WithPlainMeta()},
        {"large-size.m4a", HLVOtherWriters::mp4WithLargeSize()},
        {"odd-type.m4b", HLVOtherWriters::mp4WithOddBoxType()},
    };
    const QByteArray fixtureChunks =
        HLVOtherWriters::mp4ChunkBytes(HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.m4a"))));
    ASSERT_FALSE(fixtureChunks.isEmpty());
    for (const auto& [name, bytes] : layouts) {
        SCOPED_TRACE(name);
        const QString path = files.writeFile(QString::fromLatin1(name), bytes);
        EXPECT_EQ(HLVOtherWriters::mp4ChunkBytes(bytes), fixtureChunks);
        bool readable = false;
        HLVTagLib::loadTagsFromFileAtPath(path, &readable);
        EXPECT_TRUE(readable);
        for (const char* title : {"First save", "Second save"}) {
            HLVTagMap map;
            map.setTrackName(QString::fromLatin1(title));
            map.setAlbumArtist(kJapanese);
            HLVFailure failure;
            ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map, &failure)) << failure.message.toStdString();
            EXPECT_EQ(HLVOtherWriters::mp4ChunkBytes(HLVTestFiles::readAll(path)), fixtureChunks);
            TagLib::MP4::File file(QFile::encodeName(path).constData());
            ASSERT_TRUE(file.isValid());
            EXPECT_EQ(unicode(file.tag()->title()), QString::fromLatin1(title));
            EXPECT_EQ(unicode(file.tag()->item("aART").toStringList().front()), kJapanese);
        }
    }
}
