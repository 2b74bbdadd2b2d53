// cadrelle-screenshots [--guide] OUTPUT_FOLDER: runs the application offscreen on
// copies of the test fixtures, with the loopback server standing in for the web
// services, and writes a PNG of each main view into OUTPUT_FOLDER. With --guide
// it writes only the user guide's pictures, under the names the guide uses, at
// a modest size and with an 8-bit palette so that they stay small.
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
#include "HLVTagEditorViewController.h"
#include "HLVTagTextField.h"
#include "HLVTestEnvironment.h"
#include "HLVTestFiles.h"
#include "HLVViewJobs.h"

#include "HLVFileListModel.h"
#include "HLVFileListView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPalette>
#include <QSplitter>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <taglib/fileref.h>
#include <taglib/tag.h>


namespace {

QString outputFolder;
bool guide = false;
int failures = 0;

// The picture with the 256 colours it uses most: a window is mostly a few
// flat colours and the greys of its text, which Qt's fixed palette would move.
QImage withPalette(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            ++counts[line[x]];
    }
    QList<std::pair<int, QRgb>> byUse;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byUse.append({it.value(), it.key()});
    std::sort(byUse.begin(), byUse.end(), std::greater<>());
    QList<QRgb> palette;
    for (qsizetype i = 0; i < byUse.size() && i < 256; ++i)
        palette.append(byUse.at(i).second);
    return image.convertToFormat(QImage::Format_Indexed8, palette, Qt::ThresholdDither | Qt::AvoidDither);
}

// Writes the widget's picture as NAME.png; in guide mode only pictures the
// guide shows are written, as GUIDE_NAME.png with an 8-bit palette.
void shot(const QString& name, QWidget* widget, const QString& guideName = QString())
{
    if (guide && guideName.isEmpty())
        return;
    if (!widget) {
        std::fprintf(stderr, "cadrelle-screenshots: nothing to show for %s\n", qPrintable(name));
        ++failures;
        return;
    }
    QCoreApplication::processEvents();
    QImage image = widget->grab().toImage();
    if (guide)
        image = withPalette(image);
    const QString path = outputFolder + QLatin1Char('/') + (guide ? guideName : name) + QStringLiteral(".png");
    if (!image.save(path, "PNG", 9)) {
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


void settle(int milliseconds = 300)
{
    HLVViewJobs::waitForAll(30000);
    HLVSpinEventLoopUntil([] { return false; }, milliseconds);
}

// Types into a field as a user does, key by key.
void type(QWidget* field, const QString& text)
{
    field->setFocus();
    for (const QChar character : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(character));
        QCoreApplication::sendEvent(field, &release);
    }
}

// Tags a fixture copy the way another program would have.
void writeTags(const QString& path, const char* title, const char* artist, const char* album, unsigned track)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    if (file.isNull() || !file.tag()) {
        ++failures;
        return;
    }
    file.tag()->setTitle(title);
    file.tag()->setArtist(artist);
    file.tag()->setAlbum(album);
    file.tag()->setTrack(track);
    file.tag()->setYear(2024);
    file.tag()->setGenre("Ambient");
    if (!file.save())
        ++failures;
}

// A cover a user might load: a gradient with a sun over a horizon.
QString writeCover(const QString& path)
{
    QImage cover(400, 400, QImage::Format_RGB32);
    QPainter painter(&cover);
    QLinearGradient sky(0, 0, 0, 400);
    sky.setColorAt(0, QColor(32, 64, 128));
    sky.setColorAt(1, QColor(240, 150, 90));
    painter.fillRect(cover.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(255, 220, 120));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPoint(200, 260), 90, 90);
    painter.fillRect(QRect(0, 280, 400, 120), QColor(30, 40, 60));
    painter.end();
    if (!cover.save(path))
        ++failures;
    return path;
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
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    guide = arguments.removeAll(QStringLiteral("--guide")) > 0;
    if (arguments.size() != 1) {
        std::fprintf(stderr, "usage: cadrelle-screenshots [--guide] OUTPUT_FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    HLVTestEnvironment::prepare();
    QApplication::setApplicationVersion(QStringLiteral(CADRELLE_PROJECT_VERSION));
    outputFolder = QDir(arguments.constFirst()).absolutePath();
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

    // The first file is left untagged for identification; the others were
    // tagged by another program.
    HLVTestFiles files;
    // The editor shows the files' folder: for the guide a fixed one, so that
    // its pictures change only when the window does (one run at a time).
    QLockFile guideLock(QDir::tempPath() + QStringLiteral("/cadrelle-guide.lock"));
    if (guide && !guideLock.tryLock(120000)) {
        std::fprintf(stderr, "cadrelle-screenshots: another run writes the guide's pictures\n");
        return 1;
    }
    const QString root = guide ? QDir::tempPath() + QStringLiteral("/cadrelle-guide") : files.path(QStringLiteral("Music"));
    QDir(root).removeRecursively();
    const QString folder = root + QStringLiteral("/The Quiet Hours/Daylight");
    QDir().mkpath(folder);
    QStringList paths;
    for (const auto& [fixture, name] : {std::pair{"tone.mp3", "01 Morning Tone.mp3"},
                                        std::pair{"tone.flac", "02 Evening Tone.flac"},
                                        std::pair{"tone.m4a", "03 Night Tone.m4a"}}) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::copy(HLVTestFiles::fixturePath(QLatin1String(fixture)), path))
            ++failures;
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                        | QFileDevice::ReadOther);
        paths.append(path);
    }
    writeTags(paths[1], "Evening Tone", "The Quiet Hours", "Daylight", 2);
    writeTags(paths[2], "Night Tone", "The Quiet Hours", "Daylight", 3);
    // The guide's pictures are smaller than the full views.
    const QSize windowSize = guide ? QSize(980, 640) : QSize(1100, 720);

    {
        HLVAppDelegate delegate;
        delegate.applicationDidFinishLaunching();
        QWidget* window = delegate.window();
        window->resize(windowSize);
        waitFor([&] { return !delegate.serverStatusTextField()->text().isEmpty(); }, "the connection check");
        shot(QStringLiteral("1-empty-window"), window, QStringLiteral("add-files"));

        delegate.addPaths(paths);
        HLVFileViewController* list = delegate.fileViewController();
        waitFor([&] { return list->dataSourceCount() == 3 && !delegate.fileManager()->isOperationRunning(); },
                "the files to be added");
        settle();
        shot(QStringLiteral("2-list-with-files"), window);

        list->selectRows({0});
        waitFor([&] { return delegate.editorPanel() != nullptr; }, "the editor");
        HLVSpinEventLoopUntil([] { return false; }, 700); // the first-time help fades in over 0.5 s
        settle();
        shot(QStringLiteral("3-one-file"), window);
        auto* editor = qobject_cast<HLVEditorViewController*>(delegate.editorPanel()->view());

        // Download tags for it: two candidates, shown with the matches strip.
        const auto record = list->selectedRecords().first();
        list->downloadTagsForSelection();
        waitFor([&] {
            return record->Releases().size() == 2 && !delegate.fileManager()->isOperationRunning() && editor
                && editor->isMatchesViewVisible() && !editor->isStatusViewVisible();
        }, "the file to be identified");
        editor->downloadTagsCloseButtonSelected(); // the first-time help, read once
        HLVSpinEventLoopUntil([] { return false; }, 700);
        settle();
        shot(QStringLiteral("3-one-file-two-matches"), window, QStringLiteral("identify-matches"));

        // One tagged file: its tags and its own details (a FLAC).
        list->selectRows({1});
        settle();
        shot(QStringLiteral("10-one-flac-file"), editor, QStringLiteral("edit-one-file"));

        list->selectRows({0, 1, 2});
        settle();
        shot(QStringLiteral("4-several-files"), window, QStringLiteral("edit-several-files"));

        // A typed change: bold in the editor, red in the list until saved.
        list->selectRows({1});
        settle();
        HLVTagEditorViewController* tags = editor ? editor->tagEditorViewController() : nullptr;
        if (tags) {
            type(tags->textFieldForKey(QStringLiteral("Genre")), QStringLiteral(" Electronic"));
            tags->confirmChanges();
        }
        settle();
        shot(QStringLiteral("11-modified-file"), window, QStringLiteral("save-pending"));

        // A picture loaded from a file into the artwork well.
        if (tags)
            tags->loadArtworkFromPath(writeCover(files.path(QStringLiteral("cover.png"))));
        settle();
        shot(QStringLiteral("12-artwork"), editor, QStringLiteral("artwork"));

        // A save that fails: the file went away meanwhile.
        QFile::remove(paths[1]);
        list->saveChangesForSelection();
        waitFor([&] { return !delegate.fileManager()->isOperationRunning() && editor && editor->isStatusViewVisible(); },
                "the failed save");
        settle();
        shot(QStringLiteral("13-save-failed"), editor, QStringLiteral("save-failed"));

        // The same at the smallest size the window allows, and in a dark palette.
        list->selectRows({0, 1, 2});
        settle();
        window->resize(window->minimumSize());
        settle();
        shot(QStringLiteral("8-minimum-size"), window);
        window->resize(windowSize);
        const QPalette light = QApplication::palette();
        QPalette dark(QColor(53, 53, 53), QColor(37, 37, 37));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
        dark.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
        QApplication::setPalette(dark);
        settle();
        shot(QStringLiteral("9-dark-palette"), window);
        QApplication::setPalette(light);

        list->renameSelectedFiles();
        auto* rename = visible<HLVRenameTrackWindowController>(window);
        shot(QStringLiteral("5-rename-dialog"), rename, QStringLiteral("rename"));
        if (rename)
            rename->reject();

        list->removeTagsFromSelection();
        auto* alert = visible<QMessageBox>(window);
        shot(QStringLiteral("6-remove-tags-alert"), alert);
        for (QAbstractButton* button : alert ? alert->buttons() : QList<QAbstractButton*>()) {
            if (button->text() == QStringLiteral("Cancel"))
                button->click();
        }

        // The update check's answers size to their text.
        for (const auto& [name, failure] : {std::pair{"10-update-latest", QString()},
                                            std::pair{"11-update-failed", QStringLiteral("the update server could not be reached")}}) {
            QMessageBox* answer = delegate.showUpdateAlert(false, failure);
            HLVSpinEventLoopUntil([] { return false; }, 200);
            shot(QLatin1String(name), answer);
            answer->close();
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
        // Wide enough for the list's default columns beside the editor.
        window->resize(QSize(1280, windowSize.height()));
        delegate.addPaths(threeAlbums(albumFiles));
        HLVFileViewController* list = delegate.fileViewController();
        waitFor([&] { return list->dataSourceCount() == 9 && list->areColumnsRead(); }, "the albums' columns");
        list->fileTable()->sortByColumn(HLVFileListModel::AlbumColumn, Qt::AscendingOrder);
        list->selectRows({3});
        HLVViewJobs::waitForAll(30000);
        HLVSpinEventLoopUntil([] { return false; }, 700);
        // The first selection's tip about Download Tags would cover the editor.
        if (auto* close = window->findChild<QAbstractButton*>(QStringLiteral("downloadTagsCloseButton")); close && close->isVisible())
            close->click();
        if (auto* splitter = window->findChild<QSplitter*>(QStringLiteral("mainSplitter")))
            splitter->setSizes({640, 640});
        // Widened by hand, as a user with a wider list would.
        list->fileTable()->horizontalHeader()->resizeSection(HLVFileListModel::NameColumn, 190);
        list->fileTable()->horizontalHeader()->resizeSection(HLVFileListModel::TitleColumn, 120);
        list->fileTable()->horizontalHeader()->resizeSection(HLVFileListModel::ArtistColumn, 120);
        HLVSpinEventLoopUntil([] { return false; }, 1200); // the tip fades out
        shot(QStringLiteral("table"), window, QStringLiteral("table"));

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
        QImage image = composed.toImage();
        if (guide)
            image = withPalette(image);
        const QString path = outputFolder + QStringLiteral("/column-menu.png");
        if (image.save(path, "PNG", 9))
            std::printf("%s\n", qPrintable(path));
        else
            ++failures;
        menu->close();
        list->fileTable()->sortByColumn(HLVFileListModel::NameColumn, Qt::AscendingOrder);
        window->close();
        delegate.applicationWillTerminate();
    }
    HLVMusicBrainzTestSupport::reset();
    QDir(root).removeRecursively();
    return failures == 0 ? 0 : 1;
}
