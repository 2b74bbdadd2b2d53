#include "HLVViewJobs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

namespace {

std::atomic<int> unfinishedJobs{0};

} // namespace

HLVViewJobs::HLVViewJobs(QObject* parent) : QObject(parent) {}

HLVViewJobs::~HLVViewJobs()
{
    cancel();
    std::unique_lock lock(_lock);
    _ended.wait(lock, [this] { return _running == 0; });
}

QThreadPool& HLVViewJobs::pool()
{
    static QThreadPool* jobs = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(2);
        created->setObjectName(QStringLiteral("view jobs"));
        return created;
    }();
    return *jobs;
}

void HLVViewJobs::cancel()
{
    if (_current) {
        _current->store(true);
        _current.reset();
    }
}

void HLVViewJobs::start(Work work)
{
    cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    _current = cancelled;
    {
        std::lock_guard lock(_lock);
        ++_running;
    }
    ++unfinishedJobs;
    pool().start([this, cancelled, work = std::move(work)] {
        Apply apply = cancelled->load() ? Apply() : work(*cancelled);
        if (!cancelled->load()) {
            // Posted to this object: dropped if it is gone by then.
            QMetaObject::invokeMethod(this, [this, cancelled, apply = std::move(apply)] {
                if (cancelled->load())
                    return;
                if (_current == cancelled)
                    _current.reset();
                if (apply)
                    apply();
            }, Qt::QueuedConnection);
        }
        --unfinishedJobs;
        // Notified under the lock: the destructor may free this object as soon as it is let go.
        std::lock_guard lock(_lock);
        --_running;
        _ended.notify_all();
    });
}

bool HLVViewJobs::waitForAll(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // Twice: an applied result may start the next job.
        QCoreApplication::processEvents();
        if (unfinishedJobs.load() == 0) {
            QCoreApplication::processEvents();
            if (unfinishedJobs.load() == 0)
                return true;
        }
        if (timer.elapsed() > milliseconds)
            return false;
        QThread::msleep(2);
    }
}
