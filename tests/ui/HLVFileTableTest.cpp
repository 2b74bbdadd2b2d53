#include "HLVEventLoopWait.h"
#include "HLVFileListModel.h"
#include "HLVFileListView.h"
#include "HLVFileViewController.h"
#include "HLVFileViewControllerDelegate.h"
#include "HLVMainThreadFileCheck.h"
#include "HLVTestFiles.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <atomic>
#include <memory>

namespace {

void tagFile(const QString& path, const char* album, unsigned track)
{
    HLVAllowMainThreadFileAccess allowed;
    TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull());
    file.tag()->setAlbum(album);
    file.tag()->setTrack(track);
    ASSERT_TRUE(file.save());
}

QString albumInFile(const QString& path)
{
    HLVAllowMainThreadFileAccess allowed;
    TagLib::FileRef file(QFile::encodeName(path).constData());
    return file.isNull() ? QString() : QString::fromStdString(file.tag()->album().to8Bit(true));
}

// Holds back the reads of files named "held" until released (or ten seconds
// passed), so a test sees rows before their tags arrive.
std::atomic<bool> holdingReads{false};

void holdReadsOfHeldFiles(const char* operation, const QString& path)
{
    HLVMainThreadFileCheck::check(operation, path);
    QElapsedTimer waited;
    waited.start();
    while (holdingReads.load() && path.contains(QLatin1String("held")) && waited.elapsed() < 10000)
        QThread::msleep(5);
}

struct HeldReads
{
    HeldReads()
    {
        holdingReads = true;
        HLVTagLib::setAccessCheck(&holdReadsOfHeldFiles);
    }
    ~HeldReads()
    {
        holdingReads = false;
        HLVMainThreadFileCheck::install();
    }
};

// The list in a window of its own, as a restart makes it anew.
struct ListWindow
{
    explicit ListWindow(HLVFileViewControllerDelegate* delegate)
    {
        window.resize(700, 400);
        auto* layout = new QVBoxLayout(&window);
        list = new HLVFileViewController(&window);
        layout->addWidget(list);
        list->setDelegate(delegate);
        window.show();
    }
    QWidget window;
    HLVFileViewController* list = nullptr;
};

} // namespace

class HLVFileTableTest : public ::testing::Test, public HLVFileViewControllerDelegate
{
protected:
    void SetUp() override
    {
        QSettings().remove(HLVFileListView::columnsPreference);
        shown = std::make_unique<ListWindow>(this);
    }
    void TearDown() override
    {
        shown.reset();
        QSettings().remove(HLVFileListView::columnsPreference);
    }

    // The list asks while its window is still being made.
    QWidget* windowToDisplayFileViewDialogs() override { return shown ? &shown->window : nullptr; }
    HLVFileManager* fileViewFileManagerSource() override { return &manager; }

    HLVFileViewController* list() const { return shown->list; }
    HLVFileListView* table() const { return list()->fileTable(); }

    // Adds the files and waits until every column is filled.
    void addAndRead(const QStringList& paths)
    {
        list()->addFilesAndFoldersAtPaths(paths);
        ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return list()->dataSourceCount() == paths.size() && list()->areColumnsRead(); }));
    }
    QString cell(int row, int column) const { return table()->model()->index(row, column).data().toString(); }
    void clickHeader(int column)
    {
        QHeaderView* header = table()->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
    }

    HLVTestFiles files;
    HLVFileManager manager;
    std::unique_ptr<ListWindow> shown; // destroyed before the manager
};

TEST_F(HLVFileTableTest, SortingByAlbumKeepsEachAlbumInTrackOrderAndCombinesWithTheSearch)
{
    // Two albums whose file names interleave, as "01 …" files of different albums do.
    QStringList paths;
    const struct { const char* name; const char* album; unsigned track; } songs[] = {
        {"01 Low Tide.mp3", "Shore", 1}, {"01 Opening Vamp.flac", "Brass", 1}, {"02 Harbour.m4a", "Shore", 2},
        {"02 Second Line.mp3", "Brass", 2}, {"03 Breakwater.flac", "Shore", 3}, {"03 Coda.m4a", "Brass", 3},
    };
    for (const auto& song : songs) {
        const QString name = QString::fromUtf8(song.name);
        paths.append(files.copyFixture(QStringLiteral("tone.") + name.section(QLatin1Char('.'), -1), name));
        tagFile(paths.last(), song.album, song.track);
    }
    addAndRead(paths);
    // By name at first; the default columns show the tags.
    EXPECT_EQ(cell(0, HLVFileListModel::NameColumn), QStringLiteral("01 Low Tide.mp3"));
    EXPECT_EQ(cell(0, HLVFileListModel::AlbumColumn), QStringLiteral("Shore"));
    EXPECT_FALSE(table()->isColumnHidden(HLVFileListModel::TrackColumn));
    EXPECT_TRUE(table()->isColumnHidden(HLVFileListModel::GenreColumn));

    clickHeader(HLVFileListModel::AlbumColumn);
    QStringList order;
    for (int row = 0; row < 6; ++row)
        order.append(cell(row, HLVFileListModel::AlbumColumn) + cell(row, HLVFileListModel::TrackColumn));
    EXPECT_EQ(order, QStringList({"Brass1", "Brass2", "Brass3", "Shore1", "Shore2", "Shore3"}));
    // The editor is handed the rows in the order shown.
    EXPECT_EQ(list()->shownRecords().at(3)->FileName(), QStringLiteral("01 Low Tide.mp3"));
    clickHeader(HLVFileListModel::AlbumColumn); // again: reversed
    EXPECT_EQ(cell(0, HLVFileListModel::AlbumColumn) + cell(0, HLVFileListModel::TrackColumn), QStringLiteral("Shore3"));

    // The search narrows the rows and keeps them sorted.
    auto* search = list()->findChild<QLineEdit*>(QStringLiteral("searchField"));
    search->setText(QStringLiteral("shore"));
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return list()->dataSourceCount() == 3 && !list()->isSearchPending(); }));
    EXPECT_EQ(cell(0, HLVFileListModel::NameColumn), QStringLiteral("03 Breakwater.flac"));
    EXPECT_EQ(cell(2, HLVFileListModel::NameColumn), QStringLiteral("01 Low Tide.mp3"));
}

TEST_F(HLVFileTableTest, EditingACellOfThreeSelectedRowsChangesAllThreeAndASaveWritesThem)
{
    const QStringList paths = {files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("a.mp3")),
                               files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("b.m4a")),
                               files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("c.flac"))};
    addAndRead(paths);
    const QModelIndex album = table()->model()->index(1, HLVFileListModel::AlbumColumn);
    table()->setCurrentIndex(album);
    table()->selectAll();
    ASSERT_TRUE(album.flags() & Qt::ItemIsEditable);
    QTest::keyClick(table(), Qt::Key_F2);
    auto* editor = table()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("Tidal Atlas"));
    // Tab keeps the edit and goes on to the next cell shown (Track), ready to edit.
    QTest::keyClick(editor, Qt::Key_Tab);
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return list()->shownRecords().at(2)->IsModified(); })); // committed on the next turn
    EXPECT_EQ(table()->currentIndex().row(), 1);
    EXPECT_EQ(table()->currentIndex().column(), int(HLVFileListModel::TrackColumn));
    auto* next = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_TRUE(next && table()->isAncestorOf(next));
    QTest::keyClick(next, Qt::Key_Escape);

    // Pending everywhere, shown bold as what a save will write; the files are untouched so far.
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(cell(row, HLVFileListModel::AlbumColumn), QStringLiteral("Tidal Atlas"));
        EXPECT_TRUE(table()->model()->index(row, HLVFileListModel::AlbumColumn).data(Qt::FontRole).value<QFont>().bold());
        EXPECT_TRUE(list()->shownRecords().at(row)->IsModified());
    }
    EXPECT_EQ(albumInFile(paths.first()), QString());

    manager.saveFiles(list()->shownRecords());
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return manager.ModifiedFileDataArray().isEmpty() && !manager.isOperationRunning(); }));
    for (const QString& path : paths)
        EXPECT_EQ(albumInFile(path), QStringLiteral("Tidal Atlas")) << path.toStdString();
    EXPECT_FALSE(table()->model()->index(0, HLVFileListModel::AlbumColumn).data(Qt::FontRole).value<QFont>().bold());
}

TEST_F(HLVFileTableTest, ShownColumnsTheirOrderAndTheSortSurviveARestart)
{
    addAndRead({files.copyFixture(QStringLiteral("tone.mp3"))});
    QMenu* menu = table()->columnMenu();
    QAction* title = menu->findChild<QAction*>(QStringLiteral("column%1").arg(HLVFileListModel::TitleColumn));
    QAction* genre = menu->findChild<QAction*>(QStringLiteral("column%1").arg(HLVFileListModel::GenreColumn));
    QAction* name = menu->findChild<QAction*>(QStringLiteral("column%1").arg(HLVFileListModel::NameColumn));
    ASSERT_TRUE(title && genre && name);
    EXPECT_FALSE(name->isEnabled()); // the file's own cell always shows
    title->trigger();
    genre->trigger();
    clickHeader(HLVFileListModel::ArtistColumn);
    clickHeader(HLVFileListModel::ArtistColumn);
    table()->horizontalHeader()->moveSection(table()->horizontalHeader()->visualIndex(HLVFileListModel::GenreColumn), 1);

    shown.reset(); // closed, then opened again as the next run of the program does
    shown = std::make_unique<ListWindow>(this);
    QHeaderView* header = table()->horizontalHeader();
    EXPECT_TRUE(header->isSectionHidden(HLVFileListModel::TitleColumn));
    EXPECT_FALSE(header->isSectionHidden(HLVFileListModel::GenreColumn));
    EXPECT_FALSE(header->isSectionHidden(HLVFileListModel::NameColumn));
    EXPECT_EQ(header->visualIndex(HLVFileListModel::GenreColumn), 1);
    EXPECT_EQ(header->sortIndicatorSection(), HLVFileListModel::ArtistColumn);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(HLVFileTableTest, RowsNotReadYetShowEmptyCellsAndFillAsTheirTagsArrive)
{
    auto tagged = [&](const char* name, const char* album) {
        const QString path = files.copyFixture(QStringLiteral("tone.mp3"), QString::fromUtf8(name));
        tagFile(path, album, 1);
        return path;
    };
    addAndRead({tagged("a.mp3", "Alpha"), tagged("c.mp3", "Gamma")});
    // Two more files; the one that takes the second row is read last.
    HeldReads held;
    list()->addFilesAndFoldersAtPaths({tagged("b held.mp3", "Beta"), tagged("d.mp3", "Delta")});
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return list()->dataSourceCount() == 4; }));
    // The last row is painted again once its tags arrive, while the other read is held.
    bool lastRowChanged = false;
    QObject::connect(table()->model(), &QAbstractItemModel::dataChanged, table(),
                     [&](const QModelIndex& top, const QModelIndex& bottom) {
                         lastRowChanged = lastRowChanged || (top.row() <= 3 && bottom.row() >= 3);
                     });
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return lastRowChanged; }));
    EXPECT_EQ(cell(3, HLVFileListModel::AlbumColumn), QStringLiteral("Delta"));
    EXPECT_EQ(cell(1, HLVFileListModel::NameColumn), QStringLiteral("b held.mp3"));
    // Empty, not what the row showed before the add (Gamma) nor a neighbour's tags.
    EXPECT_EQ(cell(1, HLVFileListModel::AlbumColumn), QString());
    EXPECT_EQ(cell(1, HLVFileListModel::TrackColumn), QString());
    EXPECT_EQ(cell(2, HLVFileListModel::AlbumColumn), QStringLiteral("Gamma"));
    EXPECT_FALSE(list()->areColumnsRead());

    holdingReads = false;
    ASSERT_TRUE(HLVSpinEventLoopUntil([&] { return list()->areColumnsRead(); }));
    EXPECT_EQ(cell(1, HLVFileListModel::AlbumColumn), QStringLiteral("Beta"));
    EXPECT_EQ(cell(1, HLVFileListModel::TrackColumn), QStringLiteral("1"));
}
