#pragma once

#include "HLVTagLib.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

// The window tests fail any tag read or write on the main thread: there it
// would freeze the window for as long as the disk takes. A test that prepares
// or checks files itself on the main thread says so with a scoped allowance.
namespace HLVMainThreadFileCheck {

inline std::atomic<int> allowances{0};

inline void check(const char* operation, const QString& path)
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread() || allowances.load() > 0)
        return;
    ADD_FAILURE() << "the window asked TagLib to " << operation << " " << path.toStdString()
                  << " on the main thread";
}

inline void install()
{
    HLVTagLib::setAccessCheck(&check);
}

} // namespace HLVMainThreadFileCheck

// While alive, the test itself may read and write tags on the main thread.
class HLVAllowMainThreadFileAccess
{
public:
    HLVAllowMainThreadFileAccess() { ++HLVMainThreadFileCheck::allowances; }
    ~HLVAllowMainThreadFileAccess() { --HLVMainThreadFileCheck::allowances; }
    HLVAllowMainThreadFileAccess(const HLVAllowMainThreadFileAccess&) = delete;
    HLVAllowMainThreadFileAccess& operator=(const HLVAllowMainThreadFileAccess&) = delete;
};
