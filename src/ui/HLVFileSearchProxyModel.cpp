#include "HLVFileSearchProxyModel.h"
#include "HLVFileListModel.h"

namespace {

// Without locking the weak pointer: the same control block is the same record.
bool isSameRecord(const std::weak_ptr<HLVFileData>& kept, const std::shared_ptr<HLVFileData>& record)
{
    return !kept.owner_before(record) && !record.owner_before(kept);
}

} // namespace

HLVFileSearchProxyModel::HLVFileSearchProxyModel(QObject* parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(false);
}

void HLVFileSearchProxyModel::setSearchText(const QString& text)
{
    const QString trimmed = text.trimmed();
    // The same text is filtered again: records' texts may have changed meanwhile.
    if (trimmed.isEmpty() && _searchText.isEmpty())
        return;
    _searchText = trimmed;
    _foldedSearchText = trimmed.toCaseFolded();
    invalidateFilter();
}

void HLVFileSearchProxyModel::forgetRecord(const HLVFileData* record)
{
    _texts.remove(record);
}

QList<std::shared_ptr<HLVFileData>> HLVFileSearchProxyModel::shownRecords() const
{
    auto* model = qobject_cast<HLVFileListModel*>(sourceModel());
    if (!model)
        return {};
    // The source's own list when the rows stand as it does.
    if (!isSearching() && (sortColumn() < 0 || (sortColumn() == HLVFileListModel::NameColumn
                                                 && sortOrder() == Qt::AscendingOrder && model->isInNameOrder())))
        return model->records();
    QList<std::shared_ptr<HLVFileData>> records;
    const int rows = rowCount();
    records.reserve(rows);
    for (int row = 0; row < rows; ++row)
        records.append(model->recordAt(mapToSource(index(row, 0)).row()));
    return records;
}

bool HLVFileSearchProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    auto* model = qobject_cast<HLVFileListModel*>(sourceModel());
    return model ? model->rowLess(left.row(), right.row(), left.column())
                 : QSortFilterProxyModel::lessThan(left, right);
}

bool HLVFileSearchProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    if (_searchText.isEmpty())
        return true;
    auto* model = static_cast<HLVFileListModel*>(sourceModel()); // the only source it is given
    if (!model || sourceRow < 0 || sourceRow >= model->records().size())
        return false;
    const auto& record = model->records().at(sourceRow); // no copy: no reference count touched per row
    // Both sides folded beforehand: a keystroke over a large list allocates nothing per row.
    const auto found = _texts.constFind(record.get());
    if (found != _texts.constEnd() && isSameRecord(found->record, record))
        return found->text.contains(_foldedSearchText);
    return record->FileName().contains(_searchText, Qt::CaseInsensitive);
}

QList<std::shared_ptr<HLVFileData>> HLVFileSearchProxyModel::recordsWithoutText() const
{
    QList<std::shared_ptr<HLVFileData>> missing;
    auto* model = qobject_cast<HLVFileListModel*>(sourceModel());
    if (!model)
        return missing;
    for (const auto& record : model->records()) {
        const auto found = _texts.constFind(record.get());
        if (found == _texts.constEnd() || !isSameRecord(found->record, record))
            missing.append(record);
    }
    return missing;
}

void HLVFileSearchProxyModel::addTexts(const Texts& texts)
{
    for (const auto& [record, text] : texts)
        _texts.insert(record.get(), Entry{record, text});
}

QString HLVFileSearchProxyModel::searchableTextOf(const std::shared_ptr<HLVFileData>& record)
{
    // A record not read yet is searched through a throw-away read, so a search
    // over a large list does not keep every file's tags in memory.
    const auto tags = record->isLoaded() ? record->TagMap() : record->TemporaryTagMap();
    QStringList parts{record->FileName()};
    for (const auto& value : {tags->ArtistName(), tags->AlbumName(), tags->TrackName()}) {
        if (value)
            parts.append(*value);
    }
    return parts.join(QLatin1Char('\n')).toCaseFolded();
}

std::optional<HLVFileSearchProxyModel::Texts> HLVFileSearchProxyModel::searchableTextsOf(
    const QList<std::shared_ptr<HLVFileData>>& records, const std::atomic<bool>& cancelled)
{
    Texts texts;
    texts.reserve(records.size());
    for (const auto& record : records) {
        if (cancelled.load())
            return std::nullopt;
        texts.append({record, searchableTextOf(record)});
    }
    return texts;
}
