#include "HLVFileManager.h"
#include "HLVSerialOperationQueue.h"
#include "HLVTagMapFilter.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

using ListLock = std::lock_guard<std::mutex>;
using Records = QList<std::shared_ptr<HLVFileData>>;

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

// The same file reached through a folder and directly gives the same key.
QString pathKey(const QString& path)
{
    return QDir::cleanPath(path);
}

Records withoutDuplicates(const Records& files)
{
    Records records;
    QSet<const HLVFileData*> seen;
    for (const auto& record : files) {
        if (record && !seen.contains(record.get())) {
            seen.insert(record.get());
            records.append(record);
        }
    }
    return records;
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
    shutdown();
    // The identifier's answers and the records' answers call back into this
    // object: detach from both (waiting out calls in flight) before the queues go.
    _musicIdentifier->removeDelegate(this);
    Records records;
    {
        ListLock lock(_listLock);
        records = _FileDataArray;
    }
    for (const auto& record : std::as_const(records)) {
        if (record->delegate() == this)
            record->setDelegate(nullptr);
    }
    _fileOpQueues.reset();
    _saveOpQueue.reset();
    _renameOpQueue.reset();
}

void HLVFileManager::shutdown()
{
    _shutDown = true;
    _fileOpQueues->cancelPending();
    _saveOpQueue->cancelPending();
    _renameOpQueue->cancelPending();
    _musicIdentifier->stopIdentifying();
    QList<BatchPtr> batches;
    {
        std::lock_guard lock(_batchLock);
        batches = _batches;
    }
    for (const auto& batch : std::as_const(batches)) {
        batch->stop();
        finishBatch(batch);
    }
}

// --- delegates and announcements ------------------------------------------------------

bool HLVFileManager::addDelegate(HLVFileManagerDelegate* delegate)
{
    return _delegates.add(delegate);
}

bool HLVFileManager::removeDelegate(HLVFileManagerDelegate* delegate)
{
    return _delegates.remove(delegate);
}

void HLVFileManager::announceStart(int operation)
{
    _delegates.forEach([operation](HLVFileManagerDelegate* d) { d->fileOperationDidStart(operation); });
}

void HLVFileManager::announceFinish(int operation)
{
    _delegates.forEach([operation](HLVFileManagerDelegate* d) { d->fileOperationDidFinish(operation); });
}

void HLVFileManager::relay(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    _delegates.forEach([&](HLVFileManagerDelegate* d) { d->fileDataWasModified(fileData, code); });
}

void HLVFileManager::listsChanged()
{
    _delegates.forEach([](HLVFileManagerDelegate* d) { d->fileListsDidChange(); });
}

// --- batches -----------------------------------------------------------------------------

HLVFileManager::BatchPtr HLVFileManager::makeBatch(int kind, const Records& records, bool expectsAnswers)
{
    auto batch = std::make_shared<Batch>(kind, records, expectsAnswers);
    std::lock_guard lock(_batchLock);
    _batches.append(batch);
    return batch;
}

void HLVFileManager::updateCurrentOperationLocked()
{
    int current = HLVFileOperationNone;
    for (const auto& batch : std::as_const(_batches)) {
        if (batch->isStarted() && !batch->isFinished())
            current = batch->kind(); // the latest started wins
    }
    _currentFileOperation = current;
}

// False when the batch was stopped before it could start: it then announces nothing.
bool HLVFileManager::startBatch(const BatchPtr& batch)
{
    {
        std::lock_guard lock(_batchLock);
        if (batch->isStopped() || _shutDown) {
            batch->claimFinish();
            _batches.removeOne(batch);
            updateCurrentOperationLocked();
            return false;
        }
        batch->markStarted();
        // Started batches go last, so the current kind is the latest one.
        _batches.removeOne(batch);
        _batches.append(batch);
        updateCurrentOperationLocked();
    }
    announceStart(batch->kind());
    return true;
}

void HLVFileManager::finishBatch(const BatchPtr& batch)
{
    if (!batch->isStarted()) {
        // Queued and not started: its control block will see the stop.
        return;
    }
    if (!batch->claimFinish())
        return;
    {
        std::lock_guard lock(_batchLock);
        _batches.removeOne(batch);
        updateCurrentOperationLocked();
    }
    if (batch->kind() == HLVFileOperationRenaming)
        sortFileData(); // names changed, whether or not every rename ran
    announceFinish(batch->kind());
}

void HLVFileManager::creditAnswer(int kind, const std::shared_ptr<HLVFileData>& fileData)
{
    BatchPtr complete;
    {
        std::lock_guard lock(_batchLock);
        // The oldest running batch of the kind still waiting for this record.
        for (const auto& batch : std::as_const(_batches)) {
            if (batch->kind() == kind && batch->isStarted() && !batch->isStopped() && !batch->isFinished()
                && batch->creditAnswer(fileData.get())) {
                if (batch->isComplete())
                    complete = batch;
                break;
            }
        }
    }
    if (complete)
        finishBatch(complete);
}

void HLVFileManager::stopBatches(int kind)
{
    QList<BatchPtr> stopped;
    {
        std::lock_guard lock(_batchLock);
        for (const auto& batch : std::as_const(_batches)) {
            if (batch->kind() == kind) {
                batch->stop();
                stopped.append(batch);
            }
        }
    }
    for (const auto& batch : std::as_const(stopped))
        finishBatch(batch);
}

int HLVFileManager::currentOperation() const
{
    return _currentFileOperation;
}

bool HLVFileManager::isOperationRunning() const
{
    return _currentFileOperation != HLVFileOperationNone;
}

bool HLVFileManager::isOperationRunning(int operation) const
{
    std::lock_guard lock(_batchLock);
    return std::any_of(_batches.begin(), _batches.end(), [operation](const BatchPtr& batch) {
        return batch->kind() == operation && batch->isStarted() && !batch->isFinished();
    });
}

// --- the collection ---------------------------------------------------------------------------

bool HLVFileManager::addFilesAtURLs(const std::optional<QList<QUrl>>& urls)
{
    if (!urls || _shutDown)
        return false;
    const QList<QUrl> urlList = *urls;
    auto batch = makeBatch(HLVFileOperationAdding, {}, false);
    _fileOpQueues->addOperation([this, batch, urlList] {
        if (!startBatch(batch))
            return;
        bool added = false;
        for (const QUrl& url : urlList) {
            if (batch->isStopped())
                break;
            if (url.isEmpty())
                continue;
            auto record = HLVFileData::create();
            record->setFileWithURL(url);
            record->setIsReadOnly(!QFileInfo(record->FilePath()).isWritable());
            added = addFileDataQuietly(record) || added;
        }
        finishBatch(batch);
        if (added)
            listsChanged();
    });
    return true;
}

bool HLVFileManager::addFileAtURL(const QUrl& url)
{
    if (url.isEmpty())
        return false;
    auto record = HLVFileData::create();
    record->setFileWithURL(url);
    const QFileInfo info(record->FilePath());
    record->setIsReadOnly(!info.isWritable());
    return addFileData(record);
}

bool HLVFileManager::addFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!addFileDataQuietly(fileData))
        return false;
    listsChanged();
    return true;
}

bool HLVFileManager::addFileDataQuietly(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return false;
    const Entry entry{fileData->FileName(), pathKey(fileData->FilePath())};
    {
        ListLock lock(_listLock);
        if (_entries.contains(fileData.get()) || _paths.contains(entry.path))
            return false;
        _entries.insert(fileData.get(), entry);
        _paths.insert(entry.path);
        insertSortedLocked(fileData);
    }
    fileData->setDelegate(this);
    _musicIdentifier->addFileData(fileData);
    return true;
}

void HLVFileManager::insertSortedLocked(const std::shared_ptr<HLVFileData>& fileData)
{
    const QString name = _entries.value(fileData.get()).name;
    auto position = std::upper_bound(_FileDataArray.begin(), _FileDataArray.end(), name,
                                     [this](const QString& n, const auto& record) {
                                         return fileNameLess(n, _entries.value(record.get()).name);
                                     });
    _FileDataArray.insert(position, fileData);
}

void HLVFileManager::sortFileData()
{
    // Names are read from the records outside the list lock, then the list is
    // sorted by those fixed names: a rename meanwhile cannot change the order
    // under the sort's feet.
    const Records records = FileDataArray();
    QHash<const HLVFileData*, QString> names;
    for (const auto& record : records)
        names.insert(record.get(), record->FileName());
    {
        ListLock lock(_listLock);
        if (_FileDataArray.isEmpty())
            return;
        for (auto it = names.cbegin(); it != names.cend(); ++it) {
            auto entry = _entries.find(it.key());
            if (entry != _entries.end())
                entry->name = it.value();
        }
        std::stable_sort(_FileDataArray.begin(), _FileDataArray.end(), [this](const auto& a, const auto& b) {
            return fileNameLess(_entries.value(a.get()).name, _entries.value(b.get()).name);
        });
    }
    listsChanged();
}

void HLVFileManager::recordRenamed(const std::shared_ptr<HLVFileData>& fileData)
{
    const Entry renamed{fileData->FileName(), pathKey(fileData->FilePath())};
    ListLock lock(_listLock);
    auto entry = _entries.find(fileData.get());
    if (entry == _entries.end())
        return;
    _paths.remove(entry->path);
    *entry = renamed;
    _paths.insert(renamed.path);
    // Keep the list sorted by the names it knows.
    _FileDataArray.removeOne(fileData);
    insertSortedLocked(fileData);
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

Records HLVFileManager::FileDataArray() const
{
    return fileList(HLVFileList::All);
}

Records HLVFileManager::PartiallyTaggedFileDataArray() const
{
    return fileList(HLVFileList::PartiallyTagged);
}

Records HLVFileManager::UntaggedFileDataArray() const
{
    return fileList(HLVFileList::Untagged);
}

Records HLVFileManager::ModifiedFileDataArray() const
{
    return fileList(HLVFileList::Modified);
}

Records HLVFileManager::fileList(HLVFileList list) const
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

Records HLVFileManager::recordsAt(const QList<int>& indexes, HLVFileList list) const
{
    const auto snapshot = fileList(list);
    QList<int> sorted = indexes;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    Records records;
    for (int index : sorted) {
        if (index >= 0 && index < snapshot.size())
            records.append(snapshot.at(index));
    }
    return records;
}

// --- saving ----------------------------------------------------------------------------------

void HLVFileManager::saveFile(const std::shared_ptr<HLVFileData>& fileData)
{
    if (fileData)
        queueSaves({fileData});
}

void HLVFileManager::saveFiles(const Records& files)
{
    const Records records = withoutDuplicates(files);
    if (!records.isEmpty())
        queueSaves(records);
}

void HLVFileManager::queueSaves(const Records& records)
{
    if (_shutDown)
        return;
    // A save answers through its record (code 2 or 3), perhaps much later when
    // it waits for artwork; the batch finishes with its last answer.
    auto batch = makeBatch(HLVFileOperationSaving, records, true);
    _fileOpQueues->addOperation([this, batch] {
        if (!startBatch(batch))
            return;
        for (const auto& record : batch->records()) {
            _saveOpQueue->addOperation([batch, record] {
                if (!batch->isStopped())
                    record->saveID3Tags();
            });
        }
    });
}

void HLVFileManager::saveFilesInUnmanagedArray(const Records& files)
{
    saveFiles(files);
}

void HLVFileManager::saveFilesAtIndex(const QList<int>& indexes, HLVFileList list)
{
    if (indexes.isEmpty())
        return;
    saveFiles(recordsAt(indexes, list));
}

bool HLVFileManager::stopSaving()
{
    stopBatches(HLVFileOperationSaving);
    return true;
}

// --- identifying ------------------------------------------------------------------------------

void HLVFileManager::identifyFile(const std::shared_ptr<HLVFileData>& fileData)
{
    if (fileData)
        identifyFiles({fileData});
}

void HLVFileManager::identifyFiles(const Records& files)
{
    const Records records = withoutDuplicates(files);
    if (records.isEmpty() || _shutDown)
        return;
    auto batch = makeBatch(HLVFileOperationIdentifying, records, true);
    _fileOpQueues->addOperation([this, batch] {
        if (!startBatch(batch))
            return;
        _musicIdentifier->identifyFileDataInArray(batch->records());
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
    stopBatches(HLVFileOperationIdentifying);
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
    creditAnswer(HLVFileOperationIdentifying, fileData);
}

// --- artwork -----------------------------------------------------------------------------------

void HLVFileManager::obtainArtworkForFile(const std::shared_ptr<HLVFileData>& fileData)
{
    if (fileData)
        obtainArtworkForFiles({fileData});
}

void HLVFileManager::obtainArtworkForFiles(const Records& files)
{
    const Records records = withoutDuplicates(files);
    if (records.isEmpty() || _shutDown)
        return;
    auto batch = makeBatch(HLVFileOperationArtwork, records, true);
    if (!startBatch(batch))
        return;
    for (const auto& record : records) {
        if (record->IsReadOnly()) {
            OnFileDataModified(record, HLVFileDataChangeArtwork);
            continue;
        }
        _fileOpQueues->addOperation([batch, record] {
            if (batch->isStopped())
                return;
            record->editVirtualTagMap([](HLVTagMap& map) { map.setArtworkAttempted(false); });
            record->obtainArtworkPathForActiveTagMap(); // answers later, from a worker
        });
    }
}

void HLVFileManager::obtainArtworkForFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    if (fileData->IsReadOnly()) {
        OnFileDataModified(fileData, HLVFileDataChangeArtwork);
        return;
    }
    if (_shutDown)
        return;
    _fileOpQueues->addOperation([fileData] {
        fileData->editVirtualTagMap([](HLVTagMap& map) { map.setArtworkAttempted(false); });
        fileData->obtainArtworkPathForActiveTagMap();
    });
}

bool HLVFileManager::stopObtainingArtwork()
{
    stopBatches(HLVFileOperationArtwork);
    return true;
}

// --- renaming ----------------------------------------------------------------------------------

void HLVFileManager::renameFiles(const Records& files, const std::optional<HLVFileNameStructure>& structure)
{
    const Records records = withoutDuplicates(files);
    if (records.isEmpty() || !structure || structure->isEmpty() || _shutDown)
        return;
    const HLVFileNameStructure pattern = *structure;
    auto batch = makeBatch(HLVFileOperationRenaming, records, true);
    _fileOpQueues->addOperation([this, batch, pattern] {
        if (!startBatch(batch))
            return;
        for (const auto& record : batch->records()) {
            _renameOpQueue->addOperation([batch, record, pattern] {
                if (!batch->isStopped())
                    record->renameFileUsingStructure(pattern);
            });
        }
    });
}

bool HLVFileManager::stopRenaming()
{
    stopBatches(HLVFileOperationRenaming);
    return true;
}

// --- removing ----------------------------------------------------------------------------------

bool HLVFileManager::removeLocked(const std::shared_ptr<HLVFileData>& fileData)
{
    auto entry = _entries.find(fileData.get());
    if (entry == _entries.end())
        return false;
    _paths.remove(entry->path);
    _entries.erase(entry);
    _FileDataArray.removeAll(fileData);
    _UntaggedFileDataArray.removeAll(fileData);
    _PartiallyTaggedFileDataArray.removeAll(fileData);
    _ModifiedFileDataArray.removeAll(fileData);
    return true;
}

bool HLVFileManager::removeFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return false;
    bool removed = false;
    {
        ListLock lock(_listLock);
        removed = removeLocked(fileData);
    }
    _musicIdentifier->removeFileData(fileData);
    if (removed)
        listsChanged();
    return true;
}

bool HLVFileManager::removeFileAtIndex(qsizetype index)
{
    return removeFileData(fileAtIndex(index));
}

bool HLVFileManager::removeFiles(const Records& files)
{
    if (_shutDown)
        return false;
    auto batch = makeBatch(HLVFileOperationRemoving, withoutDuplicates(files), false);
    _fileOpQueues->addOperation([this, batch] {
        if (!startBatch(batch))
            return;
        bool removed = false;
        for (const auto& record : batch->records()) {
            {
                ListLock lock(_listLock);
                removed = removeLocked(record) || removed;
            }
            _musicIdentifier->removeFileData(record);
        }
        finishBatch(batch);
        if (removed)
            listsChanged();
    });
    return true;
}

bool HLVFileManager::removeFilesAtIndexes(const QList<int>& indexes)
{
    return removeFiles(recordsAt(indexes, HLVFileList::All));
}

bool HLVFileManager::removeFilesAtIndexes(const QList<int>& indexes, HLVFileList list)
{
    removeFiles(recordsAt(indexes, list));
    return false;
}

// --- the modified list and the filters -----------------------------------------------------------

void HLVFileManager::fileWasModified(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData || !fileData->IsModified())
        return;
    {
        ListLock lock(_listLock);
        if (_ModifiedFileDataArray.contains(fileData) || !_entries.contains(fileData.get()))
            return;
        _ModifiedFileDataArray.append(fileData);
    }
    listsChanged();
}

void HLVFileManager::filesWereModified(const Records& files)
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
    if (_shutDown || isOperationRunning(HLVFileOperationFiltering))
        return;
    auto batch = makeBatch(HLVFileOperationFiltering, {}, false);
    _fileOpQueues->addOperation([this, batch] {
        if (!startBatch(batch))
            return;
        Records records;
        {
            ListLock lock(_listLock);
            _UntaggedFileDataArray.clear();
            _PartiallyTaggedFileDataArray.clear();
            records = _FileDataArray;
        }
        for (const auto& record : std::as_const(records)) {
            if (batch->isStopped())
                break;
            qint64 count = record->FilteredTagCount();
            if (count < 0) {
                // Outside the list lock: this may read the file.
                count = HLVTagMapFilter::filteredTagCountForTagMap(*record->TemporaryTagMap());
                record->setFilteredTagCount(count);
            }
            if (count <= 0)
                continue;
            ListLock lock(_listLock);
            if (!_entries.contains(record.get()))
                continue; // removed meanwhile
            (count == 10 ? _UntaggedFileDataArray : _PartiallyTaggedFileDataArray).append(record);
        }
        listsChanged();
        finishBatch(batch); // a cancelled pass too, its lists partly filled
    });
}

void HLVFileManager::cancelFilter()
{
    std::lock_guard lock(_batchLock);
    for (const auto& batch : std::as_const(_batches)) {
        if (batch->kind() == HLVFileOperationFiltering && batch->isStarted())
            batch->stop();
    }
}

// --- record answers ------------------------------------------------------------------------------

void HLVFileManager::OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    switch (code) {
    case HLVFileDataChangeArtwork:
        fileData->forceIsModified();
        relay(fileData, code);
        creditAnswer(HLVFileOperationArtwork, fileData);
        break;
    case HLVFileDataChangeSaved: {
        // Edits made while the file was written leave it modified.
        bool changed = false;
        if (!fileData->IsModified()) {
            ListLock lock(_listLock);
            changed = _ModifiedFileDataArray.removeAll(fileData) > 0;
        }
        if (changed)
            listsChanged();
        relay(fileData, code);
        creditAnswer(HLVFileOperationSaving, fileData);
        break;
    }
    case HLVFileDataChangeNotSaved:
        relay(fileData, code);
        creditAnswer(HLVFileOperationSaving, fileData);
        break;
    case HLVFileDataChangeLoaded: {
        bool changed = false;
        {
            ListLock lock(_listLock);
            changed = _ModifiedFileDataArray.removeAll(fileData) > 0;
        }
        if (changed)
            listsChanged();
        break;
    }
    case HLVFileDataChangeRenamed:
        recordRenamed(fileData);
        relay(fileData, code);
        creditAnswer(HLVFileOperationRenaming, fileData);
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
