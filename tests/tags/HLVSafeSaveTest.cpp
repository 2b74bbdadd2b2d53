#include "HLVAudioBytes.h"
#include "HLVFileManager.h"
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
#include <taglib/fileref.h>
#include <taglib/tag.h>
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

} // namespace

// A process killed at any moment of a save that rewrites a 30 MB file leaves,
// once recovered, either the old file or the new one, never a cut one.
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
    const QByteArray oldBytes = longMP3(30 * 1024 * 1024);
    const QString path = dir.filePath(QStringLiteral("long.mp3"));
    auto resetFile = [&] {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(oldBytes) == oldBytes.size();
    };
    const HLVTagMap map = changeWithPicture(picture);

    // The whole save once, for the new file and for how long a save takes.
    ASSERT_TRUE(resetFile());
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map));
    const qint64 saveNanoseconds = timer.nsecsElapsed();
    const QByteArray newBytes = HLVTestFiles::readAll(path);
    ASSERT_NE(newBytes, oldBytes);
    ASSERT_EQ(taglibTitle(path), QStringLiteral("Saved whole or not at all"));

    constexpr int points = 200;
    int oldOnes = 0, newOnes = 0, restored = 0;
    for (int point = 0; point < points; ++point) {
        SCOPED_TRACE(point);
        ASSERT_TRUE(resetFile());
        // Spread over the save and a little beyond it.
        const auto delay = std::chrono::nanoseconds(saveNanoseconds * 11 / 10 * point / points);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(HLVTagLib::saveTagsToFileAtPath(path, &map) ? 0 : 1);
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0) << "an uninterrupted save failed";
        }

        const HLVSafeSave::Recovery recovery = HLVSafeSave::recoverFileAtPath(path);
        ASSERT_NE(recovery, HLVSafeSave::Recovery::Failed);
        restored += recovery == HLVSafeSave::Recovery::Restored;
        const QByteArray bytes = HLVTestFiles::readAll(path);
        const bool isOld = bytes == oldBytes;
        const bool isNew = bytes == newBytes;
        ASSERT_TRUE(isOld || isNew) << "a mixed file of " << bytes.size() << " bytes";
        oldOnes += isOld;
        newOnes += isNew;
        ASSERT_EQ(hiddenFiles(dir.path()), QStringList());
    }
    // The points hit the write itself, and some fell after the save.
    EXPECT_GT(restored, 0);
    EXPECT_GT(newOnes, 0);
    std::fprintf(stderr, "%d kills over %.0f ms: %d old (%d restored), %d new\n", points,
                 saveNanoseconds / 1e6, oldOnes, restored, newOnes);
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
