#include "HLVFileListModel.h"

#include <algorithm>

HLVFileListModel::HLVFileListModel(QObject* parent) : QAbstractListModel(parent) {}

bool HLVFileListModel::setRecords(const QList<std::shared_ptr<HLVFileData>>& records)
{
    // Not QList's ==: Qt 6.4 hands memcmp a null pointer for an empty list.
    if (std::ranges::equal(records, _records))
        return false;
    beginResetModel();
    _records = records;
    _rows = rowsByRecord(_records);
    endResetModel();
    return true;
}

void HLVFileListModel::refreshRecords(const QList<std::shared_ptr<HLVFileData>>& records)
{
    QList<int> rows;
    rows.reserve(records.size());
    for (const auto& record : records) {
        if (const int row = rowOf(record.get()); row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    // One notice per run of neighbouring rows.
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i;
        while (end + 1 < rows.size() && rows[end + 1] <= rows[end] + 1)
            ++end;
        emit dataChanged(index(rows[i]), index(rows[end]));
        i = end + 1;
    }
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
