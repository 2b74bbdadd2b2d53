#include "HLVFileOperationBatches.h"

#include <algorithm>

using Lock = std::lock_guard<std::mutex>;

HLVFileOperationBatches::BatchPtr HLVFileOperationBatches::make(int kind, const Records& records, bool expectsAnswers)
{
    auto batch = std::make_shared<HLVFileOperationBatch>(kind, records, expectsAnswers);
    Lock lock(_lock);
    _batches.append(batch);
    return batch;
}

void HLVFileOperationBatches::updateCurrentLocked()
{
    int current = 0;
    for (const auto& batch : std::as_const(_batches)) {
        if (batch->isStarted() && !batch->isFinished())
            current = batch->kind(); // the latest started wins
    }
    _current = current;
}

bool HLVFileOperationBatches::start(const BatchPtr& batch, bool shuttingDown)
{
    Lock lock(_lock);
    _batches.removeOne(batch);
    if (batch->isStopped() || shuttingDown) {
        batch->claimFinish();
        updateCurrentLocked();
        return false;
    }
    batch->markStarted();
    _batches.append(batch);
    updateCurrentLocked();
    return true;
}

bool HLVFileOperationBatches::claimFinish(const BatchPtr& batch)
{
    // A batch stopped before it started finishes silently when its turn comes.
    if (!batch->isStarted() || !batch->claimFinish())
        return false;
    Lock lock(_lock);
    _batches.removeOne(batch);
    updateCurrentLocked();
    return true;
}

HLVFileOperationBatches::BatchPtr HLVFileOperationBatches::credit(int kind, const HLVFileData* record)
{
    Lock lock(_lock);
    for (const auto& batch : std::as_const(_batches)) {
        if (batch->kind() == kind && batch->isStarted() && !batch->isStopped() && !batch->isFinished()
            && batch->creditAnswer(record))
            return batch->isComplete() ? batch : nullptr;
    }
    return nullptr;
}

QList<HLVFileOperationBatches::BatchPtr> HLVFileOperationBatches::stop(int kind)
{
    QList<BatchPtr> stopped;
    Lock lock(_lock);
    for (const auto& batch : std::as_const(_batches)) {
        if (kind == 0 || batch->kind() == kind) {
            batch->stop();
            stopped.append(batch);
        }
    }
    return stopped;
}

bool HLVFileOperationBatches::isRunning(int kind) const
{
    Lock lock(_lock);
    return std::any_of(_batches.begin(), _batches.end(), [kind](const BatchPtr& batch) {
        return batch->kind() == kind && batch->isStarted() && !batch->isFinished();
    });
}
