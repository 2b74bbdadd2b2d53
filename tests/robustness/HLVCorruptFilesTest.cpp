#include "HLVCustomTagValue.h"
#include "HLVTagLib.h"
#include "HLVTagMap.h"
#include "HLVTestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/xiphcomment.h>

// Damaged copies of the fixtures, made by tests/data/make-corrupt-files.sh,
// go through the program's reading and saving. Reading must never crash; a save
// must either succeed with the audio untouched or fail with the file untouched.

namespace {

QByteArray pngBytes()
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

TagLib::ByteVector byteVector(const QByteArray& bytes)
{
    return TagLib::ByteVector(bytes.constData(), unsigned(bytes.size()));
}

// --- where each format keeps its audio, in a file that is not damaged --------

struct Range
{
    qsizetype begin = 0;
    qsizetype end = 0;
};

qsizetype id3v2End(const QByteArray& bytes, qsizetype at = 0)
{
    if (bytes.size() < at + 10 || bytes.mid(at, 3) != "ID3")
        return at;
    qsizetype size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (static_cast<unsigned char>(bytes[at + i]) & 0x7F);
    const bool footer = static_cast<unsigned char>(bytes[at + 5]) & 0x10;
    return at + 10 + size + (footer ? 10 : 0);
}

// The MPEG frames: after the ID3v2 tag, before an ID3v1 tag.
Range mp3Audio(const QByteArray& bytes)
{
    qsizetype end = bytes.size();
    if (end >= 128 && bytes.mid(end - 128, 3) == "TAG")
        end -= 128;
    return {id3v2End(bytes), end};
}

// The frames after the last metadata block.
Range flacAudio(const QByteArray& bytes)
{
    qsizetype at = bytes.indexOf("fLaC", id3v2End(bytes)) + 4;
    bool last = false;
    while (!last && at + 4 <= bytes.size()) {
        const auto header = reinterpret_cast<const uchar*>(bytes.constData() + at);
        last = header[0] & 0x80;
        at += 4 + ((header[1] << 16) | (header[2] << 8) | header[3]);
    }
    return {at, bytes.size()};
}

// The payload of the top-level media data box.
Range mp4Audio(const QByteArray& bytes)
{
    qsizetype at = 0;
    while (at + 8 <= bytes.size()) {
        const qsizetype size = qFromBigEndian<quint32>(bytes.constData() + at);
        if (bytes.mid(at + 4, 4) == "mdat")
            return {at + 8, at + size};
        if (size < 8)
            break;
        at += size;
    }
    return {0, 0};
}

struct Source
{
    QString name;
    QByteArray bytes;
    Range audio;
};

struct Outcome
{
    int files = 0;
    int saved = 0;
    QStringList faults;
};

class HLVCorruptFiles : public ::testing::Test
{
protected:
    HLVTestFiles files;
    QString coverPath = files.writeFile(QStringLiteral("cover.png"), pngBytes());

    // The fixture as it comes, and a copy tagged the way other programs tag,
    // so that damage to tag structures is tried too.
    std::vector<Source> sources(const QString& fixture, const std::function<Range(const QByteArray&)>& audioOf,
                                const std::function<void(const QString& path)>& tag)
    {
        const QString plain = files.copyFixture(fixture);
        const QString tagged = files.copyFixture(fixture, QStringLiteral("tagged-") + fixture);
        tag(tagged);
        std::vector<Source> result;
        for (const QString& path : {plain, tagged}) {
            const QByteArray bytes = HLVTestFiles::readAll(path);
            result.push_back({QFileInfo(path).fileName(), bytes, audioOf(bytes)});
        }
        return result;
    }

    QStringList corrupt(const std::vector<Source>& sources)
    {
        const QString folder = files.path(QStringLiteral("corrupt"));
        QStringList arguments{QStringLiteral(CADRELLE_TEST_DATA_DIR "/make-corrupt-files.sh"), folder};
        for (const Source& source : sources)
            arguments << files.path(source.name);
        QProcess script;
        script.start(QStringLiteral("/bin/sh"), arguments);
        EXPECT_TRUE(script.waitForFinished(120000));
        EXPECT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
        return QDir(folder).entryList(QDir::Files, QDir::Name);
    }

    // The audio bytes a damaged file still holds, by the layout of its source.
    static QByteArray audioOf(const Source& source, const QString& kind, qsizetype offset, const QByteArray& damaged)
    {
        if (kind == QLatin1String("empty"))
            return QByteArray();
        if (kind == QLatin1String("cut")) {
            const qsizetype end = qMin(source.audio.end, offset);
            return end > source.audio.begin ? damaged.mid(source.audio.begin, end - source.audio.begin)
                                             : QByteArray();
        }
        return damaged.mid(source.audio.begin, source.audio.end - source.audio.begin);
    }

    HLVTagMap changes() const
    {
        HLVTagMap map;
        map.setTrackName(QStringLiteral("Neuer Titel \u00e9\u00e8 \u6f22\u5b57"));
        map.setArtistName(QStringLiteral("Artist"));
        map.setAlbumName(QStringLiteral("Album"));
        map.setAlbumArtist(QStringLiteral("Album Artist"));
        map.setGenre(QStringLiteral("Jazz"));
        map.setReleaseYear(1999);
        map.setTrackNumber(3);
        map.setTrackTotal(11);
        map.setDiscNumber(1);
        map.setDiscTotal(2);
        map.setComposer(QStringLiteral("Composer"));
        map.setCompilation(1);
        map.setArtworkPath(coverPath);
        map.setArtworkState(HLVArtworkStateChosen);
        map.setCustomTagValues(HLVCustomTagValueArray{
            std::make_shared<HLVCustomTagValue>(QStringLiteral("TMOO"), QStringLiteral("calm"))});
        return map;
    }

    Outcome check(const std::vector<Source>& sources)
    {
        Outcome outcome;
        const HLVTagMap map = changes();
        const QString folder = files.path(QStringLiteral("corrupt"));
        for (const QString& name : corrupt(sources)) {
            // SOURCE~KIND~OFFSET.EXT
            const QStringList parts = name.section(QLatin1Char('.'), 0, -2).split(QLatin1Char('~'));
            if (parts.size() != 3) {
                outcome.faults << name + QStringLiteral(": unexpected name");
                continue;
            }
            const auto source = std::find_if(sources.begin(), sources.end(),
                                             [&](const Source& s) { return s.name == parts[0]; });
            if (source == sources.end()) {
                outcome.faults << name + QStringLiteral(": unknown source");
                continue;
            }
            const QString path = folder + QLatin1Char('/') + name;
            const QByteArray before = HLVTestFiles::readAll(path);
            const QByteArray audio = audioOf(*source, parts[1], parts[2].toLongLong(), before);
            ++outcome.files;
            // Named before the work, so that a crash shows which file did it.
            std::fprintf(stderr, "%s\n", qPrintable(name));

            (void)HLVTagLib::loadTagsFromFileAtPath(path);
            (void)HLVTagLib::readTagWithIdentifier(QStringLiteral("CTIS"), path);
            if (HLVTestFiles::readAll(path) != before) {
                outcome.faults << name + QStringLiteral(": reading changed the file");
                continue;
            }

            const bool saved = HLVTagLib::saveTagsToFileAtPath(path, &map);
            const QByteArray after = HLVTestFiles::readAll(path);
            if (!saved) {
                if (after != before)
                    outcome.faults << name + QStringLiteral(": a refused save changed the file");
                continue;
            }
            ++outcome.saved;
            if (!audio.isEmpty() && !after.contains(audio))
                outcome.faults << name + QStringLiteral(": saved, but the audio is no longer intact");
            (void)HLVTagLib::loadTagsFromFileAtPath(path);
        }
        return outcome;
    }
};

std::string report(const Outcome& outcome)
{
    return QStringLiteral("%1 files, %2 saved; faults:\n  %3")
        .arg(outcome.files)
        .arg(outcome.saved)
        .arg(outcome.faults.mid(0, 40).join(QStringLiteral("\n  ")))
        .toStdString();
}

} // namespace

TEST_F(HLVCorruptFiles, MP3KeepsItsFramesOrItsBytes)
{
    const auto mp3 = sources(QStringLiteral("tone.mp3"), mp3Audio, [&](const QString& path) {
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        tag->setTitle("Title");
        tag->setArtist("Artist");
        tag->setAlbum("Album");
        tag->setTrack(4);
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setPicture(byteVector(pngBytes()));
        picture->setMimeType("image/png");
        tag->addFrame(picture);
        for (const auto& [id, text] : {std::pair{"CTIS", "TMOO,"}, std::pair{"TMOO", "happy"}}) {
            auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
            frame->setText(text);
            tag->addFrame(frame);
        }
        file.ID3v1Tag(true)->setTitle("Title");
        ASSERT_TRUE(file.save(TagLib::MPEG::File::AllTags));
    });
    const Outcome outcome = check(mp3);
    EXPECT_GT(outcome.files, 50);
    EXPECT_GT(outcome.saved, 0);
    EXPECT_TRUE(outcome.faults.isEmpty()) << report(outcome);
}

TEST_F(HLVCorruptFiles, FLACKeepsItsFramesOrItsBytes)
{
    const auto flac = sources(QStringLiteral("tone.flac"), flacAudio, [&](const QString& path) {
        TagLib::FLAC::File file(QFile::encodeName(path).constData());
        TagLib::Ogg::XiphComment* comment = file.xiphComment(true);
        comment->setTitle("Title");
        comment->setArtist("Artist");
        comment->addField("ALBUMARTIST", "Album Artist");
        comment->addField("CTIS", "MOOD,");
        comment->addField("MOOD", "happy");
        auto* picture = new TagLib::FLAC::Picture;
        picture->setData(byteVector(pngBytes()));
        picture->setMimeType("image/png");
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        file.addPicture(picture);
        ASSERT_TRUE(file.save());
    });
    const Outcome outcome = check(flac);
    EXPECT_GT(outcome.files, 50);
    EXPECT_GT(outcome.saved, 0);
    EXPECT_TRUE(outcome.faults.isEmpty()) << report(outcome);
}

TEST_F(HLVCorruptFiles, MP4KeepsItsMediaDataOrItsBytes)
{
    const auto m4a = sources(QStringLiteral("tone.m4a"), mp4Audio, [&](const QString& path) {
        TagLib::MP4::File file(QFile::encodeName(path).constData());
        TagLib::MP4::Tag* tag = file.tag();
        tag->setTitle("Title");
        tag->setArtist("Artist");
        tag->setItem("aART", TagLib::StringList("Album Artist"));
        tag->setItem("trkn", TagLib::MP4::Item(4, 12));
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::PNG, byteVector(pngBytes())));
        tag->setItem("covr", TagLib::MP4::Item(covers));
        tag->setItem("----:com.apple.iTunes:CTIS", TagLib::StringList("MOOD,"));
        ASSERT_TRUE(file.save());
    });
    const Outcome outcome = check(m4a);
    EXPECT_GT(outcome.files, 50);
    EXPECT_GT(outcome.saved, 0);
    EXPECT_TRUE(outcome.faults.isEmpty()) << report(outcome);
}
