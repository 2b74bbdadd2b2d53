#pragma once

#include "HLVFileManager.h"

#include <QHash>
#include <chrono>
#include <mutex>

class QEventLoop;

// Watches one file manager operation at a time: the moment its finish was
// announced (taken on the announcing thread, so the event loop adds nothing)
// and how often each change code was relayed. Waiting runs the event loop,
// as every driver of the core must.
class HLVBenchOperationWatch : public HLVFileManagerDelegate
{
public:
    using Clock = std::chrono::steady_clock;

    explicit HLVBenchOperationWatch(HLVFileManager& manager);
    ~HLVBenchOperationWatch() override;
    HLVBenchOperationWatch(const HLVBenchOperationWatch&) = delete;
    HLVBenchOperationWatch& operator=(const HLVBenchOperationWatch&) = delete;

    // Forgets the last operation; call before starting the next one.
    void expect(int operation);
    // Runs the event loop until the expected operation finished; false on time-out.
    bool wait(std::chrono::seconds timeout);
    Clock::time_point finishedAt() const;
    int codeCount(int code) const;

    void fileOperationDidFinish(int operation) override;
    void fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code) override;

private:
    HLVFileManager& _manager;
    mutable std::mutex _lock;
    int _expected = HLVFileOperationNone;
    bool _finished = false;
    Clock::time_point _finishedAt;
    QHash<int, int> _codes;
    QEventLoop* _loop = nullptr;
};
