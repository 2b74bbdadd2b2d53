// The file list's tag columns: reading the shown files' tags on the read pool
// (the rows in sight first), and edits made in the table's cells.

#include "HLVFileListModel.h"
#include "HLVFileListView.h"
#include "HLVFileSearchProxyModel.h"
#include "HLVFileViewController.h"
#include "HLVFileViewTableCell.h"
#include "HLVStrings.h"
#include "HLVTagField.h"
#include "HLVViewJobs.h"

#include <QHeaderView>
#include <QPointer>
#include <QTimer>

void HLVFileViewController::scheduleColumnReads()
{
    // After the rows just shown are painted.
    if (_columnReadsScheduled)
        return;
    _columnReadsScheduled = true;
    QTimer::singleShot(0, this, [this] {
        _columnReadsScheduled = false;
        readColumns();
    });
}

void HLVFileViewController::readColumns()
{
    // Reads wait for an add to end (its finish starts them): both want the cores.
    if (!_fileManager || _fileManager->isOperationRunning(HLVFileOperationAdding))
        return;
    QList<std::shared_ptr<HLVFileData>> unread;
    for (const auto& record : _model->records()) {
        if (!record->isLoaded())
            unread.append(record);
    }
    if (unread.isEmpty())
        return;
    prioritizeVisibleRows();
    HLVFileManager* manager = _fileManager; // outlives this controller, whose jobs end with it
    QPointer<HLVFileViewController> self(this);
    _columnReads->start([manager, self, unread](const std::atomic<bool>& cancelled) -> HLVViewJobs::Apply {
        // The rows fill as the bridge hands over what was read (recordsLoaded).
        manager->loadFiles(unread, {}, [&cancelled] { return cancelled.load(); });
        auto texts = HLVFileSearchProxyModel::searchableTextsOf(unread, cancelled);
        if (!texts)
            return {};
        return [self, texts = std::move(*texts)] {
            if (self)
                self->columnsRead(texts);
        };
    });
}

void HLVFileViewController::recordsLoaded(const QList<std::shared_ptr<HLVFileData>>& records)
{
    _model->recordsRead(records);
}

void HLVFileViewController::columnsRead(const HLVFileSearchProxyModel::Texts& texts)
{
    _proxy->addTexts(texts);
    // Rows sorted by a tag column take their places now that the tags are known.
    const QHeaderView* header = _tableView->horizontalHeader();
    if (header->sortIndicatorSection() != HLVFileListModel::NameColumn)
        _proxy->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
    if (_proxy->isSearching())
        _searchPause->start();
    emit columnsReady();
}

bool HLVFileViewController::areColumnsRead() const
{
    if (_columnReadsScheduled || _columnReads->isBusy())
        return false;
    for (int row = 0; row < _model->rowCount(); ++row) {
        if (!_model->isRowRead(row))
            return false;
    }
    return true;
}

QPair<int, int> HLVFileViewController::visibleRows() const
{
    const int rows = _proxy->rowCount();
    if (rows == 0)
        return {0, -1};
    int first = _tableView->rowAt(0);
    int last = _tableView->rowAt(_tableView->viewport()->height() - 1);
    first = first < 0 ? 0 : first;
    last = last < 0 ? std::min(rows - 1, first + _tableView->viewport()->height() / HLVFileViewTableCell::RowHeight)
                    : last;
    return {first, last};
}

void HLVFileViewController::prioritizeVisibleRows()
{
    if (!_fileManager)
        return;
    const auto [first, last] = visibleRows();
    QList<std::shared_ptr<HLVFileData>> records;
    for (int row = first; row <= last; ++row) {
        if (auto record = _model->recordAt(_proxy->mapToSource(_proxy->index(row, 0)).row()); record && !record->isLoaded())
            records.append(std::move(record));
    }
    _fileManager->prioritizeReads(records);
}

void HLVFileViewController::applyCellEdit(int sourceRow, int column, const QString& text)
{
    const HLVTagField* field = HLVFileListModel::fieldOf(column);
    const auto edited = _model->recordAt(sourceRow);
    if (!field || !edited || !_fileManager)
        return;
    if (text == _model->data(_model->index(sourceRow, column)).toString())
        return; // left as it was
    // An edit in one of several selected rows applies to all of them, as in the editor.
    QList<std::shared_ptr<HLVFileData>> records = selectedRecords();
    if (!records.contains(edited))
        records = {edited};
    QList<std::shared_ptr<HLVFileData>> changed;
    for (const auto& record : std::as_const(records)) {
        if (!record->canBeEdited())
            continue;
        if (field->numeric) {
            bool ok = false;
            const int value = text.trimmed().toInt(&ok);
            record->setVirtualTagNumber(*field, ok ? value : 0);
        } else {
            record->setVirtualTagText(*field, HLVStrings::isNilOrEmpty(text) ? QString(QLatin1String("")) : text);
        }
        record->forceIsModified();
        changed.append(record);
    }
    _fileManager->filesWereModified(changed);
    _model->refreshRecords(changed);
    reportSelection(); // the editor shows the new values
}
