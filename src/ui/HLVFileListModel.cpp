#include "HLVFileListModel.h"

HLVFileListModel::HLVFileListModel(QObject* parent) : QAbstractListModel(parent) {}

bool HLVFileListModel::setRecords(const QList<std::shared_ptr<HLVFileData>>& records)
{
    if (records == _records) {
        refreshRows();
        return false;
    }
    beginResetModel();
    _records = records;
    endResetModel();
    return true;
}

std::shared_ptr<HLVFileData> HLVFileListModel::recordAt(int row) const
{
    return row >= 0 && row < _records.size() ? _records.at(row) : nullptr;
}

QHash<const HLVFileData*, int> HLVFileListModel::rowsByRecord(const QList<std::shared_ptr<HLVFileData>>& records)
{
    QHash<const HLVFileData*, int> rows;
    rows.reserve(records.size());
    for (int row = 0; row < records.size(); ++row)
        rows.insert(records[row].get(), row);
    return rows;
}

void HLVFileListModel::refreshRows()
{
    if (!_records.isEmpty())
        emit dataChanged(index(0), index(int(_records.size()) - 1));
}

int HLVFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(_records.size());
}

QVariant HLVFileListModel::data(const QModelIndex& index, int role) const
{
    const auto record = recordAt(index.row());
    if (!record || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return record->FileName();
    case Qt::ToolTipRole:
        return record->FilePath();
    case RecordRole:
        return QVariant::fromValue(record);
    default:
        return {};
    }
}

Qt::ItemFlags HLVFileListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
