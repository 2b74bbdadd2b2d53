#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

// Runs the event loop until the condition holds (queued notices from the core
// arrive meanwhile); false when the time is up first.
inline bool HLVSpinEventLoopUntil(const std::function<bool()>& condition, int milliseconds = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!condition())
            QThread::usleep(500);
    }
    return true;
}
