#pragma once

#include "HLVFileData.h"

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <memory>

// The rows of the file list: a snapshot of one of the manager's lists, taken on
// the main thread. The view never reads the manager's lists directly, so rows
// cannot shift under it while a background operation changes them.
class HLVFileListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { RecordRole = Qt::UserRole + 1 };

    explicit HLVFileListModel(QObject* parent = nullptr);

    // Replaces the rows; nothing happens when the records are the same ones in
    // the same order (their changes arrive through refreshRecords). Answers
    // whether the rows were replaced.
    bool setRecords(const QList<std::shared_ptr<HLVFileData>>& records);
    const QList<std::shared_ptr<HLVFileData>>& records() const { return _records; }
    std::shared_ptr<HLVFileData> recordAt(int row) const;
    // Where each record stands in a list, for finding many records at once.
    static QHash<const HLVFileData*, int> rowsByRecord(const QList<std::shared_ptr<HLVFileData>>& records);
    // The record's row, or -1.
    int rowOf(const HLVFileData* record) const { return _rows.value(record, -1); }
    // Marks the rows of these records changed (a repaint of those rows only).
    void refreshRecords(const QList<std::shared_ptr<HLVFileData>>& records);
    // Marks every row changed, without touching the rows.
    void refreshRows();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QList<std::shared_ptr<HLVFileData>> _records;
    QHash<const HLVFileData*, int> _rows;
};
