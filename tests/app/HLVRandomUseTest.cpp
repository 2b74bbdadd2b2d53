#include "HLVAppDelegateFixture.h"
#include "HLVMainThreadFileCheck.h"
#include "HLVTagLib.h"
#include "HLVTagTextField.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDirIterator>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTest>
#include <cstdio>

// Random use of the whole window over 20 files, services answering on
// loopback with errors, garbage, silence and delays, then Quit. It finds what
// no scripted test thinks of: a late notice reaching a view that moved on, an
// alert answered while its work ends, a crash at Quit. The normal run takes a
// few dozen steps; CADRELLE_RANDOM_USE_STEPS asks for more (the sanitizer run
// takes 800, about a minute) and CADRELLE_RANDOM_USE_SEED repeats a failed run.
class HLVRandomUseTest : public HLVAppDelegateTest
{
protected:
    int pick(int bound) { return int(random.bounded(bound)); }

    void serveSomethingNew()
    {
        using Reply = HLVLoopbackServer::Reply;
        const QList<Reply> replies{Reply::withStatus(404), Reply::withStatus(503).withHeader("Retry-After", "1"),
                                   Reply::json("{\"status\": \"ok\", \"results\": [{"), Reply::drop(),
                                   Reply::withStatus(404).delayed(std::chrono::milliseconds(pick(400))),
                                   Reply::noAnswer()};
        server.setDefaultReply(replies.at(pick(int(replies.size()))));
    }

    void selectSomeRows()
    {
        const int rows = list()->dataSourceCount();
        if (rows == 0)
            return;
        QList<int> chosen;
        for (int i = pick(5); i >= 0; --i)
            chosen.append(pick(rows));
        list()->selectRows(chosen);
    }

    void typeInAField()
    {
        QList<HLVTagTextField*> fields;
        for (HLVTagTextField* field : app->window()->findChildren<HLVTagTextField*>()) {
            if (field->isVisible() && field->isEnabled())
                fields.append(field);
        }
        if (fields.isEmpty())
            return;
        HLVTagTextField* field = fields.at(pick(int(fields.size())));
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QStringList{QStringLiteral("7"), QStringLiteral("Some Words"), QString()}.at(pick(3)));
        if (pick(2) == 0)
            QTest::keyClick(field, Qt::Key_Return);
    }

    void useAMenuItem()
    {
        static const char* const names[] = {
            "SelectAllFilesMenuItem", "SaveSelectionMenuItem",      "RevertSelectionMenuItem",
            "RemoveSelectionMenuItem", "SyncArtworkMenuItem",       "RenameSelectionMenuItem",
            "FilterAllFilesMenuItem", "FilterModifiedFilesMenuItem", "FilterUntaggedFilesMenuItem",
            "FilterPartiallyTaggedFilesMenuItem", "CheckForUpdatesMenuItem"};
        QAction* action = item(names[pick(int(std::size(names)))]);
        if (action->isEnabled())
            action->trigger();
    }

    void clickAnEditorButton()
    {
        static const QStringList names{QStringLiteral("tagButton"),        QStringLiteral("saveChangesTextButton"),
                                       QStringLiteral("detagButton"),      QStringLiteral("undoChangesButton"),
                                       QStringLiteral("compilationButton"), QStringLiteral("cancelButton"),
                                       QStringLiteral("downloadTagsHideButton")};
        QList<QAbstractButton*> buttons;
        for (QAbstractButton* button : app->window()->findChildren<QAbstractButton*>()) {
            if (names.contains(button->objectName()) && button->isVisible() && button->isEnabled())
                buttons.append(button);
        }
        if (!buttons.isEmpty())
            buttons.at(pick(int(buttons.size())))->click();
    }

    void search()
    {
        auto* field = list()->findChild<QLineEdit*>(QStringLiteral("searchField"));
        field->setText(QStringList{QString(), QStringLiteral("tone"), QStringLiteral("1"), QStringLiteral("zz")}.at(pick(4)));
    }

    // Whatever asks: a random answer, as a user who does not read.
    void answerWhatAsks()
    {
        for (QDialog* dialog : app->window()->findChildren<QDialog*>()) {
            if (!dialog->isVisible())
                continue;
            if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
                const auto buttons = box->buttons();
                if (!buttons.isEmpty())
                    buttons.at(pick(int(buttons.size())))->click();
            } else if (pick(2) == 0) {
                dialog->accept();
            } else {
                dialog->reject();
            }
        }
    }

    QRandomGenerator random;
};

TEST_F(HLVRandomUseTest, RandomUseThenQuitLeavesAtOnceAndEveryFileWhole)
{
    const quint32 seed = !qEnvironmentVariableIsEmpty("CADRELLE_RANDOM_USE_SEED")
        ? qEnvironmentVariable("CADRELLE_RANDOM_USE_SEED").toUInt()
        : QRandomGenerator::system()->generate();
    const int steps = !qEnvironmentVariableIsEmpty("CADRELLE_RANDOM_USE_STEPS")
        ? qEnvironmentVariableIntValue("CADRELLE_RANDOM_USE_STEPS")
        : 40;
    random.seed(seed);
    // Also on stdout, in case the failure is a crash.
    std::printf("random use: CADRELLE_RANDOM_USE_SEED=%u, %d steps\n", seed, steps);
    std::fflush(stdout);
    SCOPED_TRACE(testing::Message() << "CADRELLE_RANDOM_USE_SEED=" << seed);

    const QString folder = QFileInfo(addFixtures(20).first()).absolutePath();
    for (int step = 0; step < steps; ++step) {
        if (pick(8) == 0)
            serveSomethingNew();
        switch (pick(6)) {
        case 0: selectSomeRows(); break;
        case 1: typeInAField(); break;
        case 2: useAMenuItem(); break;
        case 3: clickAnEditorButton(); break;
        case 4: search(); break;
        default: break;
        }
        QTest::qWait(pick(150));
        answerWhatAsks();
    }

    QElapsedTimer quitting;
    quitting.start();
    item("QuitMenuItem")->trigger();
    if (QMessageBox* box = app->window()->findChild<QMessageBox*>(QStringLiteral("terminationAlert")); box && box->isVisible())
        answer(box, QStringLiteral("Close Cadrelle"));
    ASSERT_TRUE(waitUntil([&] { return !app->window()->isVisible(); }, 5000)) << "Quit did not take";
    app->applicationWillTerminate();
    app.reset();
    EXPECT_LT(quitting.elapsed(), 5000);

    // Removed from the list or renamed, every file is still there and reads.
    HLVAllowMainThreadFileAccess checking;
    QStringList paths;
    QDirIterator found(folder, {QStringLiteral("*.mp3"), QStringLiteral("*.flac"), QStringLiteral("*.m4a")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (found.hasNext())
        paths.append(found.next());
    EXPECT_EQ(paths.size(), 20);
    for (const QString& path : paths) {
        bool readable = false;
        HLVTagLib::loadTagsFromFileAtPath(path, &readable);
        EXPECT_TRUE(readable) << path.toStdString();
    }
}
