#include "HLVArtworkFolder.h"
#include "HLVEventLoopWait.h"
#include "HLVMainThreadFileCheck.h"
#include "HLVFileListModel.h"
#include "HLVFileNameStructure.h"
#include "HLVFileView.h"
#include "HLVFileViewController.h"
#include "HLVFileViewControllerDelegate.h"
#include "HLVFileViewTableCell.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVRenameTrackWindowController.h"
#include "HLVTestEnvironment.h"
#include "HLVTestFiles.h"
#include "HLVViewJobs.h"

#include <QAbstractButton>
#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>
#include <gtest/gtest.h>

#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

bool waitUntil(const std::function<bool()>& condition, int milliseconds = 30000)
{
    return HLVSpinEventLoopUntil(condition, milliseconds);
}

void tagFile(const QString& path, const char* artist, const char* title)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull());
    file.tag()->setArtist(artist);
    file.tag()->setTitle(title);
    ASSERT_TRUE(file.save());
}

// The cover each format's own tag holds, read with TagLib; empty when none.
QByteArray coverBytesInFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    TagLib::ByteVector data;
    if (path.endsWith(QLatin1String(".mp3"))) {
        TagLib::MPEG::File file(name.constData());
        const auto frames = file.ID3v2Tag() ? file.ID3v2Tag()->frameListMap()["APIC"] : TagLib::ID3v2::FrameList();
        if (!frames.isEmpty())
            data = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frames.front())->picture();
    } else if (path.endsWith(QLatin1String(".m4a"))) {
        TagLib::MP4::File file(name.constData());
        if (file.tag() && file.tag()->contains("covr") && !file.tag()->item("covr").toCoverArtList().isEmpty())
            data = file.tag()->item("covr").toCoverArtList().front().data();
    } else {
        TagLib::FLAC::File file(name.constData());
        if (!file.pictureList().isEmpty())
            data = file.pictureList().front()->data();
    }
    return QByteArray(data.data(), int(data.size()));
}

void addCover(const QString& flacPath, const QByteArray& jpeg)
{
    TagLib::FLAC::File file(QFile::encodeName(flacPath).constData());
    auto* picture = new TagLib::FLAC::Picture;
    picture->setType(TagLib::FLAC::Picture::FrontCover);
    picture->setMimeType("image/jpeg");
    picture->setData(TagLib::ByteVector(jpeg.constData(), unsigned(jpeg.size())));
    file.addPicture(picture);
    ASSERT_TRUE(file.save());
}

} // namespace

class HLVFileViewControllerTest : public ::testing::Test, public HLVFileViewControllerDelegate
{
protected:
    void SetUp() override
    {
        window.resize(340, 420);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        list = new HLVFileViewController(&window);
        layout->addWidget(list);
        list->setDelegate(this);
        window.show();
    }

    QWidget* windowToDisplayFileViewDialogs() override { return &window; }
    HLVFileManager* fileViewFileManagerSource() override { return &manager; }
    void performSaveForCurrentSelection(HLVFileViewController*) override { ++saveRequests; }
    void fileViewSelectionChanged(HLVFileViewController*, const QList<int>& rows,
                                  const QList<std::shared_ptr<HLVFileData>>&) override
    {
        reports.append(rows);
    }

    template <typename T>
    T* child(const char* name) const
    {
        return list->findChild<T*>(QLatin1String(name));
    }
    QString countText() const { return child<QLabel>("fileCountLabel")->text(); }
    bool stripShown() const { return !child<QFrame>("progressStrip")->isHidden(); }
    // An item of the context menu by its action's name.
    QAction* menuItem(const char* name) const
    {
        for (QAction* item : list->contextMenu()->actions()) {
            if (item->objectName() == QLatin1String(name))
                return item;
        }
        return nullptr;
    }

    // Drops the paths on the panel, as a file manager's drag would, and waits
    // until the add has finished and the list shows count rows.
    void dropAndWait(const QStringList& paths, int count)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        mime.setUrls(urls);
        // Through the window, as the platform delivers a drag: enter, then drop.
        auto* panel = child<HLVFileView>("fileView");
        const QPointF at = panel->mapTo(&window, QPoint(20, 60));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.windowHandle(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.windowHandle(), &drop);
        ASSERT_TRUE(drop.isAccepted());
        ASSERT_TRUE(waitUntil([&] { return !stripShown() && list->dataSourceCount() == count; }));
    }

    QMessageBox* alert() const
    {
        QMessageBox* box = nullptr;
        waitUntil([&] {
            box = window.findChild<QMessageBox*>(QStringLiteral("fileViewAlert"));
            return box && box->isVisible();
        }, 5000);
        return box;
    }
    static QStringList buttonTitles(QMessageBox* box)
    {
        QStringList titles;
        for (QAbstractButton* button : box->buttons())
            titles.append(button->text());
        return titles;
    }
    static void answer(QMessageBox* box, const QString& title)
    {
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == title)
                button->click();
        }
        QCoreApplication::processEvents();
    }
    void grab(const QString& name, QWidget* widget)
    {
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
        QDir().mkpath(folder);
        widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    HLVTestFiles files;
    HLVFileManager manager;
    QWidget window; // destroyed before the manager
    HLVFileViewController* list = nullptr;
    QList<QList<int>> reports;
    int saveRequests = 0;
};

TEST_F(HLVFileViewControllerTest, EmptyFolderEmptyListAndFilters)
{
    // Nothing added: the empty-list text, no filters.
    EXPECT_EQ(countText(), QStringLiteral("No Files Added"));
    EXPECT_TRUE(list->tableView()->isHidden());
    EXPECT_FALSE(child<QLabel>("emptyListLabel")->isHidden());
    for (QAction* item : list->filterMenu()->actions())
        EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    grab(QStringLiteral("file-list-empty"), &window);

    // An empty folder through the add-folder dialog.
    const QString empty = files.path(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    child<QToolButton>("addFolderButton")->click();
    QFileDialog* dialog = list->fileDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    dialog->setDirectory(files.path(QString()));
    dialog->selectFile(empty);
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_TRUE(stripShown());
    EXPECT_EQ(child<QLabel>("progressLabel")->text(), QStringLiteral("Adding Files"));
    EXPECT_FALSE(child<QToolButton>("addButton")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !stripShown(); }));
    EXPECT_EQ(countText(), QStringLiteral("No Files Added"));
    EXPECT_TRUE(child<QToolButton>("addButton")->isEnabled());

    // One tagged and one untagged file; the search narrows the rows.
    const QString tagged = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("a.mp3"));
    tagFile(tagged, "Someone", "Morning");
    dropAndWait({tagged, files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("b.flac")),
                 files.path(QStringLiteral("missing.mp3"))},
                2);
    EXPECT_EQ(countText(), QStringLiteral("2 Files"));
    EXPECT_FALSE(list->tableView()->isHidden());
    for (QAction* item : list->filterMenu()->actions())
        EXPECT_TRUE(item->isEnabled()) << item->text().toStdString();
    // The rows follow a pause in typing, over texts read on a worker.
    auto search = [&](const QString& text) {
        child<QLineEdit>("searchField")->setText(text);
        EXPECT_TRUE(list->isSearchPending());
        EXPECT_TRUE(HLVSpinEventLoopUntil([&] { return !list->isSearchPending(); }));
    };
    search(QStringLiteral("morn"));
    EXPECT_EQ(countText(), QStringLiteral("1 File"));
    EXPECT_EQ(list->shownRecords().first()->FileName(), QStringLiteral("a.mp3"));
    search(QStringLiteral("nothing like it"));
    EXPECT_EQ(countText(), QStringLiteral("None Found"));
    search(QString());

    // Untagged: the filter pass runs, then shows the untagged file only.
    list->filterMenu()->actions().at(1)->trigger();
    EXPECT_TRUE(list->filterMenu()->actions().at(1)->isChecked());
    EXPECT_FALSE(list->filterMenu()->actions().at(0)->isChecked());
    ASSERT_TRUE(waitUntil([&] { return !stripShown() && list->dataSourceCount() == 1; }));
    EXPECT_EQ(list->shownRecords().first()->FileName(), QStringLiteral("b.flac"));
    EXPECT_EQ(countText(), QStringLiteral("1 File"));
    // The modified filter of a list without changes reads "None Found".
    list->filterMenu()->actions().at(3)->trigger();
    EXPECT_EQ(list->dataSource(), HLVFileList::Modified);
    EXPECT_EQ(countText(), QStringLiteral("None Found"));
}

TEST_F(HLVFileViewControllerTest, RemovingSelectsTheNewLastRowAndAsksBeforeLosingChanges)
{
    QStringList paths;
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"})
        paths.append(files.copyFixture(QStringLiteral("tone.mp3"), QString::fromLatin1(name)));
    dropAndWait(paths, 5);

    list->selectRows({3, 4});
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(reports.last(), (QList<int>{3, 4}));
    ASSERT_TRUE(child<QToolButton>("removeButton")->isEnabled());
    child<QToolButton>("removeButton")->click();
    ASSERT_TRUE(waitUntil([&] { return list->dataSourceCount() == 3 && !stripShown(); }));
    EXPECT_EQ(countText(), QStringLiteral("3 Files"));
    EXPECT_EQ(list->currentSelection(), QList<int>{2});
    EXPECT_EQ(reports.last(), QList<int>{2});
    EXPECT_EQ(list->shownRecords().at(2)->FileName(), QStringLiteral("3.mp3"));

    // A file with unsaved changes: "Cancel" keeps it.
    const auto changed = list->shownRecords().at(0);
    changed->editVirtualTagMap([](HLVTagMap& map) { map.setTrackName(QStringLiteral("New")); });
    changed->forceIsModified();
    ASSERT_TRUE(changed->IsModified());
    list->selectRows({0, 1});
    HLVViewJobs::waitForAll(30000);
    child<QToolButton>("removeButton")->click();
    QMessageBox* box = alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Remove unsaved files?"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("One or more of the selected files have unsaved changes. Removing "
                                                     "these files will lose any changes that have been made."));
    EXPECT_EQ(buttonTitles(box), (QStringList{QStringLiteral("Cancel"), QStringLiteral("Remove")}));
    answer(box, QStringLiteral("Cancel"));
    manager.waitUntilIdle();
    QCoreApplication::processEvents();
    EXPECT_EQ(manager.FileDataArray().size(), 3);
    EXPECT_EQ(list->dataSourceCount(), 3);

    child<QToolButton>("removeButton")->click();
    answer(alert(), QStringLiteral("Remove"));
    ASSERT_TRUE(waitUntil([&] { return list->dataSourceCount() == 1 && !stripShown(); }));
    EXPECT_EQ(manager.FileDataArray().first()->FileName(), QStringLiteral("3.mp3"));
    EXPECT_EQ(list->currentSelection(), QList<int>{0});
}

TEST_F(HLVFileViewControllerTest, ContextClickWhileSavingOnlySelectsAndOffersTheFileBrowser)
{
    // The save waits for an artwork search that the service answers slowly.
    HLVLoopbackServer server;
    server.setDefaultReply(HLVLoopbackServer::Reply::withStatus(404).delayed(1500ms));
    HLVMusicBrainzTestSupport::useServer(server);
    const QString first = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("a.mp3"));
    dropAndWait({first, files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("b.flac"))}, 2);
    const auto saving = list->shownRecords().at(0);
    saving->editVirtualTagMap([](HLVTagMap& map) {
        map.setArtistName(QStringLiteral("Artist"));
        map.setAlbumName(QStringLiteral("Album"));
        map.setArtworkAttempted(false); // as identification leaves it
    });
    saving->forceIsModified();
    list->selectRows({0});
    HLVViewJobs::waitForAll(30000);

    // Not running: the clicked selected row offers its commands.
    list->menuNeedsUpdate(0);
    EXPECT_TRUE(menuItem("DownloadTagsMenuItem")->isEnabled());
    EXPECT_TRUE(menuItem("SaveSelectionMenuItem")->isEnabled());
    menuItem("SaveSelectionMenuItem")->trigger();
    EXPECT_EQ(saveRequests, 1);

    manager.saveFile(saving);
    ASSERT_TRUE(waitUntil([&] { return stripShown(); }));
    ASSERT_EQ(manager.currentOperation(), HLVFileOperationSaving);
    const QRect row = list->tableView()->visualRect(list->tableView()->model()->index(1, 0));
    QContextMenuEvent click(QContextMenuEvent::Mouse, row.center(), list->tableView()->viewport()->mapToGlobal(row.center()));
    QCoreApplication::sendEvent(list->tableView()->viewport(), &click);
    EXPECT_EQ(list->currentSelection(), QList<int>{1});
    QStringList enabled;
    for (QAction* item : list->contextMenu()->actions()) {
        if (item->isEnabled() && !item->isSeparator())
            enabled.append(item->objectName());
    }
    // Only looking (and selecting) while the files are being written.
    EXPECT_EQ(enabled, (QStringList{QStringLiteral("openInFinderMenuItem"), QStringLiteral("SelectAllFilesMenuItem")}));
    list->contextMenu()->close();
    ASSERT_TRUE(waitUntil([&] { return !stripShown(); }, 60000));
    HLVMusicBrainzTestSupport::reset();
}

TEST_F(HLVFileViewControllerTest, SyncArtworkAlertsAndCopiesTheFirstCoversBytesToTheOthers)
{
    const QString a = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("a.mp3"));
    const QString b = files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("b.m4a"));
    const QString c = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("c.flac"));
    QImage translucent(40, 30, QImage::Format_ARGB32);
    translucent.fill(QColor(0, 0, 255, 100));
    QByteArray cover;
    QBuffer buffer(&cover);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(translucent.save(&buffer, "PNG"));
    addCover(c, cover);
    dropAndWait({a, b, c}, 3);

    list->selectRows({0});
    HLVViewJobs::waitForAll(30000);
    menuItem("SyncArtworkMenuItem")->trigger();
    QMessageBox* box = alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Invalid Track Selection"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("You must select at least two tracks to sync artwork. At least one "
                                                     "track must have existing artwork."));
    EXPECT_EQ(buttonTitles(box), QStringList{QStringLiteral("Dismiss")});
    answer(box, QStringLiteral("Dismiss"));
    ASSERT_TRUE(waitUntil([&] { return !window.findChild<QMessageBox*>(); }));

    list->selectRows({0, 1});
    HLVViewJobs::waitForAll(30000);
    list->syncArtwork();
    HLVViewJobs::waitForAll(30000); // the first picture is read on a worker
    box = alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText(), QStringLiteral("At least one of the selected tracks must have existing artwork to "
                                                     "sync to the other tracks."));
    answer(box, QStringLiteral("Dismiss"));
    ASSERT_TRUE(waitUntil([&] { return !window.findChild<QMessageBox*>(); }));

    // The source's picture goes to the others as its own bytes (a translucent
    // PNG stays one); the source file is left exactly as it was.
    list->selectAllFiles();
    HLVViewJobs::waitForAll(30000);
    list->syncArtwork();
    box = alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Sync Artwork"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("The first found artwork in the selected tracks will be applied to "
                                                     "all other tracks in the selection."));
    EXPECT_EQ(buttonTitles(box), (QStringList{QStringLiteral("Sync Artwork"), QStringLiteral("Cancel")}));
    answer(box, QStringLiteral("Sync Artwork"));
    HLVViewJobs::waitForAll(30000);
    const auto records = manager.FileDataArray();
    EXPECT_EQ(manager.ModifiedFileDataArray().size(), 2);
    for (const auto& record : records) {
        const auto pending = record->existingVirtualTagMap();
        if (record->FilePath() == c) {
            EXPECT_FALSE(record->IsModified());
            continue;
        }
        EXPECT_TRUE(record->IsModified()) << record->FileName().toStdString();
        ASSERT_TRUE(pending && pending->ArtworkPath());
        EXPECT_TRUE(pending->ArtworkPath()->startsWith(HLVArtworkFolder::path()));
        EXPECT_EQ(HLVTestFiles::readAll(*pending->ArtworkPath()), cover);
    }
    const QByteArray sourceBefore = HLVTestFiles::readAll(c);
    manager.saveFilesInUnmanagedArray(records);
    manager.waitUntilIdle();
    for (const QString& path : {a, b, c})
        EXPECT_EQ(coverBytesInFile(path), cover) << path.toStdString();
    EXPECT_EQ(HLVTestFiles::readAll(c), sourceBefore);
}

TEST_F(HLVFileViewControllerTest, RowsShowReadOnlyModifiedAndFailedFiles)
{
    const QString locked = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("b-locked.mp3"));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    dropAndWait({files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("a-changed.mp3")), locked,
                 files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("c-failed.flac"))},
                3);
    const auto records = list->shownRecords();
    if (HLVTestEnvironment::runningAsRoot())
        records[1]->setIsReadOnly(true); // permissions do not stop root
    records[0]->editVirtualTagMap([](HLVTagMap& map) { map.setTrackName(QStringLiteral("Changed")); });
    records[0]->forceIsModified();
    records[2]->setIdentificationState(HLVIdentificationFailed);
    records[2]->setLastFailure(HLVFailure::make(HLVFailure::Kind::Unreachable, QStringLiteral("cannot reach AcoustID")));
    list->refreshView();

    const auto changed = HLVFileViewTableCell::setCellContentForFileData(records[0]);
    EXPECT_EQ(changed.label, QStringLiteral("a-changed.mp3"));
    EXPECT_TRUE(changed.isModified);
    EXPECT_TRUE(changed.imageName.isEmpty());

    const auto readOnly = HLVFileViewTableCell::setCellContentForFileData(records[1]);
    EXPECT_EQ(readOnly.label, QStringLiteral("b-locked.mp3 [Read-Only]"));
    EXPECT_TRUE(readOnly.greyed);
    EXPECT_EQ(readOnly.imageName, QStringLiteral("Cross"));
    EXPECT_EQ(readOnly.imageToolTip, QStringLiteral("the file is read-only"));
    EXPECT_NE(HLVFileViewTableCell::textColor(list->palette(), false, true),
              HLVFileViewTableCell::textColor(list->palette(), false, false));

    // The failed file's cross says why.
    const auto failed = HLVFileViewTableCell::setCellContentForFileData(records[2]);
    EXPECT_EQ(failed.imageName, QStringLiteral("Cross"));
    QTableView* view = list->tableView();
    const QRect row = view->visualRect(view->model()->index(2, 0));
    const QPoint cross(row.right() - 12, row.center().y());
    QHelpEvent help(QEvent::ToolTip, cross, view->viewport()->mapToGlobal(cross));
    QCoreApplication::sendEvent(view->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("cannot reach AcoustID"));
    QToolTip::hideText();

    list->selectRows({0});
    HLVViewJobs::waitForAll(30000);
    grab(QStringLiteral("file-list-rows"), &window);
}

TEST_F(HLVFileViewControllerTest, RenameDialogShowsTheOutcomeAndRenamesOnDisk)
{
    const QString a = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("a.mp3"));
    const QString b = files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("b.flac"));
    const QString c = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("c.mp3"));
    tagFile(a, "Band", "One");
    tagFile(b, "Band", "Two");
    tagFile(c, "Band", "One");
    dropAndWait({a, b, c}, 3);

    list->selectAllFiles();
    HLVViewJobs::waitForAll(30000);
    menuItem("RenameSelectionMenuItem")->trigger();
    HLVRenameTrackWindowController* dialog = list->renameTrackWindowController();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    auto choose = [&](const char* popUpName, const QString& title) {
        auto* popUp = dialog->findChild<QComboBox*>(QLatin1String(popUpName));
        ASSERT_NE(popUp, nullptr);
        EXPECT_EQ(popUp->count(), 12);
        const int item = popUp->findText(title);
        ASSERT_GE(item, 0) << title.toStdString();
        popUp->setCurrentIndex(item);
        emit popUp->activated(item);
    };
    auto* apply = dialog->findChild<QPushButton*>(QStringLiteral("applyButton"));
    choose("popUpButtonA", HLVRenameTrackWindowController::noFieldTitle());
    choose("popUpButtonB", HLVRenameTrackWindowController::noFieldTitle());
    choose("popUpButtonC", HLVRenameTrackWindowController::noFieldTitle());
    EXPECT_FALSE(apply->isEnabled());
    choose("popUpButtonA", QStringLiteral("Artist"));
    choose("popUpButtonC", QStringLiteral("Title"));
    EXPECT_TRUE(apply->isEnabled());
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("exampleTextField"))->text(), QStringLiteral("Artist - Title.mp3"));

    auto* preview = dialog->findChild<QTreeWidget*>(QStringLiteral("renamePreviewList"));
    HLVViewJobs::waitForAll(30000); // the outcomes are worked out on a worker
    ASSERT_EQ(preview->topLevelItemCount(), 3);
    EXPECT_EQ(preview->topLevelItem(0)->text(1), QStringLiteral("Band - One.mp3"));
    EXPECT_EQ(preview->topLevelItem(1)->text(1), QStringLiteral("Band - Two.flac"));
    EXPECT_EQ(preview->topLevelItem(2)->text(0), QStringLiteral("c.mp3"));
    EXPECT_EQ(preview->topLevelItem(2)->text(1), QStringLiteral("Left alone: Band - One.mp3 is taken"));
    grab(QStringLiteral("rename-dialog"), dialog);

    apply->click();
    ASSERT_TRUE(waitUntil([&] { return !list->renameTrackWindowController() && !stripShown() && manager.currentOperation() == 0; }));
    manager.waitUntilIdle();
    EXPECT_TRUE(QFile::exists(files.path(QStringLiteral("Band - One.mp3"))));
    EXPECT_TRUE(QFile::exists(files.path(QStringLiteral("Band - Two.flac"))));
    EXPECT_TRUE(QFile::exists(c));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(HLVFileNameStructure::storedStructure().stringValue(), QStringLiteral("Artist - Title"));
}

TEST_F(HLVFileViewControllerTest, RemoveTagsAsksThenUndoRestores)
{
    const QString a = files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("a.mp3"));
    tagFile(a, "Band", "One");
    dropAndWait({a, files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("b.flac"))}, 2);
    list->selectAllFiles();
    HLVViewJobs::waitForAll(30000);
    list->menuNeedsUpdate(0);
    ASSERT_TRUE(menuItem("RemoveTagsMenuItem")->isEnabled());
    EXPECT_FALSE(menuItem("RevertSelectionMenuItem")->isEnabled());
    menuItem("RemoveTagsMenuItem")->trigger();
    QMessageBox* box = alert();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Remove Tags"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("This will remove all tags from the selected file(s). Once saved, "
                                                     "the changes will not be reversable."));
    EXPECT_EQ(buttonTitles(box), (QStringList{QStringLiteral("Cancel"), QStringLiteral("Remove Tags")}));
    answer(box, QStringLiteral("Remove Tags"));
    HLVViewJobs::waitForAll(30000);
    const auto records = list->shownRecords();
    for (const auto& record : records) {
        EXPECT_TRUE(record->IsModified());
        EXPECT_EQ(record->existingVirtualTagMap()->TrackName(), QString());
        EXPECT_FALSE(record->existingVirtualTagMap()->Compilation()) << "the list's Remove Tags leaves the flag";
    }
    EXPECT_EQ(manager.ModifiedFileDataArray().size(), 2);

    list->menuNeedsUpdate(0);
    ASSERT_TRUE(menuItem("RevertSelectionMenuItem")->isEnabled());
    menuItem("RevertSelectionMenuItem")->trigger();
    EXPECT_FALSE(records[0]->IsModified());
    HLVAllowMainThreadFileAccess checking; // the test's own first read of the record
    EXPECT_EQ(records[0]->TagMap()->TrackName(), QStringLiteral("One"));
    // Nothing was written.
    EXPECT_EQ(QString::fromStdString(TagLib::FileRef(QFile::encodeName(a).constData()).tag()->title().to8Bit(true)),
              QStringLiteral("One"));
}
