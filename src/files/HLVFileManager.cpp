#include "HLVFileManager.h"
#include "HLVSafeSave.h"
#include "HLVSerialOperationQueue.h"
#include "HLVTagMapFilter.h"

#include <QCollator>
#include <QFileInfo>
#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;
using ListLock = std::lock_guard<std::mutex>;

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

HLVFileManager::HLVFileManager()
    : _fileOpQueues(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("files")))
    , _saveOpQueue(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("saves")))
    , _renameOpQueue(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("renames")))
    , _musicIdentifier(HLVMusicIdentifier::create())
{
    _musicIdentifier->addDelegate(this);
}

HLVFileManager::~HLVFileManager()
{
    // Stop the queues first: their operations call back into this object.
    {
        std::lock_guard lock(_answerLock);
        ++_saveEpoch;
        ++_renameEpoch;
    }
    _answered.notify_all();
    _fileOpQueues->cancelPending();
    _saveOpQueue->cancelPending();
    _renameOpQueue->cancelPending();
    _fileOpQueues.reset();
    _saveOpQueue.reset();
    _renameOpQueue.reset();
    _musicIdentifier->stopIdentifying();
    _musicIdentifier->removeDelegate(this);
    ListLock lock(_listLock);
    for (const auto& record : std::as_const(_FileDataArray)) {
        if (record->delegate() == this)
            record->setDelegate(nullptr);
    }
}

// --- delegates and announcements ------------------------------------------------------

bool HLVFileManager::addDelegate(HLVFileManagerDelegate* delegate)
{
    std::lock_guard lock(_delegateLock);
    if (!delegate || _delegates.contains(delegate))
        return false;
    _delegates.append(delegate);
    return true;
}

bool HLVFileManager::removeDelegate(HLVFileManagerDelegate* delegate)
{
    std::lock_guard lock(_delegateLock);
    if (!delegate)
        return false;
    _delegates.removeAll(delegate);
    return true;
}

QList<HLVFileManagerDelegate*> HLVFileManager::delegates() const
{
    std::lock_guard lock(_delegateLock);
    return _delegates;
}

void HLVFileManager::announceStart(int operation)
{
    for (HLVFileManagerDelegate* delegate : delegates()) {
        _currentFileOperation = operation;
        delegate->fileOperationDidStart(operation);
    }
}

void HLVFileManager::announceFinish(int operation)
{
    for (HLVFileManagerDelegate* delegate : delegates()) {
        _currentFileOperation = HLVFileOperationNone;
        delegate->fileOperationDidFinish(operation);
    }
}

void HLVFileManager::relay(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    for (HLVFileManagerDelegate* delegate : delegates())
        delegate->fileDataWasModified(fileData, code);
}

// --- the collection ---------------------------------------------------------------------------

bool HLVFileManager::addFilesAtURLs(const std::optional<QList<QUrl>>& urls)
{
    if (!urls)
        return false;
    const QList<QUrl> batch = *urls;
    _fileOpQueues->addOperation([this, batch] {
        announceStart(HLVFileOperationAdding);
        {
            ListLock lock(_listLock);
            // Sorted insertion below relies on a sorted list; renames may have
            // changed names since the last sort.
            std::stable_sort(_FileDataArray.begin(), _FileDataArray.end(),
                             [](const auto& a, const auto& b) { return fileNameLess(a->FileName(), b->FileName()); });
            if (!_FileDataArray.isEmpty()) {
                QSet<QString> paths;
                paths.reserve(_FileDataArray.size());
                for (const auto& record : std::as_const(_FileDataArray))
                    paths.insert(record->FilePath());
                _lastIndexPaths = std::move(paths);
            }
            _useLastIndexOptimization = true;
        }
        for (const QUrl& url : batch)
            addFileAtURL(url);
        {
            ListLock lock(_listLock);
            _useLastIndexOptimization = false;
            _lastIndexPaths.reset();
        }
        announceFinish(HLVFileOperationAdding);
    });
    return true;
}

bool HLVFileManager::addFileAtURL(const QUrl& url)
{
    if (url.isEmpty())
        return false;
    auto record = HLVFileData::create();
    record->setFileWithURL(url);
    HLVSafeSave::recoverFileAtPath(record->FilePath()); // a save cut short by a crash
    const QFileInfo info(record->FilePath());
    record->setIsReadOnly(!info.isWritable());
    return addFileData(record);
}

bool HLVFileManager::addFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return false;
    {
        ListLock lock(_listLock);
        const QString path = fileData->FilePath();
        if (_useLastIndexOptimization) {
            // Within a batch only what was there before the batch counts.
            if (_lastIndexPaths && _lastIndexPaths->contains(path))
                return false;
        } else {
            for (const auto& record : std::as_const(_FileDataArray)) {
                if (record->FilePath() == path)
                    return false;
            }
        }
        if (_fileDataIndex.contains(fileData.get()))
            return false;
        fileData->setDelegate(this);
        insertSortedLocked(fileData);
    }
    _musicIdentifier->addFileData(fileData);
    return true;
}

bool HLVFileManager::insertSortedLocked(const std::shared_ptr<HLVFileData>& fileData)
{
    const QString name = fileData->FileName();
    auto position = std::upper_bound(_FileDataArray.begin(), _FileDataArray.end(), name,
                                     [](const QString& n, const auto& record) { return fileNameLess(n, record->FileName()); });
    _FileDataArray.insert(position, fileData);
    _fileDataIndex.insert(fileData.get());
    return true;
}

void HLVFileManager::sortFileData()
{
    ListLock lock(_listLock);
    std::stable_sort(_FileDataArray.begin(), _FileDataArray.end(),
                     [](const auto& a, const auto& b) { return fileNameLess(a->FileName(), b->FileName()); });
}

qsizetype HLVFileManager::indexForFile(const std::shared_ptr<HLVFileData>& fileData) const
{
    if (!fileData)
        return -1;
    ListLock lock(_listLock);
    return _FileDataArray.indexOf(fileData);
}

std::shared_ptr<HLVFileData> HLVFileManager::fileAtIndex(qsizetype index) const
{
    ListLock lock(_listLock);
    if (index < 0 || index >= _FileDataArray.size())
        return nullptr;
    return _FileDataArray.at(index);
}

QList<std::shared_ptr<HLVFileData>> HLVFileManager::FileDataArray() const
{
    return fileList(HLVFileList::All);
}

QList<std::shared_ptr<HLVFileData>> HLVFileManager::PartiallyTaggedFileDataArray() const
{
    return fileList(HLVFileList::PartiallyTagged);
}

QList<std::shared_ptr<HLVFileData>> HLVFileManager::UntaggedFileDataArray() const
{
    return fileList(HLVFileList::Untagged);
}

QList<std::shared_ptr<HLVFileData>> HLVFileManager::ModifiedFileDataArray() const
{
    return fileList(HLVFileList::Modified);
}

QList<std::shared_ptr<HLVFileData>> HLVFileManager::fileList(HLVFileList list) const
{
    ListLock lock(_listLock);
    switch (list) {
    case HLVFileList::All: return _FileDataArray;
    case HLVFileList::Untagged: return _UntaggedFileDataArray;
    case HLVFileList::PartiallyTagged: return _PartiallyTaggedFileDataArray;
    case HLVFileList::Modified: return _ModifiedFileDataArray;
    }
    return {};
}

QList<std::shared_ptr<HLVFileData>> HLVFileManager::recordsAt(const QList<int>& indexes, HLVFileList list) const
{
    const auto snapshot = fileList(list);
    QList<int> sorted = indexes;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QList<std::shared_ptr<HLVFileData>> records;
    for (int index : sorted) {
        if (index >= 0 && index < snapshot.size())
            records.append(snapshot.at(index));
    }
    return records;
}

// --- saving ----------------------------------------------------------------------------------

void HLVFileManager::countAnswer(std::atomic<quint64>& counter)
{
    {
        std::lock_guard lock(_answerLock);
        ++counter;
    }
    _answered.notify_all();
}

void HLVFileManager::saveFile(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    _fileOpQueues->addOperation([this, fileData] {
        announceStart(HLVFileOperationSaving);
        _savedCount = 0;
        fileData->saveID3Tags();
        // It may be waiting for artwork; its answer wakes us (the timeout covers
        // the moment between the answer and the end of the save).
        std::unique_lock lock(_answerLock);
        while (fileData->isSaving())
            _answered.wait_for(lock, 50ms);
        lock.unlock();
        announceFinish(HLVFileOperationSaving);
    });
}

void HLVFileManager::queueSaves(const QList<std::shared_ptr<HLVFileData>>& files)
{
    const QList<std::shared_ptr<HLVFileData>> batch = files;
    _fileOpQueues->addOperation([this, batch] {
        announceStart(HLVFileOperationSaving);
        _savedCount = 0;
        const quint64 epoch = _saveEpoch;
        for (const auto& record : batch)
            _saveOpQueue->addOperation([record] { record->saveID3Tags(); });
        const quint64 expected = quint64(batch.size());
        _saveOpQueue->addOperation([this, expected, epoch] {
            std::unique_lock lock(_answerLock);
            _answered.wait(lock, [&] { return _savedCount >= expected || _saveEpoch != epoch; });
            const bool stopped = _saveEpoch != epoch;
            lock.unlock();
            if (!stopped)
                announceFinish(HLVFileOperationSaving);
        });
    });
}

void HLVFileManager::saveFilesInUnmanagedArray(const QList<std::shared_ptr<HLVFileData>>& files)
{
    QList<std::shared_ptr<HLVFileData>> records;
    for (const auto& record : files) {
        if (record)
            records.append(record);
    }
    if (!records.isEmpty())
        queueSaves(records);
}

void HLVFileManager::saveFilesAtIndex(const QList<int>& indexes, HLVFileList list)
{
    if (indexes.isEmpty())
        return;
    const auto records = recordsAt(indexes, list);
    if (!records.isEmpty())
        queueSaves(records);
}

bool HLVFileManager::stopSaving()
{
    if (_saveOpQueue->operationCount() > 0) {
        _saveOpQueue->cancelPending();
        {
            std::lock_guard lock(_answerLock);
            ++_saveEpoch;
        }
        _answered.notify_all();
        announceFinish(HLVFileOperationSaving);
    }
    return true;
}

// --- identifying ------------------------------------------------------------------------------

void HLVFileManager::identifyFile(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    _fileOpQueues->addOperation([this, fileData] {
        _identifyCount = 0;
        _identifyTotal = 1;
        announceStart(HLVFileOperationIdentifying);
        _musicIdentifier->identifyFileData(fileData);
    });
}

void HLVFileManager::identifyFiles(const QList<std::shared_ptr<HLVFileData>>& files)
{
    if (files.isEmpty())
        return;
    _fileOpQueues->addOperation([this, files] {
        _identifyCount = 0;
        _identifyTotal = quint64(files.size());
        announceStart(HLVFileOperationIdentifying);
        _musicIdentifier->identifyFileDataInArray(files);
    });
}

void HLVFileManager::identifyFileAtIndex(qsizetype index)
{
    identifyFile(fileAtIndex(index));
}

void HLVFileManager::identifyFilesAtIndexes(const QList<int>& indexes)
{
    for (const auto& record : recordsAt(indexes, HLVFileList::All))
        identifyFile(record);
}

bool HLVFileManager::stopIdentifying()
{
    _musicIdentifier->stopIdentifying();
    announceFinish(HLVFileOperationIdentifying);
    return true;
}

void HLVFileManager::OnFileDataChanged(const std::shared_ptr<HLVFileData>& fileData)
{
    switch (fileData->IdentificationState()) {
    case HLVIdentificationIdentified:
        fileData->forceIsModified();
        relay(fileData, HLVFileManagerChangeIdentified);
        break;
    case HLVIdentificationFailed:
        relay(fileData, HLVFileManagerChangeIdentificationFailed);
        break;
    case HLVIdentificationSkipped:
        relay(fileData, HLVFileManagerChangeIdentificationNotNeeded);
        break;
    default:
        return;
    }
    if (++_identifyCount == _identifyTotal)
        announceFinish(HLVFileOperationIdentifying);
}

// --- artwork -----------------------------------------------------------------------------------

void HLVFileManager::obtainArtworkForFile(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    obtainArtworkForFiles({fileData});
}

void HLVFileManager::obtainArtworkForFiles(const QList<std::shared_ptr<HLVFileData>>& files)
{
    _terminateArtwork = false;
    _artworkObtainCount = 0;
    _artworkObtainTotal = quint64(files.size());
    if (files.isEmpty())
        return;
    announceStart(HLVFileOperationArtwork);
    for (const auto& record : files)
        obtainArtworkForFileData(record);
}

void HLVFileManager::obtainArtworkForFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    if (fileData->IsReadOnly()) {
        OnFileDataModified(fileData, HLVFileDataChangeArtwork);
        return;
    }
    if (_terminateArtwork)
        return;
    _fileOpQueues->addOperation([this, fileData] {
        if (_terminateArtwork)
            return;
        fileData->editVirtualTagMap([](HLVTagMap& map) { map.setArtworkAttempted(false); });
        fileData->obtainArtworkPathForActiveTagMap();
    });
}

bool HLVFileManager::stopObtainingArtwork()
{
    if (_fileOpQueues->operationCount() > 0) {
        _fileOpQueues->cancelPending();
        announceFinish(HLVFileOperationArtwork);
    }
    _terminateArtwork = true;
    return true;
}

// --- renaming ----------------------------------------------------------------------------------

void HLVFileManager::renameFiles(const QList<std::shared_ptr<HLVFileData>>& files,
                                 const std::optional<HLVFileNameStructure>& structure)
{
    if (files.isEmpty() || !structure || structure->isEmpty())
        return;
    const HLVFileNameStructure pattern = *structure;
    _fileOpQueues->addOperation([this, files, pattern] {
        announceStart(HLVFileOperationRenaming);
        _renameCount = 0;
        const quint64 epoch = _renameEpoch;
        for (const auto& record : files)
            _renameOpQueue->addOperation([record, pattern] { record->renameFileUsingStructure(pattern); });
        const quint64 expected = quint64(files.size());
        _renameOpQueue->addOperation([this, expected, epoch] {
            std::unique_lock lock(_answerLock);
            _answered.wait(lock, [&] { return _renameCount >= expected || _renameEpoch != epoch; });
            const bool stopped = _renameEpoch != epoch;
            lock.unlock();
            if (stopped)
                return;
            sortFileData(); // names changed
            announceFinish(HLVFileOperationRenaming);
        });
    });
}

bool HLVFileManager::stopRenaming()
{
    if (_renameOpQueue->operationCount() > 0) {
        _renameOpQueue->cancelPending();
        {
            std::lock_guard lock(_answerLock);
            ++_renameEpoch;
        }
        _answered.notify_all();
        announceFinish(HLVFileOperationRenaming);
    }
    return true;
}

// --- removing ----------------------------------------------------------------------------------

void HLVFileManager::removeLocked(const std::shared_ptr<HLVFileData>& fileData)
{
    _FileDataArray.removeAll(fileData);
    _fileDataIndex.remove(fileData.get());
    _UntaggedFileDataArray.removeAll(fileData);
    _PartiallyTaggedFileDataArray.removeAll(fileData);
    _ModifiedFileDataArray.removeAll(fileData);
}

bool HLVFileManager::removeFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return false;
    {
        ListLock lock(_listLock);
        removeLocked(fileData);
    }
    _musicIdentifier->removeFileData(fileData);
    return true;
}

bool HLVFileManager::removeFileAtIndex(qsizetype index)
{
    return removeFileData(fileAtIndex(index));
}

bool HLVFileManager::removeFilesAtIndexes(const QList<int>& indexes)
{
    const auto records = recordsAt(indexes, HLVFileList::All);
    _fileOpQueues->addOperation([this, records] {
        announceStart(HLVFileOperationRemoving);
        for (const auto& record : records)
            removeFileData(record);
        announceFinish(HLVFileOperationRemoving);
    });
    return true;
}

bool HLVFileManager::removeFilesAtIndexes(const QList<int>& indexes, HLVFileList list)
{
    const auto records = recordsAt(indexes, list);
    _fileOpQueues->addOperation([this, records] {
        announceStart(HLVFileOperationRemoving);
        for (const auto& record : records)
            removeFileData(record);
        announceFinish(HLVFileOperationRemoving);
    });
    return false;
}

// --- the modified list and the filters -----------------------------------------------------------

void HLVFileManager::fileWasModified(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData || !fileData->IsModified())
        return;
    ListLock lock(_listLock);
    if (!_ModifiedFileDataArray.contains(fileData) && _fileDataIndex.contains(fileData.get()))
        _ModifiedFileDataArray.append(fileData);
}

void HLVFileManager::filesWereModified(const QList<std::shared_ptr<HLVFileData>>& files)
{
    for (const auto& record : files)
        fileWasModified(record);
}

void HLVFileManager::refreshFilters()
{
    {
        ListLock lock(_listLock);
        if (_FileDataArray.isEmpty())
            return;
    }
    if (_currentFileOperation == HLVFileOperationFiltering)
        return;
    _fileOpQueues->addOperation([this] {
        announceStart(HLVFileOperationFiltering);
        QList<std::shared_ptr<HLVFileData>> records;
        {
            ListLock lock(_listLock);
            _UntaggedFileDataArray.clear();
            _PartiallyTaggedFileDataArray.clear();
            records = _FileDataArray;
        }
        for (const auto& record : std::as_const(records)) {
            if (_filterShouldTerminate.exchange(false))
                break;
            qint64 count = record->FilteredTagCount();
            if (count < 0) {
                // Read outside the list lock: this may read the file.
                count = HLVTagMapFilter::filteredTagCountForTagMap(*record->TemporaryTagMap());
                record->setFilteredTagCount(count);
            }
            if (count <= 0)
                continue;
            ListLock lock(_listLock);
            if (!_fileDataIndex.contains(record.get()))
                continue; // removed meanwhile
            (count == 10 ? _UntaggedFileDataArray : _PartiallyTaggedFileDataArray).append(record);
        }
        announceFinish(HLVFileOperationFiltering);
    });
}

void HLVFileManager::cancelFilter()
{
    if (_currentFileOperation == HLVFileOperationFiltering)
        _filterShouldTerminate = true;
}

// --- record answers ------------------------------------------------------------------------------

void HLVFileManager::OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    switch (code) {
    case HLVFileDataChangeArtwork:
        fileData->forceIsModified();
        relay(fileData, code);
        if (++_artworkObtainCount == _artworkObtainTotal)
            announceFinish(HLVFileOperationArtwork);
        break;
    case HLVFileDataChangeSaved: {
        {
            ListLock lock(_listLock);
            _ModifiedFileDataArray.removeAll(fileData);
        }
        relay(fileData, code);
        countAnswer(_savedCount);
        break;
    }
    case HLVFileDataChangeNotSaved:
        relay(fileData, code);
        countAnswer(_savedCount);
        break;
    case HLVFileDataChangeLoaded: {
        ListLock lock(_listLock);
        _ModifiedFileDataArray.removeAll(fileData);
        break;
    }
    case HLVFileDataChangeRenamed:
        relay(fileData, code);
        countAnswer(_renameCount);
        break;
    default:
        break;
    }
}

void HLVFileManager::waitUntilIdle()
{
    // Control blocks queue saves and renames, so the control queue goes first.
    _fileOpQueues->waitUntilAllOperationsAreFinished();
    _saveOpQueue->waitUntilAllOperationsAreFinished();
    _renameOpQueue->waitUntilAllOperationsAreFinished();
}
