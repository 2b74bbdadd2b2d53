#include "HLVMainThread.h"

#include <QCoreApplication>
#include <QThread>

namespace HLVMainThread {

bool isMainThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void post(std::function<void()> function)
{
    auto* app = QCoreApplication::instance();
    if (!app || !function)
        return;
    QMetaObject::invokeMethod(app, std::move(function), Qt::QueuedConnection);
}

} // namespace HLVMainThread
