#include "HLVTagLib.h"
#include "HLVTestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <functional>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

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

QByteArray encodedImage(const char* format, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

TEST(HLVTagLibMP3Reader, ReadsTheFramesTheGenericTagLacks)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    const QByteArray backCover = encodedImage("PNG", 3, 2);
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
        addPicture(tag, encodedImage("JPEG", 5, 4), AttachedPictureFrame::FrontCover, "image/jpeg");
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
