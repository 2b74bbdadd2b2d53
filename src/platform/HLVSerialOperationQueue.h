#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Runs operations one after another, in the order they were added, on one
// worker thread of its own. Destroying the queue drops what has not started
// and waits for the running operation.
class HLVSerialOperationQueue
{
public:
    explicit HLVSerialOperationQueue(const QString& name = QString());
    ~HLVSerialOperationQueue();

    HLVSerialOperationQueue(const HLVSerialOperationQueue&) = delete;
    HLVSerialOperationQueue& operator=(const HLVSerialOperationQueue&) = delete;

    void addOperation(std::function<void()> operation);

    // Drops every operation that has not started; the running one goes on.
    void cancelPending();

    // Operations waiting or running.
    int operationCount() const;

    // Blocks until nothing waits or runs. Must not be called from the queue's own thread.
    void waitUntilAllOperationsAreFinished();

    // True on the queue's worker thread.
    bool isCurrentQueue() const;

    const QString& name() const { return _name; }

private:
    void run();

    QString _name;
    mutable std::mutex _mutex;
    std::condition_variable _wake;
    std::condition_variable _idle;
    std::deque<std::function<void()>> _pending;
    bool _running = false;
    bool _stopping = false;
    std::thread _worker;
};
