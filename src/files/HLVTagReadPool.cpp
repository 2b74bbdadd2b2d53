#include "HLVTagReadPool.h"
#include "HLVThreadSanitizer.h"

#include <QHash>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <vector>

using namespace std::chrono_literals;

struct HLVTagReadPool::Run
{
    Run(const Records& r, const std::function<void(const Record&)>& f, const std::function<bool()>& s)
        : records(r), read(f), stopped(s), taken(size_t(r.size()), 0)
    {
    }

    const Records& records;
    const std::function<void(const Record&)>& read;
    const std::function<bool()>& stopped;

    std::mutex lock;
    std::condition_variable changed;
    std::vector<char> taken;
    qsizetype next = 0;          // records before this one in order are taken
    qsizetype done = 0;
    int workers = 0;             // worker loops still running
    QHash<const HLVFileData*, qsizetype> positions; // built when a priority list first needs it
    quint64 priorityGeneration = 0;
    qsizetype priorityNext = 0;  // priority entries before this one are taken or not in this run
};

HLVTagReadPool::HLVTagReadPool(int threads)
{
    _pool.setMaxThreadCount(threads > 0 ? threads : QThread::idealThreadCount());
}

HLVTagReadPool::~HLVTagReadPool()
{
    _pool.waitForDone();
}

int HLVTagReadPool::threadCount() const
{
    return _pool.maxThreadCount();
}

void HLVTagReadPool::setPriorityRecords(const Records& records)
{
    std::lock_guard lock(_priorityLock);
    _priority = records;
    ++_priorityGeneration;
}

HLVTagReadPool::Record HLVTagReadPool::takeNext(Run& run)
{
    std::lock_guard lock(run.lock);
    {
        std::lock_guard priorityLock(_priorityLock);
        if (run.priorityGeneration != _priorityGeneration) {
            run.priorityGeneration = _priorityGeneration;
            run.priorityNext = 0;
        }
        if (run.priorityNext < _priority.size() && run.positions.isEmpty()) {
            run.positions.reserve(run.records.size());
            for (qsizetype i = 0; i < run.records.size(); ++i)
                run.positions.insert(run.records.at(i).get(), i);
        }
        while (run.priorityNext < _priority.size()) {
            const qsizetype position = run.positions.value(_priority.at(run.priorityNext++).get(), -1);
            if (position >= 0 && !run.taken[size_t(position)]) {
                run.taken[size_t(position)] = 1;
                return run.records.at(position);
            }
        }
    }
    while (run.next < run.records.size()) {
        const qsizetype position = run.next++;
        if (!run.taken[size_t(position)]) {
            run.taken[size_t(position)] = 1;
            return run.records.at(position);
        }
    }
    return nullptr;
}

bool HLVTagReadPool::run(const Records& records, const std::function<void(const Record&)>& read,
                         const std::function<bool()>& stopped, const std::function<void(qsizetype)>& progress)
{
    Run run(records, read, stopped);
    const int workers = int(qMin<qsizetype>(threadCount(), records.size()));
    run.workers = workers;
    // Qt hands the work to its threads through locks ThreadSanitizer cannot see.
    HLVThreadSanitizer::handOver(&run);
    for (int i = 0; i < workers; ++i) {
        _pool.start([this, &run] {
            HLVThreadSanitizer::takeOver(&run);
            for (;;) {
                if (run.stopped && run.stopped())
                    break;
                const Record record = takeNext(run);
                if (!record)
                    break;
                run.read(record);
                // No wake-up per record: the waiting thread looks at the count
                // when it reports progress; thousands of wake-ups cost more.
                std::lock_guard lock(run.lock);
                ++run.done;
            }
            std::lock_guard lock(run.lock);
            --run.workers;
            // Notified under the lock: the waiting thread may end the run (and
            // with it the condition variable) as soon as it sees no worker left.
            run.changed.notify_all();
        });
    }
    std::unique_lock lock(run.lock);
    qsizetype reported = -1;
    for (;;) {
        const bool ended = run.workers == 0;
        if (progress && run.done != reported) {
            reported = run.done;
            lock.unlock();
            progress(reported);
            lock.lock();
        }
        if (ended)
            break;
        run.changed.wait_for(lock, 100ms, [&run] { return run.workers == 0; });
    }
    return run.done == records.size();
}
