// The file list's commands: adding, the context menu and what it runs on the
// selection, with their alerts.

#include "HLVFileViewController.h"
#include "HLVCommandState.h"
#include "HLVFileListModel.h"
#include "HLVFileListView.h"
#include "HLVFileSearchProxyModel.h"
#include "HLVFileView.h"
#include "HLVFileViewControllerDelegate.h"
#include "HLVFolderOpener.h"
#include "HLVRenameTrackWindowController.h"
#include "HLVSelectionCommands.h"
#include "HLVWindowActions.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTableView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QToolButton>
#include <QUuid>

namespace {

QWidget* dialogParent(QWidget* window, QWidget* fallback)
{
    return window ? window : fallback->window();
}

} // namespace

// --- adding ----------------------------------------------------------------------------------

void HLVFileViewController::addFilesWithDialog()
{
    if (!_fileManager || _fileDialog)
        return;
    auto* dialog = new QFileDialog(dialogParent(_fileDialogWindow, this), tr("Add Files"));
    dialog->setObjectName(QStringLiteral("addFilesDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setLabelText(QFileDialog::Accept, tr("Select"));
    dialog->setNameFilter(tr("Music files (*.mp3 *.MP3 *.m4a *.M4A *.m4p *.M4P *.flac *.FLAC)"));
    _fileDialog = dialog;
    connect(dialog, &QFileDialog::accepted, this, [this, dialog] {
        if (_fileManager)
            _fileManager->addFilesAtURLs(dialog->selectedUrls());
    });
    dialog->open();
}

void HLVFileViewController::addFolderWithDialog()
{
    if (!_fileManager || _fileDialog)
        return;
    auto* dialog = new QFileDialog(dialogParent(_fileDialogWindow, this), tr("Add Folder"));
    dialog->setObjectName(QStringLiteral("addFolderDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, tr("Select"));
    _fileDialog = dialog;
    connect(dialog, &QFileDialog::accepted, this, [this, dialog] {
        const QStringList chosen = dialog->selectedFiles();
        if (!chosen.isEmpty())
            addFolderAtPath(chosen.first());
    });
    dialog->open();
}

void HLVFileViewController::addFolderAtPath(const QString& folder)
{
    if (!_fileManager)
        return;
    displayOperationMessage(tr("Adding Files"));
    // Listing a large tree takes a while: the manager lists on a worker, and stops when it does.
    _fileManager->addFilesAndFoldersAtPaths({folder});
}

void HLVFileViewController::addFilesAndFoldersAtPaths(const QStringList& paths)
{
    if (!_fileManager)
        return;
    displayOperationMessage(tr("Adding Files"));
    _fileManager->addFilesAndFoldersAtPaths(paths);
}

// --- context menu ----------------------------------------------------------------------------

void HLVFileViewController::makeOwnActions()
{
    _ownActions = new HLVWindowActions(this);
    _ownActions->setInputsSource([this] {
        HLVCommandState::Inputs inputs;
        HLVCommandState::describeSelection(inputs, selectedRecords());
        inputs.listed = dataSourceCount();
        inputs.added = _fileManager ? _fileManager->fileListSize(HLVFileList::All) : 0;
        inputs.operation = _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
        return inputs;
    });
    const std::pair<QAction*, void (HLVFileViewController::*)()> commands[] = {
        {_ownActions->addFiles, &HLVFileViewController::addFilesWithDialog},
        {_ownActions->addFolder, &HLVFileViewController::addFolderWithDialog},
        {_ownActions->save, &HLVFileViewController::saveChangesForSelection},
        {_ownActions->revert, &HLVFileViewController::undoChangesForSelection},
        {_ownActions->downloadTags, &HLVFileViewController::downloadTagsForSelection},
        {_ownActions->removeTags, &HLVFileViewController::removeTagsFromSelection},
        {_ownActions->selectAll, &HLVFileViewController::selectAllFiles},
        {_ownActions->rename, &HLVFileViewController::renameSelectedFiles},
        {_ownActions->syncArtwork, &HLVFileViewController::syncArtwork},
        {_ownActions->removeSelection, &HLVFileViewController::removeSelectedFiles},
    };
    for (const auto& [action, slot] : commands)
        connect(action, &QAction::triggered, this, slot);
}

void HLVFileViewController::useActions(HLVWindowActions* actions)
{
    if (_actions == actions)
        return;
    if (_actions)
        _tableView->removeAction(_actions->removeSelection);
    _actions = actions;
    // Delete in the list removes the selection, as the menu and the remove button do.
    _tableView->addAction(_actions->removeSelection);
    buildContextMenu();
    _actions->refresh();
}

void HLVFileViewController::buildContextMenu()
{
    if (!_contextMenu) {
        _contextMenu = new QMenu(this);
        _contextMenu->setObjectName(QStringLiteral("fileContextMenu"));
        _openInFinderMenuItem = new QAction(tr("Show in File Browser"), this);
        _openInFinderMenuItem->setObjectName(QStringLiteral("openInFinderMenuItem"));
        connect(_openInFinderMenuItem, &QAction::triggered, this, &HLVFileViewController::openSelectionInFileBrowser);
    }
    _contextMenu->clear();
    _contextMenu->addActions({_actions->downloadTags, _actions->save, _actions->revert});
    _contextMenu->addSeparator();
    _contextMenu->addActions({_actions->removeTags, _actions->syncArtwork, _actions->rename, _openInFinderMenuItem});
    _contextMenu->addSeparator();
    _contextMenu->addActions({_actions->addFiles, _actions->addFolder, _actions->selectAll, _actions->removeSelection});
}

void HLVFileViewController::showContextMenu(const QPoint& position)
{
    const QModelIndex clicked = _tableView->indexAt(position);
    menuNeedsUpdate(clicked.isValid() ? clicked.row() : -1);
    _contextMenu->popup(_tableView->viewport()->mapToGlobal(position));
}

void HLVFileViewController::menuNeedsUpdate(int clickedRow)
{
    const bool rowClicked = clickedRow >= 0 && clickedRow < dataSourceCount();
    // A click outside the selection selects the clicked row; while files are
    // busy that is all it does (looking is allowed).
    if (rowClicked && !_currentSelection.contains(clickedRow))
        selectRows({clickedRow});
    // The window's one rule, for the files the menu acts on.
    _actions->refresh();
    _openInFinderMenuItem->setEnabled(rowClicked);
}

// --- commands on the selection --------------------------------------------------------------

void HLVFileViewController::showAlert(const QString& message, const QString& informative, const QStringList& buttons,
                                      int escapeButton, const QString& image, std::function<void(int)> answered)
{
    auto* box = new QMessageBox(dialogParent(_fileDialogWindow, this));
    box->setObjectName(QStringLiteral("fileViewAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setText(message);
    box->setInformativeText(informative);
    box->setIconPixmap(QPixmap(QStringLiteral(":/images/%1.png").arg(image)));
    // One role for all keeps the buttons in the order given.
    QList<QAbstractButton*> added;
    for (const QString& title : buttons)
        added.append(box->addButton(title, QMessageBox::AcceptRole));
    box->setDefaultButton(qobject_cast<QPushButton*>(added.first()));
    box->setEscapeButton(added.value(escapeButton));
    connect(box, &QMessageBox::buttonClicked, this, [added, answered](QAbstractButton* button) {
        if (answered)
            answered(int(added.indexOf(button)));
    });
    box->open();
}

void HLVFileViewController::downloadTagsForSelection()
{
    if (_fileManager)
        _fileManager->identifyFiles(selectedRecords());
}

void HLVFileViewController::saveChangesForSelection()
{
    if (_delegate)
        _delegate->performSaveForCurrentSelection(this);
}

void HLVFileViewController::undoChangesForSelection()
{
    for (const auto& record : selectedRecords())
        record->undoChanges();
    refreshView();
    reportSelection();
}

void HLVFileViewController::openSelectionInFileBrowser()
{
    QStringList folders;
    for (const auto& record : selectedRecords()) {
        const QString folder = QFileInfo(record->FilePath()).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    HLVFolderOpener::openFolders(folders, dialogParent(_fileDialogWindow, this));
}

void HLVFileViewController::removeRecords(const QList<std::shared_ptr<HLVFileData>>& records)
{
    if (!_fileManager)
        return;
    _fileManager->removeFiles(records);
}

void HLVFileViewController::removeSelectedFiles()
{
    const auto records = selectedRecords();
    if (records.isEmpty() || !_fileManager)
        return;
    auto remove = [this, records] {
        const QList<int> rows = selectedRows();
        if (!rows.isEmpty())
            _requestedRemovalRow = rows.first();
        removeRecords(records);
        _currentSelection.clear();
    };
    if (!HLVFileData::areAnyFilesModified(records)) {
        remove();
        return;
    }
    showAlert(tr("Remove unsaved files?"),
              tr("One or more of the selected files have unsaved changes. Removing these files will lose "
                             "any changes that have been made."),
              {tr("Cancel"), tr("Remove")}, 0, QStringLiteral("SaveFileAlertImage"),
              [remove](int answer) {
                  if (answer == 1)
                      remove();
              });
}

void HLVFileViewController::removeTagsFromSelection()
{
    const auto records = selectedRecords();
    if (records.isEmpty())
        return;
    showAlert(tr("Remove Tags"),
              tr("This will remove all tags from the selected file(s). Once saved, the changes will not be "
                             "reversable."),
              {tr("Cancel"), tr("Remove Tags")}, 0, QStringLiteral("DetagAlertImage"),
              [this, records](int answer) {
                  if (answer != 1)
                      return;
                  HLVSelectionCommands::removeTags(this, records, _fileManager, HLVCompilationFlag::Keep, [this] {
                      refreshView();
                      reportSelection();
                  });
              });
}

void HLVFileViewController::syncArtwork()
{
    const auto records = selectedRecords();
    if (records.size() < 2) {
        showAlert(tr("Invalid Track Selection"),
                  tr("You must select at least two tracks to sync artwork. At least one track must have "
                                 "existing artwork."),
                  {tr("Dismiss")}, 0, QStringLiteral("DetagAlertImage"), nullptr);
        return;
    }
    // The first picture may have to be read from its file: on a worker.
    HLVSelectionCommands::findFirstArtwork(this, records, [this, records](const HLVSelectionCommands::Cover& cover) {
        if (!cover.source) {
            showAlert(tr("Invalid Track Selection"),
                      tr("At least one of the selected tracks must have existing artwork to sync to the "
                                     "other tracks."),
                      {tr("Dismiss")}, 0, QStringLiteral("DetagAlertImage"), nullptr);
            return;
        }
        showAlert(tr("Sync Artwork"),
                  tr("The first found artwork in the selected tracks will be applied to all other tracks "
                                 "in the selection."),
                  {tr("Sync Artwork"), tr("Cancel")}, 1, QStringLiteral("SaveFileAlertImage"),
                  [this, cover, records](int answer) {
                      if (answer == 0)
                          applyArtwork(cover, records);
                  });
    });
}

void HLVFileViewController::applyArtwork(const HLVSelectionCommands::Cover& cover,
                                         const QList<std::shared_ptr<HLVFileData>>& records)
{
    HLVSelectionCommands::applyArtwork(this, cover, records, _fileManager, [this](bool written) {
        if (!written) {
            showAlert(tr("Sync Artwork"),
                      tr("The artwork could not be written to the temporary folder, so nothing was "
                                     "changed."),
                      {tr("Dismiss")}, 0, QStringLiteral("DetagAlertImage"), nullptr);
            return;
        }
        refreshView();
        reportSelection();
    });
}

// --- renaming ----------------------------------------------------------------------------------

void HLVFileViewController::renameSelectedFiles()
{
    if (_renameTrackWindowController || !_fileManager)
        return;
    const auto records = selectedRecords();
    if (records.isEmpty())
        return;
    auto* dialog = new HLVRenameTrackWindowController(dialogParent(_fileDialogWindow, this));
    dialog->setSelectedFiles(records);
    _renameTrackWindowController = dialog;
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        const auto chosen = dialog->selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty() && _fileManager)
            _fileManager->renameFiles(chosen, dialog->fileNameStructure());
        dialog->setSelectedFiles({});
        dialog->deleteLater();
        _renameTrackWindowController = nullptr;
    });
    dialog->open();
}
