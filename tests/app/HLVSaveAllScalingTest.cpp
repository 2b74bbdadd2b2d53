#include "HLVAppDelegateFixture.h"
#include "HLVFileManagerBridge.h"
#include "HLVTagEditorViewController.h"
#include "HLVTagTextField.h"
#include "HLVViewJobs.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

double mainThreadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

// What the window does on its main thread while the selection is saved must
// grow with the files, not with files x files: every "saved" notice once, the
// list and the editor refreshed for the records that changed. The save itself
// is left out (it runs on workers and would make the test minutes long): the
// manager's notices for every file of the selection reach the window through
// its bridge, one file a turn of the event loop, the worst case for any work
// a turn does over all the files.
TEST_F(HLVAppDelegateTest, SavingTheSelectionCostsTheMainThreadInProportionToTheFiles)
{
    const QString source = files.copyFixture(QStringLiteral("tone.mp3"));
    int runs = 0;
    auto mainThreadTimeOfSaving = [&](int count) -> double {
        launch();
        const QString folder = files.path(QStringLiteral("files-%1").arg(++runs));
        QDir().mkpath(folder);
        QStringList paths;
        for (int i = 0; i < count; ++i) {
            const QString path = folder + QStringLiteral("/%1.mp3").arg(i, 5, 10, QLatin1Char('0'));
            if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()) != 0) {
                ADD_FAILURE() << "cannot link " << path.toStdString() << ": " << std::strerror(errno);
                return -1;
            }
            paths.append(path);
        }
        dropAndWait(paths);
        list()->selectAllFiles();
        if (!HLVViewJobs::waitForAll(60000)) {
            ADD_FAILURE() << "the selection was not summed up within a minute";
            return -1;
        }
        auto* editor = app->window()->findChild<HLVTagEditorViewController*>();
        HLVTagTextField* album = editor ? editor->textFieldForKey(QStringLiteral("AlbumName")) : nullptr;
        if (!album || !album->isEnabled()) {
            ADD_FAILURE() << "the album field is not there or not enabled";
            return -1;
        }
        album->setFocus();
        QTest::keyClicks(album, QStringLiteral("Saved"));
        QTest::keyClick(album, Qt::Key_Return);
        if (!waitUntil([&] { return manager().ModifiedFileDataArray().size() == count; })) {
            ADD_FAILURE() << manager().ModifiedFileDataArray().size() << " of " << count << " files modified";
            return -1;
        }

        const auto bridge = HLVFileManagerBridge::forManager(&manager());
        const auto records = manager().FileDataArray();
        bridge->fileOperationDidStart(HLVFileOperationSaving);
        QCoreApplication::processEvents();
        // The least of five rounds: what the notices cost, apart from
        // whatever else the machine and the window do meanwhile.
        double least = 1e9;
        for (int round = 0; round < 5; ++round) {
            const double before = mainThreadMilliseconds();
            for (const auto& record : records) {
                bridge->fileDataWasModified(record, HLVFileDataChangeSaved);
                bridge->fileListsDidChange();
                QCoreApplication::processEvents();
            }
            least = std::min(least, mainThreadMilliseconds() - before);
        }
        bridge->fileOperationDidFinish(HLVFileOperationSaving);
        return HLVViewJobs::waitForAll(60000) ? least : -1;
    };
    // Once more when the machine got in the way; files x files fails both.
    double smaller = 0;
    double larger = 0;
    for (int attempt = 0; attempt < 2 && (attempt == 0 || larger >= 3 * smaller); ++attempt) {
        smaller = mainThreadTimeOfSaving(2000);
        larger = mainThreadTimeOfSaving(4000);
        ASSERT_GT(smaller, 0) << "the 2,000 files were not shown and edited";
        ASSERT_GT(larger, 0) << "the 4,000 files were not shown and edited";
    }
    EXPECT_LT(larger, 3 * smaller) << "main thread: " << smaller << " ms for 2,000 files, " << larger << " ms for 4,000";
}
