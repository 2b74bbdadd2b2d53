#pragma once

#include "HLVFileData.h"

#include <QHash>
#include <QSortFilterProxyModel>
#include <memory>

// Narrows the file list to the rows whose file name, artist, album or title
// holds the search text, ignoring letter case. Rows keep the source's order.
// Tag text is taken once per record and kept until the record changes, so
// typing does not read the files again.
class HLVFileSearchProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit HLVFileSearchProxyModel(QObject* parent = nullptr);

    void setSearchText(const QString& text);
    QString searchText() const { return _searchText; }
    bool isSearching() const { return !_searchText.isEmpty(); }
    // The record's tags changed: search it afresh.
    void forgetRecord(const HLVFileData* record);
    // The records in shown order.
    QList<std::shared_ptr<HLVFileData>> shownRecords() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString searchableText(const std::shared_ptr<HLVFileData>& record) const;

    QString _searchText;
    struct Entry
    {
        std::weak_ptr<HLVFileData> record; // a freed record's address may be reused
        QString text;
    };
    mutable QHash<const HLVFileData*, Entry> _texts;
};
