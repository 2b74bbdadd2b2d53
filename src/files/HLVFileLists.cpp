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
}

bool HLVFileLists::remove(const std::shared_ptr<HLVFileData>& record)
{
    Lock lock(_lock);
    auto entry = _entries.find(record.get());
    if (entry == _entries.end())
        return false;
    _paths.remove(entry->path);
    _entries.erase(entry);
    _all.removeAll(record);
    _untagged.removeAll(record);
    _partiallyTagged.removeAll(record);
    _modified.removeAll(record);
    return true;
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

HLVFileLists::Records HLVFileLists::list(HLVFileList list) const
{
    Lock lock(_lock);
    switch (list) {
    case HLVFileList::All: return unshared(_all);
    case HLVFileList::Untagged: return unshared(_untagged);
    case HLVFileList::PartiallyTagged: return unshared(_partiallyTagged);
    case HLVFileList::Modified: return unshared(_modified);
    }
    return {};
}

qsizetype HLVFileLists::indexOf(const std::shared_ptr<HLVFileData>& record) const
{
    Lock lock(_lock);
    return _all.indexOf(record);
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
}

void HLVFileLists::renamed(const std::shared_ptr<HLVFileData>& record, const QString& name, const QString& path)
{
    Lock lock(_lock);
    auto entry = _entries.find(record.get());
    if (entry == _entries.end())
        return;
    _paths.remove(entry->path);
    *entry = Entry{name, path};
    _paths.insert(path);
    _all.removeOne(record);
    insertSortedLocked(record);
}

bool HLVFileLists::addModified(const std::shared_ptr<HLVFileData>& record)
{
    Lock lock(_lock);
    if (_modified.contains(record) || !_entries.contains(record.get()))
        return false;
    _modified.append(record);
    return true;
}

bool HLVFileLists::removeModified(const std::shared_ptr<HLVFileData>& record)
{
    Lock lock(_lock);
    return _modified.removeAll(record) > 0;
}

HLVFileLists::Records HLVFileLists::beginFilterPass()
{
    Lock lock(_lock);
    _untagged.clear();
    _partiallyTagged.clear();
    return unshared(_all);
}

void HLVFileLists::addFiltered(const std::shared_ptr<HLVFileData>& record, bool untagged)
{
    Lock lock(_lock);
    if (_entries.contains(record.get()))
        (untagged ? _untagged : _partiallyTagged).append(record);
}
