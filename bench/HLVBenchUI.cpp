#include "HLVBenchUI.h"
#include "HLVBareTagLib.h"
#include "HLVBenchOperationWatch.h"
#include "HLVEventLoopWait.h"
#include "HLVFileListModel.h"
#include "HLVFileListView.h"
#include "HLVFileManager.h"
#include "HLVFileViewController.h"
#include "HLVFileViewControllerDelegate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QTableView>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cstdio>

namespace {

void uiFigure(const char* name, double value, const char* unit, int decimals)
{
    std::printf("%s %.*f %s\n", name, decimals, value, unit);
    std::fflush(stdout);
}

bool uiFail(const QString& text)
{
    std::fprintf(stderr, "cadrelle-bench: ui: FAILED: %s\n", qPrintable(text));
    return false;
}

// Stands in for the application controller: the editor is not part of this
// scenario, so a selection counts as displayed once it has been handed on.
class BenchOwner : public HLVFileViewControllerDelegate
{
public:
    explicit BenchOwner(HLVFileManager* manager) : _manager(manager) {}
    QWidget* windowToDisplayFileViewDialogs() override { return nullptr; }
    HLVFileManager* fileViewFileManagerSource() override { return _manager; }
    void fileViewSelectionChanged(HLVFileViewController*, const QList<int>& rows,
                                  const QList<std::shared_ptr<HLVFileData>>& shown) override
    {
        selectedForDisplay = rows.size();
        shownCount = shown.size();
    }

    qsizetype selectedForDisplay = -1;
    qsizetype shownCount = -1;

private:
    HLVFileManager* _manager;
};

} // namespace

bool runUI(const QString& folder, const QList<HLVBenchCorpus::Entry>& entries)
{
    const int count = int(entries.size());
    HLVFileManager manager;
    BenchOwner owner(&manager);
    QWidget window;
    window.resize(360, 720);
    auto* layout = new QVBoxLayout(&window);
    auto* list = new HLVFileViewController(&window);
    layout->addWidget(list);
    list->setDelegate(&owner);
    window.show();
    QCoreApplication::processEvents();
    QTableView* table = list->tableView();
    auto* strip = list->findChild<QFrame*>(QStringLiteral("progressStrip"));
    auto idle = [&] { return strip->isHidden(); };

    // Adding: what the add-folder dialog's answer starts, until the rows are painted.
    QElapsedTimer timer;
    timer.start();
    list->addFolderAtPath(folder);
    if (!HLVSpinEventLoopUntil([&] { return idle() && list->dataSourceCount() == count; }, 120000))
        return uiFail(QStringLiteral("the list shows %1 of %2 files").arg(list->dataSourceCount()).arg(count));
    table->viewport()->repaint();
    uiFigure("ui.add_seconds", timer.nsecsElapsed() / 1e9, "s", 3);

    // Every tag column filled (the reads run on the read pool, the rows in
    // sight first), against one thread reading the same files with bare TagLib.
    if (!HLVSpinEventLoopUntil([&] { return list->areColumnsRead(); }, 600000))
        return uiFail(QStringLiteral("the columns were not filled"));
    const double columnsSeconds = timer.nsecsElapsed() / 1e9;
    QElapsedTimer bareTimer;
    bareTimer.start();
    qsizetype titles = 0;
    for (const auto& entry : entries) {
        HLVBareTagLib::Tags tags;
        HLVBareTagLib::read(QFile::encodeName(entry.path), entry.format, tags);
        titles += tags.title.size();
    }
    const double bareSeconds = bareTimer.nsecsElapsed() / 1e9;
    uiFigure("ui.columns_ready_seconds", columnsSeconds, "s", 3);
    uiFigure("ui.columns_bare_seconds", bareSeconds, "s", 3);
    uiFigure("ui.columns_ready_ratio", bareSeconds > 0 ? columnsSeconds / bareSeconds : 0, "x", 2);
    if (titles < 0)
        return false;

    // Sorting every read row by album, until painted; then back to names.
    timer.restart();
    list->fileTable()->sortByColumn(HLVFileListModel::AlbumColumn, Qt::AscendingOrder);
    table->viewport()->repaint();
    uiFigure("ui.sort_ms", timer.nsecsElapsed() / 1e6, "ms", 1);
    list->fileTable()->sortByColumn(HLVFileListModel::NameColumn, Qt::AscendingOrder);

    // Select all, until the selection has been handed on for display.
    owner.selectedForDisplay = -1;
    timer.restart();
    list->selectAllFiles();
    if (!HLVSpinEventLoopUntil([&] { return owner.selectedForDisplay == count; }, 60000))
        return uiFail(QStringLiteral("select all handed on %1 of %2 rows").arg(owner.selectedForDisplay).arg(count));
    table->viewport()->repaint();
    uiFigure("ui.select_all_ms", timer.nsecsElapsed() / 1e6, "ms", 1);

    // Switching filters with everything selected: to the (empty) modified list,
    // back to all files, and to untagged (whose pass then runs in the background).
    double slowest = 0;
    auto timeSwitch = [&](void (HLVFileViewController::*change)()) {
        QElapsedTimer switchTimer;
        switchTimer.start();
        (list->*change)();
        QCoreApplication::processEvents();
        table->viewport()->repaint();
        slowest = std::max(slowest, switchTimer.nsecsElapsed() / 1e6);
    };
    for (int round = 0; round < 3; ++round) {
        timeSwitch(&HLVFileViewController::changeFilterToModified);
        if (list->dataSourceCount() != 0)
            return uiFail(QStringLiteral("%1 modified files shown").arg(list->dataSourceCount()));
        timeSwitch(&HLVFileViewController::changeFilterToAll);
        if (list->dataSourceCount() != count)
            return uiFail(QStringLiteral("%1 of %2 files shown").arg(list->dataSourceCount()).arg(count));
    }
    HLVBenchOperationWatch watch(manager);
    watch.expect(HLVFileOperationFiltering);
    timeSwitch(&HLVFileViewController::changeFilterToNoTags);
    uiFigure("ui.filter_switch_ms", slowest, "ms", 1);
    if (!watch.wait(std::chrono::seconds(300)) || !HLVSpinEventLoopUntil(idle, 60000))
        return uiFail(QStringLiteral("the filter pass did not end"));
    // With the tags read for the columns the pass may end before the window
    // has heard it start: the rows are awaited, not only the strip.
    const qsizetype untagged = manager.UntaggedFileDataArray().size();
    HLVSpinEventLoopUntil([&] { return idle() && list->dataSourceCount() == untagged; }, 60000);
    if (list->dataSourceCount() != untagged || untagged == 0)
        return uiFail(QStringLiteral("%1 rows for %2 untagged files").arg(list->dataSourceCount()).arg(untagged));

    // Scrolling the whole list back to all files, a page at a time, each painted.
    list->changeFilterToAll();
    QCoreApplication::processEvents();
    QScrollBar* bar = table->verticalScrollBar();
    int pages = 0;
    timer.restart();
    for (int value = 0; value <= bar->maximum() && pages < 500; value += std::max(1, bar->pageStep()), ++pages) {
        bar->setValue(value);
        table->viewport()->repaint();
    }
    uiFigure("ui.scroll_page_ms", pages ? timer.nsecsElapsed() / 1e6 / pages : 0, "ms", 2);
    window.close();
    return true;
}
