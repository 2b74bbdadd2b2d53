// The file list's commands: adding, the context menu and what it runs on the
// selection, with their alerts.

#include "HLVFileViewController.h"
#include "HLVCommandState.h"
#include "HLVFileListModel.h"
#include "HLVFileListView.h"
#include "HLVFileSearchProxyModel.h"
#include "HLVFileView.h"
#include "HLVFileViewControllerDelegate.h"
#include "HLVRenameTrackWindowController.h"
#include "HLVSelectionCommands.h"

#include <QDesktopServices>
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

QAction* HLVFileViewController::addContextItem(const QString& objectName, const QString& text,
                                               void (HLVFileViewController::*slot)())
{
    QAction* item = _contextMenu->addAction(text);
    item->setObjectName(objectName);
    // The menu's own state decides; it is set each time the menu opens.
    connect(item, &QAction::triggered, this, slot);
    return item;
}

void HLVFileViewController::buildContextMenu()
{
    _contextMenu = new QMenu(this);
    _contextMenu->setObjectName(QStringLiteral("fileContextMenu"));
    _downloadTagsMenuItem = addContextItem(QStringLiteral("downloadTagsMenuItem"), tr("Download Tags"),
                                           &HLVFileViewController::downloadTagsForSelection);
    _saveChangesMenuItem = addContextItem(QStringLiteral("saveChangesMenuItem"), tr("Save Changes"),
                                          &HLVFileViewController::saveChangesForSelection);
    _undoChangesMenuItem = addContextItem(QStringLiteral("undoChangesMenuItem"), tr("Undo Changes"),
                                          &HLVFileViewController::undoChangesForSelection);
    _contextMenu->addSeparator();
    _removeTagsMenuItem = addContextItem(QStringLiteral("removeTagsMenuItem"), tr("Remove Tags…"),
                                         &HLVFileViewController::removeTagsFromSelection);
    _mergeArtworkMenuItem = addContextItem(QStringLiteral("mergeArtworkMenuItem"), tr("Sync Artwork…"),
                                           &HLVFileViewController::syncArtwork);
    _renameSelectionMenuItem = addContextItem(QStringLiteral("renameSelectionMenuItem"), tr("Rename…"),
                                              &HLVFileViewController::renameSelectedFiles);
    _openInFinderMenuItem = addContextItem(QStringLiteral("openInFinderMenuItem"),
                                           tr("Show in File Browser"),
                                           &HLVFileViewController::openSelectionInFileBrowser);
    _contextMenu->addSeparator();
    _addFilesMenuItem = addContextItem(QStringLiteral("addFilesMenuItem"), tr("Add Files…"),
                                       &HLVFileViewController::addFilesWithDialog);
    _addFolderMenuItem = addContextItem(QStringLiteral("addFolderMenuItem"), tr("Add Folder…"),
                                        &HLVFileViewController::addFolderWithDialog);
    _selectAllMenuItem = addContextItem(QStringLiteral("selectAllMenuItem"), tr("Select All"),
                                        &HLVFileViewController::selectAllFiles);
    _removeSelectionMenuItem = addContextItem(QStringLiteral("removeSelectionMenuItem"),
                                              tr("Remove Selection"),
                                              &HLVFileViewController::removeSelectedFiles);
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
    // The menus' rule, for the files the menu acts on.
    HLVCommandState::Inputs inputs;
    HLVCommandState::describeSelection(inputs, selectedRecords());
    inputs.listed = dataSourceCount();
    inputs.added = _fileManager ? _fileManager->fileListSize(HLVFileList::All) : 0;
    inputs.operation = _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
    const HLVCommandState state = HLVCommandState::forInputs(inputs);
    _removeSelectionMenuItem->setEnabled(state.removeSelection);
    _downloadTagsMenuItem->setEnabled(state.downloadTags);
    _removeTagsMenuItem->setEnabled(state.removeTags);
    _addFilesMenuItem->setEnabled(state.addFiles);
    _addFolderMenuItem->setEnabled(state.addFiles);
    _saveChangesMenuItem->setEnabled(state.save);
    _undoChangesMenuItem->setEnabled(state.revert);
    _renameSelectionMenuItem->setEnabled(state.rename);
    _mergeArtworkMenuItem->setEnabled(state.syncArtwork);
    _selectAllMenuItem->setEnabled(state.selectAll && _tableView->isVisible());
    _openInFinderMenuItem->setEnabled(rowClicked);
}

// --- commands on the selection --------------------------------------------------------------

void HLVFileViewController::showAlert(const QString& message, const QString& informative, const QStringList& buttons,
                                      const QString& image, std::function<void(int)> answered)
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
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        if (buttons[i] == tr("Cancel") || buttons[i] == tr("Dismiss"))
            box->setEscapeButton(added[i]);
    }
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
    for (const QString& folder : std::as_const(folders))
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
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
              {tr("Cancel"), tr("Remove")}, QStringLiteral("SaveFileAlertImage"),
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
              {tr("Cancel"), tr("Remove Tags")}, QStringLiteral("DetagAlertImage"),
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
                  {tr("Dismiss")}, QStringLiteral("DetagAlertImage"), nullptr);
        return;
    }
    // The first picture may have to be read from its file: on a worker.
    HLVSelectionCommands::findFirstArtwork(this, records, [this, records](const HLVSelectionCommands::Cover& cover) {
        if (!cover.source) {
            showAlert(tr("Invalid Track Selection"),
                      tr("At least one of the selected tracks must have existing artwork to sync to the "
                                     "other tracks."),
                      {tr("Dismiss")}, QStringLiteral("DetagAlertImage"), nullptr);
            return;
        }
        showAlert(tr("Sync Artwork"),
                  tr("The first found artwork in the selected tracks will be applied to all other tracks "
                                 "in the selection."),
                  {tr("Sync Artwork"), tr("Cancel")}, QStringLiteral("SaveFileAlertImage"),
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
                      {tr("Dismiss")}, QStringLiteral("DetagAlertImage"), nullptr);
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
