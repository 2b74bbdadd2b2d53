// The file list's commands: adding, the context menu and what it runs on the
// selection, with their alerts.

#include "HLVFileViewController.h"
#include "HLVFileListModel.h"
#include "HLVFileSearchProxyModel.h"
#include "HLVFileView.h"
#include "HLVFileViewControllerDelegate.h"
#include "HLVRenameTrackWindowController.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
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

// A record's first read of its tags tells the manager "loaded", which takes
// the record off the modified list; read them before changing anything, so a
// later first read (the editor showing the file) cannot drop unsaved changes
// from that list.
void loadBeforeChanging(const std::shared_ptr<HLVFileData>& record)
{
    if (!record->isLoaded())
        record->InitialTagMap();
}

} // namespace

// --- adding ----------------------------------------------------------------------------------

void HLVFileViewController::addFilesWithDialog()
{
    if (!_fileManager || _fileDialog)
        return;
    auto* dialog = new QFileDialog(dialogParent(_fileDialogWindow, this), QStringLiteral("Add Files"));
    dialog->setObjectName(QStringLiteral("addFilesDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
    dialog->setNameFilter(QStringLiteral("Music files (*.mp3 *.MP3 *.m4a *.M4A *.m4p *.M4P *.flac *.FLAC)"));
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
    auto* dialog = new QFileDialog(dialogParent(_fileDialogWindow, this), QStringLiteral("Add Folder"));
    dialog->setObjectName(QStringLiteral("addFolderDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Select"));
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
    displayOperationMessage(QStringLiteral("Adding Files"));
    // Listing a large tree takes a while: the manager lists on a worker, and stops when it does.
    _fileManager->addFilesAndFoldersAtPaths({folder});
}

void HLVFileViewController::addFilesAndFoldersAtPaths(const QStringList& paths)
{
    if (!_fileManager)
        return;
    displayOperationMessage(QStringLiteral("Adding Files"));
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
    _downloadTagsMenuItem = addContextItem(QStringLiteral("downloadTagsMenuItem"), QStringLiteral("Download Tags"),
                                           &HLVFileViewController::downloadTagsForSelection);
    _saveChangesMenuItem = addContextItem(QStringLiteral("saveChangesMenuItem"), QStringLiteral("Save Changes"),
                                          &HLVFileViewController::saveChangesForSelection);
    _undoChangesMenuItem = addContextItem(QStringLiteral("undoChangesMenuItem"), QStringLiteral("Undo Changes"),
                                          &HLVFileViewController::undoChangesForSelection);
    _contextMenu->addSeparator();
    _removeTagsMenuItem = addContextItem(QStringLiteral("removeTagsMenuItem"), QStringLiteral("Remove Tags…"),
                                         &HLVFileViewController::removeTagsFromSelection);
    _mergeArtworkMenuItem = addContextItem(QStringLiteral("mergeArtworkMenuItem"), QStringLiteral("Sync Artwork…"),
                                           &HLVFileViewController::syncArtwork);
    _renameSelectionMenuItem = addContextItem(QStringLiteral("renameSelectionMenuItem"), QStringLiteral("Rename…"),
                                              &HLVFileViewController::renameSelectedFiles);
    _openInFinderMenuItem = addContextItem(QStringLiteral("openInFinderMenuItem"),
                                           QStringLiteral("Show in File Browser"),
                                           &HLVFileViewController::openSelectionInFileBrowser);
    _contextMenu->addSeparator();
    _addFilesMenuItem = addContextItem(QStringLiteral("addFilesMenuItem"), QStringLiteral("Add Files…"),
                                       &HLVFileViewController::addFilesWithDialog);
    _addFolderMenuItem = addContextItem(QStringLiteral("addFolderMenuItem"), QStringLiteral("Add Folder…"),
                                        &HLVFileViewController::addFolderWithDialog);
    _selectAllMenuItem = addContextItem(QStringLiteral("selectAllMenuItem"), QStringLiteral("Select All"),
                                        &HLVFileViewController::selectAllFiles);
    _removeSelectionMenuItem = addContextItem(QStringLiteral("removeSelectionMenuItem"),
                                              QStringLiteral("Remove Selection"),
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
    for (QAction* item : _contextMenu->actions())
        item->setEnabled(false);
    const bool rowClicked = clickedRow >= 0 && clickedRow < dataSourceCount();
    if (operationRunning()) {
        // Only looking is allowed while the files are busy.
        if (rowClicked && !_currentSelection.contains(clickedRow))
            selectRows({clickedRow});
    } else {
        _removeSelectionMenuItem->setEnabled(true);
        _downloadTagsMenuItem->setEnabled(true);
        _removeTagsMenuItem->setEnabled(true);
        _addFilesMenuItem->setEnabled(true);
        _addFolderMenuItem->setEnabled(true);
        if (rowClicked && _currentSelection.contains(clickedRow)) {
            const bool modified = HLVFileData::areAnyFilesModified(selectedRecords());
            _saveChangesMenuItem->setEnabled(modified);
            _undoChangesMenuItem->setEnabled(modified);
        } else if (rowClicked) {
            selectRows({clickedRow});
            const auto record = _model->recordAt(_proxy->mapToSource(_proxy->index(clickedRow, 0)).row());
            const bool modified = record && record->IsModified();
            _saveChangesMenuItem->setEnabled(modified);
            _undoChangesMenuItem->setEnabled(modified);
        }
        const bool anySelected = !_currentSelection.isEmpty();
        _renameSelectionMenuItem->setEnabled(anySelected);
        _mergeArtworkMenuItem->setEnabled(anySelected);
        _selectAllMenuItem->setEnabled(dataSourceCount() > 0 && _tableView->isVisible());
    }
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
    for (QAbstractButton* button : std::as_const(added)) {
        if (button->text() == QLatin1String("Cancel") || button->text() == QLatin1String("Dismiss"))
            box->setEscapeButton(button);
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
    showAlert(QStringLiteral("Remove unsaved files?"),
              QStringLiteral("One or more of the selected files have unsaved changes. Removing these files will lose "
                             "any changes that have been made."),
              {QStringLiteral("Cancel"), QStringLiteral("Remove")}, QStringLiteral("SaveFileAlertImage"),
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
    showAlert(QStringLiteral("Remove Tags"),
              QStringLiteral("This will remove all tags from the selected file(s). Once saved, the changes will not be "
                             "reversable."),
              {QStringLiteral("Cancel"), QStringLiteral("Remove Tags")}, QStringLiteral("DetagAlertImage"),
              [this, records](int answer) {
                  if (answer != 1)
                      return;
                  for (const auto& record : records) {
                      loadBeforeChanging(record);
                      record->removeTags();
                      if (_fileManager)
                          _fileManager->fileWasModified(record);
                  }
                  refreshView();
                  reportSelection();
              });
}

void HLVFileViewController::syncArtwork()
{
    const auto records = selectedRecords();
    if (records.size() < 2) {
        showAlert(QStringLiteral("Invalid Track Selection"),
                  QStringLiteral("You must select at least two tracks to sync artwork. At least one track must have "
                                 "existing artwork."),
                  {QStringLiteral("Dismiss")}, QStringLiteral("DetagAlertImage"), nullptr);
        return;
    }
    QImage image;
    for (const auto& record : records) {
        const auto pending = record->existingVirtualTagMap();
        const HLVArtwork artwork = pending && !pending->Artwork().isNull() ? pending->Artwork()
                                                                           : record->InitialTagMap()->Artwork();
        image = artwork.image();
        if (!image.isNull())
            break;
    }
    if (image.isNull()) {
        showAlert(QStringLiteral("Invalid Track Selection"),
                  QStringLiteral("At least one of the selected tracks must have existing artwork to sync to the other "
                                 "tracks."),
                  {QStringLiteral("Dismiss")}, QStringLiteral("DetagAlertImage"), nullptr);
        return;
    }
    showAlert(QStringLiteral("Sync Artwork"),
              QStringLiteral("The first found artwork in the selected tracks will be applied to all other tracks in the "
                             "selection."),
              {QStringLiteral("Sync Artwork"), QStringLiteral("Cancel")}, QStringLiteral("SaveFileAlertImage"),
              [this, image, records](int answer) {
                  if (answer == 0)
                      applyArtwork(image, records);
              });
}

void HLVFileViewController::applyArtwork(const QImage& image, const QList<std::shared_ptr<HLVFileData>>& records)
{
    const QString folder = QDir::tempPath() + QStringLiteral("/CRArtwork");
    QString path;
    do {
        path = folder + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".jpg");
    } while (QFileInfo::exists(path));
    if (!QDir().mkpath(folder) || !image.save(path, "JPG", 100)) {
        showAlert(QStringLiteral("Sync Artwork"),
                  QStringLiteral("The artwork could not be written to the temporary folder, so nothing was changed."),
                  {QStringLiteral("Dismiss")}, QStringLiteral("DetagAlertImage"), nullptr);
        return;
    }
    for (const auto& record : records) {
        loadBeforeChanging(record);
        record->editVirtualTagMap([&](HLVTagMap& map) {
            map.setArtworkImage(image);
            map.setArtworkState(HLVArtworkStateChosen);
            map.setArtworkAttempted(true);
            map.setArtworkPath(path);
        });
        record->forceIsModified();
        if (_fileManager)
            _fileManager->fileWasModified(record);
    }
    refreshView();
    reportSelection();
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
