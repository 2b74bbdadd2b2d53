#include "HLVFileData.h"
#include "HLVFileNameStructure.h"
#include "HLVRecordingReleasesGroup.h"
#include "HLVRenamingPlan.h"
#include "HLVTestEnvironment.h"
#include "HLVTestFiles.h"
#include "HLVTagLib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <thread>

namespace {

struct Recorder : HLVFileDataDelegate
{
    std::mutex mutex;
    QList<int> codes;
    void OnFileDataModified(const std::shared_ptr<HLVFileData>&, int code) override
    {
        std::lock_guard lock(mutex);
        codes.append(code);
    }
    QList<int> take()
    {
        std::lock_guard lock(mutex);
        return std::exchange(codes, {});
    }
};

void taglibSet(const QString& path, const std::function<void(TagLib::Tag&)>& change)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull());
    change(*file.tag());
    ASSERT_TRUE(file.save());
}


std::shared_ptr<HLVRecordingRelease> release(const QString& title, bool compilation = false, bool single = false)
{
    auto r = std::make_shared<HLVRecordingRelease>();
    r->setReleaseTitle(title);
    r->setIsCompilation(compilation);
    r->setIsSingle(single);
    r->setReleaseID(QStringLiteral("id-") + title);
    return r;
}

class HLVFileDataTest : public ::testing::Test
{
protected:
    std::shared_ptr<HLVFileData> record(const QString& fixture = QStringLiteral("tone.mp3"),
                                        const std::function<void(TagLib::Tag&)>& tags = {})
    {
        const QString path = files.copyFixture(fixture);
        if (tags)
            taglibSet(path, tags);
        auto r = HLVFileData::createWithPath(path);
        r->setDelegate(&recorder);
        return r;
    }
    HLVTestFiles files;
    Recorder recorder;
};

void fullTags(TagLib::Tag& tag)
{
    tag.setTitle("Title");
    tag.setArtist("Artist");
    tag.setAlbum("Album");
    tag.setGenre("Rock");
    tag.setYear(1999);
    tag.setTrack(3);
}

} // namespace

TEST_F(HLVFileDataTest, NewRecordIsUnmodifiedAndLoadsLazily)
{
    auto r = record(QStringLiteral("tone.flac"), fullTags);
    EXPECT_FALSE(r->IsModified());
    EXPECT_EQ(r->FilteredTagCount(), -1);
    EXPECT_EQ(r->FileName(), QStringLiteral("tone.flac"));
    EXPECT_FALSE(r->isLoaded());
    EXPECT_EQ(r->TemporaryTagMap()->TrackName(), QStringLiteral("Title"));
    EXPECT_FALSE(r->isLoaded()); // the filter's map is not kept
    EXPECT_EQ(r->TagMap()->TrackName(), QStringLiteral("Title"));
    EXPECT_TRUE(r->isLoaded());
    EXPECT_EQ(recorder.take(), QList<int>{HLVFileDataChangeLoaded});
    r->TagMap();
    EXPECT_TRUE(recorder.take().isEmpty()); // read once
}

TEST_F(HLVFileDataTest, ModifiedStateFollowsPendingChanges)
{
    auto r = record();
    r->editVirtualTagMap([](HLVTagMap& m) { m.setGenre(QStringLiteral("Jazz")); });
    EXPECT_FALSE(r->IsModified()); // saved until an editor forces it
    r->forceIsModified();
    EXPECT_TRUE(r->IsModified());

    // Only the artwork state: 2, 3 and 4 are changes, 0 and 1 are not.
    for (int state : {0, 1, 2, 3, 4}) {
        r->setVirtualTagMap(nullptr); // clears the forced flag, keeps unsaved
        auto map = std::make_shared<HLVTagMap>();
        map->setArtworkState(state);
        r->setVirtualTagMap(map);
        EXPECT_EQ(r->IsModified(), state >= 2) << state;
    }

    auto readOnly = record();
    readOnly->setIsReadOnly(true);
    readOnly->editVirtualTagMap([](HLVTagMap& m) { m.setTrackName(QStringLiteral("x")); });
    readOnly->forceIsModified();
    EXPECT_FALSE(readOnly->IsModified());
    EXPECT_TRUE(HLVFileData::areAnyFilesModified({readOnly, r}));
    EXPECT_FALSE(HLVFileData::areAnyFilesModified({readOnly}));
    EXPECT_TRUE(HLVFileData::areAnyFilesModifiedAtIndexes({readOnly, r}, {1}));
    EXPECT_FALSE(HLVFileData::areAnyFilesModifiedAtIndexes({readOnly, r}, {0, 7}));
    EXPECT_FALSE(HLVFileData::areAnyFilesModified({}));
}

TEST_F(HLVFileDataTest, RequiresTagging)
{
    auto complete = record(QStringLiteral("tone.mp3"), fullTags);
    complete->editVirtualTagMap([](HLVTagMap& m) {
        m.setAlbumArtist(QStringLiteral("AA"));
        m.setTrackTotal(9);
        m.setDiscNumber(1);
    });
    EXPECT_FALSE(complete->RequiresTagging()); // no disc total, no artwork: still complete
    complete->editVirtualTagMap([](HLVTagMap& m) { m.setTrackNumber(0); });
    EXPECT_TRUE(complete->RequiresTagging());
    complete->setIdentificationState(HLVIdentificationIdentified);
    EXPECT_FALSE(complete->RequiresTagging());
    complete->setIdentificationState(HLVIdentificationFailed);
    EXPECT_FALSE(complete->RequiresTagging());
    EXPECT_TRUE(record()->RequiresTagging());
}

TEST_F(HLVFileDataTest, ReleasesBecomeCandidatesWithMatchingAlbumsFirst)
{
    auto r = record(QStringLiteral("tone.mp3"), [](TagLib::Tag& t) { t.setAlbum("Blue Album"); });
    r->TagMap();
    auto group = std::make_shared<HLVRecordingReleasesGroup>();
    group->setArtistName(QStringLiteral("Band"));
    group->setTrackName(QStringLiteral("Song"));
    auto first = release(QStringLiteral("Other"));
    first->setReleaseYear(QStringLiteral("2001-05-17"));
    first->setTrackPosition(5);
    first->setTrackCount(12);
    auto second = release(QStringLiteral("BLUE ALBUM"), true);
    second->setReleaseYear(QStringLiteral("99"));
    auto third = release(QStringLiteral("blue album"));
    third->setTrackName(QStringLiteral("Song (live)"));
    group->RecordingReleases() = {first, second, third};
    r->setReleases(group);

    const auto releases = r->Releases();
    ASSERT_EQ(releases.size(), 3);
    EXPECT_EQ(releases[0]->AlbumName(), QStringLiteral("blue album"));
    EXPECT_EQ(releases[1]->AlbumName(), QStringLiteral("BLUE ALBUM"));
    EXPECT_EQ(releases[2]->AlbumName(), QStringLiteral("Other"));
    EXPECT_EQ(r->selectedRelease(), 0); // the candidate itself is pending
    EXPECT_EQ(releases[0]->TrackName(), QStringLiteral("Song (live)"));
    EXPECT_EQ(releases[2]->TrackName(), QStringLiteral("Song"));
    EXPECT_EQ(releases[2]->ReleaseYear(), 2001);
    EXPECT_FALSE(releases[1]->ReleaseYear());
    EXPECT_EQ(releases[2]->TrackNumber(), 5);
    EXPECT_EQ(releases[2]->TrackTotal(), 12);
    EXPECT_FALSE(releases[2]->DiscNumber());
    EXPECT_EQ(releases[2]->ArtworkState(), HLVArtworkStateFound);
    EXPECT_FALSE(releases[2]->ArtworkAttempted());
    EXPECT_EQ(releases[1]->AlbumArtist(), QString(""));
    EXPECT_EQ(releases[0]->AlbumArtist(), QStringLiteral("Band"));
    EXPECT_EQ(releases[2]->ReleaseMBID(), QStringLiteral("id-Other"));

    // A compilation's empty album artist overrides the file's.
    r->setVirtualTagMap(releases[1]);
    EXPECT_EQ(r->TagMap()->AlbumArtist(), QString(""));

    r->forceIsModified();
    r->undoChanges();
    EXPECT_TRUE(r->Releases().isEmpty());
    EXPECT_FALSE(r->existingVirtualTagMap());
    EXPECT_EQ(r->IdentificationState(), HLVIdentificationNone);
}

TEST_F(HLVFileDataTest, SaveWritesOnlyPendingFieldsAndMovesTheBaseline)
{
    auto r = record(QStringLiteral("tone.m4a"), fullTags);
    r->TagMap();
    recorder.take();
    r->editVirtualTagMap([](HLVTagMap& m) { m.setTrackName(QStringLiteral("New title")); });
    r->saveID3Tags();
    EXPECT_EQ(recorder.take(), QList<int>{HLVFileDataChangeNotSaved}); // not forced: nothing to save

    r->forceIsModified();
    r->saveID3Tags();
    EXPECT_EQ(recorder.take(), QList<int>{HLVFileDataChangeSaved});
    EXPECT_FALSE(r->isSaving());
    EXPECT_FALSE(r->IsModified());
    const QString path = r->FilePath();
    TagLib::FileRef file(QFile::encodeName(path).constData());
    EXPECT_EQ(file.tag()->title(), TagLib::String("New title"));
    EXPECT_EQ(file.tag()->artist(), TagLib::String("Artist"));
    EXPECT_EQ(file.tag()->year(), 1999u);
    EXPECT_EQ(r->InitialTagMap()->TrackName(), QStringLiteral("New title"));
    EXPECT_EQ(r->InitialTagMap()->ArtistName(), QStringLiteral("Artist"));
}

TEST_F(HLVFileDataTest, FailedSaveKeepsPendingChanges)
{
    auto r = record(QStringLiteral("tone.mp3"), fullTags);
    r->TagMap();
    recorder.take();
    r->editVirtualTagMap([](HLVTagMap& m) { m.setTrackName(QStringLiteral("Lost?")); });
    r->forceIsModified();
    QFile::remove(r->FilePath()); // the file went away
    r->saveID3Tags();
    EXPECT_EQ(recorder.take(), QList<int>{HLVFileDataChangeNotSaved});
    EXPECT_TRUE(r->IsModified());
    EXPECT_EQ(r->TagMap()->TrackName(), QStringLiteral("Lost?"));
    EXPECT_EQ(r->InitialTagMap()->TrackName(), QStringLiteral("Title"));
    // The record keeps why, for the command line and the file list.
    ASSERT_TRUE(r->LastFailure().has_value());
    EXPECT_FALSE(r->LastFailure()->message.isEmpty());
}

TEST_F(HLVFileDataTest, RenamesFromTheStoredTags)
{
    auto a = record(QStringLiteral("tone.mp3"), [](TagLib::Tag& t) {
        t.setArtist("AC/DC");
        t.setTitle("Title: Part 1");
    });
    a->editVirtualTagMap([](HLVTagMap& m) { m.setTrackName(QStringLiteral("Unsaved")); });
    a->renameFileUsingStructure(HLVFileNameStructure(0, 2, 8));
    EXPECT_EQ(a->FileName(), QStringLiteral("ACDC - Title Part 1.mp3"));
    EXPECT_TRUE(QFileInfo::exists(a->FilePath()));
    EXPECT_EQ(recorder.take().last(), HLVFileDataChangeRenamed);

    // Track 0 drops out with its separator.
    auto b = record(QStringLiteral("tone.flac"), [](TagLib::Tag& t) { t.setTitle("Solo"); });
    b->renameFileUsingStructure(HLVFileNameStructure(0, 9, 8));
    EXPECT_EQ(b->FileName(), QStringLiteral("Solo.flac"));

    // Two records wanting one name: the second stays.
    const QString other = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("second.flac"));
    taglibSet(other, [](TagLib::Tag& t) { t.setTitle("Solo"); });
    auto c = HLVFileData::createWithPath(other);
    c->setDelegate(&recorder);
    c->renameFileUsingStructure(HLVFileNameStructure());
    EXPECT_EQ(c->FileName(), QStringLiteral("second.flac"));
    EXPECT_EQ(recorder.take().last(), HLVFileDataChangeRenamed);

    // No title: nothing to name it by. An unreadable file is never renamed.
    auto untitled = record(QStringLiteral("tone.m4a"));
    untitled->renameFileUsingStructure(HLVFileNameStructure());
    EXPECT_EQ(untitled->FileName(), QStringLiteral("tone.m4a"));
    const QString garbage = files.writeFile(QStringLiteral("garbage.mp3"), QByteArray(1000, 'x'));
    auto unreadable = HLVFileData::createWithPath(garbage);
    unreadable->renameFileUsingStructure(HLVFileNameStructure(2, 0, 8));
    EXPECT_TRUE(QFileInfo::exists(garbage));

    // Nothing but forbidden characters, or only dots: left alone.
    auto dots = record(QStringLiteral("tone.ogg"), [](TagLib::Tag& t) { t.setTitle(".."); });
    dots->renameFileUsingStructure(HLVFileNameStructure());
    EXPECT_EQ(dots->FileName(), QStringLiteral("tone.ogg"));
}

// One rule for every rename (window, preview, command line): a symbolic link
// counts as taken even when it dangles, a name freed by an earlier rename of
// the same run may be taken, and a name claimed by one cannot be by another.
TEST_F(HLVFileDataTest, TheRenamePlanTreatsLinksAndEarlierRenamesAlike)
{
    auto titled = [&](const QString& name, const char* title) {
        const QString path = files.copyFixture(QStringLiteral("tone.mp3"), name);
        taglibSet(path, [title](TagLib::Tag& t) { t.setTitle(title); });
        return HLVFileData::createWithPath(path);
    };
    const HLVFileNameStructure byTitle(8, 0, 0);
    auto linked = titled(QStringLiteral("linked.mp3"), "Dangling");
    ASSERT_TRUE(QFile::link(files.path(QStringLiteral("nowhere.mp3")), files.path(QStringLiteral("Dangling.mp3"))));
    auto b = titled(QStringLiteral("B.mp3"), "C");
    auto a = titled(QStringLiteral("A.mp3"), "B");
    auto same = titled(QStringLiteral("Same.mp3"), "Same");
    auto twin = titled(QStringLiteral("twin.mp3"), "C");

    using HLVRenamingPlan::Outcome;
    auto outcomes = [&](const QList<std::shared_ptr<HLVFileData>>& records) {
        QList<Outcome> result;
        for (const auto& step : HLVRenamingPlan::plan(records, byTitle))
            result.append(step.outcome);
        return result;
    };
    EXPECT_EQ(outcomes({linked, b, a, same, twin}),
              (QList{Outcome::Taken, Outcome::Rename, Outcome::Rename, Outcome::AlreadyNamed, Outcome::Taken}));
    EXPECT_EQ(outcomes({a, b}), (QList{Outcome::Taken, Outcome::Rename})) << "B.mp3 is still there for A";

    // The record's own rename follows the same rule: the link stays, and so does the file.
    linked->renameFileUsingStructure(byTitle);
    EXPECT_EQ(linked->FileName(), QStringLiteral("linked.mp3"));
    EXPECT_TRUE(QFileInfo(files.path(QStringLiteral("Dangling.mp3"))).isSymLink());
}

TEST_F(HLVFileDataTest, EditsSavesAndReadsFromSeveralThreads)
{
    auto r = record(QStringLiteral("tone.flac"), fullTags);
    std::atomic<bool> stop{false};
    std::thread editor([&] {
        for (int i = 0; !stop; ++i) {
            r->editVirtualTagMap([i](HLVTagMap& m) {
                m.setTrackName(QStringLiteral("Edit %1").arg(i));
                m.setComment(QStringLiteral("Comment %1").arg(i));
            });
            r->forceIsModified();
        }
    });
    // Data races here show only under ThreadSanitizer (this suite runs there);
    // a torn edit shows anywhere: title and comment are always set together.
    std::thread reader([&] {
        while (!stop) {
            auto map = r->TagMap();
            (void)r->IsModified();
            (void)r->RequiresTagging();
            ASSERT_TRUE(map->TrackName().has_value());
            if (map->TrackName()->startsWith(QLatin1String("Edit "))) {
                EXPECT_EQ(map->TrackName()->mid(5), map->Comment().value_or(QString()).mid(8));
            }
            const auto pending = r->VirtualTagMap();
            EXPECT_EQ(pending->TrackName().value_or(QString()).mid(5), pending->Comment().value_or(QString()).mid(8));
        }
    });
    for (int i = 0; i < 40; ++i)
        r->saveID3Tags();
    stop = true;
    editor.join();
    reader.join();
    r->forceIsModified();
    r->saveID3Tags();
    EXPECT_EQ(r->TagMap()->TrackName(), r->InitialTagMap()->TrackName());
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(r->FilePath())->TrackName(), r->InitialTagMap()->TrackName());
}

// Only a file TagLib cannot open counts as unreadable; a sound file without
// tags (an MP4 file has no item list then) is merely untagged.
TEST(HLVFileDataReadability, UnreadableOnlyWhenTagLibCannotOpenTheFile)
{
    HLVTestFiles files;
    for (const char* fixture : {"tone.mp3", "tone.m4a", "tone.flac"}) {
        auto record = HLVFileData::createWithPath(files.copyFixture(QString::fromLatin1(fixture)));
        EXPECT_FALSE(record->IsUnreadable()) << fixture; // not read yet
        record->TagMap();
        EXPECT_FALSE(record->IsUnreadable()) << fixture;
    }
    const QByteArray flac = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.flac")));
    for (const auto& [name, bytes] : {std::pair<QString, QByteArray>{"noise.mp3", QByteArray(3000, 'n')},
                                      {"noise.m4a", QByteArray(3000, 'n')},
                                      {"cut.flac", flac.left(40)},
                                      {"empty.flac", QByteArray()}}) {
        auto record = HLVFileData::createWithPath(files.writeFile(name, bytes));
        record->InitialTagMap();
        EXPECT_TRUE(record->IsUnreadable()) << name.toStdString();
    }
    auto missing = HLVFileData::createWithPath(files.path(QStringLiteral("missing.mp3")));
    missing->loadID3Tags();
    EXPECT_TRUE(missing->IsUnreadable());
}

// Two saves of one record at once (a single save, a batch save, a resumed
// save) must not both write the file: the second finds nothing left to save.
TEST_F(HLVFileDataTest, OneSaveWritesAtATime)
{
    auto r = record(QStringLiteral("tone.flac"), fullTags);
    int doubleWrites = 0;
    for (int round = 0; round < 20; ++round) {
        r->editVirtualTagMap([round](HLVTagMap& m) { m.setTrackName(QStringLiteral("Round %1").arg(round)); });
        r->forceIsModified();
        recorder.take();
        std::atomic<int> ready{0};
        auto save = [&] {
            ++ready;
            while (ready < 2) {
            }
            r->saveID3Tags();
        };
        std::thread first(save);
        std::thread second(save);
        first.join();
        second.join();
        doubleWrites += recorder.take().count(HLVFileDataChangeSaved) > 1;
    }
    EXPECT_EQ(doubleWrites, 0);
    EXPECT_EQ(HLVTagLib::loadTagsFromFileAtPath(r->FilePath())->TrackName(), QStringLiteral("Round 19"));
}

// An edit runs without the record's lock: other threads may read the record
// meanwhile (an edit that waits for one of them cannot deadlock).
TEST_F(HLVFileDataTest, EditsDoNotHoldTheRecordLocked)
{
    auto r = record(QStringLiteral("tone.flac"), fullTags);
    r->TagMap();
    bool readerBlocked = false;
    std::future<std::shared_ptr<HLVTagMap>> reader; // outlives the edit, whatever happens
    r->editVirtualTagMap([&](HLVTagMap& m) {
        reader = std::async(std::launch::async, [&] { return r->TagMap(); });
        readerBlocked = reader.wait_for(std::chrono::seconds(2)) != std::future_status::ready;
        m.setTrackName(QStringLiteral("Edited"));
    });
    EXPECT_FALSE(readerBlocked);
    EXPECT_EQ(r->TagMap()->TrackName(), QStringLiteral("Edited"));
}
