#include "HLVTagLib.h"
#include "HLVTestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <taglib/flacfile.h>
#include <taglib/flacproperties.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4properties.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegproperties.h>
#include <taglib/xiphcomment.h>

namespace {

HLVFileDetails detailsOf(const QString& path)
{
    bool readable = false;
    HLVFileDetails details;
    HLVTagLib::loadTagsFromFileAtPath(path, &readable, nullptr, &details);
    EXPECT_TRUE(readable) << path.toStdString();
    return details;
}

// The audio facts as TagLib itself gives them.
void expectAudio(const HLVFileDetails& details, const TagLib::AudioProperties* properties)
{
    ASSERT_TRUE(properties);
    EXPECT_EQ(details.lengthMilliseconds, properties->lengthInMilliseconds());
    EXPECT_GT(*details.lengthMilliseconds, 4000); // about five seconds of sound
    EXPECT_EQ(details.bitRate, properties->bitrate());
    EXPECT_EQ(details.sampleRate, properties->sampleRate());
    EXPECT_EQ(details.channels, properties->channels());
}

} // namespace

// Format, audio, tag kinds and the first picture of each format, read with the
// tags and checked against what TagLib itself says of the same file.
TEST(HLVFileDetails, TellFormatAudioTagKindsAndPictureAsTagLibSeesThem)
{
    HLVTestFiles files;

    const QString mp3 = files.copyFixtureWithPicture(QStringLiteral("tone.mp3"));
    {
        const HLVFileDetails details = detailsOf(mp3);
        TagLib::MPEG::File file(QFile::encodeName(mp3).constData(), true, TagLib::AudioProperties::Fast);
        expectAudio(details, file.audioProperties());
        EXPECT_EQ(details.format, "MP3");
        EXPECT_EQ(file.audioProperties()->layer(), 3);
        EXPECT_TRUE(details.codec.startsWith("MPEG-") && details.codec.endsWith(" Layer 3")) << details.codec.toStdString();
        EXPECT_EQ(details.id3v2Version, int(file.ID3v2Tag()->header()->majorVersion()));
        EXPECT_EQ(details.id3v2Version, 4);
        EXPECT_TRUE(details.id3v1);
        EXPECT_FALSE(details.ape);
        EXPECT_EQ(details.tagSummary(), "ID3v2.4, ID3v1");
        EXPECT_EQ(details.pictures, 1);
        EXPECT_EQ(details.pictureType, 4); // back cover, as stored
        EXPECT_EQ(details.pictureFormat, "PNG"); // the bytes, not the stored MIME type
        EXPECT_EQ(details.pictureSize, QSize(3, 2));
        EXPECT_EQ(details.pictureBytes, HLVTestFiles::imageBytes("PNG", 3, 2).size());
        EXPECT_EQ(details.fileSize, QFileInfo(mp3).size());
        EXPECT_EQ(details.folder, QFileInfo(mp3).absolutePath());
    }

    const QString m4a = files.copyFixtureWithPicture(QStringLiteral("tone.m4a"));
    {
        const HLVFileDetails details = detailsOf(m4a);
        TagLib::MP4::File file(QFile::encodeName(m4a).constData(), true, TagLib::AudioProperties::Fast);
        expectAudio(details, file.audioProperties());
        EXPECT_EQ(details.format, "MPEG-4");
        EXPECT_EQ(file.audioProperties()->codec(), TagLib::MP4::Properties::AAC);
        EXPECT_EQ(details.codec, "AAC");
        EXPECT_EQ(details.mp4Items, int(file.tag()->itemMap().size()));
        EXPECT_FALSE(details.id3v2Version);
        EXPECT_FALSE(details.xiphFields);
        EXPECT_EQ(details.pictures, 1);
        EXPECT_FALSE(details.pictureType); // MPEG-4 covers have none
        EXPECT_EQ(details.pictureFormat, "JPEG");
        EXPECT_EQ(details.pictureSize, QSize(4, 4));
        EXPECT_EQ(details.fileSize, QFileInfo(m4a).size());
    }

    const QString flac = files.copyFixtureWithPicture(QStringLiteral("tone.flac"));
    {
        const HLVFileDetails details = detailsOf(flac);
        TagLib::FLAC::File file(QFile::encodeName(flac).constData(), true, TagLib::AudioProperties::Fast);
        expectAudio(details, file.audioProperties());
        EXPECT_EQ(details.format, "FLAC");
        EXPECT_EQ(details.codec, "FLAC");
        EXPECT_EQ(details.bitsPerSample, file.audioProperties()->bitsPerSample());
        EXPECT_EQ(details.xiphFields, int(file.xiphComment()->fieldCount()));
        EXPECT_EQ(details.tagSummary(), QStringLiteral("Xiph comment (%1 fields)").arg(*details.xiphFields));
        EXPECT_FALSE(details.id3v2Version);
        EXPECT_FALSE(details.id3v1);
        EXPECT_EQ(details.pictures, 1);
        EXPECT_EQ(details.pictureType, 3);
        EXPECT_EQ(HLVFileDetails::pictureTypeName(*details.pictureType), "Front cover");
        EXPECT_EQ(details.pictureFormat, "PNG");
        EXPECT_EQ(details.pictureSize, QSize(5, 3));
        EXPECT_EQ(details.fileSize, QFileInfo(flac).size());
    }

    // A file without tags or pictures still has its audio; one TagLib cannot
    // read leaves the details as they were.
    const QString plain = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("plain.flac"));
    const HLVFileDetails untagged = detailsOf(plain);
    EXPECT_EQ(untagged.pictures, 0);
    EXPECT_TRUE(untagged.sampleRate);
    HLVFileDetails kept;
    kept.format = QStringLiteral("kept");
    bool readable = true;
    HLVTagLib::loadTagsFromFileAtPath(files.writeFile(QStringLiteral("text.mp3"), "not audio at all"), &readable,
                                      nullptr, &kept);
    EXPECT_FALSE(readable);
    EXPECT_EQ(kept.format, "kept");
}

// A save describes the file it leaves as a fresh read would (the audio part
// aside, which a save keeps): a new field, another ID3v2 version, a removed
// picture and a grown tag.
TEST(HLVFileDetails, ASaveTellsTheDetailsOfTheFileItLeaves)
{
    HLVTestFiles files;
    HLVTagLib::setID3v2Version(3);
    for (const char* fixture : {"tone.mp3", "tone.m4a", "tone.flac"}) {
        SCOPED_TRACE(fixture);
        const QString path = files.copyFixtureWithPicture(QString::fromLatin1(fixture));
        HLVTagMap map;
        map.setAlbumArtist(QStringLiteral("A new album artist"));
        map.setTrackName(QString(3000, QLatin1Char('t')));
        map.setArtworkState(HLVArtworkStateRemove);
        QList<HLVTagLib::Save> saves{{path, &map, false, {}, true, {}}};
        HLVTagLib::saveTagsToFiles(saves);
        ASSERT_TRUE(saves.first().saved);
        ASSERT_TRUE(saves.first().details);
        const HLVFileDetails& told = *saves.first().details;
        const HLVFileDetails read = detailsOf(path);
        EXPECT_EQ(told.format, read.format);
        EXPECT_EQ(told.tagSummary(), read.tagSummary());
        EXPECT_EQ(told.pictures, 0);
        EXPECT_EQ(told.pictures, read.pictures);
        EXPECT_EQ(told.fileSize, QFileInfo(path).size());
        EXPECT_EQ(told.folder, read.folder);
        EXPECT_FALSE(told.lengthMilliseconds); // the caller keeps the audio it knew
    }
    HLVTagLib::setID3v2Version(0);
}
