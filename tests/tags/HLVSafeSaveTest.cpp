#include "HLVAudioBytes.h"
#include "HLVFileManager.h"
#include "HLVFolderListing.h"
#include "HLVLoopbackServer.h"
#include "HLVOtherWriters.h"
#include "HLVSaveLeftovers.h"
#include "HLVTestEnvironment.h"
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
#include <taglib/tfilestream.h>
#include <taglib/id3v2framefactory.h>
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

using HLVSaveLeftovers::hiddenFiles;
using HLVSaveLeftovers::setAsideFiles;

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
    int journals = 0; // kills that found a journal
    double saveMilliseconds = 0;
    QList<QByteArray> newBytes; // as the uninterrupted save left the files
};

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Runs save (of the files at paths, holding oldBytes) once whole, then again
// and again in a child process killed at points spread over the save; after
// each, recovery must leave every file old or new, and nothing beside it.
KillOutcome killSaves(const QStringList& paths, const QList<QByteArray>& oldBytes, const std::function<bool()>& save,
                      int points)
{
    KillOutcome outcome;
    const QString folder = QFileInfo(paths.first()).absolutePath();
    auto resetFiles = [&] {
        for (qsizetype i = 0; i < paths.size(); ++i) {
            if (!writeBytes(paths[i], oldBytes[i]))
                return false;
        }
        return true;
    };
    if (!resetFiles()) {
        ADD_FAILURE() << "cannot write the files";
        return outcome;
    }
    // The whole save once, in a child as below, for how long it takes from the fork.
    QElapsedTimer timer;
    timer.start();
    const pid_t whole = ::fork();
    if (whole == 0)
        ::_exit(save() ? 0 : 1);
    int wholeStatus = 0;
    if (whole < 0 || ::waitpid(whole, &wholeStatus, 0) != whole || !WIFEXITED(wholeStatus)
        || WEXITSTATUS(wholeStatus) != 0) {
        ADD_FAILURE() << "the uninterrupted save failed";
        return outcome;
    }
    const qint64 saveNanoseconds = timer.nsecsElapsed();
    outcome.saveMilliseconds = saveNanoseconds / 1e6;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        outcome.newBytes.append(HLVTestFiles::readAll(paths[i]));
        EXPECT_NE(outcome.newBytes.last(), oldBytes[i]);
    }

    for (int point = 0; point < points; ++point) {
        SCOPED_TRACE(point);
        if (!resetFiles()) {
            ADD_FAILURE() << "cannot write the files";
            return outcome;
        }
        // Most kills are spread over the save and a little beyond it. Timing
        // alone cannot be relied on when the machine is busy, so one point in
        // ten kills the save where its journal is whole and nothing is written,
        // one in ten where it has written and not yet checked, and the last lets
        // it finish.
        const int kind = point == points - 1 ? 3 : point % 10;
        const auto delay = std::chrono::nanoseconds(saveNanoseconds * 12 / 10 * point / points);
        const pid_t child = ::fork();
        if (child < 0) {
            ADD_FAILURE() << "cannot fork";
            return outcome;
        }
        if (child == 0) {
            if (kind == 1 || kind == 2) {
                const auto stage = kind == 1 ? HLVSafeSave::Stage::BeforeWrite : HLVSafeSave::Stage::AfterWrite;
                HLVSafeSave::setHookForTesting([stage](HLVSafeSave::Stage now, const QString&, const QString&) {
                    if (now == stage)
                        ::raise(SIGKILL);
                });
            }
            ::_exit(save() ? 0 : 1);
        }
        if (kind == 0 || kind > 3) {
            std::this_thread::sleep_for(delay);
            ::kill(child, SIGKILL);
        }
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << "an uninterrupted save failed";
        }
        for (qsizetype i = 0; i < paths.size(); ++i) {
            outcome.journals += QFileInfo::exists(HLVSafeSave::journalPathForPath(paths[i]));
            const HLVSafeSave::Recovery recovery = HLVSafeSave::recoverFileAtPath(paths[i]);
            EXPECT_NE(recovery, HLVSafeSave::Recovery::Failed);
            EXPECT_NE(recovery, HLVSafeSave::Recovery::KeptAside);
            outcome.restored += recovery == HLVSafeSave::Recovery::Restored;
            const QByteArray bytes = HLVTestFiles::readAll(paths[i]);
            const bool isOld = bytes == oldBytes[i];
            const bool isNew = bytes == outcome.newBytes[i];
            if (!isOld && !isNew) {
                ADD_FAILURE() << "a mixed file of " << bytes.size() << " bytes";
                return outcome;
            }
            outcome.oldOnes += isOld;
            outcome.newOnes += isNew;
        }
        const QStringList left = hiddenFiles(folder) + setAsideFiles(folder);
        if (!left.isEmpty()) {
            ADD_FAILURE() << "left behind: " << left.join(' ').toStdString();
            return outcome;
        }
    }
    std::fprintf(stderr, "%d kills over %.0f ms: %d old (%d restored), %d new; %d found a journal\n", points,
                 outcome.saveMilliseconds, outcome.oldOnes, outcome.restored, outcome.newOnes, outcome.journals);
    return outcome;
}

// A write that replaces the file's bytes with change(bytes).
HLVSafeSave::Write rewriting(std::function<QByteArray(const QByteArray&)> change)
{
    return [change](TagLib::IOStream& stream, HLVFailure*) {
        stream.seek(0);
        const TagLib::ByteVector all = stream.readBlock(stream.length());
        const QByteArray bytes = change(QByteArray(all.data(), all.size()));
        stream.seek(0);
        stream.writeBlock(TagLib::ByteVector(bytes.constData(), unsigned(bytes.size())));
        stream.truncate(bytes.size());
        return true;
    };
}

// The bytes a save of map leaves in a copy of the file at path.
QByteArray savedBytes(const QString& path, const HLVTagMap& map)
{
    const QString copy = path + QStringLiteral(".saved.") + QFileInfo(path).suffix();
    QFile::remove(copy);
    QFile::copy(path, copy);
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(copy, &map));
    const QByteArray bytes = HLVTestFiles::readAll(copy);
    QFile::remove(copy);
    return bytes;
}

HLVTagMap retitled(const char* title)
{
    HLVTagMap map;
    map.setTrackName(QString::fromLatin1(title));
    return map;
}

bool saveTitle(const QString& path, const char* title, HLVFailure* failure = nullptr)
{
    const HLVTagMap map = retitled(title);
    return HLVTagLib::saveTagsToFileAtPath(path, &map, failure);
}

} // namespace

// A process killed at any moment of a save leaves, once recovered, every file
// either old or new, never cut: a 30 MB file whose audio moves (written beside
// and renamed), the same file retitled in place (through a journal), and a
// batch of 64 small files saved together, half in place and half moving their audio.
TEST(HLVSafeSave, AKilledSaveLeavesTheOldFileOrTheNewOne)
{
    const QString folderTemplate = memoryFolderTemplate();
    QTemporaryDir dir = folderTemplate.isEmpty() ? QTemporaryDir() : QTemporaryDir(folderTemplate);
    ASSERT_TRUE(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("cover.jpg"));
    ASSERT_TRUE(writeBytes(picture, pictureBytes(2 * 1024 * 1024)));
    const QString path = dir.filePath(QStringLiteral("long.mp3"));
    const HLVTagMap withPicture = changeWithPicture(picture);

    const KillOutcome growing = killSaves({path}, {longMP3(30 * 1024 * 1024)},
                                          [&] { return HLVTagLib::saveTagsToFileAtPath(path, &withPicture); }, 200);
    EXPECT_GT(growing.oldOnes, 0);
    EXPECT_GT(growing.newOnes, 0);
    EXPECT_EQ(growing.journals, 0); // the audio moves: a new file replaces the old
    ASSERT_EQ(growing.newBytes.size(), 1);

    // The tag now has room to spare: a title of the same length fits in place.
    const HLVTagMap retitle = retitled("Saved whole or not at ALL");
    const KillOutcome inPlace = killSaves({path}, growing.newBytes,
                                          [&] { return HLVTagLib::saveTagsToFileAtPath(path, &retitle); }, 100);
    EXPECT_GT(inPlace.oldOnes, 0);
    EXPECT_GT(inPlace.newOnes, 0);
    EXPECT_GT(inPlace.journals, 0);
    // That save goes through a journal, written in place; the growing one never does.
    QString journalSeen;
    HLVSafeSave::setHookForTesting([&](HLVSafeSave::Stage, const QString&, const QString& journal) { journalSeen = journal; });
    struct stat before{}, after{};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    const HLVTagMap retitleAgain = retitled("Saved whole or not at aLL");
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &retitleAgain));
    HLVSafeSave::setHookForTesting({});
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(journalSeen, HLVSafeSave::journalPathForPath(path));
    EXPECT_EQ(before.st_ino, after.st_ino);

    QDir(dir.path()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(dir.path()));
    QStringList paths;
    QList<QByteArray> small;
    const QByteArray fixture = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")));
    QList<HLVTagMap> maps;
    for (int i = 0; i < 64; ++i) {
        paths.append(dir.filePath(QStringLiteral("%1.mp3").arg(i)));
        // Every other file saved once, so that the batch's change fits in its tag and goes
        // through the group's journal; in the others the audio moves.
        ASSERT_TRUE(writeBytes(paths.last(), fixture));
        if (i % 2 == 0) {
            ASSERT_TRUE(saveTitle(paths.last(), "Before the batch"));
        }
        small.append(HLVTestFiles::readAll(paths.last()));
        maps.append(retitled("In a batch"));
        maps.last().setAlbumName(QStringLiteral("Album %1").arg(i));
    }
    const KillOutcome batch = killSaves(paths, small, [&] {
        QList<HLVTagLib::Save> saves;
        for (qsizetype i = 0; i < paths.size(); ++i)
            saves.append({paths[i], &maps[i], false, {}, false, {}});
        HLVTagLib::saveTagsToFiles(saves);
        return std::all_of(saves.begin(), saves.end(), [](const HLVTagLib::Save& save) { return save.saved; });
    }, 40);
    EXPECT_GT(batch.oldOnes, 0);
    EXPECT_GT(batch.newOnes, 0);
    EXPECT_GT(batch.journals, 0);
}

// A save that hits the file-size limit (as a full disk would stop it) fails
// with a reason and leaves the file byte for byte as it was, whether the limit
// stops the new file, the journal or the write itself.
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

// A file with other names, or one a rename could not carry over, is written
// in place; a plain file whose audio moves is replaced, keeping its permissions.
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

        // Alone, the file is replaced by a new one with the same permissions.
        ASSERT_EQ(::unlink(QFile::encodeName(link).constData()), 0);
        HLVTagMap more = changeWithPicture(picture);
        more.setTrackName(QString(400, QLatin1Char('t')));
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &more));
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(HLVAudioBytes::haveSameAudio(path, HLVTestFiles::fixturePath(fixture), HLVTagLib::formatForPath(path)),
                  std::optional<bool>(true));
        EXPECT_EQ(hiddenFiles(files.path(QString())), QStringList());
    }
}

// A batch is prepared several files at a time; a file that comes again, by
// its own name or by another, is saved after what came before it, and every
// save of the batch answers for itself.
TEST(HLVSafeSave, ABatchSavesAFileThatComesAgainInItsTurn)
{
    HLVTestFiles files;
    QStringList paths;
    for (int i = 0; i < 70; ++i)
        paths.append(files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("%1.mp3").arg(i)));
    const QString link = files.path(QStringLiteral("second name.mp3"));
    ASSERT_EQ(::link(QFile::encodeName(paths[0]).constData(), QFile::encodeName(link).constData()), 0);
    // The first file again at the start of the next window, then by its second name.
    const QStringList order = QStringList(paths) << paths[0] << link << paths[3];
    QList<HLVTagMap> maps;
    for (qsizetype i = 0; i < order.size(); ++i)
        maps.append(retitled(QStringLiteral("Save %1").arg(i).toLatin1().constData()));
    QList<HLVTagLib::Save> saves;
    for (qsizetype i = 0; i < order.size(); ++i)
        saves.append({order[i], &maps[i], false, {}, false, {}});
    HLVTagLib::saveTagsToFiles(saves);
    for (const HLVTagLib::Save& save : saves)
        EXPECT_TRUE(save.saved) << save.path.toStdString() << ": " << save.failure.message.toStdString();
    EXPECT_EQ(taglibTitle(paths[0]), QStringLiteral("Save 71"));
    EXPECT_EQ(taglibTitle(paths[3]), QStringLiteral("Save 72"));
    EXPECT_EQ(taglibTitle(paths[69]), QStringLiteral("Save 69"));
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(paths[0]).constData(), &info), 0);
    EXPECT_EQ(info.st_nlink, 2u);
    EXPECT_EQ(hiddenFiles(files.path(QString())), QStringList());
}

// What an interrupted save left is undone only in the file it was changing
// and only where that file holds the save's old or new bytes. Against a file
// edited later, replaced through a rename, overwritten by cp, or deleted and
// made again, the file stays byte for byte as it is and the leftover is kept
// under a visible name, reported; a read-only look never writes.
TEST(HLVSafeSave, ALeftoverIsUndoneOnlyWhereItProvesItself)
{
    HLVTestFiles files;
    const QString folder = files.path(QString());
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    const QByteArray before = HLVTestFiles::readAll(path);
    const QByteArray after = savedBytes(path, retitled("After the save"));
    const QByteArray other = savedBytes(path, retitled("Another program's title"));
    const QString journal = HLVSafeSave::journalPathForPath(path);
    EXPECT_TRUE(HLVSafeSave::isLeftoverName(QFileInfo(journal).fileName()));
    EXPECT_FALSE(HLVFolderListing::hasAudioFileExtension(journal));

    EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::NothingToDo);
    EXPECT_FALSE(HLVSafeSave::hasPendingRecovery(path));

    // Provable: cut half-way, finished, or not begun.
    const struct {
        const char* name;
        QByteArray file;
        HLVSafeSave::Recovery outcome;
        QByteArray result;
    } provable[] = {
        {"cut", HLVSaveLeftovers::tornMix(before, after), HLVSafeSave::Recovery::Restored, before},
        {"finished", after, HLVSafeSave::Recovery::Finished, after},
        {"not begun", before, HLVSafeSave::Recovery::RemovedLeftover, before},
    };
    for (const auto& c : provable) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeBytes(path, before));
        ASSERT_FALSE(HLVSaveLeftovers::writeJournal(path, before, after).isEmpty());
        ASSERT_TRUE(writeBytes(path, c.file));
        EXPECT_TRUE(HLVSafeSave::hasPendingRecovery(path));
        EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), c.outcome);
        EXPECT_TRUE(HLVTestFiles::readAll(path) == c.result);
        EXPECT_EQ(hiddenFiles(folder), QStringList());
    }

    // Unprovable: the file is left alone, the journal set aside and named.
    const std::pair<const char*, std::function<void()>> unprovable[] = {
        {"edited later",
         [&] {
             writeBytes(path, after);
             TagLib::FileRef file(QFile::encodeName(path).constData(), false);
             file.tag()->setTitle("Edited in another program");
             file.save();
         }},
        {"replaced through rename",
         [&] {
             const QString made = files.writeFile(QStringLiteral("made.tmp"), HLVSaveLeftovers::tornMix(before, after));
             ::rename(QFile::encodeName(made).constData(), QFile::encodeName(path).constData());
         }},
        {"overwritten by cp", [&] { writeBytes(path, other); }}, // same inode, new bytes
        {"deleted and made again",
         [&] {
             QFile::remove(path);
             writeBytes(path, HLVSaveLeftovers::tornMix(before, after));
         }},
        {"damaged journal",
         [&] {
             QByteArray bytes = HLVTestFiles::readAll(journal);
             bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
             writeBytes(journal, bytes);
             writeBytes(path, HLVSaveLeftovers::tornMix(before, after));
         }},
    };
    for (const auto& [name, change] : unprovable) {
        SCOPED_TRACE(name);
        for (const QString& left : setAsideFiles(folder))
            QFile::remove(files.path(left));
        ASSERT_TRUE(writeBytes(path, before));
        ASSERT_FALSE(HLVSaveLeftovers::writeJournal(path, before, after).isEmpty());
        change();
        const QByteArray changed = HLVTestFiles::readAll(path);
        EXPECT_TRUE(HLVSafeSave::hasPendingRecovery(path));
        HLVFailure failure;
        EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path, &failure), HLVSafeSave::Recovery::KeptAside);
        EXPECT_TRUE(HLVTestFiles::readAll(path) == changed);
        const QStringList aside = setAsideFiles(folder);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_TRUE(aside.first().startsWith(QStringLiteral("tone.mp3.cadrelle-interrupted-")));
        EXPECT_FALSE(HLVFolderListing::hasAudioFileExtension(aside.first()));
        EXPECT_TRUE(failure.message.contains(aside.first())) << failure.message.toStdString();
        EXPECT_EQ(hiddenFiles(folder), QStringList());
        EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::NothingToDo);
    }

    // An earlier version's copy names no file: dropped when it equals the
    // file, else set aside; its unfinished copies and trials only go, and a
    // trial is never listed as a track.
    ASSERT_TRUE(writeBytes(path, after));
    const QString copy = HLVSafeSave::earlierCopyPathForPath(path);
    ASSERT_TRUE(writeBytes(copy, after));
    ASSERT_TRUE(writeBytes(copy + ".partial", before.left(100)));
    ASSERT_TRUE(writeBytes(copy + ".trial.mp3", before));
    EXPECT_EQ(HLVFolderListing::audioFilesInFolder(folder), QStringList{path});
    EXPECT_EQ(HLVSafeSave::recoverFileAtPath(path), HLVSafeSave::Recovery::RemovedLeftover);
    EXPECT_EQ(hiddenFiles(folder), QStringList());
    ASSERT_TRUE(writeBytes(copy, before));
    HLVFailure failure;
    EXPECT_FALSE(saveTitle(path, "Saved over a leftover", &failure));
    EXPECT_TRUE(HLVTestFiles::readAll(path) == after);
    EXPECT_EQ(setAsideFiles(folder).size(), 2);
    EXPECT_TRUE(saveTitle(path, "Saved after it"));
}

// Two processes on one file: a saver saving again and again while another
// process reads and recovers the same file in a loop. Every save ends old or
// new, "saved" always means new, and nothing is removed under the saver.
TEST(HLVSafeSave, ASaveAndARecoveryInAnotherProcessNeverMeet)
{
    HLVTestFiles files;
    const QString picture = files.writeFile(QStringLiteral("cover.jpg"), pictureBytes(512 * 1024));
    const QString path = files.writeFile(QStringLiteral("long.mp3"), longMP3(4 * 1024 * 1024));
    const QString original = files.writeFile(QStringLiteral("original.mp3"), HLVTestFiles::readAll(path));
    const pid_t saver = ::fork();
    if (saver == 0) {
        // Pictures in and out (the audio moves), titles in place, in turn.
        for (int round = 0; round < 24; ++round) {
            HLVTagMap map = round % 3 == 0 ? changeWithPicture(picture) : retitled(round % 3 == 1 ? "Title one" : "Title two");
            if (round % 3 == 2)
                map.setArtworkState(HLVArtworkStateRemove);
            HLVFailure failure;
            if (!HLVTagLib::saveTagsToFileAtPath(path, &map, &failure)) {
                std::fprintf(stderr, "round %d: %s\n", round, failure.message.toUtf8().constData());
                ::_exit(1);
            }
            if (taglibTitle(path) != *map.TrackName()
                || HLVAudioBytes::haveSameAudio(path, original, HLVTagLib::Format::MP3) != std::optional<bool>(true))
                ::_exit(2);
        }
        ::_exit(0);
    }
    ASSERT_GT(saver, 0);
    int status = 0;
    int recoveries = 0;
    while (::waitpid(saver, &status, WNOHANG) == 0) {
        const HLVSafeSave::Recovery recovery = HLVSafeSave::recoverFileAtPath(path);
        EXPECT_TRUE(recovery == HLVSafeSave::Recovery::NothingToDo || recovery == HLVSafeSave::Recovery::Busy)
            << int(recovery);
        recoveries += recovery == HLVSafeSave::Recovery::Busy;
        taglibTitle(path);
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(taglibTitle(path), QStringLiteral("Title two"));
    EXPECT_EQ(hiddenFiles(files.path(QString())), QStringList());
    EXPECT_EQ(setAsideFiles(files.path(QString())), QStringList());
    std::fprintf(stderr, "%d recoveries found the file busy\n", recoveries);
}

// A fault after the write was planned (the journal removed, or the bytes on
// disk not what was planned) fails the save and leaves the file as it was.
TEST(HLVSafeSave, AFaultAfterThePlanLeavesTheFileAsItWas)
{
    HLVTestFiles files;
    const QString picture = files.writeFile(QStringLiteral("cover.jpg"), pictureBytes(64 * 1024));
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    ASSERT_TRUE(saveTitle(path, "Room for a title of this length"));
    const QByteArray before = HLVTestFiles::readAll(path);
    // Past the size up to which a moving save is journaled, it writes a new file.
    const QString longPath = files.writeFile(QStringLiteral("long.mp3"), longMP3(2 * 1024 * 1024));
    const QByteArray longBefore = HLVTestFiles::readAll(longPath);
    const HLVTagMap inPlace = retitled("Room for a title of THIS length");
    const HLVTagMap moving = changeWithPicture(picture);
    const QByteArray planned = savedBytes(path, inPlace);
    qsizetype firstChange = 0;
    while (planned[firstChange] == before[firstChange])
        ++firstChange;

    auto flipByte = [](const QString& target, qint64 at) {
        QFile file(target);
        char byte = 0;
        if (file.open(QIODevice::ReadWrite) && file.seek(at) && file.getChar(&byte) && file.seek(at))
            file.putChar(char(byte ^ 0x55));
    };
    const struct {
        const char* name;
        const HLVTagMap* map;
        HLVSafeSave::Hook hook;
        bool newFile = false;
    } faults[] = {
        {"journal removed before the write", &inPlace,
         [](HLVSafeSave::Stage stage, const QString&, const QString& journal) {
             if (stage == HLVSafeSave::Stage::BeforeWrite)
                 QFile::remove(journal);
         }},
        {"journal removed after the write", &inPlace,
         [](HLVSafeSave::Stage stage, const QString&, const QString& journal) {
             if (stage == HLVSafeSave::Stage::AfterWrite)
                 QFile::remove(journal);
         }},
        {"other bytes written in place", &inPlace,
         [&](HLVSafeSave::Stage stage, const QString& target, const QString&) {
             if (stage == HLVSafeSave::Stage::AfterWrite)
                 flipByte(target, firstChange);
         }},
        {"moved audio written otherwise in place", &moving,
         [&](HLVSafeSave::Stage stage, const QString& target, const QString&) {
             if (stage == HLVSafeSave::Stage::AfterWrite)
                 flipByte(target, QFileInfo(target).size() - 1000);
         }},
        {"other bytes in the new file", &moving,
         [&](HLVSafeSave::Stage stage, const QString& target, const QString&) {
             if (stage == HLVSafeSave::Stage::AfterWrite)
                 flipByte(target, QFileInfo(target).size() - 1000);
         }, true},
        {"the new file removed", &moving,
         [](HLVSafeSave::Stage stage, const QString& target, const QString&) {
             if (stage == HLVSafeSave::Stage::AfterWrite)
                 QFile::remove(target);
         }, true},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        HLVSafeSave::setHookForTesting(fault.hook);
        HLVFailure failure;
        const QString& target = fault.newFile ? longPath : path;
        EXPECT_FALSE(HLVTagLib::saveTagsToFileAtPath(target, fault.map, &failure));
        HLVSafeSave::setHookForTesting({});
        EXPECT_EQ(failure.kind, HLVFailure::Kind::WriteFailed);
        EXPECT_TRUE(HLVTestFiles::readAll(target) == (fault.newFile ? longBefore : before));
        EXPECT_EQ(hiddenFiles(files.path(QString())), QStringList());
    }
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &inPlace));
    EXPECT_TRUE(HLVTestFiles::readAll(path) == planned);
}

// Adding files as a batch (the window's way) undoes a save that was cut short.
// The second file's journal is as the version before wrote it.
TEST(HLVSafeSave, ABatchAddRecoversACutFile)
{
    HLVTestFiles files;
    const QString path = files.copyFixture(QStringLiteral("tone.flac"));
    const QString earlier = files.copyFixture(QStringLiteral("tone.mp3"));
    const QByteArray before = HLVTestFiles::readAll(path), earlierBefore = HLVTestFiles::readAll(earlier);
    const QByteArray after = savedBytes(path, retitled("Cut short"));
    const QByteArray earlierAfter = savedBytes(earlier, retitled("Cut short"));
    ASSERT_FALSE(HLVSaveLeftovers::writeJournal(path, before, after).isEmpty());
    ASSERT_FALSE(HLVSaveLeftovers::writeJournal(earlier, earlierBefore, earlierAfter, true).isEmpty());
    ASSERT_TRUE(writeBytes(path, HLVSaveLeftovers::tornMix(before, after)));
    ASSERT_TRUE(writeBytes(earlier, HLVSaveLeftovers::tornMix(earlierBefore, earlierAfter)));
    HLVFileManager manager;
    manager.addFilesAtURLs(QList<QUrl>{QUrl::fromLocalFile(path), QUrl::fromLocalFile(earlier)});
    manager.waitUntilIdle();
    ASSERT_EQ(manager.FileDataArray().size(), 2);
    EXPECT_TRUE(HLVTestFiles::readAll(path) == before);
    EXPECT_TRUE(HLVTestFiles::readAll(earlier) == earlierBefore);
    EXPECT_EQ(hiddenFiles(files.path(QString())), QStringList());
}

// A file that may be written in a folder that may not: the journal goes to
// the program's data folder, and saves in place and moving the audio both work.
TEST(HLVSafeSave, AWritableFileInAReadOnlyFolderSaves)
{
    if (HLVTestEnvironment::runningAsRoot())
        GTEST_SKIP() << "permissions do not apply to root; the .Unprivileged run of this test runs it";
    HLVTestFiles files;
    const QString picture = files.writeFile(QStringLiteral("cover.jpg"), pictureBytes(256 * 1024));
    const QString folder = files.path(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/tone.flac");
    ASSERT_TRUE(QFile::copy(HLVTestFiles::fixturePath(QStringLiteral("tone.flac")), path));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    EXPECT_TRUE(saveTitle(path, "In a locked folder"));
    const HLVTagMap map = changeWithPicture(picture);
    HLVFailure failure;
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(path, &map, &failure)) << failure.message.toStdString();
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(taglibTitle(path), QStringLiteral("Saved whole or not at all"));
    EXPECT_EQ(HLVAudioBytes::haveSameAudio(path, HLVTestFiles::fixturePath(QStringLiteral("tone.flac")),
                                           HLVTagLib::Format::FLAC),
              std::optional<bool>(true));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("tone.flac")});
    EXPECT_FALSE(QFileInfo::exists(HLVSafeSave::dataFolderJournalPathForPath(path)));
}

// A picture named by a web address is fetched once, before the save starts.
TEST(HLVSafeSave, APictureFromTheWebIsFetchedBeforeTheSave)
{
    HLVLoopbackServer server;
    const QByteArray picture = pictureBytes(64 * 1024);
    server.setReply(QStringLiteral("/cover.jpg"), HLVLoopbackServer::Reply::bytes(picture, "image/jpeg"));
    HLVTestFiles files;
    const QString path = files.writeFile(QStringLiteral("long.mp3"), longMP3(2 * 1024 * 1024));
    HLVTagMap map = changeWithPicture(server.baseAddress() + QStringLiteral("/cover.jpg"));
    map.setArtworkState(HLVArtworkStateFound);

    bool saved = false;
    int requestsDuringWrite = -1;
    HLVSafeSave::setHookForTesting([&](HLVSafeSave::Stage stage, const QString&, const QString&) {
        if (stage == HLVSafeSave::Stage::AfterWrite)
            requestsDuringWrite = int(server.requests().size());
    });
    std::thread([&] { saved = HLVTagLib::saveTagsToFileAtPath(path, &map); }).join();
    HLVSafeSave::setHookForTesting({});
    ASSERT_TRUE(saved);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(requestsDuringWrite, 1);
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
    EXPECT_FALSE(HLVSafeSave::saveFileAtPath(flacPath, [](TagLib::IOStream& stream, HLVFailure*) {
        TagLib::FLAC::File file(&stream, TagLib::ID3v2::FrameFactory::instance());
        file.xiphComment(true)->setTitle("Title");
        return file.save();
    }, &failure));
    EXPECT_EQ(failure.message, QStringLiteral("the file could not be written in full"));
    EXPECT_TRUE(HLVTestFiles::readAll(flacPath) == flac);
    HLVTagMap map;
    map.setTrackName(QStringLiteral("Title"));
    EXPECT_TRUE(HLVTagLib::saveTagsToFileAtPath(flacPath, &map));
}
