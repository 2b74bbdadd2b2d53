#include "HLVWindowActions.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QKeySequence>

namespace {

QAction* makeAction(QObject* parent, const char* objectName, const QString& text,
                    const QKeySequence& shortcut = QKeySequence())
{
    auto* action = new QAction(text, parent);
    action->setObjectName(QLatin1String(objectName));
    action->setShortcut(shortcut);
    return action;
}

} // namespace

HLVWindowActions::HLVWindowActions(QObject* parent)
    : QObject(parent)
    , addFiles(makeAction(this, "AddFilesMenuItem", tr("Add Files…"), QKeySequence::Open))
    , addFolder(makeAction(this, "AddFolderMenuItem", tr("Add Folder…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)))
    , save(makeAction(this, "SaveSelectionMenuItem", tr("Save Selection"), QKeySequence::Save))
    // Ctrl+Z undoes the shown files' unsaved changes; a text field with the
    // focus takes the key for its own undo first.
    , revert(makeAction(this, "RevertSelectionMenuItem", tr("Revert Selection"), QKeySequence::Undo))
    , downloadTags(makeAction(this, "DownloadTagsMenuItem", tr("Download Tags"), QKeySequence(Qt::CTRL | Qt::Key_D)))
    , removeTags(makeAction(this, "RemoveTagsMenuItem", tr("Remove Tags…")))
    , selectAll(makeAction(this, "SelectAllFilesMenuItem", tr("Select All Files"), QKeySequence::SelectAll))
    , rename(makeAction(this, "RenameSelectionMenuItem", tr("Rename Selection…"), QKeySequence(Qt::CTRL | Qt::Key_R)))
    , syncArtwork(makeAction(this, "SyncArtworkMenuItem", tr("Sync Artwork…")))
    , removeSelection(makeAction(this, "RemoveSelectionMenuItem", tr("Remove Selection"), QKeySequence::Delete))
    , find(makeAction(this, "FindMenuItem", tr("Find"), QKeySequence::Find))
    , filterAll(makeAction(this, "FilterAllFilesMenuItem", tr("All Files"), QKeySequence(Qt::CTRL | Qt::Key_1)))
    , filterUntagged(makeAction(this, "FilterUntaggedFilesMenuItem", tr("Untagged Files"), QKeySequence(Qt::CTRL | Qt::Key_2)))
    , filterPartiallyTagged(makeAction(this, "FilterPartiallyTaggedFilesMenuItem", tr("Partially Tagged Files"),
                                       QKeySequence(Qt::CTRL | Qt::Key_3)))
    , filterModified(makeAction(this, "FilterModifiedFilesMenuItem", tr("Modified Files"), QKeySequence(Qt::CTRL | Qt::Key_4)))
{
    // Delete (and Backspace, as keyboards without Delete have) removes files
    // only from the list that has the focus, never while a text field is
    // being edited: the list adds the action to itself.
    removeSelection->setShortcuts({QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)});
    removeSelection->setShortcutContext(Qt::WidgetShortcut);
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (QAction* filter : filters()) {
        filter->setCheckable(true);
        group->addAction(filter);
    }
    filterAll->setChecked(true);
    apply(_state);
}

HLVCommandState HLVWindowActions::refresh()
{
    const HLVCommandState state = HLVCommandState::forInputs(_source ? _source() : HLVCommandState::Inputs());
    apply(state);
    return state;
}

void HLVWindowActions::apply(const HLVCommandState& state)
{
    _state = state;
    addFiles->setEnabled(state.addFiles);
    addFolder->setEnabled(state.addFiles);
    save->setEnabled(state.save);
    revert->setEnabled(state.revert);
    downloadTags->setEnabled(state.downloadTags);
    removeTags->setEnabled(state.removeTags);
    selectAll->setEnabled(state.selectAll);
    rename->setEnabled(state.rename);
    syncArtwork->setEnabled(state.syncArtwork);
    removeSelection->setEnabled(state.removeSelection);
    for (QAction* filter : filters())
        filter->setEnabled(state.filters);
}

void HLVWindowActions::bindButton(QAbstractButton* button, QAction* action, bool triggers)
{
    button->setEnabled(action->isEnabled());
    connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    if (triggers)
        connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
}
