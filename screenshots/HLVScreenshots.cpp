// cadrelle-screenshots OUTPUT_FOLDER: runs the application offscreen on copies of
// the test fixtures, with the loopback server standing in for the web services,
// and writes a PNG of each main view into OUTPUT_FOLDER.
#include "HLVAboutWindowController.h"
#include "HLVAppDelegate.h"
#include "HLVCannedReplies.h"
#include "HLVEditorViewController.h"
#include "HLVFileData.h"
#include "HLVEventLoopWait.h"
#include "HLVFileManager.h"
#include "HLVFileViewController.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVRenameTrackWindowController.h"
#include "HLVServiceConfiguration.h"
#include "HLVServiceReplies.h"
#include "HLVTestEnvironment.h"
#include "HLVTestFiles.h"
#include "HLVViewJobs.h"

#include "HLVFileListModel.h"
#include "HLVFileListView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <cstdio>

#include <taglib/fileref.h>
#include <taglib/tag.h>

namespace {

QString outputFolder;
int failures = 0;

void shot(const QString& name, QWidget* widget)
{
    if (!widget) {
        std::fprintf(stderr, "cadrelle-screenshots: nothing to show for %s\n", qPrintable(name));
        ++failures;
        return;
    }
    QCoreApplication::processEvents();
    const QString path = outputFolder + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "cadrelle-screenshots: cannot write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

bool waitFor(const std::function<bool()>& condition, const char* what)
{
    if (HLVSpinEventLoopUntil(condition, 30000))
        return true;
    std::fprintf(stderr, "cadrelle-screenshots: timed out waiting for %s\n", what);
    ++failures;
    return false;
}

// Three albums of three tracks whose file names interleave.
QStringList threeAlbums(HLVTestFiles& files)
{
    const struct { const char* name; const char* title; const char* artist; const char* album; unsigned track; } songs[] = {
        {"01 Low Tide.mp3", "Low Tide", "Marram", "Shoreline", 1}, {"01 Opening Vamp.flac", "Opening Vamp", "The Brass Yard", "Second Line", 1},
        {"01 Polar Dawn.m4a", "Polar Dawn", "Ice Choir", "Aurora", 1}, {"02 Harbour Lights.mp3", "Harbour Lights", "Marram", "Shoreline", 2},
        {"02 Parade.flac", "Parade", "The Brass Yard", "Second Line", 2}, {"02 White Sky.m4a", "White Sky", "Ice Choir", "Aurora", 2},
        {"03 Breakwater.mp3", "Breakwater", "Marram", "Shoreline", 3}, {"03 Coda.flac", "Coda", "The Brass Yard", "Second Line", 3},
        {"03 Long Night.m4a", "Long Night", "Ice Choir", "Aurora", 3},
    };
    QStringList paths;
    for (const auto& song : songs) {
        const QString name = QString::fromUtf8(song.name);
        paths.append(files.copyFixture(QStringLiteral("tone.") + name.section(QLatin1Char('.'), -1), name));
        TagLib::FileRef file(QFile::encodeName(paths.last()).constData());
        if (file.isNull())
            continue;
        file.tag()->setTitle(TagLib::String(song.title, TagLib::String::UTF8));
        file.tag()->setArtist(TagLib::String(song.artist, TagLib::String::UTF8));
        file.tag()->setAlbum(TagLib::String(song.album, TagLib::String::UTF8));
        file.tag()->setTrack(song.track);
        file.save();
    }
    return paths;
}

template <typename T>
T* visible(QWidget* window, const QString& objectName = QString())
{
    T* found = nullptr;
    HLVSpinEventLoopUntil([&] {
        for (T* candidate : window->findChildren<T*>(objectName)) {
            if (candidate->isVisible())
                found = candidate;
        }
        return found != nullptr;
    }, 5000);
    return found;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: cadrelle-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    HLVTestEnvironment::prepare();
    QApplication::setApplicationVersion(QStringLiteral(CADRELLE_PROJECT_VERSION));
    outputFolder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outputFolder);

    HLVLoopbackServer server;
    server.setDefaultReply(HLVLoopbackServer::Reply::withStatus(404));
    server.setReply(QStringLiteral("/ws/2/artist/"),
                    HLVLoopbackServer::Reply::xml(HLVServiceReplies::artistList(QStringLiteral("artist-1"),
                                                                                 QStringLiteral("Radiohead"))));
    server.setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(HLVServiceReplies::acoustIDRecording()));
    server.setReply(QStringLiteral("/ws/2/recording/"), HLVLoopbackServer::Reply::xml(HLVCannedReplies::releasesReply()));
    HLVMusicBrainzTestSupport::useServer(server);
    qputenv("CADRELLE_ACOUSTID_URL", server.baseAddress().toUtf8());
    qputenv("CADRELLE_COVERART_URL", server.baseAddress().toUtf8());
    qputenv("CADRELLE_VERSION_URL", (server.baseAddress() + QStringLiteral("/latest-version.txt")).toUtf8());
    HLVServiceConfiguration::setRequestPauseForTesting(std::chrono::milliseconds(0));

    HLVTestFiles files;
    const QStringList paths{files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("01 Morning Tone.mp3")),
                            files.copyFixture(QStringLiteral("tone.flac"), QStringLiteral("02 Evening Tone.flac")),
                            files.copyFixture(QStringLiteral("tone.m4a"), QStringLiteral("03 Night Tone.m4a"))};

    {
        HLVAppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        QWidget* window = delegate.window();
        window->resize(1100, 720);
        waitFor([&] { return !delegate.serverStatusTextField()->text().isEmpty(); }, "the connection check");
        shot(QStringLiteral("1-empty-window"), window);

        delegate.addPaths(paths);
        HLVFileViewController* list = delegate.fileViewController();
        waitFor([&] { return list->dataSourceCount() == 3 && !delegate.fileManager()->isOperationRunning(); },
                "the files to be added");
        shot(QStringLiteral("2-list-with-files"), window);

        list->selectRows({0});
        waitFor([&] { return delegate.editorPanel() != nullptr; }, "the editor");
        HLVSpinEventLoopUntil([] { return false; }, 700); // the first-time help fades in over 0.5 s
        shot(QStringLiteral("3-one-file"), window);

        // Download tags for it: two candidates, shown with the matches strip.
        const auto record = list->selectedRecords().first();
        list->downloadTagsForSelection();
        auto* editor = qobject_cast<HLVEditorViewController*>(delegate.editorPanel()->view());
        waitFor([&] {
            return record->Releases().size() == 2 && !delegate.fileManager()->isOperationRunning() && editor
                && editor->isMatchesViewVisible() && !editor->isStatusViewVisible();
        }, "the file to be identified");
        editor->downloadTagsCloseButtonSelected(); // the first-time help, read once
        HLVSpinEventLoopUntil([] { return false; }, 700);
        shot(QStringLiteral("3-one-file-two-matches"), window);

        list->selectRows({0, 1, 2});
        HLVViewJobs::waitForAll(30000);
        HLVSpinEventLoopUntil([] { return false; }, 300);
        shot(QStringLiteral("4-several-files"), window);

        // The same at the smallest size the window allows, and in a dark palette.
        window->resize(window->minimumSize());
        HLVSpinEventLoopUntil([] { return false; }, 300);
        shot(QStringLiteral("8-minimum-size"), window);
        window->resize(1100, 720);
        const QPalette light = QApplication::palette();
        QPalette dark(QColor(53, 53, 53), QColor(37, 37, 37));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
        dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
        QApplication::setPalette(dark);
        HLVSpinEventLoopUntil([] { return false; }, 300);
        shot(QStringLiteral("9-dark-palette"), window);
        QApplication::setPalette(light);

        list->renameSelectedFiles();
        auto* rename = visible<HLVRenameTrackWindowController>(window);
        shot(QStringLiteral("5-rename-dialog"), rename);
        if (rename)
            rename->reject();

        list->removeTagsFromSelection();
        auto* alert = visible<QMessageBox>(window);
        shot(QStringLiteral("6-remove-tags-alert"), alert);
        for (QAbstractButton* button : alert ? alert->buttons() : QList<QAbstractButton*>()) {
            if (button->text() == QStringLiteral("Cancel"))
                button->click();
        }

        delegate.aboutMenuItemSelected();
        shot(QStringLiteral("7-about-window"), delegate.aboutWindowController());
        delegate.aboutWindowController()->close();

        window->close();
        delegate.applicationWillTerminate();
    }

    // The table over three albums sorted by album, and the header's menu of columns.
    {
        HLVTestFiles albumFiles;
        HLVAppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        QWidget* window = delegate.window();
        window->resize(1100, 720);
        delegate.addPaths(threeAlbums(albumFiles));
        HLVFileViewController* list = delegate.fileViewController();
        waitFor([&] { return list->dataSourceCount() == 9 && list->areColumnsRead(); }, "the albums' columns");
        list->fileTable()->sortByColumn(HLVFileListModel::AlbumColumn, Qt::AscendingOrder);
        list->selectRows({3});
        HLVViewJobs::waitForAll(30000);
        HLVSpinEventLoopUntil([] { return false; }, 700);
        shot(QStringLiteral("table"), window);

        QMenu* menu = list->fileTable()->columnMenu();
        QHeaderView* header = list->fileTable()->horizontalHeader();
        const QPoint at = header->mapTo(window, QPoint(header->sectionViewportPosition(HLVFileListModel::AlbumColumn) + 20,
                                                       header->height() / 2));
        menu->popup(window->mapToGlobal(at));
        HLVSpinEventLoopUntil([] { return false; }, 300);
        // A pop-up is a window of its own: drawn over the window where it opened.
        QPixmap composed = window->grab();
        {
            QPainter painter(&composed);
            painter.drawPixmap(at, menu->grab());
        }
        const QString path = outputFolder + QStringLiteral("/column-menu.png");
        if (composed.save(path))
            std::printf("%s\n", qPrintable(path));
        else
            ++failures;
        menu->close();
        list->fileTable()->sortByColumn(HLVFileListModel::NameColumn, Qt::AscendingOrder);
        window->close();
        delegate.applicationWillTerminate();
    }
    HLVMusicBrainzTestSupport::reset();
    return failures == 0 ? 0 : 1;
}
