#include "HLVFileManager.h"
#include "HLVDataRequest.h"
#include "HLVFolderListing.h"
#include "HLVSafeSave.h"
#include "HLVSerialOperationQueue.h"
#include "HLVTagReadPool.h"
#include "HLVWorkerPool.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

using Records = QList<std::shared_ptr<HLVFileData>>;

namespace {

// The same file reached through a folder and directly gives the same key.
QString pathKey(const QString& path)
{
    return QDir::cleanPath(path);
}

void noteWhetherWritable(HLVFileData& record)
{
    record.setIsReadOnly(!QFileInfo(record.FilePath()).isWritable());
}

} // namespace

Records HLVFileManager::withoutDuplicates(const Records& files)
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

HLVFileManager::HLVFileManager()
    : _fileOpQueues(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("files")))
    , _saveOpQueue(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("saves")))
    , _renameOpQueue(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("renames")))
    , _readPool(std::make_unique<HLVTagReadPool>())
    , _musicIdentifier(HLVMusicIdentifier::create())
    , _listing(std::make_shared<Listing>())
{
    _listing->manager = this;
    _musicIdentifier->addDelegate(&_listener);
}

HLVFileManager::~HLVFileManager()
{
    finishBatches(stopWork());
    // The identifier's answers and the records' answers call back into this
    // object: detach from both (waiting out calls in flight) before the queues
    // go. Removed records too: a lookup of theirs may answer much later.
    _musicIdentifier->removeDelegate(&_listener);
    for (const auto& record : everyRecord())
        record->resignDelegate(&_listener);
    _fileOpQueues.reset();
    _saveOpQueue.reset();
    _renameOpQueue.reset();
    _readPool.reset();
}

QList<HLVFileManager::BatchPtr> HLVFileManager::stopWork()
{
    _shutDown = true;
    _listing->stop = true;
    {
        // Waits for a listing that is handing its files over right now.
        std::lock_guard lock(_listing->lock);
        _listing->manager = nullptr;
    }
    const QList<BatchPtr> stopped = _batches.stop(0);
    _fileOpQueues->cancelPending();
    _saveOpQueue->cancelPending();
    _renameOpQueue->cancelPending();
    _musicIdentifier->stopIdentifying();
    return stopped;
}

void HLVFileManager::shutdown()
{
    const QList<BatchPtr> stopped = stopWork();
    // Before the requests end: a save whose lookup fails now must find its
    // record abandoned, not write.
    HLVFileData::abandonWork(everyRecord());
    HLVDataRequest::refuseRequests(true);
    finishBatches(stopped);
}

int HLVFileManager::writesUnderWay() const
{
    return HLVFileData::writesUnderWay();
}

void HLVFileManager::noteRemoved(const Records& records)
{
    std::lock_guard lock(_removedLock);
    for (const auto& record : records)
        _removed.append(record);
    if (_removed.size() >= _removedPruneMark) {
        _removed.removeIf([](const std::weak_ptr<HLVFileData>& record) { return record.expired(); });
        _removedPruneMark = std::max<qsizetype>(1024, 2 * _removed.size());
    }
}

Records HLVFileManager::everyRecord() const
{
    Records records = _lists.list(HLVFileList::All);
    std::lock_guard lock(_removedLock);
    for (const auto& removed : _removed) {
        if (auto record = removed.lock())
            records.append(record);
    }
    return records;
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

// False when the batch was stopped before it could start: it then announces nothing.
bool HLVFileManager::startBatch(const BatchPtr& batch)
{
    if (!_batches.start(batch, _shutDown))
        return false;
    announceStart(batch->kind());
    return true;
}

void HLVFileManager::finishBatch(const BatchPtr& batch)
{
    if (!_batches.claimFinish(batch))
        return;
    if (batch->kind() == HLVFileOperationRenaming)
        sortFileData(); // names changed, whether or not every rename ran
    announceFinish(batch->kind());
}

void HLVFileManager::finishBatches(const QList<BatchPtr>& batches)
{
    for (const auto& batch : batches)
        finishBatch(batch);
}

void HLVFileManager::creditAnswer(int kind, const std::shared_ptr<HLVFileData>& fileData)
{
    if (const BatchPtr complete = _batches.credit(kind, fileData.get()))
        finishBatch(complete);
}

int HLVFileManager::currentOperation() const
{
    return _batches.current();
}

bool HLVFileManager::isOperationRunning() const
{
    return _batches.current() != HLVFileOperationNone;
}

bool HLVFileManager::isOperationRunning(int operation) const
{
    return _batches.isRunning(operation);
}

// --- the collection ---------------------------------------------------------------------------

bool HLVFileManager::addFilesAtURLs(const std::optional<QList<QUrl>>& urls)
{
    if (!urls || _shutDown)
        return false;
    const QList<QUrl> urlList = *urls;
    auto batch = _batches.make(HLVFileOperationAdding, {}, false);
    _fileOpQueues->addOperation([this, batch, urlList] {
        if (!startBatch(batch))
            return;
        Records records;
        records.reserve(urlList.size());
        for (const QUrl& url : urlList) {
            if (url.isEmpty())
                continue;
            auto record = HLVFileData::create();
            record->setFileWithURL(url);
            records.append(std::move(record));
        }
        // Each file's own checks ask the disk several times: on every core.
        // Only the rare file a save left something behind for is recovered,
        // one at a time (the files of one save may share what it left).
        QSet<const HLVFileData*> toRecover;
        std::mutex toRecoverLock;
        const bool recovers = _recoversAddedFiles;
        _readPool->run(records, [&](const std::shared_ptr<HLVFileData>& record) {
            noteWhetherWritable(*record);
            if (recovers && HLVSafeSave::hasPendingRecovery(record->FilePath())) {
                std::lock_guard lock(toRecoverLock);
                toRecover.insert(record.get());
            }
        }, [&batch] { return batch->isStopped(); });
        bool added = false;
        for (const auto& record : std::as_const(records)) {
            if (batch->isStopped())
                break;
            if (toRecover.contains(record.get())) {
                recoverAddedFile(*record);
                noteWhetherWritable(*record);
            }
            added = addFileDataQuietly(record) || added;
        }
        finishBatch(batch);
        if (added)
            listsChanged();
    });
    return true;
}

bool HLVFileManager::addFilesAndFoldersAtPaths(const QStringList& paths)
{
    if (_shutDown)
        return false;
    auto listing = _listing;
    const std::function<void()> job = [listing, paths] {
        const QList<QUrl> urls = HLVFolderListing::audioFileURLsForPaths(paths, &listing->stop);
        std::lock_guard lock(listing->lock);
        if (listing->manager && !listing->stop)
            listing->manager->addFilesAtURLs(urls);
    };
    if (!HLVWorkerPool::shared().start(job))
        job(); // no worker to be had: slow, but the files still come
    return true;
}

bool HLVFileManager::addFileAtURL(const QUrl& url)
{
    if (url.isEmpty())
        return false;
    auto record = HLVFileData::create();
    record->setFileWithURL(url);
    recoverAddedFile(*record);
    noteWhetherWritable(*record);
    return addFileData(record);
}

// A save cut short by a crash is undone before the file is read; what cannot
// be undone safely stays as the record's failure.
void HLVFileManager::recoverAddedFile(HLVFileData& record)
{
    if (!_recoversAddedFiles)
        return;
    HLVFailure failure;
    switch (HLVSafeSave::recoverFileAtPath(record.FilePath(), &failure)) {
    case HLVSafeSave::Recovery::KeptAside:
    case HLVSafeSave::Recovery::Failed: record.setLastFailure(failure); break;
    default: break;
    }
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
    if (!fileData || !_lists.insert(fileData, fileData->FileName(), pathKey(fileData->FilePath())))
        return false;
    fileData->setDelegate(&_listener);
    _musicIdentifier->addFileData(fileData);
    return true;
}

void HLVFileManager::sortFileData()
{
    // By the names the lists were told: a record's name changes only by a
    // rename, whose answer (code 8) tells them. Asking the records here could
    // bring back a name older than that answer.
    if (_lists.isEmpty())
        return;
    _lists.sort();
    listsChanged();
}

qsizetype HLVFileManager::indexForFile(const std::shared_ptr<HLVFileData>& fileData) const
{
    return fileData ? _lists.indexOf(fileData) : -1;
}

std::shared_ptr<HLVFileData> HLVFileManager::fileAtIndex(qsizetype index) const
{
    return _lists.at(index);
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

Records HLVFileManager::fileList(HLVFileList list, quint64* revision) const
{
    return _lists.list(list, revision);
}

qsizetype HLVFileManager::fileListSize(HLVFileList list) const
{
    return _lists.size(list);
}

quint64 HLVFileManager::fileListRevision(HLVFileList list) const
{
    return _lists.revision(list);
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

// --- removing ----------------------------------------------------------------------------------

bool HLVFileManager::removeFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return false;
    const bool removed = _lists.remove(fileData);
    _musicIdentifier->removeFileData(fileData);
    if (removed) {
        noteRemoved({fileData});
        listsChanged();
    }
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
    auto batch = _batches.make(HLVFileOperationRemoving, withoutDuplicates(files), false);
    _fileOpQueues->addOperation([this, batch] {
        if (!startBatch(batch))
            return;
        const Records removed = _lists.remove(batch->records());
        for (const auto& record : batch->records())
            _musicIdentifier->removeFileData(record);
        noteRemoved(removed);
        finishBatch(batch);
        if (!removed.isEmpty())
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
    if (fileData && fileData->IsModified() && _lists.addModified(fileData))
        listsChanged();
}

void HLVFileManager::filesWereModified(const Records& files)
{
    for (const auto& record : files)
        fileWasModified(record);
}

namespace {

// The records whose tags can be changed; reads those not read yet.
QList<std::shared_ptr<HLVFileData>> editable(const QList<std::shared_ptr<HLVFileData>>& files)
{
    QList<std::shared_ptr<HLVFileData>> records;
    records.reserve(files.size());
    for (const auto& record : files) {
        if (!record || record->IsReadOnly())
            continue;
        record->InitialTagMap();
        if (record->canBeEdited())
            records.append(record);
    }
    return records;
}

} // namespace

HLVFileManager::Records HLVFileManager::removeTags(const Records& files, HLVCompilationFlag compilation)
{
    const Records records = editable(files);
    for (const auto& record : records)
        record->removeTags(compilation);
    filesWereModified(records);
    return records;
}

HLVFileManager::Records HLVFileManager::chooseArtwork(const Records& files, const HLVArtwork& picture,
                                                      const QString& path)
{
    const Records records = editable(files);
    for (const auto& record : records)
        record->chooseArtwork(picture, path);
    filesWereModified(records);
    return records;
}

// --- record answers ------------------------------------------------------------------------------

void HLVFileManager::OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    switch (code) {
    case HLVFileDataChangeArtwork:
        // An answer a save has just written leaves nothing to save.
        if (!fileData->takeArtworkAnswerSaved())
            fileData->forceIsModified();
        relay(fileData, code);
        creditAnswer(HLVFileOperationArtwork, fileData);
        break;
    case HLVFileDataChangeSaved: {
        // Edits made while the file was written leave it modified.
        if (!fileData->IsModified() && _lists.removeModified(fileData))
            listsChanged();
        relay(fileData, code);
        creditAnswer(HLVFileOperationSaving, fileData);
        break;
    }
    case HLVFileDataChangeNotSaved:
        relay(fileData, code);
        creditAnswer(HLVFileOperationSaving, fileData);
        break;
    case HLVFileDataChangeLoaded:
        // A first read of a file already changed (Remove Tags before anything
        // read it) must not hide those changes from the modified list.
        if (!fileData->IsModified() && _lists.removeModified(fileData))
            listsChanged();
        _delegates.forEach([&](HLVFileManagerDelegate* d) { d->fileDataWasLoaded(fileData); });
        break;
    case HLVFileDataChangeRenamed:
        _lists.renamed(fileData, fileData->FileName(), pathKey(fileData->FilePath()));
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

void HLVFileManager::Listener::OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    manager.HLVFileManager::OnFileDataModified(fileData, code);
}

void HLVFileManager::Listener::OnFileDataChanged(const std::shared_ptr<HLVFileData>& fileData)
{
    manager.HLVFileManager::OnFileDataChanged(fileData);
}
