#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThreadPool;

// One kind of background job of a view: the work runs on the windows' small
// shared pool, never on the main thread, and its result is applied on the main
// thread only if no newer job of the same kind replaced it meanwhile and the
// owner still lives. The work may give up early when told it was cancelled.
// Destroying the object cancels its job and waits for the work to return.
class HLVViewJobs : public QObject
{
    Q_OBJECT
public:
    using Apply = std::function<void()>;
    using Work = std::function<Apply(const std::atomic<bool>& cancelled)>;

    explicit HLVViewJobs(QObject* parent = nullptr);
    ~HLVViewJobs() override;

    // Cancels the job before, then runs work; what it answers runs on the
    // main thread unless cancelled first (a null answer applies nothing).
    void start(Work work);
    void cancel();
    // A job was started and neither applied nor cancelled yet.
    bool isBusy() const { return _current != nullptr; }

    // A command's work (it is never cancelled): runs on the pool; done runs
    // on the main thread afterwards if context still lives.
    static void run(QObject* context, std::function<void()> work, std::function<void()> done);

    // The pool every view's jobs share: two threads, so views stay responsive
    // without a thread per file.
    static QThreadPool& pool();
    // Waits (running the event loop) until no view job is running or waiting
    // to be applied; for tests and the benchmark.
    static bool waitForAll(int milliseconds);

private:
    std::shared_ptr<std::atomic<bool>> _current;
    std::mutex _lock;
    std::condition_variable _ended;
    int _running = 0;
};
