#pragma once

#include "HLVFileManager.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <mutex>

class HLVProgressLine;

// Waits for the file manager's operations the way a window would: it is one
// of the manager's delegates, and while an operation runs the main thread
// keeps its event loop turning (the core posts some answers to it). The
// manager's calls arrive on background threads; each one wakes the loop.
class HLVOperationMonitor : public HLVFileManagerDelegate
{
public:
    // The change codes relayed for each record during one operation, in order.
    using Codes = QHash<const HLVFileData*, QList<int>>;

    explicit HLVOperationMonitor(HLVProgressLine& progress);

    // Calls start, which must make the manager run an operation of this kind,
    // and returns once the manager has announced its finish. While waiting it
    // shows "label: done of total files" on the progress line, where a file is
    // done once a code arrived for it.
    Codes run(int kind, const QString& label, qsizetype total, const std::function<void()>& start);

    void fileOperationDidFinish(int operation) override;
    void fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code) override;

private:
    static void wakeMainThread();

    HLVProgressLine& _progress;
    std::mutex _mutex;
    QHash<int, quint64> _finished; // finishes seen, by kind
    Codes _codes;
};
