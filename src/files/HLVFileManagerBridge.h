#pragma once

#include "HLVFileManager.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <memory>
#include <mutex>

// The per-file notices of one turn of the event loop, in arrival order.
class HLVRecordChanges
{
public:
    struct Notice
    {
        std::shared_ptr<HLVFileData> record;
        int code = 0;
    };

    void append(const std::shared_ptr<HLVFileData>& record, int code);
    bool isEmpty() const { return _notices.isEmpty(); }
    const QList<Notice>& notices() const { return _notices; }
    // Each record once, in the order of its first notice.
    const QList<std::shared_ptr<HLVFileData>>& records() const { return _records; }
    bool contains(const HLVFileData* record) const { return _codes.contains(record); }
    // How many notices carried the code.
    int count(int code) const;

private:
    QList<Notice> _notices;
    QList<std::shared_ptr<HLVFileData>> _records;
    QHash<const HLVFileData*, int> _codes; // record -> its last code
};

Q_DECLARE_METATYPE(HLVRecordChanges)

// The one place where the windows meet the core's threads: one bridge per
// file manager, shared by every view of it (forManager), is the manager's
// delegate and hands its notices to the main thread. Notices arriving from
// any number of threads are gathered and delivered once per turn of the event
// loop, in their order: operation starts and finishes as they came, the
// per-file notices between them as one HLVRecordChanges, and any number of
// list changes as one listsChanged at the end of the turn. Records read from
// their files (thousands a second while a list's tags are read) arrive apart,
// gathered for a short while (recordsLoaded), so the main thread is not woken
// for each. Widgets connect to these signals and never implement core
// delegates themselves.
class HLVFileManagerBridge : public QObject, public HLVFileManagerDelegate
{
    Q_OBJECT
public:
    // The manager's bridge, made on first use; main thread only. The manager
    // must outlive every holder of its bridge.
    static std::shared_ptr<HLVFileManagerBridge> forManager(HLVFileManager* manager);
    ~HLVFileManagerBridge() override;

    HLVFileManager* fileManager() const { return _manager; }

    void fileOperationDidStart(int operation) override;
    void fileOperationDidFinish(int operation) override;
    void fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code) override;
    void fileListsDidChange() override;
    void fileDataWasLoaded(const std::shared_ptr<HLVFileData>& fileData) override;

    // How long read records are gathered before they are delivered.
    static constexpr int loadedPauseMilliseconds = 50;

signals:
    void operationStarted(int kind);
    void operationFinished(int kind);
    void recordsChanged(const HLVRecordChanges& changes);
    void listsChanged();
    // Records whose tags were read, each once, in the order they were read.
    void recordsLoaded(const QList<std::shared_ptr<HLVFileData>>& records);

private:
    explicit HLVFileManagerBridge(HLVFileManager* manager);

    struct Event
    {
        enum Kind { Started, Finished, Changed, Lists } kind;
        int value = 0;
        std::shared_ptr<HLVFileData> record;
    };
    void enqueue(Event event);
    void deliver();
    void deliverLoaded();

    HLVFileManager* _manager;
    std::mutex _lock;
    QList<Event> _pending;
    bool _deliveryPosted = false;
    QList<std::shared_ptr<HLVFileData>> _loaded;
    bool _loadedDeliveryPosted = false;
};
