#include "HLVExpandingView.h"
#include "HLVExpandingViewDelegate.h"
#include "HLVMatchesEditorDelegate.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVStatusEditorDelegate.h"
#include "HLVStatusEditorViewController.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct MatchesRecorder : HLVMatchesEditorDelegate
{
    QList<unsigned long> matches;
    void matchesEditorMatchSelectionUpdated(HLVMatchesEditorViewController*, unsigned long match) override
    {
        matches << match;
    }
};

struct CancelRecorder : HLVStatusEditorDelegate
{
    int cancels = 0;
    void statusEditorCancelOperationWasSelected(HLVStatusEditorViewController*) override { ++cancels; }
};

struct SizeChange
{
    bool expanded;
    double size;
    double delta;
    bool operator==(const SizeChange&) const = default;
};

struct SizeRecorder : HLVExpandingViewDelegate
{
    QList<SizeChange> changes;
    void expandingViewDidExpandToSize(HLVExpandingView*, double size, double delta) override
    {
        changes.append({true, size, delta});
    }
    void expandingViewDidCollapseToSize(HLVExpandingView*, double size, double delta) override
    {
        changes.append({false, size, delta});
    }
};

void PrintTo(const SizeChange& change, std::ostream* os)
{
    *os << (change.expanded ? "expand to " : "collapse to ") << change.size << " by " << change.delta;
}

} // namespace

TEST(HLVMatchesEditorViewController, StepsThroughCandidatesWithinTheirCount)
{
    HLVMatchesEditorViewController strip;
    MatchesRecorder recorder;
    strip.setDelegate(&recorder);
    strip.show();
    auto* previous = strip.findChild<QToolButton*>(QStringLiteral("previousMatchButton"));
    auto* next = strip.findChild<QToolButton*>(QStringLiteral("nextMatchButton"));
    auto* text = strip.findChild<QLabel*>(QStringLiteral("matchesTextField"));
    ASSERT_TRUE(previous && next && text);
    EXPECT_EQ(strip.findChild<QWidget*>(QStringLiteral("matchesSegmentedControl"))->toolTip(),
              QStringLiteral("View next/previous match"));

    strip.displayMatchesWithMatchCount(1, 1);
    EXPECT_EQ(text->text(), QStringLiteral("Match found! Displaying match 1 of 1."));
    EXPECT_FALSE(previous->isEnabled());
    EXPECT_FALSE(next->isEnabled());

    strip.displayMatchesWithMatchCount(3, 1);
    EXPECT_EQ(text->text(), QStringLiteral("Multiple matches found! Displaying match 1 of 3."));
    EXPECT_FALSE(previous->isEnabled());
    EXPECT_TRUE(next->isEnabled());

    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(text->text(), QStringLiteral("Multiple matches found! Displaying match 2 of 3."));
    EXPECT_TRUE(previous->isEnabled());
    EXPECT_TRUE(next->isEnabled());

    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(strip.currentMatch(), 3u);
    EXPECT_TRUE(previous->isEnabled());
    EXPECT_FALSE(next->isEnabled());

    // Past either end nothing moves and the delegate hears nothing.
    strip.matchesSegmentedControlSelected(HLVMatchesEditorViewController::NextSegment);
    QTest::mouseClick(previous, Qt::LeftButton);
    QTest::mouseClick(previous, Qt::LeftButton);
    strip.matchesSegmentedControlSelected(HLVMatchesEditorViewController::PreviousSegment);
    EXPECT_EQ(text->text(), QStringLiteral("Multiple matches found! Displaying match 1 of 3."));
    EXPECT_EQ(recorder.matches, (QList<unsigned long>{2, 3, 2, 1}));
}

TEST(HLVStatusEditorViewController, CountsUpToTheTargetAndCancelsOnce)
{
    HLVStatusEditorViewController strip;
    CancelRecorder recorder;
    strip.setDelegate(&recorder);
    strip.show();
    auto* label = strip.findChild<QLabel*>(QStringLiteral("statusLabel"));
    auto* indicator = strip.findChild<QProgressBar*>(QStringLiteral("statusProgressIndicator"));
    auto* cancel = strip.findChild<QToolButton*>(QStringLiteral("cancelButton"));
    ASSERT_TRUE(label && indicator && cancel);
    EXPECT_EQ(label->text(), QStringLiteral("Processing..."));
    EXPECT_EQ(indicator->maximum(), 0) << "indeterminate";
    EXPECT_EQ(cancel->toolTip(), QStringLiteral("Cancel"));

    strip.displayStatus(QStringLiteral("Saving"), 4);
    EXPECT_EQ(label->text(), QStringLiteral("Processing..."));
    for (int done = 1; done <= 3; ++done) {
        strip.setCurrentValue(done);
        EXPECT_EQ(label->text(), QStringLiteral("Saving %1 of 4.").arg(done));
        EXPECT_EQ(indicator->maximum(), 100);
        EXPECT_EQ(indicator->value(), done * 25);
    }
    strip.setCurrentValue(4);
    EXPECT_EQ(label->text(), QStringLiteral("Processing..."));
    EXPECT_EQ(indicator->maximum(), 0);

    strip.setCurrentValue(9);
    EXPECT_EQ(strip.CurrentValue(), 4);
    strip.setTargetValue(2);
    EXPECT_EQ(strip.TargetValue(), 4) << "the target never drops below what is done";
    strip.setTargetValue(10);
    EXPECT_EQ(label->text(), QStringLiteral("Saving 4 of 10."));

    QTest::mouseClick(cancel, Qt::LeftButton);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_EQ(recorder.cancels, 1);

    // The next operation starts with the button ready again.
    strip.displayStatus(QStringLiteral("Renaming"), 2);
    EXPECT_TRUE(cancel->isEnabled());
}

TEST(HLVStatusEditorViewController, ValuesFromAnotherThreadShowOnTheMainThread)
{
    HLVStatusEditorViewController strip;
    auto* label = strip.findChild<QLabel*>(QStringLiteral("statusLabel"));
    strip.displayStatus(QStringLiteral("Identifying"), 8);
    std::thread worker([&strip] {
        for (int done = 1; done <= 3; ++done)
            strip.setCurrentValue(done);
    });
    worker.join();
    EXPECT_EQ(strip.CurrentValue(), 3);
    EXPECT_EQ(label->text(), QStringLiteral("Processing...")) << "widgets change only on the main thread";
    QCoreApplication::processEvents();
    EXPECT_EQ(label->text(), QStringLiteral("Identifying 3 of 8."));
}

TEST(HLVExpandingView, ReportsEachHeightChangeOnceAndEndsAtTheReportedHeight)
{
    HLVExpandingView view(QStringLiteral("Custom Tags"));
    SizeRecorder recorder;
    view.setDelegate(&recorder);
    view.setAnimationDuration(0);
    view.setContainerViewHeight(100);
    EXPECT_TRUE(recorder.changes.isEmpty()) << "a collapsed section does not report content changes";
    view.initialize();
    const double margins = view.calculatedHeight() - 100 - 33;
    EXPECT_EQ(recorder.changes, (QList<SizeChange>{{false, 33, -(100 + margins)}}));
    view.show();
    EXPECT_EQ(view.height(), 33);
    EXPECT_FALSE(view.containerView()->isVisible());

    recorder.changes.clear();
    QTest::mouseClick(view.disclosureButton(), Qt::LeftButton);
    EXPECT_TRUE(view.isExpanded());
    EXPECT_TRUE(view.containerView()->isVisible());
    EXPECT_EQ(view.height(), 133 + margins);

    view.setContainerViewHeight(100);
    view.setContainerViewHeight(142);
    view.setContainerViewHeight(29);
    EXPECT_EQ(view.height(), 62 + margins);

    // The header's backing button toggles the disclosure button too.
    QTest::mouseClick(view.backingButton(), Qt::LeftButton, {}, QPoint(view.width() - 10, 16));
    EXPECT_FALSE(view.disclosureButton()->isChecked());
    EXPECT_TRUE(view.isCollapsed());
    EXPECT_EQ(view.height(), 33);
    EXPECT_FALSE(view.containerView()->isVisible());
    view.collapse();

    EXPECT_EQ(recorder.changes, (QList<SizeChange>{{true, 133 + margins, 100 + margins},
                                                   {true, 175 + margins, 42},
                                                   {false, 62 + margins, -113},
                                                   {false, 33, -(29 + margins)}}));

    view.setAnimationDuration(HLVExpandingView::defaultAnimationDuration);
    view.expand();
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.height() == 62 + margins; }, 2000));
    EXPECT_TRUE(view.disclosureButton()->isChecked());
}
