#include "HLVOperationMonitor.h"
#include "HLVMainThread.h"
#include "HLVProgressLine.h"

#include <QCoreApplication>

HLVOperationMonitor::HLVOperationMonitor(HLVProgressLine& progress)
    : _progress(progress)
{
}

void HLVOperationMonitor::wakeMainThread()
{
    // An empty event is enough: the waiting loop checks its state after each one.
    HLVMainThread::post([] {});
}

void HLVOperationMonitor::fileOperationDidFinish(int operation)
{
    {
        std::lock_guard lock(_mutex);
        ++_finished[operation];
    }
    wakeMainThread();
}

void HLVOperationMonitor::fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    {
        std::lock_guard lock(_mutex);
        _codes[fileData.get()].append(code);
    }
    wakeMainThread();
}

HLVOperationMonitor::Codes HLVOperationMonitor::run(int kind, const QString& label, qsizetype total,
                                                    const std::function<void()>& start)
{
    quint64 before = 0;
    {
        std::lock_guard lock(_mutex);
        _codes.clear();
        before = _finished.value(kind);
    }
    start();
    for (;;) {
        qsizetype done = 0;
        {
            std::lock_guard lock(_mutex);
            if (_finished.value(kind) > before)
                break;
            done = _codes.size();
        }
        if (total > 0)
            _progress.show(label, done, total);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    _progress.clear();
    // Let answers posted to the main thread before the finish run now.
    QCoreApplication::processEvents();
    std::lock_guard lock(_mutex);
    return _codes;
}
