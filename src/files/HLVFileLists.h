#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <mutex>

class HLVFileData;

// The four lists a view can show.
enum class HLVFileList { All, Untagged, PartiallyTagged, Modified };

// The file manager's four lists under one lock. All files are kept sorted by
// the names the lists were told (never asked of a record under the lock), at
// most one record per path; the other lists hold records of the first.
class HLVFileLists
{
public:
    using Records = QList<std::shared_ptr<HLVFileData>>;

    // False when the record, or another with the same path, is already there.
    bool insert(const std::shared_ptr<HLVFileData>& record, const QString& name, const QString& path);
    // False when the record was not there.
    bool remove(const std::shared_ptr<HLVFileData>& record);
    bool contains(const HLVFileData* record) const;
    bool isEmpty() const;

    Records list(HLVFileList list) const;
    qsizetype indexOf(const std::shared_ptr<HLVFileData>& record) const;
    std::shared_ptr<HLVFileData> at(qsizetype index) const;

    // A stable sort by the names the lists know (renamed() keeps them current).
    void sort();
    // A record's new name and path after a rename; it moves to its place.
    void renamed(const std::shared_ptr<HLVFileData>& record, const QString& name, const QString& path);

    // True when the modified list changed.
    bool addModified(const std::shared_ptr<HLVFileData>& record);
    bool removeModified(const std::shared_ptr<HLVFileData>& record);

    // Empties the untagged and partially tagged lists and answers all files.
    Records beginFilterPass();
    // Puts a scored record in its filter list unless it was removed meanwhile.
    void addFiltered(const std::shared_ptr<HLVFileData>& record, bool untagged);

private:
    struct Entry
    {
        QString name;
        QString path;
    };
    void insertSortedLocked(const std::shared_ptr<HLVFileData>& record);

    mutable std::mutex _lock;
    Records _all;
    QHash<const HLVFileData*, Entry> _entries; // the records of _all
    QSet<QString> _paths;
    Records _untagged;
    Records _partiallyTagged;
    Records _modified;
};
