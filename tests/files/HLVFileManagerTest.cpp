#include "HLVFileManager.h"
#include "HLVFileManagerEvents.h"
#include "HLVTagLib.h"
#include "HLVTagMapFilter.h"
#include "HLVTestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <gtest/gtest.h>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/tag.h>

using namespace std::chrono_literals;

namespace {

using Events = HLVFileManagerEvents;

class HLVFileManagerTest : public ::testing::Test
{
protected:
    void SetUp() override { manager.addDelegate(&events); }
    void TearDown() override { manager.removeDelegate(&events); }

    QList<QUrl> copies(const QStringList& names, const QString& fixture = QStringLiteral("tone.mp3"))
    {
        QList<QUrl> urls;
        for (const QString& name : names)
            urls.append(QUrl::fromLocalFile(files.copyFixture(fixture, name)));
        return urls;
    }
    QStringList names(const QList<std::shared_ptr<HLVFileData>>& records)
    {
        QStringList result;
        for (const auto& r : records)
            result.append(r->FileName());
        return result;
    }
    void addAndWait(const QList<QUrl>& urls)
    {
        events.take();
        manager.addFilesAtURLs(urls);
        events.waitFor(QStringLiteral("finish 1"));
        manager.waitUntilIdle();
    }

    HLVTestFiles files;
    Events events;
    HLVFileManager manager;
};

void setTitle(const QString& path, const char* title)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull());
    file.tag()->setTitle(title);
    ASSERT_TRUE(file.save());
}

} // namespace

TEST_F(HLVFileManagerTest, AddingSortsByNameAndRefusesDuplicates)
{
    const auto urls = copies({"b.mp3", "C.mp3", "a.mp3", "B2.mp3"});
    addAndWait(urls);
    EXPECT_EQ(names(manager.FileDataArray()), QStringList({"a.mp3", "b.mp3", "B2.mp3", "C.mp3"}));
    EXPECT_EQ(events.take(), QStringList({"start 1", "finish 1"}));

    addAndWait(urls); // the same folder again
    EXPECT_EQ(manager.FileDataArray().size(), 4);
    EXPECT_FALSE(manager.addFileAtURL(urls.first()));
    EXPECT_FALSE(manager.addFileData(nullptr));
    EXPECT_FALSE(manager.addFilesAtURLs(std::nullopt));

    addAndWait({}); // an empty batch still announces
    EXPECT_EQ(events.take(), QStringList({"start 1", "finish 1"}));

    const auto record = manager.fileAtIndex(2);
    EXPECT_EQ(manager.indexForFile(record), 2);
    EXPECT_FALSE(manager.fileAtIndex(99));
}

// A folder and a file inside it dropped together: one record per file, or
// their saves overwrite each other.
TEST_F(HLVFileManagerTest, SamePathTwiceInOneBatchGivesOneRecord)
{
    const auto urls = copies({"x.mp3"});
    const QString path = urls.first().toLocalFile();
    const QUrl again = QUrl::fromLocalFile(QFileInfo(path).absolutePath() + QStringLiteral("/./x.mp3"));
    addAndWait({urls.first(), urls.first(), again});
    EXPECT_EQ(manager.FileDataArray().size(), 1);
}

TEST_F(HLVFileManagerTest, RemovingByIndexesOfTheCallersList)
{
    addAndWait(copies({"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3", "6.mp3"}));
    events.take();
    manager.removeFilesAtIndexes(QList<int>{2, 5});
    events.waitFor(QStringLiteral("finish 2"));
    EXPECT_EQ(names(manager.FileDataArray()), QStringList({"1.mp3", "2.mp3", "4.mp3", "5.mp3"}));
    EXPECT_EQ(events.take(), QStringList({"start 2", "finish 2"}));

    EXPECT_FALSE(manager.removeFilesAtIndexes({0}, HLVFileList::Modified)); // answers NO regardless
    events.waitFor(QStringLiteral("finish 2"));
    EXPECT_EQ(manager.FileDataArray().size(), 4);
    EXPECT_TRUE(manager.removeFileAtIndex(0));
    EXPECT_EQ(names(manager.FileDataArray()), QStringList({"2.mp3", "4.mp3", "5.mp3"}));
}

TEST_F(HLVFileManagerTest, FiltersScoreEachFileOnce)
{
    const auto urls = copies({"untagged.mp3", "partial.mp3"});
    setTitle(urls[1].toLocalFile(), "Has a title");
    addAndWait(urls);
    manager.refreshFilters();
    events.waitFor(QStringLiteral("finish 6"));
    EXPECT_EQ(names(manager.UntaggedFileDataArray()), QStringList({"untagged.mp3"}));
    EXPECT_EQ(names(manager.PartiallyTaggedFileDataArray()), QStringList({"partial.mp3"}));
    EXPECT_EQ(manager.fileAtIndex(0)->FilteredTagCount(), 8);
    EXPECT_FALSE(manager.fileAtIndex(0)->isLoaded()); // scored from a throw-away read

    // The cached score stands until the record changes.
    setTitle(urls[0].toLocalFile(), "Now tagged");
    events.take();
    manager.cancelFilter(); // outside a pass: no effect on the next
    manager.refreshFilters();
    events.waitFor(QStringLiteral("finish 6"));
    EXPECT_EQ(manager.UntaggedFileDataArray().size(), 1);
    EXPECT_EQ(events.take(), QStringList({"start 6", "finish 6"}));
}

// The filter pass reads on several threads what a serial read finds, keeps for
// each file what a list shows (without loading it), and fills the filter lists
// in the list's order; the command line's loads read every file the same way.
TEST_F(HLVFileManagerTest, ParallelReadsFindWhatSerialReadsFindAndKeepWhatListsShow)
{
    QList<QUrl> urls;
    for (const QString extension : {"mp3", "m4a", "flac"}) {
        const QString fixture = QStringLiteral("tone.") + extension;
        urls.append(QUrl::fromLocalFile(files.copyFixtureWithPicture(fixture)));
        urls += copies({QStringLiteral("untagged.") + extension}, fixture);
        const auto titled = copies({QStringLiteral("titled.") + extension}, fixture);
        setTitle(titled.first().toLocalFile(), "Titled");
        urls += titled;
    }
    addAndWait(urls);
    const auto records = manager.FileDataArray();
    manager.prioritizeReads({records.last(), records.first()});
    manager.refreshFilters();
    events.waitFor(QStringLiteral("finish 6"));

    QHash<const HLVFileData*, std::shared_ptr<HLVTagMap>> serial;
    QStringList untagged, partial;
    for (const auto& record : records) {
        SCOPED_TRACE(record->FileName().toStdString());
        bool readable = false;
        HLVFileDetails details;
        const auto map = HLVTagLib::loadTagsFromFileAtPath(record->FilePath(), &readable, nullptr, &details);
        serial.insert(record.get(), map);
        const int score = HLVTagMapFilter::filteredTagCountForTagMap(*map);
        (score == 10 ? untagged : partial).append(record->FileName());
        EXPECT_EQ(record->FilteredTagCount(), score);
        EXPECT_FALSE(record->isLoaded());
        const auto listing = record->ListingTagMap();
        ASSERT_TRUE(listing);
        EXPECT_EQ(listing->TrackName(), map->TrackName());
        EXPECT_TRUE(listing->Artwork().isNull()); // no picture bytes for every row
        const auto kept = record->Details();
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->format, details.format);
        EXPECT_EQ(kept->lengthMilliseconds, details.lengthMilliseconds);
        EXPECT_EQ(kept->tagSummary(), details.tagSummary());
        EXPECT_EQ(kept->pictureSize, details.pictureSize);
    }
    EXPECT_EQ(names(manager.UntaggedFileDataArray()), untagged);
    EXPECT_EQ(names(manager.PartiallyTaggedFileDataArray()), partial);
    EXPECT_EQ(untagged.size(), 3);

    manager.loadFiles(records);
    for (const auto& record : records) {
        SCOPED_TRACE(record->FileName().toStdString());
        EXPECT_TRUE(record->isLoaded());
        EXPECT_EQ(record->TagMap()->TrackName(), serial.value(record.get())->TrackName());
        EXPECT_EQ(record->TagMap()->Artwork().size(), serial.value(record.get())->Artwork().size());
    }

    // A save changes what the file holds; the details follow.
    std::shared_ptr<HLVFileData> m4a;
    for (const auto& record : records) {
        if (record->FileName() == QLatin1String("untagged.m4a"))
            m4a = record;
    }
    ASSERT_TRUE(m4a);
    m4a->setVirtualTagText(*HLVTagField::withKey(QStringLiteral("Composer")), QStringLiteral("Someone"));
    m4a->forceIsModified();
    events.take();
    manager.saveFile(m4a);
    events.waitFor(QStringLiteral("finish 3"));
    TagLib::MP4::File saved(QFile::encodeName(m4a->FilePath()).constData());
    EXPECT_EQ(m4a->Details()->mp4Items, int(saved.tag()->itemMap().size()));
    EXPECT_EQ(m4a->Details()->fileSize, QFileInfo(m4a->FilePath()).size());
}

TEST_F(HLVFileManagerTest, SavingAnnouncesEveryAnswerBeforeTheFinish)
{
    addAndWait(copies({"a.flac", "b.flac"}, QStringLiteral("tone.flac")));
    const auto records = manager.FileDataArray();
    records[0]->editVirtualTagMap([](HLVTagMap& m) { m.setTrackName(QStringLiteral("Saved")); });
    records[0]->forceIsModified();
    manager.fileWasModified(records[0]);
    manager.fileWasModified(records[1]); // not modified: stays out
    EXPECT_EQ(names(manager.ModifiedFileDataArray()), QStringList({"a.flac"}));

    events.take();
    manager.saveFilesInUnmanagedArray(records);
    const QStringList seen = events.waitFor(QStringLiteral("finish 3"));
    EXPECT_EQ(seen, QStringList({"start 3", "2 a.flac", "3 b.flac", "finish 3"}));
    EXPECT_TRUE(manager.ModifiedFileDataArray().isEmpty());
    manager.waitUntilIdle();

    events.take();
    manager.saveFile(records[1]);
    EXPECT_EQ(events.waitFor(QStringLiteral("finish 3")), QStringList({"start 3", "3 b.flac", "finish 3"}));

    events.take();
    manager.saveFilesInUnmanagedArray({});
    manager.saveFilesAtIndex({}, HLVFileList::All);
    EXPECT_TRUE(manager.stopSaving()); // nothing queued: nothing announced
    manager.waitUntilIdle();
    EXPECT_EQ(events.take(), QStringList());
}

TEST_F(HLVFileManagerTest, ArtworkForReadOnlyFilesAnswersAtOnce)
{
    addAndWait(copies({"r1.mp3", "r2.mp3"}));
    const auto records = manager.FileDataArray();
    for (const auto& r : records)
        r->setIsReadOnly(true);
    events.take();
    manager.obtainArtworkForFiles(records);
    EXPECT_EQ(events.take(), QStringList({"start 4", "1 r1.mp3", "1 r2.mp3", "finish 4"}));
    manager.obtainArtworkForFiles({});
    EXPECT_TRUE(events.take().isEmpty());
}

TEST_F(HLVFileManagerTest, RenamingFinishesAfterEveryFile)
{
    const auto urls = copies({"one.mp3", "two.mp3"});
    setTitle(urls[0].toLocalFile(), "Zulu");
    setTitle(urls[1].toLocalFile(), "Alpha");
    addAndWait(urls);
    events.take();
    manager.renameFiles(manager.FileDataArray(), HLVFileNameStructure());
    const QStringList seen = events.waitFor(QStringLiteral("finish 7"));
    EXPECT_EQ(seen, QStringList({"start 7", "8 Zulu.mp3", "8 Alpha.mp3", "finish 7"}));
    EXPECT_EQ(names(manager.FileDataArray()), QStringList({"Alpha.mp3", "Zulu.mp3"}));
    EXPECT_TRUE(QFileInfo::exists(files.path(QStringLiteral("Zulu.mp3"))));

    events.take();
    manager.renameFiles({}, HLVFileNameStructure());
    manager.renameFiles(manager.FileDataArray(), HLVFileNameStructure(0, 0, 0));
    manager.waitUntilIdle();
    EXPECT_TRUE(events.take().isEmpty());
}

TEST_F(HLVFileManagerTest, IdentifyingNothingAnnouncesNothing)
{
    manager.identifyFiles({});
    manager.identifyFile(nullptr);
    manager.waitUntilIdle();
    EXPECT_TRUE(events.take().isEmpty());
}

TEST_F(HLVFileManagerTest, FirstReadOfAChangedFileKeepsItModified)
{
    addAndWait(copies({"a.mp3"}));
    const auto record = manager.FileDataArray().first();
    record->removeTags(); // before anything has read the file's tags
    manager.fileWasModified(record);
    ASSERT_EQ(names(manager.ModifiedFileDataArray()), QStringList({"a.mp3"}));
    record->InitialTagMap();
    EXPECT_EQ(names(manager.ModifiedFileDataArray()), QStringList({"a.mp3"}));
    record->undoChanges();
    EXPECT_TRUE(manager.ModifiedFileDataArray().isEmpty());
}

TEST_F(HLVFileManagerTest, SharedEditsReachOnlyFilesThatCanBeWritten)
{
    QList<QUrl> urls = copies({"a.mp3", "c.mp3"});
    urls.append(QUrl::fromLocalFile(files.writeFile(QStringLiteral("b.mp3"), QByteArray(1000, 'x'))));
    addAndWait(urls);
    const auto records = manager.FileDataArray();
    ASSERT_EQ(names(records), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    records[2]->setIsReadOnly(true);
    EXPECT_EQ(names(manager.removeTags(records, HLVCompilationFlag::Clear)), QStringList({"a.mp3"}));
    EXPECT_EQ(records[0]->existingVirtualTagMap()->Compilation(), 0);
    EXPECT_EQ(names(manager.chooseArtwork(records, HLVArtwork(QImage(4, 4, QImage::Format_RGB32)),
                                          files.path(QStringLiteral("cover.jpg")))),
              QStringList({"a.mp3"}));
    EXPECT_EQ(names(manager.ModifiedFileDataArray()), QStringList({"a.mp3"}));
    for (int i : {1, 2}) {
        EXPECT_FALSE(records[i]->IsModified()) << i;
        records[i]->forceIsModified();
        EXPECT_FALSE(records[i]->IsModified()) << "nothing marks a file modified that cannot be written";
    }
}

TEST_F(HLVFileManagerTest, RemovedRecordsLeaveEveryListAndMayComeBack)
{
    addAndWait(copies({"a.mp3", "b.mp3", "c.mp3"}));
    const auto records = manager.FileDataArray();
    const auto b = records[1];
    EXPECT_FALSE(manager.addFileData(b)); // the same record object twice

    ASSERT_TRUE(manager.removeFileData(b));
    // Changed after its removal: it must not reach the modified list.
    b->editVirtualTagMap([](HLVTagMap& m) { m.setTrackName(QStringLiteral("Edited")); });
    b->forceIsModified();
    manager.fileWasModified(b);
    EXPECT_TRUE(manager.ModifiedFileDataArray().isEmpty());
    manager.refreshFilters();
    events.waitFor(QStringLiteral("finish 6"));
    EXPECT_EQ(names(manager.UntaggedFileDataArray()), QStringList({"a.mp3", "c.mp3"}));

    // Back in the collection, it is counted once everywhere.
    ASSERT_TRUE(manager.addFileData(b));
    EXPECT_FALSE(manager.addFileData(b));
    manager.fileWasModified(b);
    manager.fileWasModified(b);
    EXPECT_EQ(names(manager.ModifiedFileDataArray()), QStringList({"b.mp3"}));
    events.take();
    manager.refreshFilters();
    events.waitFor(QStringLiteral("finish 6"));
    EXPECT_EQ(names(manager.FileDataArray()), QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    EXPECT_EQ(names(manager.UntaggedFileDataArray()), QStringList({"a.mp3", "b.mp3", "c.mp3"}));

    // Removed while a pass runs over a large collection: the pass leaves it out.
    QStringList many;
    for (int i = 0; i < 300; ++i)
        many.append(QStringLiteral("m%1.mp3").arg(i, 3, 10, QLatin1Char('0')));
    addAndWait(copies(many));
    events.take();
    manager.refreshFilters();
    manager.removeFileData(b);
    events.waitFor(QStringLiteral("finish 6"));
    EXPECT_FALSE(manager.UntaggedFileDataArray().contains(b));
    EXPECT_EQ(manager.UntaggedFileDataArray().size(), 302);
}

// The lists change outside operations too (a single add, an edit, Undo), and a
// delegate removed while the manager calls it is not destroyed under that call.
TEST_F(HLVFileManagerTest, ListChangesReachDelegatesThatMayLeaveAnyTime)
{
    struct Watch : HLVFileManagerDelegate
    {
        std::atomic<int> listChanges{0};
        std::atomic<bool> inside{false};
        std::atomic<bool> left{false};
        void fileListsDidChange() override { ++listChanges; }
        void fileOperationDidStart(int) override
        {
            inside = true;
            std::this_thread::sleep_for(300ms);
            left = true;
        }
    } watch;
    manager.addDelegate(&watch);
    ASSERT_TRUE(manager.addFileAtURL(copies({"a.mp3"}).first()));
    EXPECT_EQ(watch.listChanges, 1);
    const auto record = manager.fileAtIndex(0);
    record->editVirtualTagMap([](HLVTagMap& m) { m.setTrackName(QStringLiteral("Edited")); });
    record->forceIsModified();
    manager.fileWasModified(record);
    EXPECT_EQ(watch.listChanges, 2);
    record->undoChanges(); // leaves the modified list
    EXPECT_EQ(watch.listChanges, 3);
    EXPECT_TRUE(manager.ModifiedFileDataArray().isEmpty());

    manager.refreshFilters();
    for (int i = 0; i < 500 && !watch.inside; ++i)
        std::this_thread::sleep_for(2ms);
    ASSERT_TRUE(watch.inside);
    manager.removeDelegate(&watch);
    EXPECT_TRUE(watch.left); // the call in flight ended before removal returned
    const int changes = watch.listChanges;
    manager.waitUntilIdle();
    EXPECT_EQ(watch.listChanges, changes);
}

// A stopped rename still leaves the list in name order, so later inserts land
// in their place.
TEST_F(HLVFileManagerTest, StoppedRenameKeepsTheListSorted)
{
    QStringList given;
    for (int i = 0; i < 30; ++i)
        given.append(QStringLiteral("a%1.mp3").arg(i, 2, 10, QLatin1Char('0')));
    const auto urls = copies(given);
    for (int i = 0; i < urls.size(); ++i)
        setTitle(urls[i].toLocalFile(), QStringLiteral("z%1").arg(99 - i, 2, 10, QLatin1Char('0')).toUtf8().constData());
    addAndWait(urls);
    events.take();
    manager.renameFiles(manager.FileDataArray(), HLVFileNameStructure());
    events.waitFor(QStringLiteral("8 z99.mp3"));
    manager.stopRenaming();
    manager.waitUntilIdle();
    ASSERT_TRUE(manager.addFileAtURL(copies({"m.mp3"}).first()));
    QStringList shown = names(manager.FileDataArray());
    QStringList sorted = shown;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(shown, sorted);
    EXPECT_EQ(events.take().count(QStringLiteral("finish 7")), 1);
}
