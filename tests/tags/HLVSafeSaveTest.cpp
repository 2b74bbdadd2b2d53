#include "HLVAudioBytes.h"
#include "HLVFileManager.h"
#include "HLVLoopbackServer.h"
#include "HLVOtherWriters.h"
#include "HLVSafeSave.h"
#include "HLVTagLib.h"
#include "HLVTestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/xiphcomment.h>
#include <functional>
#include <thread>
#include <unistd.h>

namespace {

// A picture of the given size: a JPEG signature, then noise.
QByteArray pictureBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    bytes[0] = char(0xFF);
    bytes[1] = char(0xD8);
    bytes[2] = char(0xFF);
    bytes[3] = char(0xE0);
    return bytes;
}

// The MP3 fixture's frames repeated up to about the given size.
QByteArray longMP3(qsizetype size)
{
    const QByteArray frames = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")));
    QByteArray bytes;
    bytes.reserve(size + frames.size());
    while (bytes.size() < size)
        bytes += frames;
    return bytes;
}

HLVTagMap changeWithPicture(const QString& picturePath)
{
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Saved whole or not at all"));
    map.setArtistName(QStringLiteral("Artist"));
    map.setArtworkPath(picturePath);
    map.setArtworkState(HLVArtworkStateChosen);
    return map;
}

QString taglibTitle(const QString& path)
{
    TagLib::FileRef file(QFile::encodeName(path).constData(), false);
    return file.isNull() ? QString() : QString::fromStdString(file.tag()->title().to8Bit(true));
}

// Hidden files in the folder: the copies a save may leave.
QStringList hiddenFiles(const QString& folder)
{
    QStringList hidden;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (name.startsWith(QLatin1Char('.')))
            hidden << name;
    return hidden;
}

// A temporary folder in memory where there is one: the kill test writes
// gigabytes in all, and what it tests does not depend on the disk.
QString memoryFolderTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? QStringLiteral("/dev/shm/cadrelle-safesave-XXXXXX") : QString();
}

class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        ::getrlimit(RLIMIT_FSIZE, &_saved);
        rlimit lowered = _saved;
        lowered.rlim_cur = limit;
        _set = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &_saved); }
    bool isSet() const { return _set; }

private:
    rlimit _saved{};
    bool _set = false;
};

struct KillOutcome
{
    int oldOnes = 0;
    int newOnes = 0;
    int restored = 0;
    int partCopies = 0; // kills that found a copy of the tags only
    double saveMilliseconds = 0;
    QByteArray newBytes; // as the uninterrupted save left the file
};

// Saves map into a file holding oldBytes once whole, then again and again in a
// child process killed at points spread over the save; after each, recovery
// must leave the old file or the new one, and nothing beside it.
KillOutcome killSaves(const QString& folder, const QByteArray& oldBytes, const HLVTagMap& map, int points)
{
    KillOutcome outcome;
    const QString path = folder + QStringLiteral("/long.mp3");
    const QString copy = HLVSafeSave::copyPathForPath(path);
    auto resetFile = [&] {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(oldBytes) == oldBytes.size();
    };
    if (!resetFile()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return outcome;
    }
    // The whole save once, in a child as below, for how long it takes from the fork.
    QElapsedTimer timer;
    timer.start();
    const pid_t whole = ::fork();
    if (whole == 0)
        ::_exit(HLVTagLib::saveTagsToFileAtPath(path, &map) ? 0 : 1);
    int wholeStatus = 0;
    if (whole < 0 || ::waitpid(whole, &wholeStatus, 0) != whole || !WIFEXITED(wholeStatus)
        || WEXITSTATUS(wholeStatus) != 0) {
        ADD_FAILURE() << "the uninterrupted save failed";
        return outcome;
    }
    const qint64 saveNanoseconds = timer.nsecsElapsed();
    outcome.saveMilliseconds = saveNanoseconds / 1e6;
    const QByteArray newBytes = HLVTestFiles::readAll(path);
    outcome.newBytes = newBytes;
    EXPECT_NE(newBytes, oldBytes);
    EXPECT_EQ(taglibTitle(path), *map.TrackName());

    for (int point = 0; point < points; ++point) {
        SCOPED_TRACE(point);
        if (!resetFile()) {
            ADD_FAILURE() << "cannot write " << path.toStdString();
            return outcome;
        }
        // Spread over the save and a little beyond it.
        const auto delay = std::chrono::nanoseconds(saveNanoseconds * 12 / 10 * point / points);
        const pid_t child = ::fork();
        if (child < 0) {
            ADD_FAILURE() << "cannot fork";
            return outcome;
        }
        if (child == 0)
            ::_exit(HLVTagLib::saveTagsToFileAtPath(path, &map) ? 0 : 1);
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << "an uninterrupted save failed";
        }
        const QFileInfo copyInfo(copy);
        outcome.partCopies += copyInfo.exists() && copyInfo.size() < oldBytes.size() / 2;

        const HLVSafeSave::Recovery recovery = HLVSafeSave::recoverFileAtPath(path);
        EXPECT_NE(recovery, HLVSafeSave::Recovery::Failed);
        outcome.restored += recovery == HLVSafeSave::Recovery::Restored;
        const QByteArray bytes = HLVTestFiles::readAll(path);
        const bool isOld = bytes == oldBytes;
        const bool isNew = bytes == newBytes;
        if (!isOld && !isNew) {
            ADD_FAILURE() << "a mixed file of " << bytes.size() << " bytes";
            return outcome;
        }
        outcome.oldOnes += isOld;
        outcome.newOnes += isNew;
        const QStringList left = hiddenFiles(folder);
        if (!left.isEmpty()) {
            ADD_FAILURE() << "left behind: " << left.join(' ').toStdString();
            return outcome;
        }
    }
    std::fprintf(stderr, "%d kills over %.0f ms: %d old (%d restored, %d copies of the tags only), %d new\n",
                 points, outcome.saveMilliseconds, outcome.oldOnes, outcome.restored, outcome.partCopies,
                 outcome.newOnes);
    return outcome;
}

// A write that replaces the file's bytes with change(bytes).
HLVSafeSave::Write rewriting(std::function<QByteArray(const QByteArray&)> change)
{
    return [change](const QString& target, HLVFailure*) {
        const QByteArray bytes = change(HLVTestFiles::readAll(target));
        QFile file(target);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    };
}

} // namespace

// A process killed at any moment of a save that rewrites a 30 MB file leaves,
// once recovered, either the old file or the new one, never a cut one; and so
// does a later save that rewrites only the tags in place.
TEST(HLVSafeSave, AKilledSaveLeavesTheOldFileOrTheNewOne)
{
    const QString folderTemplate = memoryFolderTemplate();
    QTemporaryDir dir = folderTemplate.isEmpty() ? QTemporaryDir() : QTemporaryDir(folderTemplate);
    ASSERT_TRUE(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("cover.jpg"));
    {
        QFile file(picture);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(pictureBytes(2 * 1024 * 1024));
    }
    const QByteArray plain = longMP3(30 * 1024 * 1024);

    const KillOutcome growing = killSaves(dir.path(), plain, changeWithPicture(picture), 200);
    // The points hit the write itself, and some fell after the save.
    EXPECT_GT(growing.restored, 0);
    EXPECT_GT(growing.newOnes, 0);
    EXPECT_EQ(growing.partCopies, 0); // the audio moves: all of it is copied

    // The tag now has room to spare: a title of the same length fits in place.
    HLVTagMap retitle;
    retitle.setTrackName(QStringLiteral("Saved whole or not at ALL"));
    const KillOutcome inPlace = killSaves(dir.path(), growing.newBytes, retitle, 100);
    EXPECT_GT(inPlace.newOnes, 0);
    EXPECT_GT(inPlace.partCopies, 0);
    EXPECT_LT(inPlace.saveMilliseconds, growing.saveMilliseconds);
}

// A save that hits the file-size limit (as a full disk would stop it) fails
// with a reason and leaves the file byte for byte as it was, whether the limit
// stops the copy or the write itself.
TEST(HLVSafeSave, ASizeLimitFailsWithAReasonAndKeepsTheFile)
{
    HLVTestFiles files;
    const QString picture = files.writeFile(QStringLiteral("cover.jpg"), pictureBytes(2 * 1024 * 1024));
    const HLVTagMap map = changeWithPicture(picture);
    for (const QString fixture : {"tone.mp3", "tone.flac", "tone.m4a"}) {
        const QString path = files.copyFixture(fixture);
        const QByteArray before = HLVTestFiles::readAll(path);
        for (const rlim_t limit : {rlim_t(before.size() + 64 * 1024), rlim_t(before.size() / 2)}) {
            SCOPED_TRACE(fixture.toStdString() + " limit " + std::to_string(limit));
            HLVFailure failure;
            bool saved = true;
            {
                FileSizeLimit sizeLimit(limit);
                ASSERT_TRUE(sizeLimit.isSet());
                saved = HLVTagLib::saveTagsToFileAtPath(path, &map, &failure);
            }
            EXPECT_FALSE(saved);
            EXPECT_EQ(failure.kind, HLVFailure::Kind::WriteFailed);
            EXPECT_FALSE(failure.message.isEmpty());
            EXPECT_EQ(HLVTestFiles::readAll(path), before);
            EXPECT_EQ(hiddenFiles(QFileInfo(path).absolutePath()), QStringList());
        }
        // And without the limit the same save goes through.
        EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    }
}

TEST(HLVSafeSave, KeepsTheFilesInodeLinksAndPermissions)
{
    HLVTestFiles files;
    const QString picture = files.writeFile(QStringLiteral("cover.jpg"), pictureBytes(256 * 1024));
    for (const QString fixture : {"tone.mp3", "tone.flac", "tone.m4a"}) {
        SCOPED_TRACE(fixture.toStdString());
        const QString path = files.copyFixture(fixture);
        const QString link = files.path(QStringLiteral("link-") + fixture);
        ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
        struct stat before, after;
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);

        const HLVTagMap map = changeWithPicture(picture);
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_nlink, 2u);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(taglibTitle(link), QStringLiteral("Saved whole or not at all"));
        EXPECT_EQ(HLVTestFiles::readAll(link), HLVTestFiles::readAll(path));
        const auto sameAudio = HLVAudioBytes::haveSameAudio(path, HLVTestFiles::fixturePath(fixture),
                                                            HLVTagLib::formatForPath(path));
        EXPECT_EQ(sameAudio, std::optional<bool>(true));
    }
}

// What a save stopped part-way leaves behind is undone when the file is next
// met, and only what it left.
TEST(HLVSafeSave, RecoveryPutsBackTheOriginalOrDropsWhatIsLeft)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    const QByteArray original = HLVTestFiles::readAll(path);
    const QString copy = HLVSafeSave::copyPathForPath(path);
    EXPECT_TRUE(QFileInfo(copy).fileName().startsWith(QLatin1Char('.')));
    EXPECT_TRUE(QFileInfo(copy).fileName().contains(QLatin1String("tone.flac")));
    EXPECT_EQ(QFileInfo(copy).absolutePath(), QFileInfo(path).absolutePath());

    EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::NothingToDo);

    // A save stopped while rewriting: the file is cut, the copy whole.
    files.writeFile(QFileInfo(copy).fileName(), original);
    files.writeFile(QStringLiteral("tone.flac"), original.left(original.size() / 3) + QByteArray(5000, 'x'));
    EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::Restored);
    EXPECT_EQ(HLVTestFiles::readAll(path), original);
    EXPECT_FALSE(QFileInfo::exists(copy));

    // Only the tags changed (a tag rewritten in its padding): still a half-done save.
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Half done"));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    files.writeFile(QFileInfo(copy).fileName(), original);
    EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::Restored);
    EXPECT_EQ(HLVTestFiles::readAll(path), original);

    // Stopped before the file was touched: the copy goes, the file stays.
    files.writeFile(QFileInfo(copy).fileName(), original);
    EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::RemovedStaleCopy);
    EXPECT_FALSE(QFileInfo::exists(copy));

    // Stopped while copying: the unfinished copy is never taken for the original.
    files.writeFile(QFileInfo(copy).fileName() + QStringLiteral(".partial"), original.left(100));
    EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::NothingToDo);
    EXPECT_EQ(HLVTestFiles::readAll(path), original);
    EXPECT_EQ(hiddenFiles(QFileInfo(path).absolutePath()), QStringList());

    // A save puts back a crashed save's original before writing its own change.
    files.writeFile(QFileInfo(copy).fileName(), original);
    files.writeFile(QStringLiteral("tone.flac"), original.left(original.size() / 2));
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    EXPECT_EQ(HLVAudioBytes::haveSameAudio(path, HLVTestFiles::fixturePath(QStringLiteral("tone.flac")),
                                           HLVTagLib::Format::FLAC),
              std::optional<bool>(true));
    EXPECT_EQ(hiddenFiles(QFileInfo(path).absolutePath()), QStringList());

    // The file list (and the command line through it) undoes a cut save when the file is added.
    files.writeFile(QFileInfo(copy).fileName(), original);
    files.writeFile(QStringLiteral("tone.flac"), original.left(original.size() / 2));
    {
        HLVFileManager manager;
        EXPECT_TRUE(manager.addFileAtURL(QUrl::fromLocalFile(path)));
    }
    EXPECT_EQ(HLVTestFiles::readAll(path), original);
    EXPECT_FALSE(QFileInfo::exists(copy));

    // A name too long to take the copy's suffix still gets a copy of its own.
    const QString longName = QString(240, QLatin1Char('n')) + QStringLiteral(".flac");
    const QString longPath = files.copyFixture(QStringLiteral("tone.flac"), longName);
    EXPECT_LE(QFile::encodeName(QFileInfo(HLVSafeSave::copyPathForPath(longPath)).fileName()).size() + 8, 255);
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(longPath, &map));
}

// A large file is saved as a trial first, but a picture from the web is fetched
// by every write and may not come the same twice: such a save runs once.
TEST(HLVSafeSave, ALargeFileTakesAPictureFromTheWebInOneWrite)
{
    HLVLoopbackServer server;
    const QByteArray picture = pictureBytes(64 * 1024);
    server.setReply(QStringLiteral("/cover.jpg"), HLVLoopbackServer::Reply::bytes(picture, "image/jpeg"));
    HLVTestFiles files;
    const QString path = files.writeFile(QStringLiteral("long.mp3"), longMP3(17 * 1024 * 1024));
    HLVTagMap map = changeWithPicture(server.baseAddress() + QStringLiteral("/cover.jpg"));
    map.setArtworkState(HLVArtworkStateFound);

    bool saved = false;
    std::thread([&] { saved = HLVTagLib::saveTagsToFileAtPath(path, &map); }).join();
    ASSERT_TRUE(saved);
    EXPECT_EQ(server.requests().size(), 1);
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    const auto frames = file.ID3v2Tag()->frameListMap()["APIC"];
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frames.front())->picture().size(), unsigned(picture.size()));
}

// The check after a save finds the audio by its frames: junk around a tag may
// go or stay, and a UTF-16 title (0xFF 0xFE) or a block length that a save
// corrects is not taken for audio; a save that cuts the audio is undone.
TEST(HLVSafeSave, TheAudioCheckFollowsTheFramesNotTheJunk)
{
    HLVTestFiles files;
    const QString lame = files.writeFile(QStringLiteral("lame.mp3"), HLVOtherWriters::mp3WithXingFrame());
    qint64 firstFrame = 0;
    {
        TagLib::MPEG::File file(QFile::encodeName(lame).constData());
        auto* title = new TagLib::ID3v2::TextIdentificationFrame("TIT2", TagLib::String::UTF16);
        title->setText("Title");
        file.ID3v2Tag(true)->addFrame(title);
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3));
        firstFrame = file.firstFrameOffset();
    }
    const QByteArray junk(30, 'j');
    const QByteArray mp3 = junk + HLVTestFiles::readAll(lame);
    firstFrame += junk.size();
    const QString path = files.writeFile(QStringLiteral("junk-before.mp3"), mp3);

    // Junk dropped and the title rewritten in place.
    const QByteArray oldTitle("T\0i\0t\0l\0e", 9);
    ASSERT_TRUE(mp3.contains(oldTitle));
    EXPECT_TRUE(HLVSafeSave::saveFileAtPath(path, rewriting([&](const QByteArray& bytes) {
        return bytes.mid(junk.size()).replace(oldTitle, QByteArray("N\0a\0m\0e\0s", 9));
    })));
    files.writeFile(QStringLiteral("junk-before.mp3"), mp3);
    const std::pair<const char*, std::function<QByteArray(const QByteArray&)>> cuts[] = {
        {"first frame", [&](const QByteArray& bytes) { return bytes.left(firstFrame) + bytes.mid(firstFrame + 1); }},
        {"end", [](const QByteArray& bytes) { return bytes.left(bytes.size() - 1000); }},
    };
    for (const auto& [name, cut] : cuts) {
        SCOPED_TRACE(name);
        HLVFailure failure;
        EXPECT_FALSE(HLVSafeSave::saveFileAtPath(path, rewriting(cut), &failure));
        EXPECT_EQ(failure.message, QStringLiteral("the file could not be written in full"));
        EXPECT_TRUE(HLVTestFiles::readAll(path) == mp3);
    }

    // Padding declared 100 bytes too long: TagLib alone would take the first
    // 100 audio bytes for padding and drop them.
    QByteArray flac = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.flac")));
    qsizetype last = 4;
    while (!(quint8(flac.at(last)) & 0x80))
        last += 4 + ((quint8(flac.at(last + 2)) << 8) | quint8(flac.at(last + 3)));
    ASSERT_EQ(quint8(flac.at(last)) & 0x7F, 1);
    const int length = (quint8(flac.at(last + 2)) << 8) + quint8(flac.at(last + 3)) + 100;
    flac[last + 2] = char(length >> 8);
    flac[last + 3] = char(length);
    const QString flacPath = files.writeFile(QStringLiteral("long-padding.flac"), flac);
    HLVFailure failure;
    EXPECT_FALSE(HLVSafeSave::saveFileAtPath(flacPath, [](const QString& target, HLVFailure*) {
        TagLib::FLAC::File file(QFile::encodeName(target).constData());
        file.xiphComment(true)->setTitle("Title");
        return file.save();
    }, &failure));
    EXPECT_EQ(failure.message, QStringLiteral("the file could not be written in full"));
    EXPECT_TRUE(HLVTestFiles::readAll(flacPath) == flac);
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Title"));
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(flacPath, &map));
}
