#include "HLVMainThread.h"
#include "HLVThreadSanitizer.h"

#include <QCoreApplication>
#include <QThread>
#include <memory>

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
    auto task = std::make_shared<std::function<void()>>(std::move(function));
    HLVThreadSanitizer::handOver(task.get());
    QMetaObject::invokeMethod(
        app,
        [task] {
            HLVThreadSanitizer::takeOver(task.get());
            (*task)();
        },
        Qt::QueuedConnection);
}

} // namespace HLVMainThread
