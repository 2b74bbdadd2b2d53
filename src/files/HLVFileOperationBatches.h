#pragma once

#include "HLVFileOperationBatch.h"

#include <QList>
#include <atomic>
#include <memory>
#include <mutex>

// The file manager's batches that are queued or running. It decides who
// announces what; the announcing itself is the manager's, outside this lock.
class HLVFileOperationBatches
{
public:
    using BatchPtr = std::shared_ptr<HLVFileOperationBatch>;
    using Records = QList<std::shared_ptr<HLVFileData>>;

    BatchPtr make(int kind, const Records& records, bool expectsAnswers);
    // True when the batch may announce its start; false (and dropped) when it
    // was stopped before it began, or everything is shutting down.
    bool start(const BatchPtr& batch, bool shuttingDown);
    // True for the one caller that announces the batch's finish.
    bool claimFinish(const BatchPtr& batch);
    // Credits the oldest running batch of the kind that waits for the record;
    // answers that batch when this was its last answer.
    BatchPtr credit(int kind, const HLVFileData* record);
    // Stops the batches of a kind (every kind for 0) and answers them.
    QList<BatchPtr> stop(int kind);

    // The kind of the most recently started running batch, else 0.
    int current() const { return _current; }
    bool isRunning(int kind) const;

private:
    void updateCurrentLocked();

    mutable std::mutex _lock;
    QList<BatchPtr> _batches; // queued or running; started ones in order of starting
    std::atomic<int> _current{0};
};
