#include "HLVBenchQuit.h"
#include "HLVAppDelegate.h"
#include "HLVCadrelleWindow.h"
#include "HLVEventLoopWait.h"
#include "HLVFileManager.h"
#include "HLVLoopbackServer.h"
#include "HLVTagMap.h"

#include <QAbstractButton>
#include <QAction>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {

void quitFigure(const char* name, double value)
{
    std::printf("%s %.3f s\n", name, value);
    std::fflush(stdout);
}

bool quitFail(const QString& text)
{
    std::fprintf(stderr, "cadrelle-bench: ui: FAILED: %s\n", qPrintable(text));
    return false;
}

std::unique_ptr<HLVAppDelegate> launch()
{
    auto app = std::make_unique<HLVAppDelegate>();
    app->applicationDidFinishLaunching(false);
    return app;
}

// Quit from the menu, "Close Cadrelle" when asked, then what the end of the
// program runs: the window closing, the controller's clean-up, its destruction.
// The seconds all of that took, or a negative value when the window stayed.
double quitAndEnd(std::unique_ptr<HLVAppDelegate>& app)
{
    QElapsedTimer timer;
    timer.start();
    app->menuItem(QStringLiteral("QuitMenuItem"))->trigger();
    HLVCadrelleWindow* window = app->window();
    const bool closed = HLVSpinEventLoopUntil(
        [&] {
            if (auto* alert = window->findChild<QMessageBox*>(QStringLiteral("terminationAlert")); alert && alert->isVisible()) {
                for (QAbstractButton* button : alert->buttons()) {
                    if (button->text() == QLatin1String("Close Cadrelle"))
                        button->click();
                }
            }
            return !window->isVisible();
        },
        30000);
    if (!closed)
        return -1;
    app->applicationWillTerminate();
    app.reset();
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

bool runQuit(HLVBenchCorpus& corpus, const QString& folder, int count, const QList<HLVBenchCorpus::Entry>& tagged)
{
    // The window keeps its size and splitter in the preferences: not the user's.
    QTemporaryDir preferences;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, preferences.path());

    // During the listing of the folder, as the add-folder dialog's answer starts it.
    {
        auto app = launch();
        app->addPaths({folder});
        HLVSpinEventLoopUntil([] { return false; }, 20);
        if (app->fileManager()->FileDataArray().size() == count)
            std::fprintf(stderr, "cadrelle-bench: ui: note: the listing had ended before Quit\n");
        const double seconds = quitAndEnd(app);
        if (seconds < 0)
            return quitFail(QStringLiteral("the window stayed open after Quit during a listing"));
        quitFigure("ui.quit_listing_s", seconds);
    }

    // During a save that waits for a cover the services never send.
    std::unique_ptr<HLVLoopbackServer> server;
    try {
        server = std::make_unique<HLVLoopbackServer>();
    } catch (const std::exception& error) {
        return quitFail(QStringLiteral("no loopback server: %1").arg(QString::fromLocal8Bit(error.what())));
    }
    server->setDefaultReply(HLVLoopbackServer::Reply::noAnswer());
    const char* services[] = {"CADRELLE_ACOUSTID_URL", "CADRELLE_MUSICBRAINZ_URL", "CADRELLE_COVERART_URL"};
    for (const char* variable : services)
        qputenv(variable, server->baseAddress().toUtf8());
    const QList<HLVBenchCorpus::Entry> copies = corpus.makeCopies(QStringLiteral("quit"), tagged.mid(0, 3));
    bool passed = !copies.isEmpty();
    if (!passed)
        quitFail(corpus.lastError());
    else {
        auto app = launch();
        HLVFileManager& manager = *app->fileManager();
        app->addPaths(HLVBenchCorpus::paths(copies));
        if (!HLVSpinEventLoopUntil([&] { return manager.FileDataArray().size() == copies.size() && !manager.isOperationRunning(); }))
            passed = quitFail(QStringLiteral("the files to save were not added"));
        const auto record = passed ? manager.FileDataArray().first() : nullptr;
        if (record) {
            record->editVirtualTagMap([](HLVTagMap& map) {
                map.setArtistName(QStringLiteral("Silent Artist"));
                map.setAlbumName(QStringLiteral("Silent Album"));
                map.setArtworkAttempted(false);
            });
            record->forceIsModified();
            manager.fileWasModified(record);
            manager.saveFile(record);
            passed = server->waitForRequests(1, std::chrono::seconds(30)) && record->isSaving();
            if (!passed)
                quitFail(QStringLiteral("the save did not wait for the service"));
        }
        if (passed) {
            const double seconds = quitAndEnd(app);
            if (seconds < 0)
                passed = quitFail(QStringLiteral("the window stayed open after Quit during a save"));
            else
                quitFigure("ui.quit_silent_service_s", seconds);
        }
    }
    for (const char* variable : services)
        qunsetenv(variable);
    return passed;
}
