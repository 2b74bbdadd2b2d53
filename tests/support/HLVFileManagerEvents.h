#pragma once

#include "HLVFileManager.h"

#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>

// Records a file manager's announcements as text, in arrival order:
// "start 3", "2 a.mp3" (code and file name), "finish 3".
class HLVFileManagerEvents : public HLVFileManagerDelegate
{
public:
    void fileOperationDidStart(int kind) override { add(QStringLiteral("start %1").arg(kind)); }
    void fileOperationDidFinish(int kind) override { add(QStringLiteral("finish %1").arg(kind)); }
    void fileDataWasModified(const std::shared_ptr<HLVFileData>& file, int code) override
    {
        add(QStringLiteral("%1 %2").arg(code).arg(file->FileName()));
    }

    // Waits until the event has arrived (or the time is up) and answers all seen so far.
    QStringList waitFor(const QString& event, std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock lock(_mutex);
        _changed.wait_for(lock, timeout, [&] { return _events.contains(event); });
        return _events;
    }

    // Answers the events seen so far and forgets them.
    QStringList take()
    {
        std::lock_guard lock(_mutex);
        return std::exchange(_events, {});
    }

private:
    void add(const QString& event)
    {
        {
            std::lock_guard lock(_mutex);
            _events.append(event);
        }
        _changed.notify_all();
    }

    std::mutex _mutex;
    std::condition_variable _changed;
    QStringList _events;
};
