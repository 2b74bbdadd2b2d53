#include "HLVTagReadPool.h"

#include <QHash>
#include <QThread>
#include <algorithm>
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
    int helpers = 0;             // workers still reading for this run
    QHash<const HLVFileData*, qsizetype> positions; // built when a priority list first needs it
    quint64 priorityGeneration = 0;
    qsizetype priorityNext = 0;  // priority entries before this one are taken or not in this run
};

HLVTagReadPool::HLVTagReadPool(int threads)
    : _threads(threads > 0 ? threads : std::max(1, QThread::idealThreadCount()))
    , _pool(QStringLiteral("tag reads"), std::max(1, _threads - 1)) // the calling thread reads too
{
}

// The pool's destructor waits for its workers; a run always waits for its own.
HLVTagReadPool::~HLVTagReadPool() = default;

int HLVTagReadPool::threadCount() const
{
    return _threads;
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

void HLVTagReadPool::readUntilDone(Run& run, const std::function<void()>& betweenReads)
{
    for (;;) {
        if (run.stopped && run.stopped())
            return;
        const Record record = takeNext(run);
        if (!record)
            return;
        run.read(record);
        {
            std::lock_guard lock(run.lock);
            ++run.done;
        }
        if (betweenReads)
            betweenReads();
    }
}

bool HLVTagReadPool::run(const Records& records, const std::function<void(const Record&)>& read,
                         const std::function<bool()>& stopped, const std::function<void(qsizetype)>& progress)
{
    Run run(records, read, stopped);
    const int helpers = int(qMin<qsizetype>(_threads - 1, records.size() - 1));
    for (int i = 0; i < helpers; ++i) {
        {
            std::lock_guard lock(run.lock);
            ++run.helpers;
        }
        const bool started = _pool.start([this, &run] {
            readUntilDone(run, {});
            std::lock_guard lock(run.lock);
            --run.helpers;
            // Under the lock: the caller may end the run as soon as it sees no helper left.
            run.changed.notify_all();
        });
        if (!started) {
            std::lock_guard lock(run.lock);
            --run.helpers; // no thread to be had: the calling thread reads the rest
        }
    }

    // Progress now and then, not after every file: thousands of reports cost more.
    qsizetype reported = -1;
    auto lastReport = std::chrono::steady_clock::now() - 1s;
    auto report = [&](bool force) {
        if (!progress)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - lastReport < 100ms)
            return;
        qsizetype done = 0;
        {
            std::lock_guard lock(run.lock);
            done = run.done;
        }
        if (done != reported) {
            reported = done;
            lastReport = now;
            progress(done);
        }
    };
    readUntilDone(run, [&] { report(false); });

    std::unique_lock lock(run.lock);
    while (run.helpers > 0) {
        run.changed.wait_for(lock, 100ms, [&run] { return run.helpers == 0; });
        lock.unlock();
        report(false);
        lock.lock();
    }
    const bool complete = run.done == records.size();
    lock.unlock();
    report(true);
    return complete;
}
