#include "HLVFileManager.h"
#include "HLVFileManagerEvents.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzServer.h"
#include "HLVRecordingReleasesGroup.h"
#include "HLVSafeSave.h"
#include "HLVServiceConfiguration.h"
#include "HLVTagLib.h"
#include "HLVTestFiles.h"
#include "HLVWorkerPool.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QImage>
#include <chrono>
#include <thread>
#include <gtest/gtest.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

using namespace std::chrono_literals;

namespace {

const QByteArray kCoverReply = R"({"images": [{"thumbnails": {"large": "http://covers.example/%1.jpg"}}]})";

QByteArray coverFor(const char* name)
{
    return QByteArray(kCoverReply).replace("%1", name);
}

QString titleInFile(const QString& path)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    if (file.isNull() || !file.tag())
        return QStringLiteral("<unreadable>");
    return QString::fromStdString(file.tag()->title().to8Bit(true));
}

// Runs the main thread's queue (artwork answers for candidates arrive there)
// until the condition holds or the time is up.
template <typename Condition>
bool spinUntil(Condition condition, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

class HLVFileManagerBatches : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("CADRELLE_COVERART_URL", server.baseAddress().toUtf8());
        qputenv("CADRELLE_MUSICBRAINZ_URL", server.baseAddress().toUtf8());
        HLVMusicBrainzServer::resetForTesting();
        HLVServiceConfiguration::setRequestPauseForTesting(10ms);
        manager.addDelegate(&events);
    }
    void TearDown() override
    {
        manager.removeDelegate(&events);
        manager.shutdown();
        HLVServiceConfiguration::resetPacingForTesting();
        qunsetenv("CADRELLE_COVERART_URL");
        qunsetenv("CADRELLE_MUSICBRAINZ_URL");
        HLVMusicBrainzServer::resetForTesting();
    }

    std::shared_ptr<HLVFileData> add(const QString& name)
    {
        auto record = HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.flac"), name));
        EXPECT_TRUE(manager.addFileData(record));
        return record;
    }
    // A pending title; with a release, the save first looks for its cover.
    void edit(const std::shared_ptr<HLVFileData>& record, const QString& title, const char* release = nullptr)
    {
        record->editVirtualTagMap([&](HLVTagMap& m) {
            m.setTrackName(title);
            if (release) {
                m.setReleaseMBID(QString::fromLatin1(release));
                m.setArtworkAttempted(false);
            }
        });
        record->forceIsModified();
        manager.fileWasModified(record);
    }

    HLVLoopbackServer server;
    HLVTestFiles files;
    HLVFileManagerEvents events;
    HLVFileManager manager;
};

// Fault: a second save batch started while the first waited for artwork never
// finished, and its files were never written.
TEST_F(HLVFileManagerBatches, SaveBatchesInARowBothFinish)
{
    server.setReply(QStringLiteral("/release/rel-c/"), HLVLoopbackServer::Reply::withStatus(404).delayed(1500ms));
    auto a = add(QStringLiteral("a.flac"));
    auto b = add(QStringLiteral("b.flac"));
    auto c = add(QStringLiteral("c.flac"));
    edit(a, QStringLiteral("A"));
    edit(b, QStringLiteral("B"));
    edit(c, QStringLiteral("C"), "rel-c");
    events.take();
    manager.saveFiles({a, c});
    std::this_thread::sleep_for(300ms);
    manager.saveFiles({b});
    ASSERT_TRUE(spinUntil([&] { return events.waitFor(QString(), 0ms).count(QStringLiteral("finish 3")) == 2; }));
    const QStringList seen = events.take();
    EXPECT_EQ(seen.count(QStringLiteral("start 3")), 2);
    EXPECT_TRUE(seen.contains(QStringLiteral("2 b.flac")));
    EXPECT_EQ(titleInFile(a->FilePath()), QStringLiteral("A"));
    EXPECT_EQ(titleInFile(b->FilePath()), QStringLiteral("B"));
    EXPECT_EQ(titleInFile(c->FilePath()), QStringLiteral("C"));
    EXPECT_EQ(manager.currentOperation(), HLVFileOperationNone);
}

// Stop in the middle of a long save: what was begun is saved whole, the files
// not begun keep their tags and their pending change, and fail nothing.
TEST_F(HLVFileManagerBatches, StopInTheMiddleOfASaveLeavesTheRestPending)
{
    QList<std::shared_ptr<HLVFileData>> records;
    for (int i = 0; i < 150; ++i) {
        records.append(add(QStringLiteral("%1.flac").arg(i)));
        edit(records.last(), QStringLiteral("New %1").arg(i));
    }
    const QString before = titleInFile(records.first()->FilePath());
    std::atomic<bool> stopped{false};
    HLVSafeSave::setHookForTesting([&](HLVSafeSave::Stage stage, const QString&, const QString&) {
        if (stage == HLVSafeSave::Stage::BeforeWrite && !stopped.exchange(true))
            manager.stopSaving();
    });
    manager.saveFiles(records);
    manager.waitUntilIdle();
    HLVSafeSave::setHookForTesting({});
    ASSERT_TRUE(stopped);
    int saved = 0, pending = 0;
    for (int i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        const QString title = titleInFile(records[i]->FilePath());
        if (title == QStringLiteral("New %1").arg(i)) {
            ++saved;
            EXPECT_FALSE(records[i]->IsModified());
        } else {
            ++pending;
            EXPECT_EQ(title, before);
            EXPECT_TRUE(records[i]->IsModified());
            EXPECT_FALSE(records[i]->LastFailure().has_value());
            EXPECT_FALSE(records[i]->isSaving());
        }
    }
    EXPECT_GT(saved, 0);
    EXPECT_GT(pending, 0);
    EXPECT_EQ(manager.currentOperation(), HLVFileOperationNone);
}

// Faults: Undo during a save's artwork wait left the record saving and the
// control queue stalled; the current operation was only known with a delegate.
TEST_F(HLVFileManagerBatches, UndoWhileASaveWaitsForArtwork)
{
    server.setReply(QStringLiteral("/release/rel-c/"), HLVLoopbackServer::Reply::withStatus(404).delayed(800ms));
    auto c = add(QStringLiteral("c.flac"));
    auto b = add(QStringLiteral("b.flac"));
    edit(c, QStringLiteral("C"), "rel-c");
    edit(b, QStringLiteral("B"));
    manager.removeDelegate(&events); // the kind must not depend on a delegate
    manager.saveFile(c);
    ASSERT_TRUE(server.waitForRequests(1, 10s));
    EXPECT_EQ(manager.currentOperation(), HLVFileOperationSaving);
    EXPECT_TRUE(manager.isOperationRunning(HLVFileOperationSaving));
    EXPECT_FALSE(manager.isOperationRunning(HLVFileOperationRenaming));
    c->undoChanges();
    ASSERT_TRUE(spinUntil([&] { return !manager.isOperationRunning(); }));
    EXPECT_FALSE(c->isSaving());
    EXPECT_EQ(titleInFile(c->FilePath()), QString());

    manager.addDelegate(&events);
    events.take();
    manager.saveFile(b);
    EXPECT_TRUE(events.waitFor(QStringLiteral("finish 3"), 10s).contains(QStringLiteral("finish 3")));
    EXPECT_EQ(titleInFile(b->FilePath()), QStringLiteral("B"));
}

// Fault: the answer for candidate 1 arriving after the user paged to candidate 2
// went into candidate 2, and candidate 2's own answer was dropped. And when no
// cover is found, a file with a picture of its own keeps it.
TEST_F(HLVFileManagerBatches, CandidateArtworkReachesItsOwnCandidate)
{
    server.setReply(QStringLiteral("/release/rel-1/"), HLVLoopbackServer::Reply::json(coverFor("one")).delayed(700ms));
    server.setReply(QStringLiteral("/release/rel-2/"), HLVLoopbackServer::Reply::json(coverFor("two")));
    server.setReply(QStringLiteral("/release/rel-3/"), HLVLoopbackServer::Reply::withStatus(404));
    const QString picture = files.path(QStringLiteral("own.png"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(picture));
    auto record = add(QStringLiteral("x.flac"));
    ASSERT_TRUE(HLVTagLib::addArtwokImageToFileAtPath(record->FilePath(), picture));
    record->loadID3Tags();

    auto group = std::make_shared<HLVRecordingReleasesGroup>();
    group->setArtistName(QStringLiteral("Band"));
    QList<std::shared_ptr<HLVRecordingRelease>> releases;
    for (const char* id : {"rel-1", "rel-2", "rel-3"}) {
        auto release = std::make_shared<HLVRecordingRelease>();
        release->setReleaseTitle(QString::fromLatin1(id));
        release->setReleaseID(QString::fromLatin1(id));
        releases.append(release);
    }
    group->RecordingReleases() = releases;
    record->setReleases(group);
    events.take();
    record->obtainArtworkPathForActiveTagMap();
    ASSERT_TRUE(record->selectRelease(1));
    record->obtainArtworkPathForActiveTagMap();
    ASSERT_TRUE(record->selectRelease(2));
    record->obtainArtworkPathForActiveTagMap();
    ASSERT_TRUE(spinUntil([&] { return events.waitFor(QString(), 0ms).count(QStringLiteral("1 x.flac")) == 3; }));

    const auto candidates = record->Releases();
    EXPECT_EQ(candidates[0]->ArtworkPath(), QStringLiteral("https://covers.example/one.jpg"));
    EXPECT_EQ(candidates[1]->ArtworkPath(), QStringLiteral("https://covers.example/two.jpg"));
    EXPECT_FALSE(candidates[2]->ArtworkPath());
    EXPECT_EQ(candidates[2]->ArtworkState(), HLVArtworkStateInFile);
    EXPECT_EQ(record->VirtualTagMap()->ArtworkState(), HLVArtworkStateInFile);
}

// Fault: a saved answer took the record out of the modified list even when
// edits made during the write left it modified.
TEST_F(HLVFileManagerBatches, SavedRecordStaysModifiedWhenEditedMeanwhile)
{
    auto a = add(QStringLiteral("a.flac"));
    edit(a, QStringLiteral("Edited during the write"));
    ASSERT_EQ(manager.ModifiedFileDataArray().size(), 1);
    manager.OnFileDataModified(a, HLVFileDataChangeSaved); // as if the write ended now
    EXPECT_EQ(manager.ModifiedFileDataArray().size(), 1);
}

// Fault: callers got the record's own maps, which core threads then changed
// under the record's lock while the caller read them without it.
TEST_F(HLVFileManagerBatches, RecordHandsOutCopies)
{
    auto a = add(QStringLiteral("a.flac"));
    a->setVirtualTagText(*HLVTagField::withKey(QStringLiteral("TrackName")), QStringLiteral("Mine"));
    auto copy = a->VirtualTagMap();
    copy->setTrackName(QStringLiteral("Changed behind the record's back"));
    EXPECT_EQ(a->VirtualTagMap()->TrackName(), QStringLiteral("Mine"));
    EXPECT_EQ(a->TagMap()->TrackName(), QStringLiteral("Mine"));
}

// The tag editor asks for a shown file's artwork on the main thread: the call
// must come back at once and the answer later.
TEST_F(HLVFileManagerBatches, AskingForArtworkNeverBlocks)
{
    server.setReply(QStringLiteral("/release/rel-slow/"), HLVLoopbackServer::Reply::json(coverFor("slow")).delayed(1500ms));
    auto record = add(QStringLiteral("x.flac"));
    record->editVirtualTagMap([](HLVTagMap& m) {
        m.setReleaseMBID(QStringLiteral("rel-slow"));
        m.setArtworkAttempted(false);
    });
    events.take();
    const auto before = std::chrono::steady_clock::now();
    record->obtainArtworkPathForActiveTagMap();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
    ASSERT_TRUE(spinUntil([&] { return events.waitFor(QString(), 0ms).contains(QStringLiteral("1 x.flac")); }));
    EXPECT_EQ(record->VirtualTagMap()->ArtworkPath(), QStringLiteral("https://covers.example/slow.jpg"));
}

namespace {

int threadsAlive()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace

// Fault: every file's lookup got a thread of its own (10,000 files meant 10,000
// threads waiting at the services), and a thread the system refused ended the
// program. Lookups share one small pool.
TEST_F(HLVFileManagerBatches, ArtworkForManyFilesRunsOnAHandfulOfThreads)
{
    server.setDefaultReply(HLVLoopbackServer::Reply::json(coverFor("many")).delayed(5ms));
    QList<std::shared_ptr<HLVFileData>> records;
    for (int i = 0; i < 500; ++i) {
        // A release's cover needs no tags: the files need not exist.
        auto record = HLVFileData::createWithPath(files.path(QStringLiteral("f%1.flac").arg(i)));
        ASSERT_TRUE(manager.addFileData(record));
        record->editVirtualTagMap([i](HLVTagMap& m) { m.setReleaseMBID(QStringLiteral("rel-%1").arg(i)); });
        records.append(record);
    }
    const int before = threadsAlive();
    int most = before;
    events.take();
    manager.obtainArtworkForFiles(records);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!events.waitFor(QStringLiteral("finish 4"), 10ms).contains(QStringLiteral("finish 4"))
           && std::chrono::steady_clock::now() < deadline)
        most = std::max(most, threadsAlive());
    const QStringList seen = events.take();
    ASSERT_TRUE(seen.contains(QStringLiteral("finish 4")));
    EXPECT_EQ(seen.filter(QRegularExpression(QStringLiteral("^1 f\\d+\\.flac$"))).size(), 500);
    EXPECT_LE(most - before, 6) << "threads alive: " << before << " before, " << most << " at most";
    EXPECT_EQ(records.last()->VirtualTagMap()->ArtworkPath(), QStringLiteral("https://covers.example/many.jpg"));
}

// Fault: a removed record kept the manager as its delegate, so a lookup of
// its answering after the manager was gone called into freed memory.
TEST_F(HLVFileManagerBatches, RemovedRecordsAnswerSafelyAfterTheManagerIsGone)
{
    server.setDefaultReply(HLVLoopbackServer::Reply::json(coverFor("late")).delayed(400ms));
    QList<std::shared_ptr<HLVFileData>> records;
    {
        HLVFileManager gone;
        for (const char* name : {"one.flac", "two.flac"}) {
            auto record = HLVFileData::createWithPath(files.path(QString::fromLatin1(name)));
            ASSERT_TRUE(gone.addFileData(record));
            record->editVirtualTagMap([](HLVTagMap& m) {
                m.setReleaseMBID(QStringLiteral("rel-late"));
                m.setArtworkAttempted(false);
            });
            record->obtainArtworkPathForActiveTagMap(); // as the editor asks for a shown file
            records.append(record);
        }
        ASSERT_TRUE(server.waitForRequests(2, 10s));
        EXPECT_TRUE(gone.removeFileData(records[0]));   // on the caller's thread
        EXPECT_TRUE(gone.removeFiles({records[1]}));    // as a batch
        gone.waitUntilIdle();
        EXPECT_TRUE(gone.FileDataArray().isEmpty());
    }
    for (const auto& record : records)
        EXPECT_EQ(record->delegate(), nullptr);
    ASSERT_TRUE(HLVWorkerPool::shared().waitForDone(10s));
    for (const auto& record : records)
        EXPECT_EQ(record->VirtualTagMap()->ArtworkPath(), QStringLiteral("https://covers.example/late.jpg"));
}

// Fault: a retry waiting out a 503's Retry-After sat in a timer that quitting
// never reached, so a save waiting for its cover held the program up to 30 s.
TEST_F(HLVFileManagerBatches, QuittingEndsARetryWaitingOutRetryAfterAtOnce)
{
    server.setReply(QStringLiteral("/release/rel-busy/"),
                    HLVLoopbackServer::Reply::withStatus(503).withHeader("Retry-After", "30"));
    auto a = add(QStringLiteral("a.flac"));
    edit(a, QStringLiteral("Never written"), "rel-busy");
    events.take();
    manager.saveFile(a);
    ASSERT_TRUE(server.waitForRequests(1, 10s));
    std::this_thread::sleep_for(200ms); // the refusal is in: the retry waits its 30 s
    ASSERT_TRUE(a->isSaving());

    const auto quitting = std::chrono::steady_clock::now();
    manager.shutdown();
    manager.waitUntilIdle();
    ASSERT_TRUE(spinUntil([&] { return !a->isSaving(); }, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - quitting, 1s);
    const QStringList seen = events.waitFor(QStringLiteral("3 a.flac"), 5s);
    EXPECT_TRUE(seen.contains(QStringLiteral("finish 3")));
    EXPECT_TRUE(seen.contains(QStringLiteral("3 a.flac"))) << "answered: not saved";
    EXPECT_EQ(server.requests().size(), 1u) << "the retry never went";
    EXPECT_EQ(titleInFile(a->FilePath()), QString()) << "a save that had not begun to write does not";
    EXPECT_EQ(manager.writesUnderWay(), 0);
}
