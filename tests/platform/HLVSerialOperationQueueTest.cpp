#include "HLVSerialOperationQueue.h"

#include <QMutex>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(HLVSerialOperationQueue, RunsInOrderOneAtATime)
{
    HLVSerialOperationQueue queue;
    std::vector<int> order;
    std::atomic<int> concurrent{0};
    std::atomic<int> maxConcurrent{0};
    for (int i = 0; i < 50; ++i) {
        queue.addOperation([&, i] {
            const int now = ++concurrent;
            maxConcurrent = std::max(maxConcurrent.load(), now);
            EXPECT_TRUE(queue.isCurrentQueue());
            order.push_back(i); // only the worker touches it
            std::this_thread::sleep_for(100us);
            --concurrent;
        });
    }
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(queue.operationCount(), 0);
    EXPECT_EQ(maxConcurrent.load(), 1);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[size_t(i)], i);
    EXPECT_FALSE(queue.isCurrentQueue());
}

TEST(HLVSerialOperationQueue, CancelDropsOnlyWhatHasNotStarted)
{
    HLVSerialOperationQueue queue;
    std::atomic<bool> release{false};
    std::atomic<bool> started{false};
    std::atomic<int> ran{0};
    queue.addOperation([&] {
        started = true;
        while (!release)
            std::this_thread::sleep_for(1ms);
        ++ran;
    });
    for (int i = 0; i < 5; ++i)
        queue.addOperation([&] { ++ran; });
    while (!started)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(queue.operationCount(), 6);
    queue.cancelPending();
    EXPECT_EQ(queue.operationCount(), 1);
    release = true;
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 1);

    queue.addOperation([&] { ++ran; }); // still usable after a cancel
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 2);
}

TEST(HLVSerialOperationQueue, DestructionWaitsForTheRunningOperation)
{
    std::atomic<bool> finished{false};
    std::atomic<int> later{0};
    {
        HLVSerialOperationQueue queue;
        std::atomic<bool> started{false};
        queue.addOperation([&] {
            started = true;
            std::this_thread::sleep_for(20ms);
            finished = true;
        });
        queue.addOperation([&] { ++later; });
        while (!started)
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(finished.load());
    EXPECT_EQ(later.load(), 0);
}
