#include "HLVFileManager.h"
#include "HLVSerialOperationQueue.h"
#include "HLVTagReadPool.h"
#include "HLVTagMapFilter.h"

// The long operations on records: saving, identifying, artwork, renaming and
// the filter pass, each one batch.

using Records = QList<std::shared_ptr<HLVFileData>>;

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
    auto batch = _batches.make(HLVFileOperationSaving, records, true);
    _fileOpQueues->addOperation([this, batch] {
        if (!startBatch(batch))
            return;
        // Saves go in groups whose files share their flushes to disk; Stop
        // is heard between a group's files too.
        constexpr qsizetype groupSize = 256;
        for (qsizetype at = 0; at < batch->records().size(); at += groupSize) {
            const Records group = batch->records().mid(at, groupSize);
            _saveOpQueue->addOperation([batch, group] {
                HLVFileData::saveRecords(group, [batch] { return batch->isStopped(); });
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
    finishBatches(_batches.stop(HLVFileOperationSaving));
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
    auto batch = _batches.make(HLVFileOperationIdentifying, records, true);
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
    finishBatches(_batches.stop(HLVFileOperationIdentifying));
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
    auto batch = _batches.make(HLVFileOperationArtwork, records, true);
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
    finishBatches(_batches.stop(HLVFileOperationArtwork));
    return true;
}

// --- renaming ----------------------------------------------------------------------------------

void HLVFileManager::renameFiles(const Records& files, const std::optional<HLVFileNameStructure>& structure)
{
    const Records records = withoutDuplicates(files);
    if (records.isEmpty() || !structure || structure->isEmpty() || _shutDown)
        return;
    const HLVFileNameStructure pattern = *structure;
    auto batch = _batches.make(HLVFileOperationRenaming, records, true);
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
    finishBatches(_batches.stop(HLVFileOperationRenaming));
    return true;
}

// --- filtering -------------------------------------------------------------------------------

void HLVFileManager::refreshFilters()
{
    if (_lists.isEmpty() || _shutDown || isOperationRunning(HLVFileOperationFiltering))
        return;
    auto batch = _batches.make(HLVFileOperationFiltering, {}, false);
    _fileOpQueues->addOperation([this, batch] {
        if (!startBatch(batch))
            return;
        const Records records = _lists.beginFilterPass();
        Records unscored;
        for (const auto& record : records) {
            if (record->FilteredTagCount() < 0)
                unscored.append(record);
        }
        // Outside the list lock: this reads the files of unloaded records.
        _readPool->run(unscored, [](const std::shared_ptr<HLVFileData>& record) {
            record->setFilteredTagCount(HLVTagMapFilter::filteredTagCountForTagMap(*record->TemporaryTagMap()));
        }, [&batch] { return batch->isStopped(); });
        // In the list's order, whatever order the reads ended in.
        for (const auto& record : records) {
            if (const qint64 count = record->FilteredTagCount(); count > 0)
                _lists.addFiltered(record, count == 10);
        }
        listsChanged();
        finishBatch(batch); // a cancelled pass too, its lists partly filled
    });
}

void HLVFileManager::prioritizeReads(const Records& records)
{
    _readPool->setPriorityRecords(records);
}

void HLVFileManager::loadFiles(const Records& records, const std::function<void(qsizetype)>& progress,
                               const std::function<bool()>& stopped)
{
    Records unread;
    for (const auto& record : records) {
        if (record && !record->isLoaded())
            unread.append(record);
    }
    const qsizetype loaded = records.size() - unread.size();
    _readPool->run(unread, [](const std::shared_ptr<HLVFileData>& record) { record->InitialTagMap(); },
                   [this, &stopped] { return _shutDown.load() || (stopped && stopped()); },
                   progress ? [&](qsizetype done) { progress(loaded + done); } : std::function<void(qsizetype)>());
}

void HLVFileManager::cancelFilter()
{
    // The pass notices the stop and finishes itself, its lists partly filled.
    if (isOperationRunning(HLVFileOperationFiltering))
        _batches.stop(HLVFileOperationFiltering);
}

