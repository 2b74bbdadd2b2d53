#pragma once

#include "HLVFileData.h"

#include <QHash>
#include <QSortFilterProxyModel>
#include <atomic>
#include <memory>
#include <optional>

// Narrows the file list to the rows whose file name, artist, album or title
// holds the search text, ignoring letter case, sorted by the column the user
// chose (by name at first).
// It searches only text it was given (searchableTextOf, worked out off the
// main thread) and kept until the record changes; a record without it is
// searched by its file name alone.
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
    // The source's records whose search text is not known.
    QList<std::shared_ptr<HLVFileData>> recordsWithoutText() const;
    using Texts = QList<std::pair<std::shared_ptr<HLVFileData>, QString>>;
    // The text a record is searched by, case-folded; may read the file, so never on the main thread.
    static QString searchableTextOf(const std::shared_ptr<HLVFileData>& record);
    // The same for several records; nothing once cancelled.
    static std::optional<Texts> searchableTextsOf(const QList<std::shared_ptr<HLVFileData>>& records,
                                                  const std::atomic<bool>& cancelled);
    void addTexts(const Texts& texts);
    // The records in shown order.
    QList<std::shared_ptr<HLVFileData>> shownRecords() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    QString _searchText;
    QString _foldedSearchText;
    struct Entry
    {
        std::weak_ptr<HLVFileData> record; // a freed record's address may be reused
        QString text;
    };
    QHash<const HLVFileData*, Entry> _texts;
};
