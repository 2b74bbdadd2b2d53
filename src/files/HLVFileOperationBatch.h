#pragma once

#include <QHash>
#include <QList>
#include <atomic>
#include <memory>
#include <mutex>

class HLVFileData;

// One long operation of the file manager: its kind, its records, the answers it
// still waits for and its own stop flag. It is announced as started once and as
// finished exactly once, whoever gets there first (the last answer, a stop, the
// end of its control block or a shutdown).
class HLVFileOperationBatch
{
public:
    HLVFileOperationBatch(int kind, const QList<std::shared_ptr<HLVFileData>>& records, bool expectsAnswers);

    int kind() const { return _kind; }
    const QList<std::shared_ptr<HLVFileData>>& records() const { return _records; }
    qsizetype expectedCount() const { return _expected; }
    qsizetype answeredCount() const { return _answered; }

    // Counts an answer for the record when the batch still waits for one from
    // it; false when the record is not (or no longer) outstanding.
    bool creditAnswer(const HLVFileData* record);
    bool isComplete() const { return _answered >= _expected; }

    // True the first time: the batch's start is announced once.
    bool markStarted() { return !_started.exchange(true); }
    bool isStarted() const { return _started; }
    void stop() { _stopped = true; }
    bool isStopped() const { return _stopped; }
    // True for the one caller that gets to announce the finish.
    bool claimFinish() { return !_finished.exchange(true); }
    bool isFinished() const { return _finished; }

private:
    const int _kind;
    const QList<std::shared_ptr<HLVFileData>> _records;
    const qsizetype _expected;
    std::atomic<qsizetype> _answered{0};
    std::atomic<bool> _started{false};
    std::atomic<bool> _stopped{false};
    std::atomic<bool> _finished{false};
    std::mutex _lock;
    QHash<const HLVFileData*, int> _outstanding;
};
