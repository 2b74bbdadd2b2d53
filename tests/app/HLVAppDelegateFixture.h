#pragma once

// The whole window over a real manager, with every service on a loopback
// server that answers 404 unless a test says otherwise.

#include "HLVAppDelegate.h"
#include "HLVCadrelleWindow.h"
#include "HLVEventLoopWait.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileView.h"
#include "HLVFileViewController.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVServiceConfiguration.h"
#include "HLVTagMap.h"
#include "HLVTestFiles.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 30000)
{
    return HLVSpinEventLoopUntil(condition, milliseconds);
}

inline QStringList buttonTitles(QMessageBox* box)
{
    QStringList titles;
    for (QAbstractButton* button : box->buttons())
        titles.append(button->text());
    return titles;
}

inline void answer(QMessageBox* box, const QString& title)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title) {
            button->click();
            break;
        }
    }
    QCoreApplication::processEvents();
}

class HLVAppDelegateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("2.09.0"));
        HLVServiceConfiguration::setRequestPauseForTesting(0ms);
        server.setDefaultReply(HLVLoopbackServer::Reply::withStatus(404));
        HLVMusicBrainzTestSupport::useServer(server);
        for (const char* variable : {"CADRELLE_ACOUSTID_URL", "CADRELLE_COVERART_URL"})
            qputenv(variable, server.baseAddress().toUtf8());
        qputenv("CADRELLE_VERSION_URL", (server.baseAddress() + QStringLiteral("/latest-version.txt")).toUtf8());
        // Pasted artwork goes to a temporary folder of this test's own.
        previousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", temp.path().toUtf8());
        launch();
    }

    void TearDown() override
    {
        app.reset();
        HLVMusicBrainzTestSupport::reset();
        for (const char* variable : {"CADRELLE_ACOUSTID_URL", "CADRELLE_COVERART_URL", "CADRELLE_VERSION_URL"})
            qunsetenv(variable);
        qputenv("TMPDIR", previousTemp);
        HLVServiceConfiguration::resetPacingForTesting();
    }

    void launch()
    {
        app.reset();
        app = std::make_unique<HLVAppDelegate>();
        app->applicationDidFinishLaunching(false);
    }

    HLVFileManager& manager() const { return *app->fileManager(); }
    HLVFileViewController* list() const { return app->fileViewController(); }
    QAction* item(const char* name) const { return app->menuItem(QLatin1String(name)); }
    QMessageBox* alert(const char* name) const
    {
        QMessageBox* box = nullptr;
        waitUntil([&] {
            box = app->window()->findChild<QMessageBox*>(QLatin1String(name));
            return box && box->isVisible();
        }, 5000);
        return box;
    }

    // Drops the paths on the file list, as a file manager's drag would, and
    // waits until the list shows them.
    void dropAndWait(const QStringList& paths)
    {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        mime.setUrls(urls);
        auto* panel = list()->findChild<HLVFileView*>(QStringLiteral("fileView"));
        const QPointF at = panel->mapTo(app->window(), QPoint(20, 60));
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app->window()->windowHandle(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(app->window()->windowHandle(), &drop);
        ASSERT_TRUE(waitUntil([&] {
            return list()->dataSourceCount() == paths.size() && !manager().isOperationRunning()
                && item("AddFilesMenuItem")->isEnabled();
        }));
    }

    QStringList addFixtures(int count)
    {
        QStringList paths;
        const QStringList fixtures{QStringLiteral("tone.mp3"), QStringLiteral("tone.flac"), QStringLiteral("tone.m4a")};
        for (int i = 0; i < count; ++i)
            paths.append(files.copyFixture(fixtures[i % 3], QStringLiteral("%1-%2").arg(i).arg(fixtures[i % 3])));
        dropAndWait(paths);
        return paths;
    }

    // Starts a save that waits for the slow artwork search.
    void startSlowSave(const std::shared_ptr<HLVFileData>& record)
    {
        server.setDefaultReply(HLVLoopbackServer::Reply::withStatus(404).delayed(1500ms));
        record->editVirtualTagMap([](HLVTagMap& map) {
            map.setArtistName(QStringLiteral("Artist"));
            map.setAlbumName(QStringLiteral("Album"));
            map.setArtworkAttempted(false);
        });
        record->forceIsModified();
        manager().saveFile(record);
        ASSERT_TRUE(waitUntil([&] { return manager().currentOperation() == HLVFileOperationSaving; }));
        ASSERT_TRUE(waitUntil([&] { return !item("AddFilesMenuItem")->isEnabled(); }));
    }

    HLVLoopbackServer server;
    HLVTestFiles files;
    QTemporaryDir temp;
    QByteArray previousTemp;
    std::unique_ptr<HLVAppDelegate> app;
};
