#include "HLVSerialOperationQueue.h"

HLVSerialOperationQueue::HLVSerialOperationQueue(const QString& name)
    : _name(name)
{
    _worker = std::thread([this] { run(); });
}

HLVSerialOperationQueue::~HLVSerialOperationQueue()
{
    {
        std::lock_guard lock(_mutex);
        _stopping = true;
        _pending.clear();
    }
    _wake.notify_all();
    if (_worker.joinable())
        _worker.join();
}

void HLVSerialOperationQueue::addOperation(std::function<void()> operation)
{
    if (!operation)
        return;
    {
        std::lock_guard lock(_mutex);
        if (_stopping)
            return;
        _pending.push_back(std::move(operation));
    }
    _wake.notify_one();
}

void HLVSerialOperationQueue::cancelPending()
{
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(_mutex);
        dropped.swap(_pending);
        if (!_running)
            _idle.notify_all();
    }
    // The dropped operations are destroyed outside the lock: their captures may
    // release objects whose destructors add operations again.
}

int HLVSerialOperationQueue::operationCount() const
{
    std::lock_guard lock(_mutex);
    return int(_pending.size()) + (_running ? 1 : 0);
}

void HLVSerialOperationQueue::waitUntilAllOperationsAreFinished()
{
    std::unique_lock lock(_mutex);
    _idle.wait(lock, [this] { return _pending.empty() && !_running; });
}

bool HLVSerialOperationQueue::isCurrentQueue() const
{
    return std::this_thread::get_id() == _worker.get_id();
}

void HLVSerialOperationQueue::run()
{
    std::unique_lock lock(_mutex);
    for (;;) {
        _wake.wait(lock, [this] { return _stopping || !_pending.empty(); });
        if (_stopping)
            break;
        std::function<void()> operation = std::move(_pending.front());
        _pending.pop_front();
        _running = true;
        lock.unlock();
        operation();
        operation = nullptr;
        lock.lock();
        _running = false;
        if (_pending.empty())
            _idle.notify_all();
    }
    _running = false;
    _idle.notify_all();
}
