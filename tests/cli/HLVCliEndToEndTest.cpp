// Runs the built cadrelle-cli on copies of the fixtures and checks the files
// with TagLib directly. Web services are the loopback server, never the real ones.
#include "HLVCannedReplies.h"
#include "HLVLoopbackServer.h"
#include "HLVOtherWriters.h"
#include "HLVSaveLeftovers.h"
#include "HLVTestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>

using Reply = HLVLoopbackServer::Reply;

namespace {

struct Result
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Services that no test may reach unless it names its own server.
QProcessEnvironment environment(const HLVLoopbackServer* server = nullptr)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString address = server ? server->baseAddress() : QStringLiteral("http://127.0.0.1:9");
    for (const char* name : {"CADRELLE_ACOUSTID_URL", "CADRELLE_MUSICBRAINZ_URL", "CADRELLE_COVERART_URL"})
        env.insert(QString::fromLatin1(name), address);
    return env;
}

Result cli(const QStringList& arguments, const QProcessEnvironment& env = environment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(CADRELLE_CLI_EXECUTABLE), arguments);
    Result result;
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "cadrelle-cli did not start";
        return result;
    }
    if (!process.waitForFinished(180000)) {
        ADD_FAILURE() << "cadrelle-cli hangs: " << arguments.join(' ').toStdString();
        process.kill();
        process.waitForFinished();
    }
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QJsonArray jsonArray(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
    return document.array();
}

QByteArray pngBytes(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString text(const TagLib::String& s)
{
    return QString::fromUtf8(s.toCString(true));
}

QByteArray bytes(const TagLib::ByteVector& v)
{
    return QByteArray(v.data(), qsizetype(v.size()));
}

// What TagLib itself finds in a file, beyond its generic tag.
struct Direct
{
    QString title, artist, album, comment, genre;
    unsigned year = 0, track = 0;
    TagLib::PropertyMap properties;
    QByteArray picture;                 // the first picture's bytes
    std::optional<QString> custom(const QString& identifier) const
    {
        return customs.contains(identifier) ? std::optional<QString>(customs.value(identifier)) : std::nullopt;
    }
    QMap<QString, QString> customs;     // raw tags by identifier
};

Direct readDirect(const QString& path, const QStringList& customIdentifiers)
{
    Direct d;
    const QByteArray name = QFile::encodeName(path);
    {
        TagLib::FileRef file(name.constData());
        EXPECT_FALSE(file.isNull()) << path.toStdString();
        if (file.isNull())
            return d;
        d.title = text(file.tag()->title());
        d.artist = text(file.tag()->artist());
        d.album = text(file.tag()->album());
        d.comment = text(file.tag()->comment());
        d.genre = text(file.tag()->genre());
        d.year = file.tag()->year();
        d.track = file.tag()->track();
        d.properties = file.file()->properties();
    }
    if (path.endsWith(QLatin1String(".mp3"))) {
        TagLib::MPEG::File file(name.constData());
        if (TagLib::ID3v2::Tag* tag = file.ID3v2Tag()) {
            const auto& frames = tag->frameListMap();
            if (!frames["APIC"].isEmpty())
                d.picture = bytes(static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frames["APIC"].front())->picture());
            for (const QString& id : customIdentifiers) {
                const TagLib::ByteVector key(id.toLatin1().constData(), 4);
                if (!frames[key].isEmpty())
                    d.customs.insert(id, text(frames[key].front()->toString()));
            }
        }
    } else if (path.endsWith(QLatin1String(".m4a"))) {
        TagLib::MP4::File file(name.constData());
        const auto items = file.tag()->itemMap();
        if (items.contains("covr") && !items["covr"].toCoverArtList().isEmpty())
            d.picture = bytes(items["covr"].toCoverArtList().front().data());
        for (const QString& id : customIdentifiers) {
            const TagLib::String key(id.toLatin1().constData());
            if (items.contains(key))
                d.customs.insert(id, text(items[key].toStringList().toString()));
        }
    } else {
        TagLib::FLAC::File file(name.constData());
        if (!file.pictureList().isEmpty())
            d.picture = bytes(file.pictureList().front()->data());
        if (TagLib::Ogg::XiphComment* comment = file.xiphComment()) {
            const auto fields = comment->fieldListMap();
            for (const QString& id : customIdentifiers) {
                const TagLib::String key(id.toLatin1().constData());
                if (fields.contains(key))
                    d.customs.insert(id, text(fields[key].toString()));
            }
        }
    }
    return d;
}

QString property(const Direct& d, const char* key)
{
    return d.properties.contains(key) ? text(d.properties[key].toString()) : QString();
}

void writeTags(const QString& path, const std::map<const char*, const char*>& values)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull());
    TagLib::PropertyMap properties = file.file()->properties();
    for (const auto& [key, value] : values)
        properties[key] = TagLib::StringList(TagLib::String(value, TagLib::String::UTF8));
    file.file()->setProperties(properties);
    ASSERT_TRUE(file.save());
}

QStringList folderListing(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

// Every field through set, back through show --json and through TagLib, on each
// format; then emptied values, picture and custom tag removal, and --clear.
TEST(HLVCliEndToEnd, SetThenShowRoundTripsEveryFieldOnEachFormat)
{
    HLVTestFiles files;
    const QByteArray png = pngBytes(8, 6);
    const QString picture = files.writeFile(QStringLiteral("cover.png"), png);
    for (const char* fixture : {"tone.mp3", "tone.m4a", "tone.flac"}) {
        SCOPED_TRACE(fixture);
        const QString path = files.copyFixture(QString::fromLatin1(fixture));
        Result r = cli({"set", "--title", "Café 日本", "--artist", "Artist", "--album", "Album", "--album-artist",
                        "Album Artist", "--genre", "Ambient", "--year", "1999", "--track", "3", "--track-total", "12",
                        "--disc", "1", "--disc-total", "2", "--composer", "Composer", "--grouping", "Grouping",
                        "--comment", "two\nlines", "--compilation", "1", "--artwork", picture, "--custom",
                        "TZZA=First", "--custom", "TZZB=Second", path});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, (path + "\tsaved\n").toUtf8());

        r = cli({"show", "--json", path});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QJsonArray shown = jsonArray(r.out);
        ASSERT_EQ(shown.size(), 1);
        const QJsonObject file = shown.at(0).toObject();
        EXPECT_EQ(file.value("path").toString(), path);
        EXPECT_EQ(file.value("readOnly"), QJsonValue(false));
        const QJsonObject expected{{"TrackName", "Café 日本"}, {"ArtistName", "Artist"}, {"AlbumName", "Album"},
                                   {"AlbumArtist", "Album Artist"}, {"Genre", "Ambient"}, {"ReleaseYear", 1999},
                                   {"TrackNumber", 3}, {"TrackTotal", 12}, {"DiscNumber", 1}, {"DiscTotal", 2},
                                   {"Composer", "Composer"}, {"Grouping", "Grouping"}, {"Comment", "two\nlines"},
                                   {"Compilation", 1}};
        EXPECT_EQ(file.value("tags").toObject(), expected);
        EXPECT_EQ(file.value("artwork").toObject(), (QJsonObject{{"present", true}, {"width", 8}, {"height", 6}}));
        EXPECT_EQ(file.value("customTags").toObject(), (QJsonObject{{"TZZA", "First"}, {"TZZB", "Second"}}));
        EXPECT_EQ(file.value("missingTagScore").toInt(-1), 0);

        Direct d = readDirect(path, {"TZZA", "TZZB"});
        EXPECT_EQ(d.title, QStringLiteral("Café 日本"));
        EXPECT_EQ(d.artist, QStringLiteral("Artist"));
        EXPECT_EQ(d.album, QStringLiteral("Album"));
        EXPECT_EQ(d.genre, QStringLiteral("Ambient"));
        EXPECT_EQ(d.comment, QStringLiteral("two\nlines"));
        EXPECT_EQ(d.year, 1999u);
        EXPECT_EQ(d.track, 3u);
        EXPECT_EQ(property(d, "ALBUMARTIST"), QStringLiteral("Album Artist"));
        EXPECT_EQ(property(d, "COMPOSER"), QStringLiteral("Composer"));
        EXPECT_TRUE(property(d, "TRACKNUMBER").startsWith(QLatin1String("3"))) << property(d, "TRACKNUMBER").toStdString();
        EXPECT_TRUE(property(d, "DISCNUMBER").startsWith(QLatin1String("1"))) << property(d, "DISCNUMBER").toStdString();
        EXPECT_EQ(property(d, "COMPILATION"), QStringLiteral("1"));
        EXPECT_EQ(d.picture, png);
        EXPECT_EQ(d.custom("TZZA"), QStringLiteral("First"));
        EXPECT_EQ(d.custom("TZZB"), QStringLiteral("Second"));

        // Emptied values write the empty text and 0; the picture and one custom tag go.
        r = cli({"set", "--comment", "", "--year", "", "--remove-artwork", "--remove-custom", "TZZA", path});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        d = readDirect(path, {"TZZA", "TZZB"});
        EXPECT_EQ(d.comment, QString());
        EXPECT_EQ(d.year, 0u);
        EXPECT_EQ(d.title, QStringLiteral("Café 日本"));
        EXPECT_TRUE(d.picture.isEmpty());
        EXPECT_FALSE(d.custom("TZZA"));
        EXPECT_EQ(d.custom("TZZB"), QStringLiteral("Second"));
        const QJsonObject after = jsonArray(cli({"show", "--json", path}).out).at(0).toObject();
        EXPECT_FALSE(after.value("tags").toObject().contains("Comment"));
        EXPECT_FALSE(after.value("tags").toObject().contains("ReleaseYear"));
        EXPECT_EQ(after.value("artwork").toObject().value("present"), QJsonValue(false));
        EXPECT_EQ(after.value("customTags").toObject(), (QJsonObject{{"TZZB", "Second"}}));

        // --clear: what the window's Remove Tags command leaves.
        r = cli({"set", "--clear", path});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        d = readDirect(path, {"TZZB"});
        EXPECT_EQ(d.title + d.artist + d.album + d.genre, QString());
        EXPECT_EQ(d.track, 0u);
        EXPECT_EQ(property(d, "ALBUMARTIST") + property(d, "COMPOSER"), QString());
        const QJsonObject cleared = jsonArray(cli({"show", "--json", path}).out).at(0).toObject();
        // Numbers are written as 0, which a format may read back as 0 rather than as absent.
        const QJsonObject left = cleared.value("tags").toObject();
        for (auto it = left.begin(); it != left.end(); ++it) {
            EXPECT_EQ(it.value().toInt(-1), it.key() == QLatin1String("Compilation") ? 1 : 0) << it.key().toStdString();
        }
        EXPECT_EQ(left.value("Compilation").toInt(), 1);
        EXPECT_EQ(cleared.value("customTags").toObject(), (QJsonObject{{"TZZB", "Second"}}));
        EXPECT_EQ(cleared.value("missingTagScore").toInt(), 10);
    }
}

TEST(HLVCliEndToEnd, ShowTextOutputKeepsOneValuePerLine)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    writeTags(path, {{"TITLE", "tab\there"}, {"COMMENT", "a\nb\\c"}, {"TRACKNUMBER", "4"}});
    const Result r = cli({"show", path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), path + "\n\tTrackName\ttab\\there\n\tTrackNumber\t4\n"
                                               "\tComment\ta\\nb\\\\c\n\tMissingTagScore\t7\n");
}

// --details adds each file's own facts after its tags, in both forms; without
// it the output stays as scripts know it.
TEST(HLVCliEndToEnd, ShowDetailsAddsTheFilesOwnFacts)
{
    HLVTestFiles files;
    const QStringList paths = {files.copyFixtureWithPicture(QStringLiteral("tone.mp3")),
                               files.copyFixtureWithPicture(QStringLiteral("tone.m4a")),
                               files.copyFixtureWithPicture(QStringLiteral("tone.flac"))};
    Result r = cli(QStringList{"show", "--json", "--details"} + paths);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonArray shown = jsonArray(r.out);
    ASSERT_EQ(shown.size(), 3);
    const char* formats[] = {"MP3", "MPEG-4", "FLAC"};
    const QSize pictures[] = {{3, 2}, {4, 4}, {5, 3}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(paths[i].toStdString());
        const QJsonObject details = shown.at(i).toObject().value("details").toObject();
        TagLib::FileRef file(QFile::encodeName(paths[i]).constData(), true, TagLib::AudioProperties::Fast);
        EXPECT_EQ(details.value("format").toString(), formats[i]);
        EXPECT_EQ(details.value("lengthMilliseconds").toInt(), file.audioProperties()->lengthInMilliseconds());
        EXPECT_EQ(details.value("sampleRate").toInt(), file.audioProperties()->sampleRate());
        EXPECT_EQ(details.value("channels").toInt(), file.audioProperties()->channels());
        EXPECT_EQ(details.value("pictures").toInt(), 1);
        const QJsonObject picture = details.value("picture").toObject();
        EXPECT_EQ(QSize(picture.value("width").toInt(), picture.value("height").toInt()), pictures[i]);
        EXPECT_EQ(details.value("fileSize").toInteger(), QFileInfo(paths[i]).size());
        EXPECT_EQ(details.value("folder").toString(), QFileInfo(paths[i]).absolutePath());
    }
    const QJsonObject mp3Tags = shown.at(0).toObject().value("details").toObject().value("tags").toObject();
    EXPECT_EQ(mp3Tags.value("id3v2Version").toInt(), 4);
    EXPECT_TRUE(mp3Tags.value("id3v1").toBool());
    EXPECT_TRUE(mp3Tags.value("mp4Items").isNull());

    const QByteArray plain = cli({"show", paths[0]}).out;
    r = cli({"show", "--details", paths[0]});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(plain)) << r.out.toStdString();
    const QString added = QString::fromUtf8(r.out.mid(plain.size()));
    EXPECT_TRUE(added.startsWith("\tFormat\tMP3\n")) << added.toStdString();
    EXPECT_TRUE(added.contains("\tTags\tID3v2.4, ID3v1\n")) << added.toStdString();
    EXPECT_TRUE(added.contains(QStringLiteral("\tPicture\tBack cover, PNG, 3x2, %1 bytes\n")
                                   .arg(HLVTestFiles::imageBytes("PNG", 3, 2).size())))
        << added.toStdString();
    EXPECT_EQ(cli({"set", "--details", "--title", "x", paths[0]}).exitCode, 2); // show only
}

// One broken file fails the call; the files around it are still done. A
// damaged file is named with its damage.
TEST(HLVCliEndToEnd, CorruptFileFailsAloneAndTheOthersAreProcessed)
{
    HLVTestFiles files;
    const QString first = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("first.mp3"));
    const QString broken = files.writeFile(QStringLiteral("broken.flac"), QByteArray("fLaC but not really").repeated(40));
    const QString damaged = files.writeFile(QStringLiteral("damaged.flac"), HLVOtherWriters::flacWithLongStreamInfo());
    const QString last = files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("last.m4a"));
    const QString missing = files.path(QStringLiteral("missing.mp3"));
    const QByteArray damage = damaged.toUtf8()
        + ": cannot read the file: the FLAC metadata is damaged: block 1 claims more bytes than it holds\n";

    Result r = cli({"set", "--title", "Kept", first, broken, damaged, missing, last});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, (first + "\tsaved\n" + last + "\tsaved\n").toUtf8());
    EXPECT_TRUE(r.err.contains(broken.toUtf8())) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(damage)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(missing.toUtf8())) << r.err.toStdString();
    EXPECT_EQ(readDirect(first, {}).title, QStringLiteral("Kept"));
    EXPECT_EQ(readDirect(last, {}).title, QStringLiteral("Kept"));
    EXPECT_EQ(HLVTestFiles::readAll(broken), QByteArray("fLaC but not really").repeated(40));
    EXPECT_EQ(HLVTestFiles::readAll(damaged), HLVOtherWriters::flacWithLongStreamInfo());

    r = cli({"show", "--json", files.path(QString())});
    EXPECT_EQ(r.exitCode, 1);
    const QJsonArray shown = jsonArray(r.out);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown.at(0).toObject().value("path").toString(), first);
    EXPECT_EQ(shown.at(1).toObject().value("path").toString(), last);
    EXPECT_TRUE(r.err.contains(broken.toUtf8()));
    EXPECT_TRUE(r.err.contains(damage)) << r.err.toStdString();
}

// What a cut save left is never touched by a command that only reads: it says
// so. "recover" undoes a save it can prove; a leftover it cannot prove is set
// aside under a visible name and reported (exit 1), by a save as by "recover".
TEST(HLVCliEndToEnd, ACutSaveIsRecoveredOnlyWhereItProvesItself)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    writeTags(path, {{"TITLE", "Before the crash"}});
    const QByteArray before = HLVTestFiles::readAll(path);
    const QString later = files.writeFile(QStringLiteral("later.bin"), before);
    writeTags(later, {{"TITLE", "After the crash!"}});
    const QByteArray after = HLVTestFiles::readAll(later);
    QFile::remove(later);
    const QString journal = HLVSaveLeftovers::writeJournal(path, before, after);
    ASSERT_FALSE(journal.isEmpty());
    const QByteArray torn = HLVSaveLeftovers::tornMix(before, after);
    files.writeFile(QStringLiteral("tone.mp3"), torn);

    for (const QStringList& look : QList<QStringList>{{"show", path}, {"show", files.path(QString())},
                                                      {"filter", "untagged", path}}) {
        SCOPED_TRACE(look.join(' ').toStdString());
        const Result r = cli(look);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("cadrelle-cli recover")) << r.err.toStdString();
        EXPECT_TRUE(HLVTestFiles::readAll(path) == torn);
        EXPECT_TRUE(QFile::exists(journal));
    }
    Result r = cli({"recover", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, (path + "\trestored\n").toUtf8());
    EXPECT_TRUE(HLVTestFiles::readAll(path) == before);
    EXPECT_FALSE(QFile::exists(journal));

    // An earlier version's copy that does not match the file: set aside and
    // named, and the file, untouched by it, still takes the change asked for.
    files.writeFile(QStringLiteral(".tone.mp3.cadrelle-original"), after);
    r = cli({"set", "--title", "New", path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("tone.mp3.cadrelle-interrupted-")) << r.err.toStdString();
    EXPECT_EQ(readDirect(path, {}).title, QStringLiteral("New"));
    EXPECT_EQ(HLVSaveLeftovers::hiddenFiles(files.path(QString())), QStringList());
    EXPECT_EQ(HLVSaveLeftovers::setAsideFiles(files.path(QString())).size(), 1);
    r = cli({"set", "--title", "Newer", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
}

TEST(HLVCliEndToEnd, UsageErrorsExitTwoAndTouchNothing)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    const QByteArray before = HLVTestFiles::readAll(path);
    for (const QStringList& arguments : QList<QStringList>{{},
                                                           {"tag", path},
                                                           {"set", "--year", "nineteen", path},
                                                           {"set", "--title", "x", "--volume", "11", path},
                                                           {"rename", "--structure", "Artist - Titel", path},
                                                           {"set", "--title", "x", "--id3v2-version", "2", path},
                                                           {"show"}}) {
        const Result r = cli(arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_TRUE(r.err.contains("Usage: cadrelle-cli")) << r.err.toStdString();
    }
    EXPECT_EQ(HLVTestFiles::readAll(path), before);

    Result r = cli({"rename", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Usage: cadrelle-cli rename"));
    r = cli({"show", "--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("cadrelle-cli "));
}

TEST(HLVCliEndToEnd, RenameDryRunChangesNothingAndTheRealRunDoesWhatItSaid)
{
    HLVTestFiles files;
    const QString folder = files.path(QStringLiteral("music"));
    ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
    const QString a = folder + "/a.mp3";
    const QString b = folder + "/sub/b.FLAC";
    const QString bare = folder + "/bare.m4a";
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")), a);
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.flac")), b);
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.m4a")), bare);
    writeTags(a, {{"ARTIST", "AC/DC"}, {"TITLE", "T.N.T: Live?"}});
    writeTags(b, {{"ARTIST", "Björk"}, {"TITLE", "Joga"}});
    const QByteArray aBytes = HLVTestFiles::readAll(a);

    const QStringList structure = {"rename", "--structure", "Artist - Title"};
    Result r = cli(structure + QStringList{"--dry-run", folder});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray expected = (a + "\t" + folder + "/ACDC - T.N.T Live.mp3\n" + bare + "\tunchanged\n" + b + "\t"
                                 + folder + "/sub/Björk - Joga.FLAC\n")
                                    .toUtf8();
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(folderListing(folder), QStringList({"a.mp3", "bare.m4a"}));
    EXPECT_EQ(folderListing(folder + "/sub"), QStringList({"b.FLAC"}));
    EXPECT_EQ(HLVTestFiles::readAll(a), aBytes);

    r = cli(structure + QStringList{folder});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(folderListing(folder), QStringList({"ACDC - T.N.T Live.mp3", "bare.m4a"}));
    EXPECT_EQ(folderListing(folder + "/sub"), QStringList({"Björk - Joga.FLAC"}));
    EXPECT_EQ(HLVTestFiles::readAll(folder + "/ACDC - T.N.T Live.mp3"), aBytes);

    // A name already taken by another file: that file is left, and says so.
    const QString twin = folder + "/twin.mp3";
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")), twin);
    writeTags(twin, {{"ARTIST", "AC/DC"}, {"TITLE", "T.N.T: Live?"}});
    for (const QString& flag : {QStringLiteral("--dry-run"), QString()}) {
        QStringList arguments = structure;
        if (!flag.isEmpty())
            arguments << flag;
        r = cli(arguments << twin);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, (twin + "\tunchanged\n").toUtf8());
        EXPECT_TRUE(r.err.contains("already exists")) << r.err.toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(twin));
}

TEST(HLVCliEndToEnd, FilterListsUntaggedAndPartiallyTaggedFiles)
{
    HLVTestFiles files;
    const QString folder = files.path(QStringLiteral("lib"));
    ASSERT_TRUE(QDir().mkpath(folder + "/deep/er"));
    const QString bare = folder + "/deep/er/bare.MP3";
    const QString partial = folder + "/partial.flac";
    const QString complete = folder + "/complete.m4a";
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")), bare);
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.flac")), partial);
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.m4a")), complete);
    QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.ogg")), folder + "/ignored.ogg");
    writeTags(partial, {{"TITLE", "Only a title"}});
    const QString picture = files.writeFile(QStringLiteral("p.png"), pngBytes(4, 4));
    ASSERT_EQ(cli({"set", "--title", "T", "--artist", "A", "--album", "B", "--genre", "G", "--year", "2000", "--track",
                   "1", "--track-total", "9", "--disc", "1", "--artwork", picture, complete})
                  .exitCode,
              0);

    Result r = cli({"filter", "untagged", folder});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, (bare + "\n").toUtf8());
    r = cli({"filter", "partial", folder});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, (partial + "\n").toUtf8());
}

namespace {

const QByteArray kAcoustIDReply = HLVCannedReplies::acoustIDReply();
const QByteArray kReleasesReply = HLVCannedReplies::releasesReply();

// A Cover Art Archive answer whose picture this plain-http server serves: the
// client rewrites "http://" addresses to https, but not an upper-case scheme.
QByteArray coverReply(const HLVLoopbackServer& server)
{
    return QStringLiteral(R"({"images": [{"front": true, "thumbnails": {"large": "HTTP://127.0.0.1:%1/cover.png"}}]})")
        .arg(server.port())
        .toUtf8();
}

} // namespace

TEST(HLVCliEndToEnd, IdentifyApplySavesTheFirstCandidateWithItsCoverArt)
{
    HLVLoopbackServer server;
    const QByteArray png = pngBytes(12, 10);
    server.setReply(QStringLiteral("/v2/lookup"), Reply::json(kAcoustIDReply));
    server.setReply(QStringLiteral("/ws/2/recording/"), Reply::xml(kReleasesReply));
    server.setReply(QStringLiteral("/release/rel-album/"), Reply::json(coverReply(server)));
    server.setReply(QStringLiteral("/cover.png"), Reply::bytes(png, "image/png"));

    HLVTestFiles files;
    const QString bare = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("bare.flac"));
    const QString complete = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("complete.mp3"));
    writeTags(complete, {{"TITLE", "Tone"}, {"ARTIST", "The Generators"}, {"ALBUM", "Waveforms"},
                         {"ALBUMARTIST", "The Generators"}, {"GENRE", "Electronic"}, {"DATE", "2001"},
                         {"TRACKNUMBER", "5/12"}, {"DISCNUMBER", "1/1"}});
    const QString broken = files.writeFile(QStringLiteral("broken.mp3"), QByteArray(4000, 'x'));

    Result r = cli({"identify", "--json", "--apply", bare, complete, broken}, environment(&server));
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(broken.toUtf8()));
    EXPECT_FALSE(r.err.contains(bare.toUtf8())) << r.err.toStdString();
    const QJsonArray results = jsonArray(r.out);
    ASSERT_EQ(results.size(), 3);

    const QJsonObject identified = results.at(0).toObject();
    EXPECT_EQ(identified.value("path").toString(), bare);
    EXPECT_EQ(identified.value("outcome").toString(), QStringLiteral("identified"));
    EXPECT_EQ(identified.value("saved"), QJsonValue(true));
    const QJsonArray candidates = identified.value("candidates").toArray();
    ASSERT_EQ(candidates.size(), 2);
    EXPECT_EQ(candidates.at(0).toObject(),
              (QJsonObject{{"TrackName", "Tone"}, {"ArtistName", "The Generators"}, {"AlbumName", "Waveforms"},
                           {"AlbumArtist", "The Generators"}, {"Genre", "Electronic"}, {"ReleaseYear", 2001},
                           {"TrackNumber", 5}, {"TrackTotal", 12}, {"DiscNumber", 1}, {"DiscTotal", 1},
                           {"ReleaseMBID", "rel-album"}}));
    EXPECT_EQ(candidates.at(1).toObject().value("ReleaseMBID").toString(), QStringLiteral("rel-single"));
    EXPECT_EQ(results.at(1).toObject().value("outcome").toString(), QStringLiteral("skipped"));
    EXPECT_TRUE(results.at(1).toObject().value("candidates").toArray().isEmpty());
    EXPECT_EQ(results.at(2).toObject().value("outcome").toString(), QStringLiteral("failed"));

    const Direct d = readDirect(bare, {});
    EXPECT_EQ(d.album, QStringLiteral("Waveforms"));
    EXPECT_EQ(d.title, QStringLiteral("Tone"));
    EXPECT_EQ(d.artist, QStringLiteral("The Generators"));
    EXPECT_EQ(d.year, 2001u);
    EXPECT_EQ(d.track, 5u);
    EXPECT_EQ(d.picture, png);
    EXPECT_EQ(HLVTestFiles::readAll(broken), QByteArray(4000, 'x'));

    // A complete file needs no service at all; the text form names its outcome.
    const size_t asked = server.requests().size();
    r = cli({"identify", complete}, environment(&server));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, (complete + "\tskipped\n").toUtf8());
    EXPECT_EQ(server.requests().size(), asked);

    // A failed identification names its cause: the services unreachable, or the
    // key given on the command line refused.
    const QString other = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("other.mp3"));
    r = cli({"identify", other});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("cannot reach AcoustID")) << r.err.toStdString();
    HLVLoopbackServer refusing;
    refusing.setReply(QStringLiteral("/v2/lookup"),
                      Reply::json(R"({"status": "error", "error": {"code": 4, "message": "invalid API key"}})", 400));
    r = cli({"identify", "--acoustid-key", "users-key", other}, environment(&refusing));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("AcoustID rejected the application key")) << r.err.toStdString();
    ASSERT_EQ(refusing.requests().size(), 1u);
    EXPECT_TRUE(refusing.requests()[0].query.startsWith("client=users-key&"));
}

TEST(HLVCliEndToEnd, ArtworkFindsTheCoverByArtistAndAlbumAndApplyEmbedsIt)
{
    HLVLoopbackServer server;
    const QByteArray png = pngBytes(5, 5);
    const QByteArray artistID = "b10bbbfc-cf9e-42e0-be17-e2c3e1d2600d";
    server.setReply(QStringLiteral("/ws/2/artist/"),
                    Reply::xml("<?xml version=\"1.0\" encoding=\"UTF-8\"?><metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\">"
                               "<artist-list count=\"1\" offset=\"0\"><artist id=\"" + artistID
                               + "\" type=\"Group\"><name>The Beatles</name><sort-name>Beatles, The</sort-name></artist>"
                                 "</artist-list></metadata>"));
    server.setReply(QStringLiteral("/ws/2/release-group"),
                    Reply::xml("<?xml version=\"1.0\" encoding=\"UTF-8\"?><metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\">"
                               "<release-group-list count=\"1\" offset=\"0\"><release-group id=\"rg-album\" type=\"Album\">"
                               "<title>Abbey Road</title><artist-credit><name-credit><artist id=\"" + artistID
                               + "\"><name>The Beatles</name></artist></name-credit></artist-credit>"
                                 "<release-list count=\"1\"><release id=\"r-album\"><title>Abbey Road</title>"
                                 "<status>Official</status></release></release-list></release-group>"
                                 "</release-group-list></metadata>"));
    server.setReply(QStringLiteral("/release-group/rg-album/"), Reply::json(coverReply(server)));
    server.setReply(QStringLiteral("/cover.png"), Reply::bytes(png, "image/png"));

    HLVTestFiles files;
    const QString known = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("known.mp3"));
    writeTags(known, {{"ARTIST", "The Beatles"}, {"ALBUM", "Abbey Road"}, {"TITLE", "Something"}});
    const QString bare = files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("bare.m4a"));

    const Result r = cli({"artwork", "--apply", known, bare}, environment(&server));
    EXPECT_EQ(r.exitCode, 1);
    // The address as the archive gave it, normalised by the search.
    EXPECT_EQ(r.out, QStringLiteral("%1\thttp://127.0.0.1:%2/cover.png\n%3\tnone\n").arg(known).arg(server.port()).arg(bare).toUtf8());
    EXPECT_TRUE(r.err.contains(bare.toUtf8()));
    EXPECT_TRUE(r.err.contains("no artwork found"));
    EXPECT_EQ(readDirect(known, {}).picture, png);
    EXPECT_EQ(readDirect(known, {}).title, QStringLiteral("Something"));
    EXPECT_TRUE(readDirect(bare, {}).picture.isEmpty());

    // set --artwork with an address: downloaded once, checked, embedded; an
    // address that gives no picture stops the command before any file changes.
    const QString target = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("target.flac"));
    const QString base = server.baseAddress();
    Result set = cli({"set", "--artwork", base + "/cover.png", target}, environment(&server));
    EXPECT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(readDirect(target, {}).picture, png);
    const QByteArray before = HLVTestFiles::readAll(target);
    set = cli({"set", "--title", "Not written", "--artwork", base + "/missing.png", target}, environment(&server));
    EXPECT_EQ(set.exitCode, 1);
    EXPECT_TRUE(set.err.contains("could not be downloaded")) << set.err.toStdString();
    EXPECT_EQ(HLVTestFiles::readAll(target), before);
}

// A custom value a frame cannot hold as text is refused with the reason (exit 1)
// while the rest is saved; --id3v2-version 3 writes ID3v2.3; .m4b is MPEG-4.
TEST(HLVCliEndToEnd, SetRefusesStructuredCustomValuesAndWritesID3v23)
{
    HLVTestFiles files;
    const QString mp3 = files.copyFixture(QStringLiteral("tone.mp3"));
    const QString book = files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("book.m4b"));
    {
        TagLib::MPEG::File file(QFile::encodeName(mp3).constData());
        auto* mood = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::Latin1);
        mood->setDescription("Mood");
        mood->setText("calm");
        file.ID3v2Tag(true)->addFrame(mood);
        ASSERT_TRUE(file.save());
    }
    const Result r = cli({"set", "--title", "New", "--id3v2-version", "3", "--custom", "TXXX=happy", "--custom",
                          "COMM=hello", mp3, book});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, (book + "\tsaved\n").toUtf8());
    EXPECT_TRUE(r.err.contains(mp3.toUtf8())) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("custom tags TXXX, COMM cannot be written as text")) << r.err.toStdString();

    TagLib::MPEG::File file(QFile::encodeName(mp3).constData());
    ASSERT_TRUE(file.ID3v2Tag());
    EXPECT_EQ(file.ID3v2Tag()->header()->majorVersion(), 3u);
    EXPECT_EQ(file.ID3v2Tag()->title(), "New");
    const auto moods = file.ID3v2Tag()->frameList("TXXX");
    ASSERT_EQ(moods.size(), 1u);
    const auto* kept = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(moods.front());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->description(), "Mood");
    EXPECT_EQ(kept->fieldList().back(), "calm");
    EXPECT_TRUE(file.ID3v2Tag()->frameList("COMM").isEmpty());
    EXPECT_EQ(readDirect(book, {}).title, QStringLiteral("New"));
}
