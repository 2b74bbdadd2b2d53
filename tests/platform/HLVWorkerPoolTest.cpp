#include "HLVWorkerPool.h"

#include <array>
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

// Work shared with helpers: each index once, in the helpers' company, the
// first ones only once a call says stop, and all of it on the caller's own
// thread when no helper can be had.
TEST(HLVWorkerPool, ForEachIndexSharesWorkAndStopsWhereAsked)
{
    HLVWorkerPool pool(QStringLiteral("test"), 2, 100ms);
    constexpr std::size_t count = 200;
    std::array<std::atomic<int>, count> calls{};
    std::atomic<int> running{0}, most{0};
    std::atomic<bool> meanwhileRan{false};
    const auto caller = std::this_thread::get_id();
    std::atomic<bool> helped{false};
    auto work = [&](std::size_t i) {
        most = std::max(most.load(), ++running);
        helped = helped || std::this_thread::get_id() != caller;
        // Wait (briefly) for company, so that sharing shows.
        for (int spin = 0; spin < 200 && running < 2 && !helped; ++spin)
            std::this_thread::sleep_for(1ms);
        ++calls[i];
        --running;
        return true;
    };
    EXPECT_EQ(pool.forEachIndex(count, 2, work, [&] { meanwhileRan = true; }), count);
    EXPECT_TRUE(meanwhileRan);
    EXPECT_TRUE(helped);
    EXPECT_LE(most.load(), 3);
    for (std::size_t i = 0; i < count; ++i)
        ASSERT_EQ(calls[i].load(), 1) << i;

    for (auto& c : calls)
        c = 0;
    const std::size_t made = pool.forEachIndex(count, 2, [&](std::size_t i) {
        ++calls[i];
        return i < 40;
    });
    EXPECT_GE(made, 41u);
    EXPECT_LE(made, 44u); // the helpers may each have taken one more before hearing
    for (std::size_t i = 0; i < count; ++i)
        ASSERT_EQ(calls[i].load(), i < made ? 1 : 0) << i;

    pool.refuseNewThreadsForTesting(true);
    ASSERT_TRUE(pool.waitForDone(10s));
    const auto idleBy = std::chrono::steady_clock::now() + 5s;
    while (pool.threadCount() > 0 && std::chrono::steady_clock::now() < idleBy)
        std::this_thread::sleep_for(10ms);
    std::atomic<int> elsewhere{0}, total{0};
    EXPECT_EQ(pool.forEachIndex(50, 2, [&](std::size_t) {
        elsewhere += std::this_thread::get_id() != caller;
        ++total;
        return true;
    }), 50u);
    EXPECT_EQ(total.load(), 50);
    EXPECT_EQ(elsewhere.load(), 0);
}
