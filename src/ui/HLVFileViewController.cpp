#include "HLVFileViewController.h"
#include "HLVWindowActions.h"
#include "HLVFileListModel.h"
#include "HLVFileListView.h"
#include "HLVFileManagerBridge.h"
#include "HLVFileSearchProxyModel.h"
#include "HLVFileView.h"
#include "HLVFileViewControllerDelegate.h"
#include "HLVFileViewTableCell.h"
#include "HLVRenameTrackWindowController.h"
#include "HLVViewJobs.h"

#include <QScopedValueRollback>
#include <QAction>
#include <QItemSelection>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

HLVFileViewController::HLVFileViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("HLVFileViewController"));
    buildInterface();
    makeOwnActions();
    useActions(_ownActions);
}

HLVFileViewController::~HLVFileViewController() = default;

void HLVFileViewController::setDelegate(HLVFileViewControllerDelegate* delegate)
{
    _delegate = delegate;
    if (_bridge)
        _bridge->disconnect(this);
    _bridge.reset();
    _fileManager = delegate ? delegate->fileViewFileManagerSource() : nullptr;
    if (_fileManager) {
        _bridge = HLVFileManagerBridge::forManager(_fileManager);
        connect(_bridge.get(), &HLVFileManagerBridge::operationStarted, this, &HLVFileViewController::fileOperationDidStart);
        connect(_bridge.get(), &HLVFileManagerBridge::operationFinished, this,
                &HLVFileViewController::fileOperationDidFinish);
        connect(_bridge.get(), &HLVFileManagerBridge::recordsChanged, this, &HLVFileViewController::recordsChanged);
        connect(_bridge.get(), &HLVFileManagerBridge::listsChanged, this, &HLVFileViewController::scheduleReload);
        connect(_bridge.get(), &HLVFileManagerBridge::recordsLoaded, this, &HLVFileViewController::recordsLoaded);
    }
    _dataSource = HLVFileList::All;
    _shownRevision = kNoRevision; // another manager's revisions
    if (_delegate)
        _delegate->fileViewDataSourceChanged(this, _dataSource);
    _fileDialogWindow = _delegate ? _delegate->windowToDisplayFileViewDialogs() : nullptr;
    HLVWindowActions* shared = _delegate ? _delegate->fileViewWindowActions() : nullptr;
    useActions(shared ? shared : _ownActions);
    reloadFileTableView();
    updateFileCountLabel();
}

// --- filters -------------------------------------------------------------------------------

void HLVFileViewController::changeFilter(HLVFileList list, int item)
{
    for (int i = 0; i < _filterItems.size(); ++i)
        _filterItems[i]->setChecked(i == item);
    if ((list == HLVFileList::Untagged || list == HLVFileList::PartiallyTagged) && _fileManager)
        _fileManager->refreshFilters();
    _dataSource = list;
    if (_delegate)
        _delegate->fileViewDataSourceChanged(this, _dataSource);
    reloadFileTableView();
    _tableView->scrollToTop();
    updateFileCountLabel();
}

void HLVFileViewController::changeFilterToAll() { changeFilter(HLVFileList::All, 0); }
void HLVFileViewController::changeFilterToNoTags() { changeFilter(HLVFileList::Untagged, 1); }
void HLVFileViewController::changeFilterToPartial() { changeFilter(HLVFileList::PartiallyTagged, 2); }
void HLVFileViewController::changeFilterToModified() { changeFilter(HLVFileList::Modified, 3); }

void HLVFileViewController::enableFilterMenu(bool enabled)
{
    for (QAction* item : std::as_const(_filterItems))
        item->setEnabled(enabled);
}

// --- display -------------------------------------------------------------------------------

QTableView* HLVFileViewController::tableView() const
{
    return _tableView;
}

int HLVFileViewController::dataSourceCount() const
{
    return _proxy->rowCount();
}

QList<std::shared_ptr<HLVFileData>> HLVFileViewController::shownRecords() const
{
    return _proxy->shownRecords();
}

void HLVFileViewController::updateFileCountLabel()
{
    const int count = dataSourceCount();
    if (count == 0)
        _fileCountLabel->setText(_tableShown ? tr("None Found") : tr("No Files Added"));
    else if (count == 1)
        _fileCountLabel->setText(tr("%n File", nullptr, 1));
    else
        _fileCountLabel->setText(tr("%n Files", nullptr, int(count)));
}

void HLVFileViewController::refreshView()
{
    reloadFileTableView();
    updateFileCountLabel();
}

void HLVFileViewController::scheduleReload()
{
    // A batch of per-file notices becomes one reload.
    if (_reloadScheduled)
        return;
    _reloadScheduled = true;
    QTimer::singleShot(0, this, [this] {
        if (_reloadScheduled)
            refreshView();
    });
}

void HLVFileViewController::reloadFileTableView()
{
    reload(true);
}

void HLVFileViewController::setTableShown(bool shown)
{
    _tableShown = shown;
    // Filtering and renaming keep the rows out of sight until they end.
    _tableView->setVisible(shown && _cancelButton->isHidden());
    _emptyListLabel->setVisible(!shown);
}

void HLVFileViewController::reload(bool reportSelectionChange)
{
    _reloadScheduled = false;
    // Most list changes (a save emptying the modified list) leave the rows
    // shown as they are. The list's revision tells without a copy of it, and
    // the selection work below, which grows with the rows, is left out: a
    // save of thousands of selected files changes the lists as often.
    if (_fileManager && _tableShown && _shownList == _dataSource
        && _shownRevision == _fileManager->fileListRevision(_dataSource)) {
        if (!_currentSelection.isEmpty())
            _removeButton->setEnabled(_addButton->isEnabled());
        return;
    }
    quint64 allRevision = 0;
    const auto all = _fileManager ? _fileManager->fileList(HLVFileList::All, &allRevision)
                                  : QList<std::shared_ptr<HLVFileData>>();
    if (!_tableShown && !all.isEmpty()) {
        setTableShown(true);
        enableFilterMenu(true);
    } else if (_tableShown && all.isEmpty()) {
        _dataSource = HLVFileList::All;
        if (_delegate)
            _delegate->fileViewDataSourceChanged(this, _dataSource);
        setTableShown(false);
        for (int i = 0; i < _filterItems.size(); ++i)
            _filterItems[i]->setChecked(i == 0);
        enableFilterMenu(false);
    }

    // Keep the selected records selected wherever they move.
    const auto selected = selectedRecords();
    _reloading = true;
    quint64 revision = allRevision;
    const bool replaced = _model->setRecords(
        _dataSource == HLVFileList::All || !_fileManager ? all : _fileManager->fileList(_dataSource, &revision), all);
    _shownList = _dataSource;
    _shownRevision = _fileManager ? revision : kNoRevision;
    if (replaced && !selected.isEmpty()) {
        const auto rowOf = HLVFileListModel::rowsByRecord(_model->records());
        QList<int> rows;
        for (const auto& record : selected) {
            const auto found = rowOf.constFind(record.get());
            if (found == rowOf.constEnd())
                continue;
            const int row = _proxy->mapFromSource(_model->index(*found, 0)).row();
            if (row >= 0)
                rows.append(row);
        }
        selectRows(rows);
    }
    _reloading = false;
    if (replaced && _proxy->isSearching())
        _searchPause->start(); // new records' texts
    if (replaced)
        scheduleColumnReads();
    if (!_currentSelection.isEmpty())
        _removeButton->setEnabled(_addButton->isEnabled());
    // Not QList's ==: Qt 6.4 hands memcmp a null pointer for an empty list.
    if (reportSelectionChange && !std::ranges::equal(selectedRows(), _currentSelection))
        displaySelectionInEditor();
}

void HLVFileViewController::displayOperationMessage(const QString& message)
{
    _addButton->setEnabled(false);
    _addFolderButton->setEnabled(false);
    _removeButton->setEnabled(false);
    _progressLabel->setText(message);
    _operationMessage = message;
    _progressIndicator->setRange(0, 0); // busy
    _progressStrip->setVisible(true);
}

void HLVFileViewController::clearOperationMessage(const QString& message)
{
    // The message as given, not as shown: a translation may show it otherwise.
    if (_operationMessage != message)
        return;
    _operationMessage.clear();
    _progressStrip->setVisible(false);
    _addButton->setEnabled(true);
    _addFolderButton->setEnabled(true);
    _removeButton->setEnabled(!_currentSelection.isEmpty());
    _progressLabel->setText(tr("Complete"));
    _progressIndicator->setRange(0, 1);
}

bool HLVFileViewController::canAddFiles() const
{
    return _fileManager && _addButton->isEnabled();
}

// --- file manager notices --------------------------------------------------------------------

void HLVFileViewController::fileOperationDidStart(int operation)
{
    _actions->refresh();
    _removeButton->setEnabled(false);
    switch (operation) {
    case HLVFileOperationAdding:
        displayOperationMessage(tr("Adding Files"));
        break;
    case HLVFileOperationRemoving: {
        // The list may reload before the finish; remember where the selection stood.
        // A reload can also come before this notice, so a removal asked for here
        // keeps the row it was asked with.
        const QList<int> selected = selectedRows();
        _removalRow = _requestedRemovalRow.value_or(selected.isEmpty() ? 0 : selected.first());
        _requestedRemovalRow.reset();
        displayOperationMessage(tr("Removing Files"));
        break;
    }
    case HLVFileOperationSaving:
        displayOperationMessage(tr("Saving Changes"));
        break;
    case HLVFileOperationFiltering:
        displayOperationMessage(tr("Applying filter..."));
        _cancelButton->setVisible(true);
        _tableView->setVisible(false);
        break;
    case HLVFileOperationRenaming:
        displayOperationMessage(tr("Renaming Files"));
        _cancelButton->setVisible(true);
        _tableView->setVisible(false);
        break;
    default:
        break;
    }
    if (operation >= HLVFileOperationSaving && operation <= HLVFileOperationFiltering)
        enableFilterMenu(false);
}

void HLVFileViewController::fileOperationDidFinish(int operation)
{
    reload(false);
    _actions->refresh();
    switch (operation) {
    case HLVFileOperationAdding:
        clearOperationMessage(tr("Adding Files"));
        scheduleColumnReads(); // held back while the files were added
        // New rows may have moved the selected ones.
        _currentSelection = selectedRows();
        reportSelection();
        break;
    case HLVFileOperationRemoving: {
        clearOperationMessage(tr("Removing Files"));
        const int rows = dataSourceCount();
        if (rows > 0) {
            selectRows({std::min(_removalRow, rows - 1)});
            displaySelectionInEditor();
        } else {
            _tableView->selectionModel()->clearSelection();
            _currentSelection.clear();
            _currentFileData.reset();
            if (_delegate)
                _delegate->fileViewSelectionChanged(this, {}, shownRecords());
        }
        break;
    }
    case HLVFileOperationSaving:
        clearOperationMessage(tr("Saving Changes"));
        break;
    case HLVFileOperationFiltering:
    case HLVFileOperationRenaming:
        clearOperationMessage(operation == HLVFileOperationFiltering ? tr("Applying filter...")
                                                                     : tr("Renaming Files"));
        _cancelButton->setVisible(false);
        _tableView->setVisible(_tableShown);
        break;
    default:
        break;
    }
    // Not QList's ==: Qt 6.4 hands memcmp a null pointer for an empty list.
    if (operation != HLVFileOperationAdding && operation != HLVFileOperationRemoving
        && !std::ranges::equal(selectedRows(), _currentSelection))
        displaySelectionInEditor();
    if (operation >= HLVFileOperationSaving && operation <= HLVFileOperationFiltering)
        enableFilterMenu(_fileManager && !_fileManager->FileDataArray().isEmpty());
    updateFileCountLabel();
}

bool HLVFileViewController::isSearchPending() const
{
    return _searchPause->isActive() || _searchTexts->isBusy();
}

void HLVFileViewController::applySearch()
{
    const QString text = _searchField->text();
    const QList<std::shared_ptr<HLVFileData>> missing =
        text.trimmed().isEmpty() ? QList<std::shared_ptr<HLVFileData>>() : _proxy->recordsWithoutText();
    if (!missing.isEmpty()) {
        // Records whose text is not known yet are read on a worker first.
        _searchTexts->start([this, missing](const std::atomic<bool>& cancelled) -> HLVViewJobs::Apply {
            auto texts = HLVFileSearchProxyModel::searchableTextsOf(missing, cancelled);
            if (!texts)
                return {};
            return [this, texts = std::move(*texts)] {
                _proxy->addTexts(texts);
                applySearch();
            };
        });
        return;
    }
    _searchTexts->cancel();
    {
        // The selection is reported once the rows are filtered, not while
        // thousands of them are on their way out.
        const QScopedValueRollback filtering(_reloading, true);
        _proxy->setSearchText(text);
    }
    updateFileCountLabel();
    displaySelectionInEditor();
}

void HLVFileViewController::recordsChanged(const HLVRecordChanges& changes)
{
    // Only the rows of the records that changed are painted again; which
    // records a list holds changes through listsChanged.
    for (const auto& record : changes.records())
        _proxy->forgetRecord(record.get());
    _model->refreshRecords(changes.records());
    if (_proxy->isSearching())
        _searchPause->start();
    // A renamed file moves to its new place in the sorted list.
    if (changes.count(HLVFileDataChangeRenamed) > 0)
        scheduleReload();
}

// --- selection -------------------------------------------------------------------------------

QList<int> HLVFileViewController::selectedRows() const
{
    // Whole rows are selected, so the ranges tell the rows. The model's own
    // selectedRows() asks every cell of every row whether it can be selected:
    // with 20,000 rows selected that held the window for a tenth of a second.
    QList<int> rows;
    const QItemSelection selection = _tableView->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QList<std::shared_ptr<HLVFileData>> HLVFileViewController::selectedRecords() const
{
    QList<std::shared_ptr<HLVFileData>> records;
    const QList<int> rows = selectedRows();
    records.reserve(rows.size());
    for (int row : rows) {
        if (auto record = _model->recordAt(_proxy->mapToSource(_proxy->index(row, 0)).row()))
            records.append(std::move(record));
    }
    return records;
}

void HLVFileViewController::selectRows(const QList<int>& rows)
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    // Runs of rows become ranges, so selecting thousands of rows stays cheap.
    QItemSelection selection;
    for (qsizetype i = 0; i < sorted.size();) {
        qsizetype end = i;
        while (end + 1 < sorted.size() && sorted[end + 1] <= sorted[end] + 1)
            ++end;
        selection.select(_proxy->index(sorted[i], 0), _proxy->index(sorted[end], 0));
        i = end + 1;
    }
    _tableView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!sorted.isEmpty())
        _tableView->selectionModel()->setCurrentIndex(_proxy->index(sorted.first(), 0), QItemSelectionModel::NoUpdate);
}

void HLVFileViewController::selectAllFiles()
{
    _tableView->selectAll();
}

void HLVFileViewController::tableViewSelectionDidChange()
{
    if (!_reloading)
        displaySelectionInEditor();
}

void HLVFileViewController::displaySelectionInEditor()
{
    const QList<int> rows = selectedRows();
    const auto single = rows.size() == 1 ? _model->recordAt(_proxy->mapToSource(_proxy->index(rows.first(), 0)).row())
                                         : nullptr;
    if (std::ranges::equal(rows, _currentSelection)) { // not QList's == (see reload)
        if (single && single != _currentFileData)
            _currentFileData = single;
        return;
    }
    if (single) {
        // The same file on another row (the list moved under it): nothing to show anew.
        if (single == _currentFileData && _currentSelection.size() == 1) {
            _currentSelection = rows;
            return;
        }
        _currentFileData = single;
    }
    _currentSelection = rows;
    // While the strip shows an operation the buttons wait for its end.
    _removeButton->setEnabled(!rows.isEmpty() && _addButton->isEnabled());
    reportSelection();
}

void HLVFileViewController::reportSelection()
{
    if (_delegate)
        _delegate->fileViewSelectionChanged(this, _currentSelection, shownRecords());
    _actions->refresh();
}

bool HLVFileViewController::operationRunning() const
{
    return _fileManager && _fileManager->isOperationRunning();
}
