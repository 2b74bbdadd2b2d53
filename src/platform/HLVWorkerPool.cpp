#include "HLVWorkerPool.h"

#include <QCoreApplication>
#include <algorithm>
#include <memory>
#include <pthread.h>
#include <system_error>

HLVWorkerPool::HLVWorkerPool(const QString& name, int maxThreads, std::chrono::milliseconds idleTimeout)
    : _threadName(name.toUtf8().left(15)), _maxThreads(std::max(1, maxThreads)), _idleTimeout(idleTimeout)
{
}

HLVWorkerPool::~HLVWorkerPool()
{
    std::deque<std::function<void()>> dropped;
    std::list<Worker> workers;
    {
        std::lock_guard lock(_mutex);
        _stopping = true;
        dropped.swap(_jobs);
        workers.splice(workers.end(), _workers);
    }
    _wake.notify_all();
    // List nodes do not move: a worker still marks its own entry as it ends.
    for (Worker& worker : workers)
        worker.thread.join();
}

HLVWorkerPool& HLVWorkerPool::shared()
{
    static HLVWorkerPool* pool = [] {
        // Lookups spend their time waiting on a service, mostly at the one
        // request a second MusicBrainz allows: more threads would only wait too.
        auto* created = new HLVWorkerPool(QStringLiteral("workers"), 4);
        // Jobs still running when the application object goes (a lookup whose
        // request is being refused, a save finishing its write) end before the
        // program's statics do; a job stuck for longer (a stalled mount) is left.
        qAddPostRoutine([] { HLVWorkerPool::shared().waitForDone(std::chrono::seconds(3)); });
        return created;
    }();
    return *pool;
}

bool HLVWorkerPool::startWorkerLocked()
{
    if (_refuseThreads)
        return false;
    _workers.emplace_back();
    Worker* worker = &_workers.back();
    try {
        worker->thread = std::thread([this, worker] { run(worker); });
    } catch (const std::system_error&) {
        _workers.pop_back();
        return false;
    }
    ++_alive;
    return true;
}

void HLVWorkerPool::reapEndedLocked(std::list<Worker>& ended)
{
    for (auto it = _workers.begin(); it != _workers.end();) {
        auto next = std::next(it);
        if (it->ended)
            ended.splice(ended.end(), _workers, it);
        it = next;
    }
}

bool HLVWorkerPool::start(std::function<void()> job)
{
    if (!job)
        return false;
    std::list<Worker> ended;
    bool taken = true;
    {
        std::lock_guard lock(_mutex);
        if (_stopping)
            return false;
        reapEndedLocked(ended);
        _jobs.push_back(std::move(job));
        if (_idle < qsizetype(_jobs.size()) && _alive < _maxThreads && !startWorkerLocked() && _alive == 0) {
            // No thread to run it now or later: hand it back.
            job = std::move(_jobs.back());
            _jobs.pop_back();
            taken = false;
        }
    }
    if (taken)
        _wake.notify_one();
    // Ended workers are past their last use of the pool; joining them is quick.
    for (Worker& worker : ended)
        worker.thread.join();
    return taken;
}

std::size_t HLVWorkerPool::forEachIndex(std::size_t count, int helpers, const std::function<bool(std::size_t)>& work,
                                        const std::function<void()>& meanwhile)
{
    // Shared with the helpers: one that starts after the last index was
    // taken finds nothing to do and never touches work, which may be gone.
    struct Sweep
    {
        std::size_t count = 0;
        const std::function<bool(std::size_t)>* work = nullptr;
        std::mutex mutex;
        std::condition_variable finished;
        std::size_t next = 0;
        int running = 0;
        bool halted = false;

        bool over() const { return running == 0 && (halted || next >= count); }
        void run()
        {
            std::unique_lock lock(mutex);
            while (!halted && next < count) {
                const std::size_t index = next++;
                ++running;
                lock.unlock();
                const bool goOn = (*work)(index);
                lock.lock();
                --running;
                halted = halted || !goOn;
            }
            if (over())
                finished.notify_all();
        }
    };
    auto sweep = std::make_shared<Sweep>();
    sweep->count = count;
    sweep->work = &work;
    const std::size_t others = meanwhile ? count : count - std::min<std::size_t>(count, 1);
    const std::size_t wanted = std::min<std::size_t>(std::size_t(std::max(0, helpers)), others);
    for (std::size_t i = 0; i < wanted; ++i) {
        if (!start([sweep] { sweep->run(); }))
            break;
    }
    if (meanwhile)
        meanwhile();
    sweep->run();
    std::unique_lock lock(sweep->mutex);
    sweep->finished.wait(lock, [&sweep] { return sweep->over(); });
    return sweep->next;
}

void HLVWorkerPool::run(Worker* worker)
{
    pthread_setname_np(pthread_self(), _threadName.constData());
    std::unique_lock lock(_mutex);
    for (;;) {
        if (_jobs.empty()) {
            if (_stopping)
                break;
            ++_idle;
            const bool woken = _wake.wait_for(lock, _idleTimeout, [this] { return _stopping || !_jobs.empty(); });
            --_idle;
            if (!woken)
                break; // idle long enough: the next job starts a new worker
            continue;
        }
        std::function<void()> job = std::move(_jobs.front());
        _jobs.pop_front();
        ++_running;
        lock.unlock();
        job();
        job = nullptr; // its captures go before the pool counts it done
        lock.lock();
        --_running;
        if (_jobs.empty() && _running == 0)
            _done.notify_all();
    }
    --_alive;
    worker->ended = true;
}

int HLVWorkerPool::threadCount() const
{
    std::lock_guard lock(_mutex);
    return _alive;
}

int HLVWorkerPool::pendingCount() const
{
    std::lock_guard lock(_mutex);
    return int(_jobs.size()) + _running;
}

bool HLVWorkerPool::waitForDone(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(_mutex);
    return _done.wait_for(lock, timeout, [this] { return _jobs.empty() && _running == 0; });
}

void HLVWorkerPool::refuseNewThreadsForTesting(bool refuse)
{
    std::lock_guard lock(_mutex);
    _refuseThreads = refuse;
}
