#include "HLVWorkerPool.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

// Many jobs that wait never take more than the pool's threads; idle workers
// end; a system that refuses threads loses no job and ends nothing.
TEST(HLVWorkerPool, BoundedFirstInFirstOutAndSurvivesARefusedThread)
{
    HLVWorkerPool pool(QStringLiteral("test"), 3, 100ms);
    std::atomic<int> running{0}, most{0}, done{0};
    std::atomic<bool> release{false};
    for (int i = 0; i < 60; ++i) {
        ASSERT_TRUE(pool.start([&] {
            most = std::max(most.load(), ++running);
            while (!release)
                std::this_thread::sleep_for(1ms);
            --running;
            ++done;
        }));
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(pool.threadCount(), 3);
    EXPECT_EQ(pool.pendingCount(), 60);
    release = true;
    ASSERT_TRUE(pool.waitForDone(10s));
    EXPECT_EQ(done.load(), 60);
    EXPECT_LE(most.load(), 3);
    const auto idleBy = std::chrono::steady_clock::now() + 5s;
    while (pool.threadCount() > 0 && std::chrono::steady_clock::now() < idleBy)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(pool.threadCount(), 0) << "idle workers end";

    // No thread to be had and none running: the job is handed back, not lost silently.
    pool.refuseNewThreadsForTesting(true);
    bool ran = false;
    EXPECT_FALSE(pool.start([&] { ran = true; }));
    EXPECT_FALSE(ran);
    // One worker running: later jobs wait for it even though no new thread comes.
    pool.refuseNewThreadsForTesting(false);
    std::atomic<bool> hold{true};
    ASSERT_TRUE(pool.start([&] {
        while (hold)
            std::this_thread::sleep_for(1ms);
    }));
    pool.refuseNewThreadsForTesting(true);
    std::atomic<int> later{0};
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(pool.start([&] { ++later; }));
    hold = false;
    ASSERT_TRUE(pool.waitForDone(10s));
    EXPECT_EQ(later.load(), 5);
    EXPECT_EQ(pool.threadCount(), 1);
}
