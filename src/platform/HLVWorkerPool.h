#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

// Runs jobs on at most a fixed number of worker threads of its own, first in,
// first out. A worker starts when a job waits and no worker is free, and ends
// after idling for a while, so an idle program holds none. Every worker is
// joined: by the next start() once it has ended, or by the destructor.
//
// The system may refuse a new thread; that is never fatal. The job then waits
// for a running worker, and start() answers false only when there is none, in
// which case the job was not taken and the caller answers for it.
class HLVWorkerPool
{
public:
    HLVWorkerPool(const QString& name, int maxThreads,
                  std::chrono::milliseconds idleTimeout = std::chrono::seconds(10));
    // Drops the jobs that have not started and waits for the running ones.
    ~HLVWorkerPool();

    HLVWorkerPool(const HLVWorkerPool&) = delete;
    HLVWorkerPool& operator=(const HLVWorkerPool&) = delete;

    // The process-wide pool for work that waits on services or on the disk:
    // artwork lookups, saves resumed after one, folder listings. It lives as
    // long as the process; when the application object goes it waits three
    // seconds at most for the jobs still running.
    static HLVWorkerPool& shared();

    bool start(std::function<void()> job);

    // Calls work(0), work(1) and so on below count, on the calling thread and
    // on up to helpers of this pool's workers, until a call answers false;
    // returns once every call made has returned, answering how many were made
    // (always the first ones). What the workers do not take (a busy pool, a
    // refused thread) the caller does itself: that costs the parallelism only.
    // meanwhile, when given, runs on the calling thread first, while the
    // helpers start.
    std::size_t forEachIndex(std::size_t count, int helpers, const std::function<bool(std::size_t)>& work,
                             const std::function<void()>& meanwhile = {});

    // Worker threads alive.
    int threadCount() const;
    // Jobs waiting or running.
    int pendingCount() const;
    // Waits until no job waits or runs; false when the time ran out first.
    bool waitForDone(std::chrono::milliseconds timeout);

    // Lets a test stand in for a system that refuses every new thread.
    void refuseNewThreadsForTesting(bool refuse);

private:
    struct Worker
    {
        std::thread thread;
        bool ended = false;
    };
    void run(Worker* worker);
    bool startWorkerLocked();
    void reapEndedLocked(std::list<Worker>& ended);

    const QByteArray _threadName; // as the system shows it (15 bytes at most)
    const int _maxThreads;
    const std::chrono::milliseconds _idleTimeout;
    mutable std::mutex _mutex;
    std::condition_variable _wake;
    std::condition_variable _done;
    std::deque<std::function<void()>> _jobs;
    std::list<Worker> _workers;
    int _alive = 0;
    int _idle = 0;
    int _running = 0;
    bool _stopping = false;
    bool _refuseThreads = false;
};
