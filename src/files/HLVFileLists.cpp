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
    const QString name = _entries.value(record.get()).name;
    auto position = std::upper_bound(_all.begin(), _all.end(), name, [this](const QString& n, const auto& other) {
        return fileNameLess(n, _entries.value(other.get()).name);
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

HLVFileLists::Records HLVFileLists::list(HLVFileList list) const
{
    Lock lock(_lock);
    switch (list) {
    case HLVFileList::All: return _all;
    case HLVFileList::Untagged: return _untagged;
    case HLVFileList::PartiallyTagged: return _partiallyTagged;
    case HLVFileList::Modified: return _modified;
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

void HLVFileLists::sortByNames(const QHash<const HLVFileData*, QString>& names)
{
    Lock lock(_lock);
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        auto entry = _entries.find(it.key());
        if (entry != _entries.end())
            entry->name = it.value();
    }
    // The names are fixed for the sort: a rename meanwhile cannot upset it.
    std::stable_sort(_all.begin(), _all.end(), [this](const auto& a, const auto& b) {
        return fileNameLess(_entries.value(a.get()).name, _entries.value(b.get()).name);
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
    return _all;
}

void HLVFileLists::addFiltered(const std::shared_ptr<HLVFileData>& record, bool untagged)
{
    Lock lock(_lock);
    if (_entries.contains(record.get()))
        (untagged ? _untagged : _partiallyTagged).append(record);
}
