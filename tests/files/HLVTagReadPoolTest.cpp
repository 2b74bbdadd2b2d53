#include "HLVFileData.h"
#include "HLVTagReadPool.h"

#include <QHash>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>

namespace {

using Records = HLVTagReadPool::Records;

Records makeRecords(int count)
{
    Records records;
    for (int i = 0; i < count; ++i)
        records.append(HLVFileData::createWithPath(QStringLiteral("/nowhere/%1.mp3").arg(i)));
    return records;
}

} // namespace

// Rows a window shows are read first, also when they change during a run; every
// record is read once whatever the number of threads; a stopped run ends early.
TEST(HLVTagReadPool, ReadsPriorityRecordsFirstAndEveryRecordOnce)
{
    const Records records = makeRecords(10);
    {
        // One thread: the order is exactly the one the pool chooses.
        HLVTagReadPool pool(1);
        pool.setPriorityRecords({records[7], records[3], makeRecords(1).first()}); // a stranger is skipped
        Records order;
        EXPECT_TRUE(pool.run(records, [&](const auto& record) {
            order.append(record);
            if (order.size() == 3)
                pool.setPriorityRecords({records[9], records[3], records[8]}); // scrolled meanwhile
        }, {}));
        EXPECT_EQ(order, (Records{records[7], records[3], records[0], records[9], records[8], records[1], records[2],
                                  records[4], records[5], records[6]}));

        // The priority holds for the next run too.
        order.clear();
        pool.run(records, [&](const auto& record) { order.append(record); }, {});
        EXPECT_EQ(order.mid(0, 3), (Records{records[9], records[3], records[8]}));
    }

    const Records many = makeRecords(300);
    HLVTagReadPool pool(4);
    EXPECT_EQ(pool.threadCount(), 4);
    std::mutex lock;
    QHash<const HLVFileData*, int> reads;
    qsizetype lastProgress = 0;
    EXPECT_TRUE(pool.run(many, [&](const auto& record) {
        std::lock_guard guard(lock);
        ++reads[record.get()];
    }, {}, [&](qsizetype done) { lastProgress = done; }));
    EXPECT_EQ(reads.size(), many.size());
    for (const int count : std::as_const(reads))
        EXPECT_EQ(count, 1);
    EXPECT_EQ(lastProgress, many.size());

    std::atomic<int> started{0};
    EXPECT_FALSE(pool.run(many, [&](const auto&) { ++started; }, [&] { return started >= 20; }));
    EXPECT_GE(started, 20);
    EXPECT_LT(started, 20 + pool.threadCount() + 1);
    EXPECT_TRUE(pool.run({}, [](const auto&) {}, {}));
}
