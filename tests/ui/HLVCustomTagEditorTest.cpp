#include "HLVCustomTagCellView.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVViewJobs.h"
#include "HLVCustomTagEditorViewDelegate.h"
#include "HLVExpandingView.h"
#include "HLVExpandingViewDelegate.h"
#include "HLVTestFiles.h"

#include <QLabel>
#include <QLineEdit>
#include <QAbstractButton>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

namespace {

struct EditorRecorder : HLVCustomTagEditorViewDelegate
{
    QStringList added;
    QStringList removed;
    QList<std::pair<QString, QString>> modified;
    void customTagEditorViewTagWithIdentifierAdded(HLVCustomTagEditorViewController*, const QString& identifier) override
    {
        added << identifier;
    }
    void customTagEditorViewTagWithIdentifierRemoved(HLVCustomTagEditorViewController*, const QString& identifier) override
    {
        removed << identifier;
    }
    void customTagEditorViewTagValueModified(HLVCustomTagEditorViewController*,
                                             const std::shared_ptr<HLVCustomTagValue>& value) override
    {
        modified.append({value->identifier(), value->value().value_or(QStringLiteral("<absent>"))});
    }
};

struct GrowthRecorder : HLVExpandingViewDelegate
{
    QList<double> deltas;
    void expandingViewDidExpandToSize(HLVExpandingView*, double, double delta) override { deltas << delta; }
    void expandingViewDidCollapseToSize(HLVExpandingView*, double, double delta) override { deltas << delta; }
};

// An MP3 copy whose tag holds a copyright frame, written with TagLib itself.
QString mp3WithCopyright(HLVTestFiles& files, const QString& copyright)
{
    const QString path = files.copyFixture(QStringLiteral("tone.mp3"));
    TagLib::MPEG::File file(path.toUtf8().constData());
    auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TCOP", TagLib::String::UTF8);
    frame->setText(TagLib::String(copyright.toStdString(), TagLib::String::UTF8));
    file.ID3v2Tag(true)->addFrame(frame);
    EXPECT_TRUE(file.save());
    return path;
}

HLVCustomTagCellView* rowWithIdentifier(const HLVCustomTagEditorViewController& editor, const QString& identifier)
{
    for (int row = 0; HLVCustomTagCellView* cell = editor.cellAtRow(row); ++row) {
        if (!cell->isEntryCell() && cell->tagIdentifier() == identifier)
            return cell;
    }
    return nullptr;
}

HLVCustomTagCellView* entryRow(const HLVCustomTagEditorViewController& editor)
{
    for (int row = 0; HLVCustomTagCellView* cell = editor.cellAtRow(row); ++row) {
        if (cell->isEntryCell())
            return cell;
    }
    return nullptr;
}

QColor background(const QLineEdit* field)
{
    return field->palette().color(QPalette::Base);
}

// Clicks a button where the user sees it, once the rows are laid out.
void click(QAbstractButton* button)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    ASSERT_TRUE(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
}

// Replaces a field's text by typing, as a user selecting it and typing over it would.
void typeOver(QLineEdit* field, const QString& text)
{
    field->selectAll();
    QTest::keyClicks(field, text);
}

HLVCustomTagValueArray values(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    HLVCustomTagValueArray array;
    for (const auto& [identifier, value] : pairs)
        array.append(std::make_shared<HLVCustomTagValue>(QString::fromLatin1(identifier), QString::fromUtf8(value)));
    return array;
}

class HLVCustomTagEditor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        section.setAnimationDuration(0);
        section.setDelegate(&growth);
        section.setContentView(&editor);
        editor.setExpandingView(&section);
        editor.setDelegate(&recorder);
        section.resize(480, 300);
        section.show();
        section.expand();
    }

    HLVTestFiles files;
    HLVExpandingView section{QStringLiteral("Custom Tags")};
    HLVCustomTagEditorViewController editor;
    EditorRecorder recorder;
    GrowthRecorder growth;
};

} // namespace

TEST_F(HLVCustomTagEditor, ContentHeightFollowsTheRowsAndTheMode)
{
    EXPECT_EQ(editor.contentHeight(), 29);
    EXPECT_EQ(editor.height(), 29);
    const double openHeight = section.height();

    editor.setCustomTagValues(values({{"TXXX", "one"}, {"TCOP", "two"}}));
    click(editor.addRemoveCustomTagButton());
    EXPECT_EQ(editor.addRemoveCustomTagButton()->text(), QStringLiteral("Confirm"));
    EXPECT_EQ(editor.contentHeight(), 142) << "two rows and the entry row";
    EXPECT_EQ(editor.height(), 142);
    EXPECT_EQ(section.height(), openHeight + 113);
    EXPECT_EQ(growth.deltas.mid(growth.deltas.size() - 2), (QList<double>{78, 35}));
    // Sorted by identifier, the entry row last, each removable but the entry row.
    EXPECT_EQ(editor.cellAtRow(0)->tagIdentifier(), QStringLiteral("TCOP"));
    EXPECT_EQ(editor.cellAtRow(1)->tagIdentifier(), QStringLiteral("TXXX"));
    EXPECT_TRUE(editor.cellAtRow(2)->isEntryCell());
    EXPECT_TRUE(editor.cellAtRow(0)->removeButton()->isVisible());
    EXPECT_FALSE(editor.cellAtRow(2)->removeButton()->isVisible());
    EXPECT_TRUE(editor.cellAtRow(2)->hintLabel()->isVisible());

    click(editor.addRemoveCustomTagButton());
    EXPECT_EQ(editor.addRemoveCustomTagButton()->text(), QStringLiteral("Add/Remove Custom Tags"));
    EXPECT_EQ(editor.contentHeight(), 2 * 35 + 37);
    EXPECT_EQ(editor.cellAtRow(2), nullptr);
    EXPECT_TRUE(editor.cellAtRow(0)->valueTextField()->isVisible());
    EXPECT_FALSE(editor.cellAtRow(0)->identifierTextField()->isVisible());
}

TEST_F(HLVCustomTagEditor, TypedIdentifiersAreCheckedCutAndFilledFromTheFile)
{
    const QString path = mp3WithCopyright(files, QStringLiteral("© 2026 Cadrelle"));
    editor.setActiveFilePath(path);
    editor.setCustomTagValues(values({{"TXXX", "one"}}));
    click(editor.addRemoveCustomTagButton());

    // Another letter case of a listed identifier is refused; a fifth character is cut off.
    QLineEdit* entry = entryRow(editor)->identifierTextField();
    QTest::keyClicks(entry, QStringLiteral("txxxy"));
    EXPECT_EQ(entry->text(), QStringLiteral("txxx"));
    EXPECT_EQ(background(entry), HLVCustomTagCellView::errorColor());
    EXPECT_TRUE(recorder.added.isEmpty());
    EXPECT_EQ(editor.customTagValues().size(), 1);

    // A tag the file already holds comes with the file's text, read on a worker.
    typeOver(entry, QStringLiteral("TCOP"));
    HLVViewJobs::waitForAll(30000);
    EXPECT_EQ(recorder.added, QStringList{QStringLiteral("TCOP")});
    HLVCustomTagCellView* copyright = rowWithIdentifier(editor, QStringLiteral("TCOP"));
    ASSERT_NE(copyright, nullptr);
    EXPECT_EQ(copyright->tagValue(), QStringLiteral("© 2026 Cadrelle"));
    EXPECT_EQ(entryRow(editor)->identifierTextField()->text(), QString());
    EXPECT_EQ(section.focusWidget(), entryRow(editor)->identifierTextField()) << "ready for the next identifier";
    for (int row = 0; HLVCustomTagCellView* cell = editor.cellAtRow(row); ++row)
        EXPECT_EQ(background(cell->identifierTextField()), cell->normalColor()) << "row " << row;

    // A tag the file lacks starts empty.
    typeOver(entryRow(editor)->identifierTextField(), QStringLiteral("TIT3"));
    EXPECT_EQ(rowWithIdentifier(editor, QStringLiteral("TIT3"))->tagValue(), QString());
    EXPECT_EQ(recorder.added, (QStringList{QStringLiteral("TCOP"), QStringLiteral("TIT3")}));

    // Too short an identifier is marked, not taken.
    typeOver(entryRow(editor)->identifierTextField(), QStringLiteral("AB"));
    EXPECT_EQ(background(entryRow(editor)->identifierTextField()), HLVCustomTagCellView::errorColor());
    EXPECT_EQ(editor.customTagValues().size(), 3);
}

TEST_F(HLVCustomTagEditor, TheIdentifierListTagIsNeverReported)
{
    editor.setActiveFilePath(files.copyFixture(QStringLiteral("tone.mp3")));
    const HLVCustomTagValueArray given = values({{"CTIS", "TXXX,"}, {"TXXX", "x"}});
    editor.setCustomTagValues(given);
    click(editor.addRemoveCustomTagButton());

    typeOver(rowWithIdentifier(editor, QStringLiteral("CTIS"))->identifierTextField(), QStringLiteral("ZZZZ"));
    EXPECT_EQ(section.focusWidget(), rowWithIdentifier(editor, QStringLiteral("ZZZZ"))->identifierTextField())
        << "typing goes on in the renamed row wherever the sorting put it";
    typeOver(rowWithIdentifier(editor, QStringLiteral("TXXX"))->identifierTextField(), QStringLiteral("ctis"));
    EXPECT_EQ(recorder.removed, QStringList{QStringLiteral("TXXX")});
    EXPECT_EQ(recorder.added, QStringList{QStringLiteral("ZZZZ")});

    click(rowWithIdentifier(editor, QStringLiteral("ctis"))->removeButton());
    click(rowWithIdentifier(editor, QStringLiteral("ZZZZ"))->removeButton());
    EXPECT_EQ(recorder.removed, (QStringList{QStringLiteral("TXXX"), QStringLiteral("ZZZZ")}));
    EXPECT_TRUE(entryRow(editor) == editor.cellAtRow(0)) << "only the entry row is left";

    // Removed tags stay in the working list, marked, so a save can take them off the file.
    EXPECT_EQ(editor.customTagValues().size(), 4);
    for (const auto& value : editor.customTagValues())
        EXPECT_TRUE(value->isMarkedForRemoval()) << value->identifier().toStdString();
    EXPECT_TRUE(given.at(0)->isMarkedForRemoval());
}

TEST_F(HLVCustomTagEditor, ValuesAreCheckedAgainstTheCatalogueAndAlwaysReported)
{
    editor.setActiveFilePath(files.copyFixture(QStringLiteral("tone.mp3")));
    editor.setCustomTagValues(values({{"TBPM", ""}, {"TIPL", "producer"}, {"ABCD", "free"}}));

    QLineEdit* tempo = rowWithIdentifier(editor, QStringLiteral("TBPM"))->valueTextField();
    QTest::keyClicks(tempo, QStringLiteral("12"));
    EXPECT_EQ(background(tempo), rowWithIdentifier(editor, QStringLiteral("TBPM"))->normalColor());
    QTest::keyClick(tempo, Qt::Key_A);
    EXPECT_EQ(background(tempo), HLVCustomTagCellView::errorColor());
    EXPECT_EQ(recorder.modified.last(), std::make_pair(QStringLiteral("TBPM"), QStringLiteral("12a")));

    // A tag outside the catalogue takes any text.
    QLineEdit* free = rowWithIdentifier(editor, QStringLiteral("ABCD"))->valueTextField();
    typeOver(free, QStringLiteral("12a"));
    EXPECT_EQ(background(free), rowWithIdentifier(editor, QStringLiteral("ABCD"))->normalColor());
    EXPECT_EQ(recorder.modified.last(), std::make_pair(QStringLiteral("ABCD"), QStringLiteral("12a")));
    EXPECT_FALSE(rowWithIdentifier(editor, QStringLiteral("TIPL"))->valueTextField()->isEnabled())
        << "the catalogue does not let this one be edited";

    // A reload shows what was typed, not the value handed over.
    click(editor.addRemoveCustomTagButton());
    click(editor.addRemoveCustomTagButton());
    EXPECT_EQ(rowWithIdentifier(editor, QStringLiteral("TBPM"))->valueTextField()->text(), QStringLiteral("12a"));
}

TEST(HLVCustomTagCellView, AloneTakesAFourCharacterIdentifierAndCutsTheFifth)
{
    HLVCustomTagCellView cell;
    cell.setIsInEditMode(true);
    cell.show();
    QTest::keyClicks(cell.identifierTextField(), QStringLiteral("ABCDE"));
    EXPECT_EQ(cell.identifierTextField()->text(), QStringLiteral("ABCD"));
    EXPECT_EQ(cell.tagIdentifier(), QStringLiteral("ABCD"));
}
