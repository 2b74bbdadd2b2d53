#pragma once

#include "HLVFileData.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <array>
#include <memory>
#include <vector>

struct HLVTagField;

// The rows of the file list: a snapshot of one of the manager's lists, taken on
// the main thread, with one column per tag the table can show. The view never
// reads the manager's lists directly, so rows cannot shift under it while a
// background operation changes them. Cells show what the records already hold
// (never reading a file): a row not read yet has empty tag cells until its
// record's notice arrives.
class HLVFileListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role { RecordRole = Qt::UserRole + 1 };
    enum Column {
        NameColumn,
        TitleColumn,
        ArtistColumn,
        AlbumColumn,
        AlbumArtistColumn,
        TrackColumn,
        DiscColumn,
        YearColumn,
        GenreColumn,
        FormatColumn,
        LengthColumn,
        FolderColumn,
        ColumnCount
    };

    explicit HLVFileListModel(QObject* parent = nullptr);

    // Replaces the rows; nothing happens when the records are the same ones in
    // the same order (their changes arrive through refreshRecords). byName is
    // every record in file-name order (the manager's list of all files), which
    // sorting by name follows. Answers whether the rows were replaced.
    bool setRecords(const QList<std::shared_ptr<HLVFileData>>& records,
                    const QList<std::shared_ptr<HLVFileData>>& byName = {});
    const QList<std::shared_ptr<HLVFileData>>& records() const { return _records; }
    // The rows stand in file-name order (they are the list of all files).
    bool isInNameOrder() const { return _nameRanks.isEmpty(); }
    std::shared_ptr<HLVFileData> recordAt(int row) const;
    // Where each record stands in a list, for finding many records at once.
    static QHash<const HLVFileData*, int> rowsByRecord(const QList<std::shared_ptr<HLVFileData>>& records);
    // The record's row, or -1.
    int rowOf(const HLVFileData* record) const { return _rows.value(record, -1); }
    // The records changed: their cells are taken afresh and their rows painted again.
    void refreshRecords(const QList<std::shared_ptr<HLVFileData>>& records);
    // Marks every row changed, without touching the rows.
    void refreshRows();

    // The tag field a column edits, or null for the columns that are not edited.
    static const HLVTagField* fieldOf(int column);
    static QString columnTitle(int column);
    // Orders two rows by a column; ties go by album, disc, track and name, so
    // sorting by any column keeps each album in its order.
    bool rowLess(int left, int right, int column) const;
    // Whether a row's tags have reached the list (its tag cells are filled).
    bool isRowRead(int row) const;
    // The records were read: their rows take their cells when next painted or
    // sorted, so thousands of reads cost the main thread next to nothing.
    void recordsRead(const QList<std::shared_ptr<HLVFileData>>& records);

    // What a row shows, worked out from what the record holds (never reading
    // the file), on any thread.
    struct Cells
    {
        bool filled = false;
        bool read = false;
        std::array<QString, ColumnCount> texts;
        std::array<int, ColumnCount> numbers{}; // for the number columns; -1 when absent
        quint32 pending = 0;                    // bit per column: the value is a pending change
        int nameRank = 0;
        quint64 generation = 0; // the record's pending generation they were taken at
        bool modified = false;  // and whether it was modified then
    };
    static Cells cellsFor(const std::shared_ptr<HLVFileData>& record);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // An edit in place: the model does not apply it, the list does (to the
    // selection, as the editor does).
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    void cellEdited(int row, int column, const QString& text);

private:
    // The cells to show: taken afresh when the record's pending changes moved on.
    const Cells& cells(int row) const;
    // The cells kept, for sorting (the values the rows were shown with).
    const Cells& keptCells(int row) const;
    void emitRowsChanged(QList<int> rows);
    void fill(int row, Cells& cells) const;
    int compareColumn(const Cells& a, const Cells& b, int column) const;

    QList<std::shared_ptr<HLVFileData>> _records;
    QHash<const HLVFileData*, int> _rows;
    QHash<const HLVFileData*, int> _nameRanks; // empty when _records is the list by name
    mutable std::vector<Cells> _cells;
};
