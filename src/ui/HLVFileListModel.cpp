#include "HLVFileListModel.h"
#include "HLVTagField.h"

#include <QFont>
#include <algorithm>

namespace {

constexpr int kAbsent = -1;

bool isNumberColumn(int column)
{
    return column == HLVFileListModel::TrackColumn || column == HLVFileListModel::DiscColumn
        || column == HLVFileListModel::YearColumn || column == HLVFileListModel::LengthColumn;
}

QString lengthText(int milliseconds)
{
    const int seconds = (milliseconds + 500) / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QString();
}

} // namespace

HLVFileListModel::HLVFileListModel(QObject* parent) : QAbstractTableModel(parent) {}

bool HLVFileListModel::setRecords(const QList<std::shared_ptr<HLVFileData>>& records,
                                  const QList<std::shared_ptr<HLVFileData>>& byName)
{
    // Not QList's ==: Qt 6.4 hands memcmp a null pointer for an empty list.
    if (std::ranges::equal(records, _records))
        return false;
    beginResetModel();
    _records = records;
    _rows = rowsByRecord(_records);
    _nameRanks = byName.isEmpty() || std::ranges::equal(byName, records) ? QHash<const HLVFileData*, int>()
                                                                         : rowsByRecord(byName);
    _cells.assign(size_t(_records.size()), Cells());
    endResetModel();
    return true;
}

void HLVFileListModel::refreshRecords(const QList<std::shared_ptr<HLVFileData>>& records)
{
    QList<int> rows;
    rows.reserve(records.size());
    for (const auto& record : records) {
        if (const int row = rowOf(record.get()); row >= 0) {
            rows.append(row);
            // Taken afresh now rather than at the next paint: sorting wants every row's cells.
            fill(row, _cells[size_t(row)]);
        }
    }
    emitRowsChanged(std::move(rows));
}

void HLVFileListModel::recordsRead(const QList<std::shared_ptr<HLVFileData>>& records)
{
    QList<int> rows;
    rows.reserve(records.size());
    for (const auto& record : records) {
        if (const int row = rowOf(record.get()); row >= 0) {
            _cells[size_t(row)].filled = false;
            rows.append(row);
        }
    }
    emitRowsChanged(std::move(rows));
}

void HLVFileListModel::emitRowsChanged(QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    // One notice per run of neighbouring rows.
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype end = i;
        while (end + 1 < rows.size() && rows[end + 1] <= rows[end] + 1)
            ++end;
        emit dataChanged(index(rows[i], 0), index(rows[end], ColumnCount - 1));
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
    if (_records.isEmpty())
        return;
    for (auto& cell : _cells)
        cell.filled = false;
    emit dataChanged(index(0, 0), index(int(_records.size()) - 1, ColumnCount - 1));
}

const HLVTagField* HLVFileListModel::fieldOf(int column)
{
    static const std::array<const HLVTagField*, ColumnCount> fields = [] {
        std::array<const HLVTagField*, ColumnCount> byColumn{};
        byColumn[TitleColumn] = HLVTagField::withKey(QStringLiteral("TrackName"));
        byColumn[ArtistColumn] = HLVTagField::withKey(QStringLiteral("ArtistName"));
        byColumn[AlbumColumn] = HLVTagField::withKey(QStringLiteral("AlbumName"));
        byColumn[AlbumArtistColumn] = HLVTagField::withKey(QStringLiteral("AlbumArtist"));
        byColumn[TrackColumn] = HLVTagField::withKey(QStringLiteral("TrackNumber"));
        byColumn[DiscColumn] = HLVTagField::withKey(QStringLiteral("DiscNumber"));
        byColumn[YearColumn] = HLVTagField::withKey(QStringLiteral("ReleaseYear"));
        byColumn[GenreColumn] = HLVTagField::withKey(QStringLiteral("Genre"));
        return byColumn;
    }();
    return column >= 0 && column < ColumnCount ? fields[size_t(column)] : nullptr;
}

QString HLVFileListModel::columnTitle(int column)
{
    switch (column) {
    case NameColumn: return tr("Name");
    case TitleColumn: return tr("Title");
    case ArtistColumn: return tr("Artist");
    case AlbumColumn: return tr("Album");
    case AlbumArtistColumn: return tr("Album Artist");
    case TrackColumn: return tr("Track");
    case DiscColumn: return tr("Disc");
    case YearColumn: return tr("Year");
    case GenreColumn: return tr("Genre");
    case FormatColumn: return tr("Format");
    case LengthColumn: return tr("Length");
    case FolderColumn: return tr("Folder");
    default: return {};
    }
}

void HLVFileListModel::fill(int row, Cells& cells) const
{
    const auto& record = _records.at(row);
    cells = cellsFor(record);
    cells.nameRank = _nameRanks.isEmpty() ? row : _nameRanks.value(record.get(), row);
}

HLVFileListModel::Cells HLVFileListModel::cellsFor(const std::shared_ptr<HLVFileData>& record)
{
    Cells cells;
    cells.filled = true;
    cells.generation = record->pendingGeneration(); // before the maps: a change meanwhile shows next time
    cells.numbers.fill(kAbsent);
    cells.modified = record->IsModified();
    cells.texts[NameColumn] = record->FileName();
    cells.texts[FolderColumn] = folderOf(record->FilePath());
    // What the record holds already; a record not read yet shows empty cells.
    const auto tags = record->ListingTagMap();
    if (!tags)
        return cells;
    cells.read = true;
    // Pending values not saved yet (a saved record may keep its pending map).
    const auto pending = cells.modified ? record->existingVirtualTagMap() : nullptr;
    for (int column = TitleColumn; column <= GenreColumn; ++column) {
        const HLVTagField* field = fieldOf(column);
        if (!field)
            continue;
        if (field->numeric) {
            const std::optional<int> value = field->number(*tags);
            if (value && *value > 0) {
                cells.numbers[size_t(column)] = *value;
                cells.texts[size_t(column)] = QString::number(*value);
            }
            if (pending && field->number(*pending))
                cells.pending |= 1u << column;
        } else {
            cells.texts[size_t(column)] = field->text(*tags).value_or(QString());
            if (pending && field->text(*pending))
                cells.pending |= 1u << column;
        }
    }
    if (const auto details = record->Details()) {
        cells.texts[FormatColumn] = details->format;
        if (details->lengthMilliseconds) {
            cells.numbers[LengthColumn] = *details->lengthMilliseconds;
            cells.texts[LengthColumn] = lengthText(*details->lengthMilliseconds);
        }
        if (!details->folder.isEmpty())
            cells.texts[FolderColumn] = details->folder;
    }
    return cells;
}

const HLVFileListModel::Cells& HLVFileListModel::keptCells(int row) const
{
    Cells& cell = _cells[size_t(row)];
    if (!cell.filled)
        fill(row, cell);
    return cell;
}

const HLVFileListModel::Cells& HLVFileListModel::cells(int row) const
{
    Cells& cell = _cells[size_t(row)];
    // Edits in the editor and saves tell the lists, not each row at once: the record says whether it changed.
    const auto& record = _records.at(row);
    if (!cell.filled || !cell.read || cell.generation != record->pendingGeneration() || cell.modified != record->IsModified())
        fill(row, cell);
    return cell;
}

bool HLVFileListModel::isRowRead(int row) const
{
    return row >= 0 && row < _records.size() && cells(row).read;
}

int HLVFileListModel::compareColumn(const Cells& a, const Cells& b, int column) const
{
    if (column == NameColumn)
        return a.nameRank - b.nameRank;
    if (isNumberColumn(column)) {
        // Absent numbers after every number, as empty texts after every text.
        const unsigned x = unsigned(a.numbers[size_t(column)]);
        const unsigned y = unsigned(b.numbers[size_t(column)]);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const QString& x = a.texts[size_t(column)];
    const QString& y = b.texts[size_t(column)];
    if (x.isEmpty() != y.isEmpty())
        return x.isEmpty() ? 1 : -1;
    return x.compare(y, Qt::CaseInsensitive);
}

bool HLVFileListModel::rowLess(int left, int right, int column) const
{
    const Cells& a = keptCells(left);
    const Cells& b = keptCells(right);
    for (int key : {column, int(AlbumColumn), int(DiscColumn), int(TrackColumn), int(NameColumn)}) {
        if (const int order = compareColumn(a, b, key); order != 0)
            return order < 0;
    }
    return false;
}

int HLVFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(_records.size());
}

int HLVFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant HLVFileListModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (index.parent().isValid() || row < 0 || row >= _records.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cells(row).texts[size_t(index.column())];
    case Qt::ToolTipRole:
        return _records.at(row)->FilePath();
    case Qt::FontRole:
        if (cells(row).pending & (1u << index.column())) {
            // Pending values stand out as in the editor: what a save will write.
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::TextAlignmentRole:
        return isNumberColumn(index.column()) ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case RecordRole:
        return QVariant::fromValue(_records.at(row));
    default:
        return {};
    }
}

QVariant HLVFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnTitle(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags HLVFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Only a read file that can be written takes edits.
    if (fieldOf(index.column()) && isRowRead(index.row()) && _records.at(index.row())->canBeEdited())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool HLVFileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    emit cellEdited(index.row(), index.column(), value.toString());
    return true;
}
