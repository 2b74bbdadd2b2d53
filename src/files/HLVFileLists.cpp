#include "HLVFileLists.h"

#include <QCollator>
#include <algorithm>

using Lock = std::lock_guard<std::mutex>;

namespace {

// Locale-aware, case-insensitive order of file names.
bool fileNameLess(const QString& a, const QString& b)
{
    thread_local QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        return c;
    }();
    return collator.compare(a, b) < 0;
}

} // namespace

bool HLVFileLists::insert(const std::shared_ptr<HLVFileData>& record, const QString& name, const QString& path)
{
    Lock lock(_lock);
    if (_entries.contains(record.get()) || _paths.contains(path))
        return false;
    _entries.insert(record.get(), Entry{name, path});
    _paths.insert(path);
    insertSortedLocked(record);
    return true;
}

void HLVFileLists::insertSortedLocked(const std::shared_ptr<HLVFileData>& record)
{
    const QString name = _entries.constFind(record.get())->name;
    auto position = std::upper_bound(_all.begin(), _all.end(), name, [this](const QString& n, const auto& other) {
        return fileNameLess(n, _entries.constFind(other.get())->name);
    });
    _all.insert(position, record);
    changedLocked(HLVFileList::All);
}

qsizetype HLVFileLists::positionLocked(const HLVFileData* record) const
{
    const auto entry = _entries.constFind(record);
    if (entry == _entries.cend())
        return -1;
    const QString& name = entry->name;
    auto nameOf = [this](const std::shared_ptr<HLVFileData>& other) -> const QString& {
        return _entries.constFind(other.get())->name;
    };
    auto it = std::lower_bound(_all.cbegin(), _all.cend(), name,
                               [&](const auto& other, const QString& n) { return fileNameLess(nameOf(other), n); });
    // Names the collator ranks equal ("a.mp3", "A.mp3") stand side by side.
    for (; it != _all.cend() && !fileNameLess(name, nameOf(*it)); ++it) {
        if (it->get() == record)
            return it - _all.cbegin();
    }
    // Never expected: the list is kept in this order. Still found, only slower.
    for (qsizetype i = 0; i < _all.size(); ++i) {
        if (_all.at(i).get() == record)
            return i;
    }
    return -1;
}

void HLVFileLists::removeModifiedLocked(const HLVFileData* record)
{
    const auto at = _modifiedAt.find(record);
    if (at == _modifiedAt.end())
        return;
    _modified.erase(*at);
    _modifiedAt.erase(at);
    changedLocked(HLVFileList::Modified);
}

bool HLVFileLists::remove(const std::shared_ptr<HLVFileData>& record)
{
    Lock lock(_lock);
    const qsizetype position = positionLocked(record.get());
    auto entry = _entries.find(record.get());
    if (entry == _entries.end())
        return false;
    _paths.remove(entry->path);
    _entries.erase(entry);
    if (position >= 0)
        _all.removeAt(position);
    changedLocked(HLVFileList::All);
    if (const auto filtered = _filtered.constFind(record.get()); filtered != _filtered.cend()) {
        (*filtered ? _untagged : _partiallyTagged).removeAll(record);
        changedLocked(*filtered ? HLVFileList::Untagged : HLVFileList::PartiallyTagged);
        _filtered.erase(filtered);
    }
    removeModifiedLocked(record.get());
    return true;
}

HLVFileLists::Records HLVFileLists::remove(const Records& records)
{
    Lock lock(_lock);
    QSet<const HLVFileData*> gone;
    Records removed;
    for (const auto& record : records) {
        auto entry = _entries.find(record.get());
        if (entry == _entries.end())
            continue;
        _paths.remove(entry->path);
        _entries.erase(entry);
        gone.insert(record.get());
        removed.append(record);
    }
    if (removed.isEmpty())
        return removed;
    const auto isGone = [&gone](const std::shared_ptr<HLVFileData>& record) { return gone.contains(record.get()); };
    _all.removeIf(isGone);
    _untagged.removeIf(isGone);
    _partiallyTagged.removeIf(isGone);
    for (HLVFileList list : {HLVFileList::All, HLVFileList::Untagged, HLVFileList::PartiallyTagged})
        changedLocked(list);
    for (const HLVFileData* record : std::as_const(gone)) {
        _filtered.remove(record);
        removeModifiedLocked(record);
    }
    return removed;
}

bool HLVFileLists::contains(const HLVFileData* record) const
{
    Lock lock(_lock);
    return _entries.contains(record);
}

bool HLVFileLists::isEmpty() const
{
    Lock lock(_lock);
    return _all.isEmpty();
}

namespace {

// A snapshot that shares no storage with the list: Qt checks whether a list is
// shared with a relaxed load, so a list that was shared with a snapshot on
// another thread could be changed in place without that thread's reads being
// ordered before the change.
HLVFileLists::Records unshared(const HLVFileLists::Records& list)
{
    return HLVFileLists::Records(list.cbegin(), list.cend());
}

} // namespace

HLVFileLists::Records HLVFileLists::list(HLVFileList list, quint64* revision) const
{
    Lock lock(_lock);
    if (revision)
        *revision = _revisions[int(list)];
    switch (list) {
    case HLVFileList::All: return unshared(_all);
    case HLVFileList::Untagged: return unshared(_untagged);
    case HLVFileList::PartiallyTagged: return unshared(_partiallyTagged);
    case HLVFileList::Modified: return Records(_modified.cbegin(), _modified.cend());
    }
    return {};
}

qsizetype HLVFileLists::size(HLVFileList list) const
{
    Lock lock(_lock);
    switch (list) {
    case HLVFileList::All: return _all.size();
    case HLVFileList::Untagged: return _untagged.size();
    case HLVFileList::PartiallyTagged: return _partiallyTagged.size();
    case HLVFileList::Modified: return qsizetype(_modified.size());
    }
    return 0;
}

quint64 HLVFileLists::revision(HLVFileList list) const
{
    Lock lock(_lock);
    return _revisions[int(list)];
}

qsizetype HLVFileLists::indexOf(const std::shared_ptr<HLVFileData>& record) const
{
    Lock lock(_lock);
    return positionLocked(record.get());
}

std::shared_ptr<HLVFileData> HLVFileLists::at(qsizetype index) const
{
    Lock lock(_lock);
    if (index < 0 || index >= _all.size())
        return nullptr;
    return _all.at(index);
}

void HLVFileLists::sort()
{
    Lock lock(_lock);
    std::stable_sort(_all.begin(), _all.end(), [this](const auto& a, const auto& b) {
        return fileNameLess(_entries.constFind(a.get())->name, _entries.constFind(b.get())->name);
    });
    changedLocked(HLVFileList::All);
}

void HLVFileLists::renamed(const std::shared_ptr<HLVFileData>& record, const QString& name, const QString& path)
{
    Lock lock(_lock);
    const qsizetype position = positionLocked(record.get()); // found by the old name
    auto entry = _entries.find(record.get());
    if (entry == _entries.end())
        return;
    _paths.remove(entry->path);
    *entry = Entry{name, path};
    _paths.insert(path);
    if (position >= 0)
        _all.removeAt(position);
    insertSortedLocked(record);
}

bool HLVFileLists::addModified(const std::shared_ptr<HLVFileData>& record)
{
    Lock lock(_lock);
    if (_modifiedAt.contains(record.get()) || !_entries.contains(record.get()))
        return false;
    _modifiedAt.insert(record.get(), _modified.insert(_modified.end(), record));
    changedLocked(HLVFileList::Modified);
    return true;
}

bool HLVFileLists::removeModified(const std::shared_ptr<HLVFileData>& record)
{
    Lock lock(_lock);
    if (!_modifiedAt.contains(record.get()))
        return false;
    removeModifiedLocked(record.get());
    return true;
}

HLVFileLists::Records HLVFileLists::beginFilterPass()
{
    Lock lock(_lock);
    _untagged.clear();
    _partiallyTagged.clear();
    _filtered.clear();
    changedLocked(HLVFileList::Untagged);
    changedLocked(HLVFileList::PartiallyTagged);
    return unshared(_all);
}

void HLVFileLists::addFiltered(const std::shared_ptr<HLVFileData>& record, bool untagged)
{
    Lock lock(_lock);
    if (!_entries.contains(record.get()) || _filtered.contains(record.get()))
        return;
    (untagged ? _untagged : _partiallyTagged).append(record);
    changedLocked(untagged ? HLVFileList::Untagged : HLVFileList::PartiallyTagged);
    _filtered.insert(record.get(), untagged);
}
