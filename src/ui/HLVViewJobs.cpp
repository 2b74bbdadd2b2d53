#include "HLVViewJobs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

namespace {

// Started and not yet applied (or dropped) on the main thread.
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
    QPointer<HLVViewJobs> self(this);
    pool().start([this, self, cancelled, work = std::move(work)] {
        Apply apply = cancelled->load() ? Apply() : work(*cancelled);
        // Applied on the main thread unless cancelled or the owner is gone by then.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self, cancelled, apply = std::move(apply)] {
            if (self && !cancelled->load()) {
                if (self->_current == cancelled)
                    self->_current.reset();
                if (apply)
                    apply();
            }
            --unfinishedJobs;
        }, Qt::QueuedConnection);
        // Notified under the lock: the destructor may free this object as soon as it is let go.
        std::lock_guard lock(_lock);
        --_running;
        _ended.notify_all();
    });
}

void HLVViewJobs::run(QObject* context, std::function<void()> work, std::function<void()> done)
{
    ++unfinishedJobs;
    QPointer<QObject> guard(context);
    pool().start([guard, work = std::move(work), done = std::move(done)] {
        work();
        QMetaObject::invokeMethod(QCoreApplication::instance(), [guard, done] {
            if (guard && done)
                done();
            --unfinishedJobs;
        }, Qt::QueuedConnection);
    });
}

bool HLVViewJobs::waitForAll(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    // Jobs count until their result was applied (or dropped), and an applied
    // result may start the next job.
    for (;;) {
        QCoreApplication::processEvents();
        if (unfinishedJobs.load() == 0)
            return true;
        if (timer.elapsed() > milliseconds)
            return false;
        QThread::msleep(2);
    }
}
