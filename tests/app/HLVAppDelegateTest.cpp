#include "HLVAboutWindowController.h"
#include "HLVAppDelegate.h"
#include "HLVAppDelegateFixture.h"
#include "HLVArtworkFolder.h"
#include "HLVAudioBytes.h"
#include "HLVEditorViewController.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVCadrelleWindow.h"
#include "HLVCannedReplies.h"
#include "HLVEventLoopWait.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVFileView.h"
#include "HLVFileViewController.h"
#include "HLVHoverButton.h"
#include "HLVIntroductionViewController.h"
#include "HLVLoopbackServer.h"
#include "HLVMainViewController.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVOpenedAddresses.h"
#include "HLVPreferencesWindowController.h"
#include "HLVServiceConfiguration.h"
#include "HLVServiceReplies.h"
#include "HLVTagEditorViewController.h"
#include "HLVTagLib.h"
#include "HLVTagMap.h"
#include "HLVTagTextField.h"
#include "HLVTestFiles.h"
#include "HLVUpdateChecker.h"
#include "HLVViewJobs.h"
#include "HLVFileNameStructure.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVRenameTrackWindowController.h"
#include "HLVMainThreadFileCheck.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTranslator>
#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include <taglib/fileref.h>
#include <taglib/tag.h>

TEST_F(HLVAppDelegateTest, QuittingAsksOnlyWhenWorkWouldBeLostAndCleansUp)
{
    // Nothing to lose: the window closes at once, without an alert.
    EXPECT_TRUE(app->window()->isVisible());
    EXPECT_TRUE(app->window()->close());
    EXPECT_TRUE(app->window()->IsTerminating());
    EXPECT_FALSE(app->window()->isVisible());
    EXPECT_FALSE(app->window()->findChild<QMessageBox*>());

    // Ctrl+Q takes, also with a dialog over the window (which keeps the menu's
    // own shortcut from firing) and where the platform names no quit key.
    launch();
    app->preferencesMenuItemSelected();
    auto* preferences = app->window()->findChild<HLVPreferencesWindowController*>();
    ASSERT_TRUE(preferences && preferences->isVisible());
    QTest::keyClick(preferences, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(app->window()->IsTerminating());
    EXPECT_FALSE(app->window()->isVisible());

    launch();
    const auto paths = addFixtures(2);
    const auto record = manager().FileDataArray().first();
    record->editVirtualTagMap([](HLVTagMap& map) { map.setTrackName(QStringLiteral("Changed")); });
    record->forceIsModified();
    manager().fileWasModified(record);
    ASSERT_TRUE(waitUntil([&] { return manager().ModifiedFileDataArray().size() == 1; }));

    EXPECT_FALSE(app->window()->close());
    QMessageBox* unsaved = alert("terminationAlert");
    ASSERT_TRUE(unsaved);
    // Asking again (Ctrl+Q on the alert) keeps the one question open.
    QTest::keyClick(unsaved, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(app->window()->findChildren<QMessageBox*>(QStringLiteral("terminationAlert")).size(), 1);
    EXPECT_EQ(unsaved->text(), QStringLiteral("Unsaved changes"));
    EXPECT_EQ(unsaved->informativeText(),
              QStringLiteral("If you close the application now, any unsaved changes will be lost."));
    EXPECT_EQ(buttonTitles(unsaved), (QStringList{QStringLiteral("Go Back"), QStringLiteral("Close Cadrelle")}));
    answer(unsaved, QStringLiteral("Go Back"));
    EXPECT_TRUE(app->window()->isVisible());
    EXPECT_FALSE(app->window()->IsTerminating());

    // During a save the quit menu item asks with its own message, and agreeing closes.
    ASSERT_TRUE(waitUntil([&] { return !app->window()->findChild<QMessageBox*>(); }, 5000));
    startSlowSave(manager().FileDataArray().at(1));
    item("QuitMenuItem")->trigger();
    QMessageBox* saving = alert("terminationAlert");
    ASSERT_TRUE(saving);
    EXPECT_EQ(saving->text(), QStringLiteral("Save in progress!"));

    // Pasted artwork is removed at exit and the manager's work stops at once.
    const QString artworkFolder = HLVArtworkFolder::path();
    ASSERT_TRUE(QDir(artworkFolder).exists());
    answer(saving, QStringLiteral("Close Cadrelle"));
    ASSERT_TRUE(waitUntil([&] { return !app->window()->isVisible(); }, 5000));
    EXPECT_TRUE(app->window()->IsTerminating());
    app->applicationWillTerminate();
    EXPECT_FALSE(QDir(artworkFolder).exists());
    EXPECT_FALSE(manager().isOperationRunning());
}

TEST_F(HLVAppDelegateTest, QuittingWhileTaggingNamesTheWork)
{
    addFixtures(1);
    // The AcoustID service answers slowly, so identification is still running.
    server.setDefaultReply(HLVLoopbackServer::Reply::withStatus(404).delayed(3000ms));
    manager().identifyFile(manager().FileDataArray().first());
    ASSERT_TRUE(waitUntil([&] { return manager().currentOperation() == HLVFileOperationIdentifying; }));
    app->window()->close();
    QMessageBox* tagging = alert("terminationAlert");
    ASSERT_TRUE(tagging);
    EXPECT_EQ(tagging->text(), QStringLiteral("Tagging in progress!"));
    answer(tagging, QStringLiteral("Go Back"));
    EXPECT_TRUE(app->window()->isVisible());
    manager().stopIdentifying();
    ASSERT_TRUE(waitUntil([&] { return !manager().isOperationRunning(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return !app->window()->findChild<QMessageBox*>(); }, 5000));

    // A rename finishes in a blink, so an observer holds it at its start; it
    // lets go and leaves however this test ends.
    struct RenameHolder : HLVFileManagerDelegate {
        HLVFileManager& manager;
        std::promise<void> started, release;
        std::shared_future<void> released = release.get_future().share();
        explicit RenameHolder(HLVFileManager& m) : manager(m) { manager.addDelegate(this); }
        ~RenameHolder() override
        {
            release.set_value();
            manager.removeDelegate(this);
        }
        void fileOperationDidStart(int operation) override
        {
            if (operation != HLVFileOperationRenaming)
                return;
            started.set_value();
            released.wait();
        }
    };
    QString renamingText;
    {
        RenameHolder holder(manager());
        auto started = holder.started.get_future();
        manager().renameFiles(manager().FileDataArray(), HLVFileNameStructure());
        ASSERT_EQ(started.wait_for(10s), std::future_status::ready);
        app->window()->close();
        QMessageBox* renaming = alert("terminationAlert");
        ASSERT_TRUE(renaming);
        renamingText = renaming->text();
        answer(renaming, QStringLiteral("Go Back"));
    }
    EXPECT_EQ(renamingText, QStringLiteral("Tagging in progress!"));
    EXPECT_TRUE(app->window()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !manager().isOperationRunning(); }, 10000));
}

// The services may take their time; quitting must not wait for them.
TEST_F(HLVAppDelegateTest, QuittingDuringASlowLookupLeavesAtOnce)
{
    addFixtures(2);
    const auto saving = manager().FileDataArray().at(1);
    const QString saved = saving->FilePath();
    ASSERT_TRUE(saved.endsWith(QLatin1String(".flac")));
    startSlowSave(saving);
    server.setDefaultReply(HLVLoopbackServer::Reply::withStatus(404).delayed(20000ms));
    manager().identifyFiles({manager().FileDataArray().at(0)});
    ASSERT_TRUE(waitUntil([&] { return manager().currentOperation() == HLVFileOperationIdentifying; }));
    ASSERT_TRUE(waitUntil([&] {
        const auto received = server.requests();
        return std::ranges::any_of(received, [](const auto& r) { return r.path == QLatin1String("/v2/lookup"); });
    })); // a lookup is on its way
    QElapsedTimer quitting;
    quitting.start();
    item("QuitMenuItem")->trigger();
    answer(alert("terminationAlert"), QStringLiteral("Close Cadrelle"));
    ASSERT_TRUE(waitUntil([&] { return !app->window()->isVisible(); }, 5000));
    app->applicationWillTerminate();
    app.reset();
    EXPECT_LT(quitting.elapsed(), 2000);
    // The save that waited for a picture left its file whole, written or not.
    EXPECT_EQ(HLVAudioBytes::haveSameAudio(saved, HLVTestFiles::fixturePath(QStringLiteral("tone.flac")),
                                           HLVTagLib::Format::FLAC),
              true);
}

TEST_F(HLVAppDelegateTest, MenuItemsFollowTheSelectionTheEditorAndOperations)
{
    // At start only adding is offered.
    for (const char* name : {"SelectAllFilesMenuItem", "RenameSelectionMenuItem", "RemoveSelectionMenuItem",
                             "SyncArtworkMenuItem", "SaveSelectionMenuItem", "RevertSelectionMenuItem",
                             "FilterAllFilesMenuItem", "FilterModifiedFilesMenuItem"})
        EXPECT_FALSE(item(name)->isEnabled()) << name;
    EXPECT_TRUE(item("AddFilesMenuItem")->isEnabled());
    EXPECT_EQ(app->mainViewController()->rightView(), app->introductionViewController());
    EXPECT_TRUE(app->introductionViewController()->introductionTextField()->text().startsWith(
        QStringLiteral("To begin, add files")));

    addFixtures(3);
    EXPECT_TRUE(item("SelectAllFilesMenuItem")->isEnabled());
    EXPECT_TRUE(item("FilterModifiedFilesMenuItem")->isEnabled());

    // Two files: the commands on a selection, the editor on the right, nothing to revert yet.
    list()->selectRows({0, 2});
    HLVViewJobs::waitForAll(30000);
    ASSERT_TRUE(waitUntil([&] { return item("RemoveSelectionMenuItem")->isEnabled(); }));
    EXPECT_TRUE(item("SyncArtworkMenuItem")->isEnabled());
    EXPECT_FALSE(item("RevertSelectionMenuItem")->isEnabled());
    EXPECT_FALSE(item("SaveSelectionMenuItem")->isEnabled());
    ASSERT_TRUE(app->editorPanel());
    EXPECT_EQ(app->mainViewController()->rightView(), app->editorPanel()->view());

    // Typing in the editor offers save and revert; reverting takes both away again.
    auto* title = app->editorPanel()->view()->findChild<HLVTagTextField*>(QStringLiteral("trackTitleTextField"));
    ASSERT_TRUE(title);
    QTest::keyClicks(title, QStringLiteral("Both"));
    EXPECT_TRUE(item("RevertSelectionMenuItem")->isEnabled());
    EXPECT_TRUE(item("SaveSelectionMenuItem")->isEnabled());
    item("RevertSelectionMenuItem")->trigger();
    EXPECT_FALSE(item("RevertSelectionMenuItem")->isEnabled());
    EXPECT_FALSE(manager().FileDataArray().at(0)->IsModified());
    EXPECT_FALSE(manager().FileDataArray().at(2)->IsModified());

    // The View menu is the list's filter.
    item("FilterModifiedFilesMenuItem")->trigger();
    EXPECT_EQ(list()->dataSource(), HLVFileList::Modified);
    item("FilterAllFilesMenuItem")->trigger();
    ASSERT_TRUE(waitUntil([&] { return list()->dataSourceCount() == 3; }));

    // While an operation runs, a new selection offers no command on it.
    startSlowSave(manager().FileDataArray().at(1));
    EXPECT_FALSE(item("FilterAllFilesMenuItem")->isEnabled());
    list()->selectRows({0, 1});
    HLVViewJobs::waitForAll(30000);
    ASSERT_TRUE(waitUntil([&] { return list()->currentSelection().size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(item("RemoveSelectionMenuItem")->isEnabled());
    EXPECT_FALSE(item("SyncArtworkMenuItem")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !manager().isOperationRunning() && item("AddFilesMenuItem")->isEnabled(); }));
    EXPECT_TRUE(item("RemoveSelectionMenuItem")->isEnabled()) << "the selection's commands come back at the end";

    // No selection: the introduction again, now about selecting.
    list()->selectRows({});
    HLVViewJobs::waitForAll(30000);
    ASSERT_TRUE(waitUntil([&] { return app->mainViewController()->rightView() == app->introductionViewController(); }));
    EXPECT_TRUE(app->introductionViewController()->introductionTextField()->text().contains(
        QStringLiteral("holding the Ctrl key")));
    EXPECT_FALSE(item("RemoveSelectionMenuItem")->isEnabled());

    // With nothing running, quitting is quick.
    QElapsedTimer quitting;
    quitting.start();
    EXPECT_TRUE(app->window()->close());
    app->applicationWillTerminate();
    app.reset();
    EXPECT_LT(quitting.elapsed(), 2000);
}

TEST(HLVUpdateChecker, ComparesPlainDecimalVersions)
{
    EXPECT_TRUE(HLVUpdateChecker::isVersionNewer(QStringLiteral("2.1"), QStringLiteral("2.09")));
    EXPECT_FALSE(HLVUpdateChecker::isVersionNewer(QStringLiteral("2.09"), QStringLiteral("2.1")));
    EXPECT_FALSE(HLVUpdateChecker::isVersionNewer(QStringLiteral("2.1.3"), QStringLiteral("2.09")));
    EXPECT_FALSE(HLVUpdateChecker::isVersionNewer(QStringLiteral("2.10"), QStringLiteral("2.1")));
    EXPECT_TRUE(HLVUpdateChecker::isVersionNewer(QStringLiteral("10\n"), QStringLiteral("9.99")));
    EXPECT_TRUE(HLVUpdateChecker::isVersionNewer(QStringLiteral("0.2"), QStringLiteral("0.10")));
    EXPECT_FALSE(HLVUpdateChecker::isVersionNewer(QStringLiteral("<html>"), QStringLiteral("1")));
    EXPECT_FALSE(HLVUpdateChecker::isVersionNewer(QStringLiteral("3"), QStringLiteral("")));
}

TEST_F(HLVAppDelegateTest, UpdateCheckReadsTheVersionFile)
{
    // The running 2.09.0 compares as 2.09.
    const auto check = [this](const HLVLoopbackServer::Reply& reply) {
        server.setReply(QStringLiteral("/latest-version.txt"), reply);
        std::atomic<int> answer{-1};
        QThreadPool::globalInstance()->start([&answer] { answer = HLVUpdateChecker::IsUpdateAvailable() ? 1 : 0; });
        EXPECT_TRUE(waitUntil([&] { return answer >= 0; }));
        return answer == 1;
    };
    EXPECT_TRUE(check(HLVLoopbackServer::Reply::bytes("2.1\n", "text/plain")));
    EXPECT_FALSE(check(HLVLoopbackServer::Reply::bytes("2.1.3", "text/plain")));
    EXPECT_FALSE(check(HLVLoopbackServer::Reply::bytes("2.09", "text/plain")));
    EXPECT_FALSE(check(HLVLoopbackServer::Reply::withStatus(500, "9.0")));

    // A check that cannot tell says so, and why, instead of "latest version".
    server.setReply(QStringLiteral("/latest-version.txt"), HLVLoopbackServer::Reply::withStatus(500, "9.0"));
    item("CheckForUpdatesMenuItem")->trigger();
    QMessageBox* failed = alert("updateAlert");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->text(), QStringLiteral("Could not check for updates"));
    EXPECT_TRUE(failed->informativeText().contains(QStringLiteral("status 500"))) << failed->informativeText().toStdString();
    answer(failed, QStringLiteral("Continue"));
    ASSERT_TRUE(waitUntil([&] { return !app->window()->findChild<QMessageBox*>(QStringLiteral("updateAlert")); }));

    server.setReply(QStringLiteral("/latest-version.txt"), HLVLoopbackServer::Reply::bytes("3", "text/plain"));
    item("CheckForUpdatesMenuItem")->trigger();
    QMessageBox* update = alert("updateAlert");
    ASSERT_TRUE(update);
    EXPECT_EQ(update->text(), QStringLiteral("An update is available!"));
    EXPECT_EQ(buttonTitles(update), (QStringList{QStringLiteral("Download Now"), QStringLiteral("Dismiss")}));
    answer(update, QStringLiteral("Dismiss"));

    QMessageBox* current = app->showUpdateAlert(false);
    EXPECT_EQ(current->informativeText(), QStringLiteral("You are currently running the latest version of Cadrelle."));
    EXPECT_EQ(buttonTitles(current), QStringList{QStringLiteral("Continue")});
}

TEST_F(HLVAppDelegateTest, ConnectionCheckShowsTheStatusAlertsOnceAndGivesUpAfterFiveTries)
{
    // MusicBrainz does not answer: "No connection", one alert, re-checks after 5, 15, 60, 300 s.
    const auto checkOnce = [this] {
        app->reconnectTimer()->stop();
        app->serverStatusTextField()->clear();
        app->checkConnection();
        EXPECT_TRUE(waitUntil([&] { return !app->serverStatusTextField()->text().isEmpty(); }));
    };
    const QList<int> delays{5000, 15000, 60000, 300000};
    for (int attempt = 1; attempt <= 5; ++attempt) {
        checkOnce();
        EXPECT_EQ(app->serverStatusTextField()->text(), QStringLiteral("No connection"));
        if (attempt <= 4) {
            EXPECT_TRUE(app->reconnectTimer()->isActive()) << attempt;
            EXPECT_EQ(app->reconnectTimer()->interval(), delays[attempt - 1]);
        } else {
            EXPECT_FALSE(app->reconnectTimer()->isActive()) << "no sixth check";
        }
    }
    EXPECT_EQ(app->serverStatusTextField()->toolTip(), QStringLiteral("A connection could not be established"));
    const auto alerts = app->window()->findChildren<QMessageBox*>(QStringLiteral("connectionAlert"));
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first()->text(), QStringLiteral("Unable to connect"));

    // MusicBrainz answers, AcoustID refuses the key: partial, and the tool tip says why.
    server.setReply(QStringLiteral("/ws/2/artist/"),
                    HLVLoopbackServer::Reply::xml(HLVServiceReplies::artistList(QStringLiteral("a-1"),
                                                                                 QStringLiteral("Radiohead"))));
    server.setReply(QStringLiteral("/v2/lookup"),
                    HLVLoopbackServer::Reply::json(HLVServiceReplies::acoustIDError(4, QStringLiteral("invalid API key"))));
    checkOnce();
    EXPECT_EQ(app->serverStatusTextField()->text(), QStringLiteral("Partial Connection"));
    EXPECT_TRUE(app->serverStatusTextField()->toolTip().contains(QStringLiteral("AcoustID rejected the application key")))
        << app->serverStatusTextField()->toolTip().toStdString();

    // AcoustID answers "ok" without a recording: that is a working connection.
    server.setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(R"({"status":"ok","results":[]})"));
    checkOnce();
    EXPECT_EQ(app->serverStatusTextField()->text(), QStringLiteral("Connected"));
    EXPECT_EQ(app->serverStatusTextField()->toolTip(), QStringLiteral("Connection was successful"));
    EXPECT_EQ(app->window()->findChildren<QMessageBox*>(QStringLiteral("connectionAlert")).size(), 1);
}

TEST_F(HLVAppDelegateTest, IdentifyChooseTheSecondMatchSaveAndQuit)
{
    server.setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(HLVCannedReplies::acoustIDReply()));
    server.setReply(QStringLiteral("/ws/2/recording/"), HLVLoopbackServer::Reply::xml(HLVCannedReplies::releasesReply()));
    const QStringList paths = addFixtures(3);
    list()->selectRows({0});
    HLVViewJobs::waitForAll(30000);
    ASSERT_TRUE(waitUntil([&] { return app->mainViewController()->rightView() == app->editorPanel()->view(); }));
    const auto record = list()->selectedRecords().first();

    list()->downloadTagsForSelection();
    ASSERT_TRUE(waitUntil([&] {
        return record->Releases().size() == 2 && !manager().isOperationRunning() && item("AddFilesMenuItem")->isEnabled();
    }));
    // The matches strip in the editing area pages to the second candidate.
    auto* editor = qobject_cast<HLVEditorViewController*>(app->editorPanel()->view());
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(waitUntil([&] { return editor->isMatchesViewVisible(); }));
    EXPECT_EQ(editor->matchesEditorViewController()->currentMatch(), 1ul);
    editor->matchesEditorViewController()->matchesSegmentedControlSelected(HLVMatchesEditorViewController::NextSegment);
    ASSERT_TRUE(waitUntil([&] { return record->selectedRelease() == 1; }));
    const std::optional<QString> album = record->Releases().at(1)->AlbumName();
    ASSERT_TRUE(album);
    ASSERT_NE(album, record->Releases().at(0)->AlbumName());

    // Saved at once: the shown candidate's picture may still be on its way.
    ASSERT_TRUE(item("SaveSelectionMenuItem")->isEnabled());
    item("SaveSelectionMenuItem")->trigger();
    ASSERT_TRUE(waitUntil([&] { return !record->IsModified() && !manager().isOperationRunning(); }));
    {
        TagLib::FileRef file(QFile::encodeName(record->FilePath()).constData());
        ASSERT_FALSE(file.isNull());
        EXPECT_EQ(QString::fromStdString(file.tag()->album().to8Bit(true)), *album);
        EXPECT_EQ(QString::fromStdString(file.tag()->title().to8Bit(true)), QStringLiteral("Tone"));
    }

    QElapsedTimer quitting;
    quitting.start();
    item("QuitMenuItem")->trigger();
    EXPECT_FALSE(app->window()->isVisible());
    app->applicationWillTerminate();
    app.reset();
    EXPECT_LT(quitting.elapsed(), 2000);
}

TEST_F(HLVAppDelegateTest, AboutPreferencesAndHelpPages)
{
    HLVOpenedAddresses desktop;

    item("AboutMenuItem")->trigger();
    ASSERT_TRUE(app->aboutWindowController());
    EXPECT_EQ(app->aboutWindowController()->versionTextField()->text(), QStringLiteral("Version 2.09.0"));
    EXPECT_TRUE(app->aboutWindowController()->buildTextField()->text().startsWith(QStringLiteral("Build ")));
    QStringList credits;
    for (QPushButton* button : app->aboutWindowController()->linkButtons())
        credits.append(button->text());
    EXPECT_TRUE(credits.contains(QStringLiteral("MusicBrainz")));
    EXPECT_TRUE(credits.contains(QStringLiteral("AcoustID")));
    EXPECT_TRUE(credits.contains(QStringLiteral("Cover Art Archive")));
    app->aboutWindowController()->linkButtons().at(1)->click();
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened.first().host(), QStringLiteral("musicbrainz.org"));

    // The guide is our own page; the support form names the product and no device.
    app->introductionViewController()->onlineManualButton()->click();
    item("ContactSupportMenuItem")->trigger();
    ASSERT_EQ(desktop.opened.size(), 3);
    EXPECT_TRUE(desktop.opened.at(1).toString().endsWith(QStringLiteral("user-guide.html")));
    EXPECT_TRUE(desktop.opened.at(2).query(QUrl::FullyEncoded).contains(QStringLiteral("xiPod%20Type=None")))
        << desktop.opened.at(2).toString().toStdString();

    // Preferences are stored only when accepted; an empty key forgets the user's own.
    item("PreferencesMenuItem")->trigger();
    auto* preferences = app->window()->findChild<HLVPreferencesWindowController*>();
    ASSERT_TRUE(preferences);
    preferences->acoustIDKeyField()->setText(QStringLiteral("  my-key "));
    preferences->id3v2VersionBox()->setCurrentIndex(1);
    preferences->accept();
    EXPECT_EQ(QSettings().value(QStringLiteral("AcoustIDApplicationKey")).toString(), QStringLiteral("my-key"));
    EXPECT_EQ(HLVTagLib::ID3v2Version(), 3);
    HLVPreferencesWindowController again;
    EXPECT_EQ(again.acoustIDKeyField()->text(), QStringLiteral("my-key"));
    again.acoustIDKeyField()->clear();
    again.id3v2VersionBox()->setCurrentIndex(0);
    again.accept();
    EXPECT_FALSE(QSettings().contains(QStringLiteral("AcoustIDApplicationKey")));
    EXPECT_EQ(HLVTagLib::ID3v2Version(), 4);
}


// Every tag read of the window happens on a worker (the window tests fail one
// on the main thread): what the editor shows for a selection, the search, the
// rename preview and Remove Tags, on files not read yet. (A new custom tag
// row's text: HLVCustomTagEditor.TypedIdentifiersAreCheckedCutAndFilledFromTheFile.)
TEST_F(HLVAppDelegateTest, FileWorkOfTheWindowRunsOffTheMainThread)
{
    // Tagged before they are added: the list reads them for its columns (on a worker) at once.
    QStringList paths;
    {
        HLVAllowMainThreadFileAccess preparing;
        HLVTagMap tags;
        tags.setAlbumName(QStringLiteral("Shared Album"));
        tags.setArtistName(QStringLiteral("Somebody"));
        for (const char* fixture : {"tone.mp3", "tone.flac", "tone.m4a"}) {
            paths.append(files.copyFixture(QString::fromLatin1(fixture)));
            ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(paths.last(), &tags));
        }
    }
    dropAndWait(paths);
    const auto records = manager().FileDataArray();

    list()->selectAllFiles();
    auto* editor = app->window()->findChild<HLVTagEditorViewController*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isWorking()) << "the fields wait for the files' tags";
    EXPECT_FALSE(editor->textFieldForKey(QStringLiteral("AlbumName"))->isEnabled());
    ASSERT_TRUE(HLVViewJobs::waitForAll(30000));
    EXPECT_FALSE(editor->isWorking());
    EXPECT_TRUE(editor->textFieldForKey(QStringLiteral("AlbumName"))->isEnabled());
    for (const auto& record : records)
        EXPECT_TRUE(record->isLoaded());
    QTest::keyClicks(editor->textFieldForKey(QStringLiteral("Genre")), QStringLiteral("Jazz"));
    editor->confirmChanges();
    EXPECT_TRUE(editor->textFieldForKey(QStringLiteral("Genre"))->IsChangedFromSaved());

    auto* search = list()->findChild<QLineEdit*>(QStringLiteral("searchField"));
    search->setText(QStringLiteral("shared album"));
    ASSERT_TRUE(waitUntil([&] { return !list()->isSearchPending(); }));
    EXPECT_EQ(list()->dataSourceCount(), 3);
    search->setText(QStringLiteral("nowhere"));
    ASSERT_TRUE(waitUntil([&] { return !list()->isSearchPending(); }));
    EXPECT_EQ(list()->dataSourceCount(), 0);
    search->clear();
    ASSERT_TRUE(waitUntil([&] { return !list()->isSearchPending() && list()->dataSourceCount() == 3; }));

    list()->selectAllFiles();
    list()->renameSelectedFiles();
    HLVRenameTrackWindowController* rename = list()->renameTrackWindowController();
    ASSERT_NE(rename, nullptr);
    rename->setFileNameStructure(HLVFileNameStructure::initWithStringValue(QStringLiteral("Artist - Album")));
    ASSERT_TRUE(HLVViewJobs::waitForAll(30000));
    EXPECT_FALSE(rename->isPreviewPending());
    auto* preview = rename->findChild<QTreeWidget*>(QStringLiteral("renamePreviewList"));
    ASSERT_EQ(preview->topLevelItemCount(), 3);
    EXPECT_TRUE(preview->topLevelItem(0)->text(1).startsWith(QStringLiteral("Somebody"))) << preview->topLevelItem(0)->text(1).toStdString();
    rename->reject();
    QCoreApplication::processEvents();

    list()->selectAllFiles();
    ASSERT_TRUE(HLVViewJobs::waitForAll(30000));
    list()->removeTagsFromSelection();
    QMessageBox* box = alert("fileViewAlert");
    ASSERT_NE(box, nullptr);
    answer(box, QStringLiteral("Remove Tags"));
    ASSERT_TRUE(HLVViewJobs::waitForAll(30000));
    for (const auto& record : records) {
        EXPECT_TRUE(record->IsModified());
        EXPECT_EQ(record->existingVirtualTagMap()->AlbumName(), QString());
    }
    EXPECT_EQ(manager().ModifiedFileDataArray().size(), 3);
}

// The menus, the list's context menu, the editor's buttons and the Modified
// filter follow one rule: after each command that changes files they agree,
// and the standard keys act on the files shown.
TEST_F(HLVAppDelegateTest, CommandsAgreeEverywhereAndTheStandardKeysAct)
{
    const QStringList paths{files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("0.mp3")),
                            files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("1.flac")),
                            files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("2.m4a"))};
    {
        // The first file has a picture to sync.
        HLVAllowMainThreadFileAccess preparing;
        QImage cover(20, 20, QImage::Format_RGB32);
        cover.fill(Qt::red);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(cover.save(&buffer, "JPG"));
        HLVTagMap tags;
        tags.setArtworkPath(files.writeFile(QStringLiteral("cover.jpg"), jpeg));
        tags.setArtworkState(HLVArtworkStateChosen);
        ASSERT_TRUE(HLVTagLib::saveTagsToFileAtPath(paths[0], &tags));
    }
    dropAndWait(paths);
    auto* editor = app->window()->findChild<HLVEditorViewController*>();
    // The context menu holds the menus' own actions, and the buttons follow them.
    auto contextItem = [&](const char* name) -> QAction* {
        for (QAction* action : list()->contextMenu()->actions()) {
            if (action->objectName() == QLatin1String(name))
                return action;
        }
        return nullptr;
    };
    for (const char* name : {"SaveSelectionMenuItem", "RevertSelectionMenuItem", "DownloadTagsMenuItem",
                             "RemoveTagsMenuItem", "SyncArtworkMenuItem", "RenameSelectionMenuItem"})
        EXPECT_EQ(contextItem(name), item(name)) << name;
    auto settle = [&] {
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
            HLVViewJobs::waitForAll(30000);
        }
    };
    auto agree = [&](bool modified, const char* when) {
        settle();
        if (!editor)
            editor = app->window()->findChild<HLVEditorViewController*>();
        ASSERT_TRUE(editor) << when;
        list()->menuNeedsUpdate(-1);
        bool anyListed = false;
        for (const auto& record : list()->selectedRecords())
            anyListed = anyListed || manager().ModifiedFileDataArray().contains(record);
        EXPECT_EQ(anyListed, modified) << when;
        EXPECT_EQ(item("SaveSelectionMenuItem")->isEnabled(), modified) << when;
        EXPECT_EQ(item("RevertSelectionMenuItem")->isEnabled(), modified) << when;
        EXPECT_EQ(editor->saveChangesButton()->isEnabled(), modified) << when;
        EXPECT_EQ(editor->undoChangesButton()->isEnabled(), modified) << when;
        const bool editable = item("DownloadTagsMenuItem")->isEnabled();
        EXPECT_EQ(item("RemoveTagsMenuItem")->isEnabled(), editable) << when;
        EXPECT_EQ(editor->tagButton()->isEnabled(), editable) << when;
        EXPECT_EQ(editor->detagButton()->isEnabled(), editable) << when;
    };

    list()->selectAllFiles();
    agree(false, "selected");
    EXPECT_TRUE(item("DownloadTagsMenuItem")->isEnabled());

    // Remove Tags from the list's menu.
    contextItem("RemoveTagsMenuItem")->trigger();
    QMessageBox* box = alert("fileViewAlert");
    ASSERT_NE(box, nullptr);
    answer(box, QStringLiteral("Remove Tags"));
    agree(true, "after Remove Tags");

    // Ctrl+Z in the list undoes the shown files' changes.
    app->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app->window()));
    list()->tableView()->setFocus();
    QTest::keyClick(list()->tableView(), Qt::Key_Z, Qt::ControlModifier);
    agree(false, "after Ctrl+Z");
    for (const auto& record : manager().FileDataArray())
        EXPECT_FALSE(record->IsModified());

    // Download Tags with every service answering 404: nothing changes.
    const auto bridge = HLVFileManagerBridge::forManager(&manager());
    QSignalSpy finished(bridge.get(), &HLVFileManagerBridge::operationFinished);
    item("DownloadTagsMenuItem")->trigger();
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty() && !manager().isOperationRunning(); }));
    agree(false, "after a failed download of tags");

    // Sync Artwork: the files given the picture show modified everywhere.
    contextItem("SyncArtworkMenuItem")->trigger();
    box = alert("fileViewAlert");
    ASSERT_NE(box, nullptr);
    answer(box, QStringLiteral("Sync Artwork"));
    agree(true, "after Sync Artwork");

    // Ctrl+S saves them.
    ASSERT_TRUE(item("SaveSelectionMenuItem")->isEnabled());
    app->window()->activateWindow(); // back from the alert
    ASSERT_TRUE(QTest::qWaitForWindowActive(app->window()));
    list()->tableView()->setFocus();
    QTest::keyClick(list()->tableView(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return manager().ModifiedFileDataArray().isEmpty() && !manager().isOperationRunning(); }, 10000))
        << manager().ModifiedFileDataArray().size() << " modified, operation " << manager().currentOperation()
        << ", saves " << editor->saveCount();
    agree(false, "after Ctrl+S");
    EXPECT_FALSE(editor->isStatusViewVisible()) << "the strip went with the save";

    // A picture loaded onto one file; a failed artwork download leaves it as it was.
    list()->selectRows({2});
    settle();
    auto* tags = editor->tagEditorViewController();
    ASSERT_TRUE(tags->loadArtworkFromPath(files.path(QStringLiteral("cover.jpg"))));
    agree(true, "after loading artwork");
    EXPECT_TRUE(tags->restoreArtworkButton()->isEnabled());
    item("RevertSelectionMenuItem")->trigger();
    agree(false, "after undoing the artwork");
    const qsizetype batches = finished.size();
    tags->downloadArtworkButtonPressed();
    ASSERT_TRUE(waitUntil([&] { return finished.size() > batches && !manager().isOperationRunning(); }));
    agree(false, "after a failed artwork download");
    EXPECT_FALSE(tags->artworkImage().isNull()) << "nothing found: the file's own picture stays";

    // A file that is not audio at all: selecting it changes nothing.
    const QString noise = files.writeFile(QStringLiteral("noise.mp3"), QByteArray(4096, 'x'));
    manager().addFilesAtURLs(QList<QUrl>{QUrl::fromLocalFile(noise)});
    ASSERT_TRUE(waitUntil([&] { return list()->dataSourceCount() == 4 && !manager().isOperationRunning(); }));
    const auto shown = list()->shownRecords();
    const auto unreadable = std::ranges::find_if(shown, [](const auto& record) { return record->FileName() == QLatin1String("noise.mp3"); });
    ASSERT_NE(unreadable, shown.end());
    list()->selectRows({int(unreadable - shown.begin())});
    agree(false, "an unreadable file");
    EXPECT_FALSE(item("DownloadTagsMenuItem")->isEnabled());

    // A read-only file: nothing to download, remove or save for it.
    list()->selectRows({0});
    settle();
    manager().FileDataArray().at(1)->setIsReadOnly(true);
    list()->selectRows({1});
    agree(false, "a read-only file");
    EXPECT_FALSE(item("DownloadTagsMenuItem")->isEnabled());
}

// A translation that renames commands leaves them working: nothing decides by
// a text shown.
class HLVRenamingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char*, const char* source, const char*, int) const override
    {
        const QLatin1String text(source);
        if (text == QLatin1String("Copy"))
            return QStringLiteral("Kopieren");
        if (text == QLatin1String("Paste"))
            return QStringLiteral("Einfügen");
        if (text == QLatin1String("Cancel"))
            return QStringLiteral("Abbrechen");
        return QString();
    }
};

TEST_F(HLVAppDelegateTest, ATranslationRenamingCopyPasteAndCancelLeavesThemWorking)
{
    HLVRenamingTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    launch();
    addFixtures(2);
    list()->selectRows({0});
    HLVViewJobs::waitForAll(30000);
    auto* tags = app->window()->findChild<HLVTagEditorViewController*>();
    ASSERT_NE(tags, nullptr);
    auto* paste = tags->findChild<QAction*>(QStringLiteral("pasteArtworkAction"));
    auto* copy = tags->findChild<QAction*>(QStringLiteral("copyArtworkAction"));
    ASSERT_TRUE(paste && copy);
    EXPECT_EQ(paste->text(), QStringLiteral("Einfügen"));

    // Paste a picture onto the file, then copy it back out.
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QGuiApplication::clipboard()->setImage(picture);
    paste->trigger();
    const auto record = manager().FileDataArray().at(0);
    EXPECT_EQ(record->VirtualTagMap()->ArtworkState(), HLVArtworkStateChosen);
    QGuiApplication::clipboard()->clear();
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(30, 20));

    // Escape answers the renamed Cancel: the file with changes stays.
    item("RemoveSelectionMenuItem")->trigger();
    QMessageBox* box = alert("fileViewAlert");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(buttonTitles(box).contains(QStringLiteral("Abbrechen")));
    QTest::keyClick(box, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(manager().FileDataArray().size(), 2);
    QCoreApplication::removeTranslator(&translator);
}
