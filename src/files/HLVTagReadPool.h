#pragma once

#include "HLVWorkerPool.h"

#include <QList>
#include <functional>
#include <memory>
#include <mutex>

class HLVFileData;

// Reads many records' tags at once, one thread per core (the calling thread
// and workers of its own): reads of different files are independent, and a
// large list is read in a fraction of the time one thread takes. Records asked
// for first (the rows a window shows) go ahead of the others, in a run under
// way and in later ones.
class HLVTagReadPool
{
public:
    using Record = std::shared_ptr<HLVFileData>;
    using Records = QList<Record>;

    // threads 0: one per core.
    explicit HLVTagReadPool(int threads = 0);
    ~HLVTagReadPool();
    HLVTagReadPool(const HLVTagReadPool&) = delete;
    HLVTagReadPool& operator=(const HLVTagReadPool&) = delete;

    int threadCount() const;

    // The records to read before all others, in this order; replaces the
    // records of an earlier call (an empty list forgets them).
    void setPriorityRecords(const Records& records);

    // Calls read once for each record, on the calling thread and the pool's
    // workers: the priority records among them first, then the others in their
    // order. Returns when every record was read, or once stopped (asked before
    // each record, on any thread) answered true and the reads under way have
    // ended; answers false in that case. progress (if given) is called on the
    // calling thread, between its own reads and while it waits, with the
    // number of records read so far. Must not be called from a read.
    bool run(const Records& records, const std::function<void(const Record&)>& read,
             const std::function<bool()>& stopped, const std::function<void(qsizetype done)>& progress = {});

private:
    struct Run;
    Record takeNext(Run& run);
    void readUntilDone(Run& run, const std::function<void()>& betweenReads);

    const int _threads;
    HLVWorkerPool _pool;
    std::mutex _priorityLock;
    Records _priority;
    quint64 _priorityGeneration = 0; // which list a run last looked at
};
