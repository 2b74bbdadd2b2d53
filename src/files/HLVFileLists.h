#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <list>
#include <memory>
#include <mutex>

class HLVFileData;

// The four lists a view can show.
enum class HLVFileList { All, Untagged, PartiallyTagged, Modified };

// The file manager's four lists under one lock. All files are kept sorted by
// the names the lists were told (never asked of a record under the lock), at
// most one record per path; the other lists hold records of the first.
// Whole libraries pass through here one record at a time (every save answer
// leaves the modified list), so no call searches a list from end to end: a
// record is found by its name in the sorted list and by hash in the others.
class HLVFileLists
{
public:
    using Records = QList<std::shared_ptr<HLVFileData>>;

    // False when the record, or another with the same path, is already there.
    bool insert(const std::shared_ptr<HLVFileData>& record, const QString& name, const QString& path);
    // False when the record was not there.
    bool remove(const std::shared_ptr<HLVFileData>& record);
    // Removes many in one pass over each list; answers those that were there.
    Records remove(const Records& records);
    bool contains(const HLVFileData* record) const;
    bool isEmpty() const;

    // With the list's revision, when asked: it changes whenever the list does.
    Records list(HLVFileList list, quint64* revision = nullptr) const;
    // Lets a view see whether what it shows is still current without a snapshot.
    quint64 revision(HLVFileList list) const;
    qsizetype size(HLVFileList list) const;
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
    using Modified = std::list<std::shared_ptr<HLVFileData>>;
    void insertSortedLocked(const std::shared_ptr<HLVFileData>& record);
    // Where the record stands in _all, found by its name; -1 when not there.
    qsizetype positionLocked(const HLVFileData* record) const;
    void removeModifiedLocked(const HLVFileData* record);
    void changedLocked(HLVFileList list) { ++_revisions[int(list)]; }

    mutable std::mutex _lock;
    quint64 _revisions[4] = {};
    Records _all;
    QHash<const HLVFileData*, Entry> _entries; // the records of _all
    QSet<QString> _paths;
    Records _untagged;
    Records _partiallyTagged;
    QHash<const HLVFileData*, bool> _filtered; // in _untagged (true) or _partiallyTagged
    Modified _modified; // in order of modification
    QHash<const HLVFileData*, Modified::iterator> _modifiedAt;
};
