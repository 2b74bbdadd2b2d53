#include "HLVCustomTagCellView.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVStatusEditorViewController.h"
#include "HLVTestFiles.h"
#include "HLVWidgetGallery.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

// Pictures of each building block in its main states (build/screenshots/).
using Gallery = HLVWidgetGallery;

TEST(HLVEditorBlocksGallery, WritesEachBlockInItsMainStates)
{
    Gallery gallery;
    const int width = 560;

    HLVMatchesEditorViewController matches;
    matches.resize(width, matches.sizeHint().height());
    matches.show();
    matches.displayMatchesWithMatchCount(1, 1);
    gallery.shoot(matches, QStringLiteral("matches-single"));
    matches.displayMatchesWithMatchCount(3, 2);
    EXPECT_EQ(matches.matchesTextField()->text(), QStringLiteral("Multiple matches found! Displaying match 2 of 3."));
    gallery.shoot(matches, QStringLiteral("matches-second-of-three"));

    HLVStatusEditorViewController status;
    status.resize(width, status.sizeHint().height());
    status.show();
    gallery.shoot(status, QStringLiteral("status-processing"));
    status.displayStatus(QStringLiteral("Saving"), 8);
    status.setCurrentValue(3);
    EXPECT_EQ(status.statusLabel()->text(), QStringLiteral("Saving 3 of 8."));
    gallery.shoot(status, QStringLiteral("status-saving-3-of-8"));
    status.cancelButtonSelected();
    gallery.shoot(status, QStringLiteral("status-cancelled"));

    HLVTestFiles files;
    HLVExpandingView section(QStringLiteral("Custom Tags"));
    HLVCustomTagEditorViewController editor;
    section.setAnimationDuration(0);
    section.setContentView(&editor);
    editor.setExpandingView(&section);
    editor.setActiveFilePath(files.copyFixture(QStringLiteral("tone.mp3")));
    section.resize(width, 100);
    section.show();
    gallery.shoot(section, QStringLiteral("section-collapsed"));
    section.expand();
    gallery.shoot(section, QStringLiteral("custom-tags-empty"));

    HLVCustomTagValueArray values;
    values.append(std::make_shared<HLVCustomTagValue>(QStringLiteral("TIT3"), QStringLiteral("Recorded live in one take")));
    values.append(std::make_shared<HLVCustomTagValue>(QStringLiteral("TBPM"), QStringLiteral("120")));
    values.append(std::make_shared<HLVCustomTagValue>(QStringLiteral("TIPL"), QStringLiteral("producer")));
    editor.setCustomTagValues(values);
    gallery.shoot(section, QStringLiteral("custom-tags-normal"));
    QLineEdit* tempo = editor.cellAtRow(0)->valueTextField();
    tempo->setFocus();
    QTest::keyClicks(tempo, QStringLiteral("a"));
    gallery.shoot(section, QStringLiteral("custom-tags-invalid-number"));

    editor.addRemoveCustomTagButtonClicked();
    gallery.shoot(section, QStringLiteral("custom-tags-edit-mode"));
    QTest::keyClicks(editor.cellAtRow(3)->identifierTextField(), QStringLiteral("tbpm"));
    gallery.shoot(section, QStringLiteral("custom-tags-duplicate-identifier"));
}
