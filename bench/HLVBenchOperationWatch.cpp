#include "HLVBenchOperationWatch.h"

#include <QEventLoop>
#include <QTimer>

HLVBenchOperationWatch::HLVBenchOperationWatch(HLVFileManager& manager)
    : _manager(manager)
{
    _manager.addDelegate(this);
}

HLVBenchOperationWatch::~HLVBenchOperationWatch()
{
    _manager.removeDelegate(this);
}

void HLVBenchOperationWatch::expect(int operation)
{
    std::lock_guard lock(_lock);
    _expected = operation;
    _finished = false;
    _codes.clear();
}

bool HLVBenchOperationWatch::wait(std::chrono::seconds timeout)
{
    QEventLoop loop;
    {
        std::lock_guard lock(_lock);
        if (_finished)
            return true;
        _loop = &loop;
    }
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    loop.exec();
    std::lock_guard lock(_lock);
    // Cleared under the lock, so no quit is posted to the loop once it is gone.
    _loop = nullptr;
    return _finished;
}

HLVBenchOperationWatch::Clock::time_point HLVBenchOperationWatch::finishedAt() const
{
    std::lock_guard lock(_lock);
    return _finishedAt;
}

int HLVBenchOperationWatch::codeCount(int code) const
{
    std::lock_guard lock(_lock);
    return _codes.value(code);
}

void HLVBenchOperationWatch::fileOperationDidFinish(int operation)
{
    const auto now = Clock::now();
    std::lock_guard lock(_lock);
    if (operation != _expected || _finished)
        return;
    _finished = true;
    _finishedAt = now;
    if (_loop)
        QMetaObject::invokeMethod(_loop, &QEventLoop::quit, Qt::QueuedConnection);
}

void HLVBenchOperationWatch::fileDataWasModified(const std::shared_ptr<HLVFileData>&, int code)
{
    std::lock_guard lock(_lock);
    ++_codes[code];
}
