#include "HLVCannedReplies.h"
#include "HLVEditorViewController.h"
#include "HLVEditorViewDelegate.h"
#include "HLVEventLoopWait.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVFileManagerEvents.h"
#include "HLVHoverButton.h"
#include "HLVLoopbackServer.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVMusicBrainzServer.h"
#include "HLVServiceConfiguration.h"
#include "HLVServiceReplies.h"
#include "HLVStatusEditorViewController.h"
#include "HLVTagEditorViewController.h"
#include "HLVTagField.h"
#include "HLVTagMap.h"
#include "HLVTagTextField.h"
#include "HLVTestFiles.h"
#include "HLVWidgetGallery.h"
#include "HLVViewJobs.h"

#include <QCheckBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

using namespace std::chrono_literals;

namespace {

const QString kHelpKey = QStringLiteral("CRDisplayDownloadHelp");

struct EditorOwner : HLVEditorViewDelegate
{
    explicit EditorOwner(HLVFileManager* manager) : manager(manager) {}
    QWidget* windowToDisplayEditorViewDialogs() override { return nullptr; }
    HLVFileManager* editorViewFileManagerSource() override { return manager; }
    void editorViewFileWasSaved(HLVEditorViewController*) override { ++undone; }
    void editorViewFileModified(HLVEditorViewController*) override { ++modified; }
    HLVFileManager* manager;
    int undone = 0;
    int modified = 0;
};

QString savedAlbum(const QString& path)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    if (file.isNull() || !file.tag())
        return QStringLiteral("<unreadable>");
    return QString::fromStdString(file.tag()->album().to8Bit(true));
}

class HLVEditorViewControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(HLVCannedReplies::acoustIDReply()));
        server.setReply(QStringLiteral("/ws/2/recording/"),
                        HLVLoopbackServer::Reply::xml(HLVCannedReplies::releasesReply()));
        // Nothing else is asked for in these tests; a lookup elsewhere gets nothing.
        server.setDefaultReply(HLVLoopbackServer::Reply::withStatus(404));
        for (const char* variable : {"CADRELLE_ACOUSTID_URL", "CADRELLE_MUSICBRAINZ_URL", "CADRELLE_COVERART_URL"})
            qputenv(variable, server.baseAddress().toUtf8());
        HLVMusicBrainzServer::resetForTesting();
        HLVServiceConfiguration::setRequestPauseForTesting(10ms);
        // The help popover has its own test; elsewhere it stays away.
        QSettings().setValue(kHelpKey, 2);
        manager.addDelegate(&events);
        editor = makeEditor();
    }
    void TearDown() override
    {
        editor.reset();
        manager.removeDelegate(&events);
        manager.shutdown();
        HLVServiceConfiguration::resetPacingForTesting();
        for (const char* variable : {"CADRELLE_ACOUSTID_URL", "CADRELLE_MUSICBRAINZ_URL", "CADRELLE_COVERART_URL"})
            qunsetenv(variable);
        HLVMusicBrainzServer::resetForTesting();
        QSettings().remove(kHelpKey);
    }

    std::unique_ptr<HLVEditorViewController> makeEditor()
    {
        auto made = std::make_unique<HLVEditorViewController>();
        made->setAnimationDurations(0, 0);
        made->setDelegate(&owner);
        made->resize(760, 640);
        return made;
    }

    // A fixture copy, its album set with TagLib when given, added to the manager.
    std::shared_ptr<HLVFileData> addFile(const QString& name, const QString& album = QString())
    {
        const QString path = files.copyFixture(QStringLiteral("tone.mp3"), name);
        if (!album.isEmpty()) {
            TagLib::FileRef file(QFile::encodeName(path).constData());
            file.tag()->setAlbum(TagLib::String(album.toStdString(), TagLib::String::UTF8));
            file.save();
        }
        auto record = HLVFileData::createWithPath(path);
        manager.addFileData(record);
        return record;
    }
    void modifyAlbum(const std::shared_ptr<HLVFileData>& record, const QString& album)
    {
        // As the tag editor does on an edit.
        record->setVirtualTagText(*HLVTagField::withKey(QStringLiteral("AlbumName")), album);
        record->forceIsModified();
        manager.fileWasModified(record);
    }
    HLVTagTextField* field(const char* key) const
    {
        return editor->tagEditorViewController()->textFieldForKey(QLatin1String(key));
    }
    bool waitForFinish(int kind)
    {
        const QString finish = QStringLiteral("finish %1").arg(kind);
        return HLVSpinEventLoopUntil([&] {
            seen += events.take();
            return seen.contains(finish);
        });
    }
    void settle()
    {
        // The bridge's queued notices, the editor's own queued work and its jobs.
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        HLVViewJobs::waitForAll(30000);
    }

    HLVLoopbackServer server;
    HLVTestFiles files;
    HLVFileManager manager;
    HLVFileManagerEvents events;
    QStringList seen;
    EditorOwner owner{&manager};
    std::unique_ptr<HLVEditorViewController> editor;
};

// Tests that paint the editor, which Qt does with threads of its own that
// ThreadSanitizer cannot follow.
class HLVEditorViewControllerOnScreen : public HLVEditorViewControllerTest
{
};

} // namespace

TEST_F(HLVEditorViewControllerTest, OneIdentifiedFileStepsThroughItsMatchesAndSavesTheChosenOne)
{
    auto record = addFile(QStringLiteral("bare.mp3"));
    editor->displayEditorForFileData(record);
    HLVViewJobs::waitForAll(30000);
    settle();
    EXPECT_EQ(editor->editingFilesCountLabel()->text(), QStringLiteral("Editing 1 File"));
    EXPECT_EQ(editor->tagButton()->toolTip(), QStringLiteral("Download tags"));
    EXPECT_EQ(editor->saveChangesTextButton()->toolTip(), QStringLiteral("Save changes"));
    EXPECT_EQ(editor->tagTextButton()->linkedButton(), editor->tagButton());
    EXPECT_TRUE(editor->tagButton()->isEnabled());
    EXPECT_FALSE(editor->saveChangesButton()->isEnabled());
    EXPECT_FALSE(editor->isMatchesViewVisible());

    editor->tagTextButton()->click();
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return editor->isStatusViewVisible(); }));
    EXPECT_FALSE(editor->tagButton()->isEnabled());
    EXPECT_EQ(editor->statusEditorViewController()->TargetValue(), 1);
    ASSERT_TRUE(waitForFinish(HLVFileOperationIdentifying));
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return editor->isMatchesViewVisible(); }));
    EXPECT_FALSE(editor->isStatusViewVisible());
    EXPECT_TRUE(editor->tagButton()->isEnabled());

    HLVMatchesEditorViewController* matches = editor->matchesEditorViewController();
    ASSERT_NE(matches, nullptr);
    EXPECT_EQ(matches->matchesTextField()->text(), QStringLiteral("Multiple matches found! Displaying match 1 of 2."));
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("Waveforms"));

    matches->nextMatchButton()->click();
    settle();
    EXPECT_EQ(matches->matchesTextField()->text(), QStringLiteral("Multiple matches found! Displaying match 2 of 2."));
    EXPECT_EQ(record->selectedRelease(), 1);
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("Tone (single)"));
    EXPECT_TRUE(editor->saveChangesButton()->isEnabled());
    EXPECT_GE(owner.modified, 1);

    // A single file is saved without a status strip.
    seen.clear();
    bool stripSeen = false;
    editor->saveChangesButton()->click();
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] {
        stripSeen = stripSeen || editor->isStatusViewVisible();
        seen += events.take();
        return seen.contains(QStringLiteral("finish 3"));
    }));
    settle();
    EXPECT_FALSE(stripSeen || editor->isStatusViewVisible());
    EXPECT_EQ(savedAlbum(record->FilePath()), QStringLiteral("Tone (single)"));
}

TEST_F(HLVEditorViewControllerTest, SavingSeveralFilesCountsTheModifiedOnesAndSaysWhichFailed)
{
    QList<std::shared_ptr<HLVFileData>> shown;
    for (int i = 0; i < 6; ++i)
        shown.append(addFile(QStringLiteral("f%1.mp3").arg(i), QStringLiteral("Old")));
    for (int i : {0, 2, 3, 5})
        modifyAlbum(shown[i], QStringLiteral("New %1").arg(i));
    editor->displayEditorForIndexSet({0, 1, 2, 3, 4, 5}, shown);
    HLVViewJobs::waitForAll(30000);
    settle();
    EXPECT_EQ(editor->editingFilesCountLabel()->text(), QStringLiteral("Editing 6 Files"));
    EXPECT_TRUE(editor->saveChangesTextButton()->isEnabled());

    // What the strip says after each batch of notices has reached the editor
    // (the editor heard them first: it connected first).
    const auto bridge = HLVFileManagerBridge::forManager(&manager);
    QStringList labels;
    QObject::connect(bridge.get(), &HLVFileManagerBridge::recordsChanged, [&] {
        if (editor->isStatusViewVisible())
            labels.append(editor->statusEditorViewController()->statusLabel()->text());
    });
    editor->saveChangesTextButton()->click();
    EXPECT_EQ(editor->saveCount(), 4u);
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return editor->isStatusViewVisible(); }));
    EXPECT_EQ(editor->statusEditorViewController()->TargetValue(), 4);
    ASSERT_TRUE(waitForFinish(HLVFileOperationSaving));
    settle();
    // Notices arriving in one turn move the count once, by as many files.
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_EQ(labels.constLast(), QStringLiteral("Processing..."));
    QStringList expectedOrder{"Saving file 1 of 4.", "Saving file 2 of 4.", "Saving file 3 of 4.", "Processing..."};
    for (const QString& label : std::as_const(labels)) {
        const qsizetype at = expectedOrder.indexOf(label);
        ASSERT_GE(at, 0) << label.toStdString();
        expectedOrder = expectedOrder.mid(at + 1); // only forward
    }
    EXPECT_FALSE(editor->isStatusViewVisible());
    for (int i = 0; i < 6; ++i) {
        const bool changed = i == 0 || i == 2 || i == 3 || i == 5;
        EXPECT_EQ(savedAlbum(shown[i]->FilePath()), changed ? QStringLiteral("New %1").arg(i) : QStringLiteral("Old"))
            << i;
    }
    EXPECT_FALSE(editor->saveChangesButton()->isEnabled());

    // A file that vanished cannot be saved: the strip stays to say so, with the reason.
    modifyAlbum(shown[1], QStringLiteral("Again"));
    modifyAlbum(shown[4], QStringLiteral("Again"));
    ASSERT_TRUE(QFile::remove(shown[4]->FilePath()));
    seen.clear();
    editor->saveChanges();
    ASSERT_TRUE(waitForFinish(HLVFileOperationSaving));
    settle();
    ASSERT_TRUE(editor->isStatusViewVisible());
    HLVStatusEditorViewController* strip = editor->statusEditorViewController();
    EXPECT_EQ(strip->statusLabel()->text(), QStringLiteral("1 file could not be saved"));
    EXPECT_TRUE(strip->toolTip().startsWith(QStringLiteral("f4.mp3: "))) << strip->toolTip().toStdString();
    EXPECT_EQ(savedAlbum(shown[1]->FilePath()), QStringLiteral("Again"));
    // Its button dismisses it.
    strip->cancelButton()->click();
    settle();
    EXPECT_FALSE(editor->isStatusViewVisible());
}

TEST_F(HLVEditorViewControllerTest, RenamingSaysWhichFilesKeptTheirNames)
{
    // Renamed by album: one name is taken by a file not in the list, one file is
    // already so named (no failure), one is free.
    const QList<std::shared_ptr<HLVFileData>> shown{addFile(QStringLiteral("r0.mp3"), QStringLiteral("Taken")),
                                                    addFile(QStringLiteral("r1.mp3"), QStringLiteral("Free")),
                                                    addFile(QStringLiteral("Same.mp3"), QStringLiteral("Same"))};
    const QString bystander = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("Taken.mp3"));
    editor->displayEditorForIndexSet({0, 1, 2}, shown);
    HLVViewJobs::waitForAll(30000);
    settle();
    manager.renameFiles(shown, HLVFileNameStructure(0, 0, HLVFileNameStructure::AlbumName));
    ASSERT_TRUE(waitForFinish(HLVFileOperationRenaming));
    settle();
    EXPECT_EQ(shown[1]->FileName(), QStringLiteral("Free.mp3"));
    EXPECT_EQ(shown[0]->FileName(), QStringLiteral("r0.mp3"));
    EXPECT_EQ(shown[2]->FileName(), QStringLiteral("Same.mp3"));
    EXPECT_EQ(QFileInfo(bystander).size(), QFileInfo(files.fixturePath(QStringLiteral("tone.flac"))).size());
    ASSERT_TRUE(editor->isStatusViewVisible());
    EXPECT_EQ(editor->statusEditorViewController()->statusLabel()->text(), QStringLiteral("1 file could not be renamed"));
    EXPECT_EQ(editor->statusEditorViewController()->toolTip(),
              QStringLiteral("r0.mp3: a file named \u201cTaken.mp3\u201d is already there"));

    // Once the name is free, renaming again succeeds and says nothing.
    ASSERT_TRUE(QFile::remove(bystander));
    manager.renameFiles({shown[0]}, HLVFileNameStructure(0, 0, HLVFileNameStructure::AlbumName));
    seen.clear();
    ASSERT_TRUE(waitForFinish(HLVFileOperationRenaming));
    settle();
    EXPECT_EQ(shown[0]->FileName(), QStringLiteral("Taken.mp3"));
    EXPECT_FALSE(shown[0]->LastFailure());
    EXPECT_FALSE(editor->isStatusViewVisible());
}

TEST_F(HLVEditorViewControllerTest, ObtainingArtworkSaysWhichFilesGotNoneAndWhy)
{
    server.setReply(QStringLiteral("/release/rel-ok/"),
                    HLVLoopbackServer::Reply::json(HLVServiceReplies::coverArtImages(QStringLiteral("https://covers.example/ok.jpg"))));
    server.setReply(QStringLiteral("/release/rel-down/"), HLVLoopbackServer::Reply::withStatus(500));
    QList<std::shared_ptr<HLVFileData>> shown;
    for (const char* release : {"rel-ok", "rel-none", "rel-down"}) {
        auto record = addFile(QStringLiteral("%1.mp3").arg(QLatin1String(release)));
        record->editVirtualTagMap([&](HLVTagMap& map) { map.setReleaseMBID(QLatin1String(release)); });
        shown.append(record);
    }
    editor->displayEditorForIndexSet({0, 1, 2}, shown);
    HLVViewJobs::waitForAll(30000);
    settle();
    manager.obtainArtworkForFiles(shown);
    ASSERT_TRUE(waitForFinish(HLVFileOperationArtwork));
    settle();
    EXPECT_EQ(shown[0]->VirtualTagMap()->ArtworkPath(), QStringLiteral("https://covers.example/ok.jpg"));
    EXPECT_FALSE(shown[0]->LastArtworkFailure());
    ASSERT_TRUE(editor->isStatusViewVisible());
    EXPECT_EQ(editor->statusEditorViewController()->statusLabel()->text(), QStringLiteral("No artwork for 2 files"));
    const QStringList reasons = editor->statusEditorViewController()->toolTip().split(QLatin1Char('\n'));
    ASSERT_EQ(reasons.size(), 2) << reasons.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(reasons.contains(QStringLiteral("rel-none.mp3: no cover found")));
    EXPECT_TRUE(reasons.contains(
        QStringLiteral("rel-down.mp3: the cover lookup failed: the Cover Art Archive answered with status 500")));
}

TEST_F(HLVEditorViewControllerTest, SelectingTheSameModifiedFilesAgainKeepsTheEditor)
{
    QList<std::shared_ptr<HLVFileData>> shown;
    for (int i = 0; i < 4; ++i)
        shown.append(addFile(QStringLiteral("s%1.mp3").arg(i), QStringLiteral("Old")));
    for (int i : {0, 1, 2})
        modifyAlbum(shown[i], QStringLiteral("Same"));
    editor->displayEditorForIndexSet({0, 1, 2}, shown);
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(editor->editingFilesCountLabel()->text(), QStringLiteral("Editing 3 Files"));
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("Same"));

    // Typed but not yet committed: a rebuild would throw it away.
    field("AlbumName")->setText(QStringLiteral("typing"));
    editor->displayEditorForIndexSet({0, 1, 2}, shown);
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("typing"));

    // One of them unmodified: rebuilt from the files.
    shown[1]->undoChanges();
    editor->displayEditorForIndexSet({0, 1, 2}, shown);
    HLVViewJobs::waitForAll(30000);
    EXPECT_NE(field("AlbumName")->text(), QStringLiteral("typing"));
    EXPECT_EQ(editor->editorFileArray(), QList<std::shared_ptr<HLVFileData>>({shown[0], shown[1], shown[2]}));

    // Another selection of the same size is another set of files.
    field("AlbumName")->setText(QStringLiteral("typing"));
    modifyAlbum(shown[3], QStringLiteral("Same"));
    modifyAlbum(shown[1], QStringLiteral("Same"));
    editor->displayEditorForIndexSet({1, 2, 3}, shown);
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("Same"));
    EXPECT_EQ(editor->editorFileData(), nullptr);
}

TEST_F(HLVEditorViewControllerOnScreen, TheDownloadHelpAppearsOncePerRunUntilTheUserSaysNever)
{
    auto record = addFile(QStringLiteral("help.mp3"));
    QSettings().setValue(kHelpKey, 0);
    editor = makeEditor();
    editor->show();
    editor->displayEditorForFileData(record);
    HLVViewJobs::waitForAll(30000);
    ASSERT_NE(editor->downloadTagsPopoverBox(), nullptr);
    EXPECT_TRUE(editor->downloadTagsPopoverBox()->isVisible());
    EXPECT_EQ(QSettings().value(kHelpKey).toInt(), 1);
    // Closed, it does not come back in this run.
    editor->downloadTagsCloseButton()->click();
    EXPECT_EQ(editor->downloadTagsPopoverBox(), nullptr);
    editor->displayEditorForIndexSet({0}, {record});
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(editor->downloadTagsPopoverBox(), nullptr);

    // The next run shows it again; ticked and closed, never after.
    editor = makeEditor();
    editor->show();
    editor->displayEditorForFileData(record);
    HLVViewJobs::waitForAll(30000);
    ASSERT_NE(editor->downloadTagsPopoverBox(), nullptr);
    EXPECT_TRUE(editor->downloadTagsPopoverBox()->isVisible());
    editor->downloadTagsHideButton()->click();
    EXPECT_EQ(QSettings().value(kHelpKey).toInt(), 2);
    editor->downloadTagsCloseButton()->click();
    EXPECT_EQ(editor->downloadTagsPopoverBox(), nullptr);

    editor = makeEditor();
    editor->show();
    editor->displayEditorForFileData(record);
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(editor->downloadTagsPopoverBox(), nullptr);
    EXPECT_EQ(QSettings().value(kHelpKey).toInt(), 2);
}

TEST_F(HLVEditorViewControllerTest, UndoDropsEveryFilesChangesAndRemoveTagsAsksFirst)
{
    QList<std::shared_ptr<HLVFileData>> shown;
    for (int i = 0; i < 3; ++i)
        shown.append(addFile(QStringLiteral("u%1.mp3").arg(i)));
    editor->displayEditorForIndexSet({0, 1, 2}, shown);
    HLVViewJobs::waitForAll(30000);
    editor->downloadTags();
    ASSERT_TRUE(waitForFinish(HLVFileOperationIdentifying));
    settle();
    for (const auto& record : shown) {
        ASSERT_EQ(record->Releases().size(), 2);
        ASSERT_EQ(record->IdentificationState(), HLVIdentificationIdentified);
    }
    EXPECT_EQ(field("AlbumName")->text(), QStringLiteral("Waveforms"));
    EXPECT_TRUE(editor->saveChangesButton()->isEnabled());

    editor->undoChangesButton()->click();
    settle();
    EXPECT_EQ(owner.undone, 1);
    for (const auto& record : shown) {
        EXPECT_FALSE(record->IsModified());
        EXPECT_EQ(record->existingVirtualTagMap(), nullptr);
        EXPECT_FALSE(record->hasReleases());
        EXPECT_EQ(record->IdentificationState(), HLVIdentificationNone);
    }
    EXPECT_EQ(field("AlbumName")->text(), QString());
    EXPECT_FALSE(editor->saveChangesButton()->isEnabled());

    // Remove Tags on two files, through the alert.
    editor->displayEditorForIndexSet({0, 2}, shown);
    HLVViewJobs::waitForAll(30000);
    for (const char* answer : {"Cancel", "Remove Tags"}) {
        editor->detagButton()->click();
        QMessageBox* alert = nullptr;
        for (QMessageBox* box : editor->findChildren<QMessageBox*>(QStringLiteral("detagAlert"))) {
            if (box->isVisible())
                alert = box;
        }
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text(), QStringLiteral("Remove all tags?"));
        EXPECT_EQ(alert->informativeText(), QStringLiteral("This will remove all tags from the selected file(s). "
                                                           "Once saved, the changes will not be reversable."));
        EXPECT_FALSE(alert->iconPixmap().isNull());
        const auto buttons = alert->buttons();
        ASSERT_EQ(buttons.size(), 2);
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* button : buttons) {
            if (button->text() == QLatin1String(answer))
                chosen = button;
        }
        ASSERT_NE(chosen, nullptr) << answer;
        chosen->click();
        settle();
        if (QLatin1String(answer) == QLatin1String("Cancel")) {
            EXPECT_FALSE(shown[0]->IsModified());
        }
    }
    for (int i : {0, 2}) {
        const auto pending = shown[i]->existingVirtualTagMap();
        ASSERT_NE(pending, nullptr) << i;
        EXPECT_EQ(pending->AlbumName(), QString());
        EXPECT_EQ(pending->TrackName(), QString());
        EXPECT_EQ(pending->TrackNumber(), 0);
        EXPECT_EQ(pending->Compilation(), 0) << "the editor's Remove Tags clears the compilation flag";
        EXPECT_EQ(shown[i]->IdentificationState(), HLVIdentificationNone);
        EXPECT_TRUE(shown[i]->IsModified());
    }
    EXPECT_FALSE(shown[1]->IsModified());
    EXPECT_TRUE(editor->saveChangesButton()->isEnabled());
    // Nothing reached the disk.
    EXPECT_EQ(QFile(shown[0]->FilePath()).size(), QFile(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3"))).size());
}

TEST_F(HLVEditorViewControllerTest, CancelStopsIdentificationAndLeavesTheWaitingFilesAlone)
{
    server.setReply(QStringLiteral("/v2/lookup"),
                    HLVLoopbackServer::Reply::json(HLVCannedReplies::acoustIDReply()).delayed(400ms));
    QList<std::shared_ptr<HLVFileData>> shown;
    for (int i = 0; i < 5; ++i)
        shown.append(addFile(QStringLiteral("c%1.mp3").arg(i)));
    editor->displayEditorForIndexSet({0, 1, 2, 3, 4}, shown);
    HLVViewJobs::waitForAll(30000);
    editor->tagButton()->click();
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return editor->isStatusViewVisible(); }));
    EXPECT_EQ(editor->statusEditorViewController()->statusLabel()->text(), QStringLiteral("Processing..."));
    EXPECT_EQ(editor->statusEditorViewController()->TargetValue(), 5);

    editor->statusEditorViewController()->cancelButton()->click();
    ASSERT_TRUE(waitForFinish(HLVFileOperationIdentifying));
    // Whatever was in flight has time to land; no second finish comes.
    HLVSpinEventLoopUntil([] { return false; }, 1500);
    seen += events.take();
    EXPECT_EQ(seen.count(QStringLiteral("finish 5")), 1) << seen.join(QLatin1Char(',')).toStdString();
    EXPECT_FALSE(editor->isStatusViewVisible());
    EXPECT_TRUE(editor->tagButton()->isEnabled());
    int untouched = 0;
    for (const auto& record : shown) {
        if (!record->hasReleases() && !record->IsModified() && record->IdentificationState() != HLVIdentificationIdentified)
            ++untouched;
    }
    EXPECT_GE(untouched, 3);
}

TEST_F(HLVEditorViewControllerOnScreen, WritesAPictureOfTheEditorWithTwoMatches)
{
    auto record = addFile(QStringLiteral("picture.mp3"));
    editor->show();
    editor->displayEditorForFileData(record);
    HLVViewJobs::waitForAll(30000);
    editor->downloadTags();
    ASSERT_TRUE(waitForFinish(HLVFileOperationIdentifying));
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return editor->isMatchesViewVisible(); }));
    HLVWidgetGallery().shoot(*editor, QStringLiteral("editor-two-matches"));
}
