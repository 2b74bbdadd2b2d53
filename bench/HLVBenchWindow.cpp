#include "HLVBenchWindow.h"
#include "HLVAppDelegate.h"
#include "HLVBenchCorpus.h"
#include "HLVBenchOperationWatch.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileViewController.h"
#include "HLVTagEditorViewController.h"
#include "HLVTagField.h"
#include "HLVTagLib.h"
#include "HLVTagTextField.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unistd.h>

namespace {

void windowFigure(const char* name, double value, const char* unit, int decimals)
{
    std::printf("%s %.*f %s\n", name, decimals, value, unit);
    std::fflush(stdout);
}

bool windowFail(const QString& text)
{
    std::fprintf(stderr, "cadrelle-bench: ui: FAILED: %s\n", qPrintable(text));
    return false;
}

// CPU time of the calling thread: the main thread's own work, whatever the
// workers do meanwhile and however busy the machine is.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// Runs the event loop, idle between checks (so the main thread's CPU time is
// its real work), until the condition holds; false on time-out.
bool waitFor(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Noise does not compress: a JPEG of at least 500 KB.
QString makeCover(const QString& folder)
{
    for (int side = 500;; side += 50) {
        QImage image(side, side, QImage::Format_RGB32);
        auto* random = QRandomGenerator::global();
        for (int y = 0; y < side; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < side; ++x)
                line[x] = random->generate() | 0xFF000000u;
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", 85);
        if (bytes.size() >= 500 * 1024) {
            const QString path = folder + QStringLiteral("/cover.jpg");
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
                return QString();
            return path;
        }
    }
}

const QString kAlbum = QStringLiteral("Covered Album");

} // namespace

bool runWindow(const QString& workFolder, int count, int saveCount)
{
    // One MP3 with a 500 KB cover; every path is a hard link to it.
    const QString folder = workFolder + QStringLiteral("/covers");
    QDir().mkpath(folder);
    const QString cover = makeCover(workFolder);
    const QString source = workFolder + QStringLiteral("/covered.mp3");
    if (cover.isEmpty() || !QFile::copy(HLVBenchCorpus::fixturePath(HLVTagLib::Format::MP3), source))
        return windowFail(QStringLiteral("cannot make the covered MP3"));
    HLVTagMap tags;
    tags.setTrackName(QStringLiteral("Covered Title"));
    tags.setArtistName(QStringLiteral("Covered Artist"));
    tags.setAlbumName(kAlbum);
    tags.setReleaseYear(2001);
    tags.setArtworkPath(cover);
    tags.setArtworkState(HLVArtworkStateChosen);
    if (!HLVTagLib::saveTagsToFileAtPath(source, &tags))
        return windowFail(QStringLiteral("cannot tag the covered MP3"));
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/covered-%1.mp3").arg(i, 5, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) != 0
            && !QFile::copy(source, path))
            return windowFail(QStringLiteral("cannot link %1").arg(path));
        paths.append(path);
    }

    // The manager's own batch save of the same change, without any window.
    double managerSeconds = 0;
    {
        HLVFileManager manager;
        HLVBenchOperationWatch watch(manager);
        QList<QUrl> urls;
        for (int i = 0; i < saveCount; ++i)
            urls.append(QUrl::fromLocalFile(paths.at(i)));
        watch.expect(HLVFileOperationAdding);
        manager.addFilesAtURLs(urls);
        if (!watch.wait(std::chrono::seconds(300)))
            return windowFail(QStringLiteral("adding for the batch save did not end"));
        const auto records = manager.FileDataArray();
        const HLVTagField& album = *HLVTagField::withKey(QStringLiteral("AlbumName"));
        for (const auto& record : records) {
            record->setVirtualTagText(album, QStringLiteral("Saved Alone"));
            record->forceIsModified();
        }
        watch.expect(HLVFileOperationSaving);
        QElapsedTimer timer;
        timer.start();
        manager.saveFilesInUnmanagedArray(records);
        if (!watch.wait(std::chrono::seconds(3600)) || watch.codeCount(HLVFileDataChangeSaved) != saveCount)
            return windowFail(QStringLiteral("the batch save did not save every file"));
        managerSeconds = timer.nsecsElapsed() / 1e9;
    }
    // Back to the album the window expects.
    if (!HLVTagLib::saveTagsToFileAtPath(source, &tags))
        return windowFail(QStringLiteral("cannot tag the covered MP3 again"));

    HLVAppDelegate app;
    app.applicationDidFinishLaunching(false);
    HLVFileViewController* list = app.fileViewController();
    auto* strip = list->findChild<QFrame*>(QStringLiteral("progressStrip"));
    list->addFolderAtPath(folder);
    if (!waitFor([&] { return strip->isHidden() && list->dataSourceCount() == count; }, 300000))
        return windowFail(QStringLiteral("the list shows %1 of %2 files").arg(list->dataSourceCount()).arg(count));
    QCoreApplication::processEvents();

    // Select All, until the editor shows the album all files share.
    auto* editor = app.window()->findChild<HLVTagEditorViewController*>();
    const double residentBefore = residentMegabytes();
    const double cpuBefore = threadMilliseconds();
    QElapsedTimer wall;
    wall.start();
    list->selectAllFiles();
    // The fields are disabled while the editor works out what the files share.
    auto shown = [&](qsizetype files) {
        editor = editor ? editor : app.window()->findChild<HLVTagEditorViewController*>();
        if (!editor)
            return false;
        // One file is shown on its own, not as a set of one.
        const qsizetype shownCount = editor->displayedFileData() ? 1 : editor->displayedFileDataSet().size();
        return shownCount == files && editor->textFieldForKey(QStringLiteral("AlbumName"))->isEnabled();
    };
    auto albumShown = [&] { return shown(count); };
    if (!waitFor(albumShown, 600000))
        return windowFail(QStringLiteral("the editor did not show the files after Select All"));
    windowFigure("ui.select_all_covers_ms", threadMilliseconds() - cpuBefore, "ms", 1);
    windowFigure("ui.select_all_covers_wall_ms", wall.nsecsElapsed() / 1e6, "ms", 1);
    windowFigure("ui.select_all_covers_mb", residentMegabytes() - residentBefore, "MB", 1);

    // Edit the album of the first saveCount files and save, timing the longest
    // stall of the main thread meanwhile.
    if (saveCount < count) {
        list->selectRows([&] {
            QList<int> rows;
            for (int i = 0; i < saveCount; ++i)
                rows.append(i);
            return rows;
        }());
        if (!waitFor([&] { return shown(saveCount); }, 600000))
            return windowFail(QStringLiteral("the editor did not show the files to save"));
    }
    HLVTagTextField* albumField = editor->textFieldForKey(QStringLiteral("AlbumName"));
    albumField->setFocus();
    albumField->selectAll();
    QTest::keyClicks(albumField, QStringLiteral("Saved From The Window"));
    QTest::keyClick(albumField, Qt::Key_Return);
    auto* save = app.window()->findChild<QPushButton*>(QStringLiteral("saveChangesTextButton"));
    if (!save || !save->isEnabled())
        return windowFail(QStringLiteral("nothing to save after the edit"));
    QElapsedTimer beat;
    beat.start();
    qint64 lastBeat = 0;
    qint64 longestGap = 0;
    // The main thread's own CPU time between two beats: the part of a stall
    // the program causes, apart from waiting for a CPU on a busy machine.
    double lastCpu = threadMilliseconds();
    double longestBusy = 0;
    QTimer heart;
    heart.setTimerType(Qt::PreciseTimer);
    heart.setInterval(2);
    QObject::connect(&heart, &QTimer::timeout, [&] {
        const qint64 now = beat.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastBeat);
        const double cpu = threadMilliseconds();
        longestBusy = std::max(longestBusy, cpu - lastCpu);
        lastCpu = cpu;
        lastBeat = now;
    });
    HLVBenchOperationWatch saveWatch(*app.fileManager());
    saveWatch.expect(HLVFileOperationSaving);
    wall.restart();
    const double saveCpuBefore = threadMilliseconds();
    lastCpu = saveCpuBefore;
    lastBeat = beat.nsecsElapsed();
    heart.start();
    save->click();
    const bool saved = waitFor([&] {
        return saveWatch.codeCount(HLVFileDataChangeSaved) == saveCount && !albumField->IsChangedFromSaved()
            && !app.fileManager()->isOperationRunning();
    }, 3600000);
    heart.stop();
    if (!saved)
        return windowFail(QStringLiteral("the window saved %1 of %2 files").arg(saveWatch.codeCount(HLVFileDataChangeSaved)).arg(saveCount));
    const double windowSeconds = wall.nsecsElapsed() / 1e9;
    const double saveCpu = threadMilliseconds() - saveCpuBefore;
    windowFigure("ui.save_all_files", saveCount, "files", 0);
    windowFigure("ui.save_all_max_stall_ms", std::max<qint64>(0, longestGap - 2'000'000) / 1e6, "ms", 1);
    windowFigure("ui.save_all_max_busy_ms", longestBusy, "ms", 1);
    windowFigure("ui.save_all_main_cpu_ms", saveCpu, "ms", 1);
    windowFigure("ui.save_all_seconds", windowSeconds, "s", 2);
    windowFigure("ui.save_all_manager_seconds", managerSeconds, "s", 2);
    windowFigure("ui.save_all_ratio", managerSeconds > 0 ? windowSeconds / managerSeconds : 0, "x", 2);

    // One keystroke in the search field, until the list shows what it found
    // (no file name or tag holds a "q"). The key waits until the editor shows
    // every file, the columns are in and the save's strip has slid away (each
    // step of the slide lays out and paints the editor anew), so the figure
    // holds the keystroke's own work and not the end of earlier work.
    list->selectAllFiles();
    auto settled = [&] {
        const auto* strip = app.window()->findChild<QWidget*>(QStringLiteral("statusEditorViewController"));
        return albumShown() && list->areColumnsRead() && !(strip && strip->isVisible());
    };
    if (!waitFor(settled, 600000))
        return windowFail(QStringLiteral("the editor did not show the files before the search"));
    // The editor's last change is painted before the key, not charged to it.
    QCoreApplication::processEvents();
    auto* search = list->findChild<QLineEdit*>(QStringLiteral("searchField"));
    const double keyBefore = threadMilliseconds();
    QTest::keyClick(search, Qt::Key_Q);
    if (!waitFor([&] { return list->dataSourceCount() == 0; }, 60000))
        return windowFail(QStringLiteral("the search left %1 rows").arg(list->dataSourceCount()));
    windowFigure("ui.search_key_ms", threadMilliseconds() - keyBefore, "ms", 1);
    return true;
}
