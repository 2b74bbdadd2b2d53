#include "HLVFileManagerBridge.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <algorithm>

void HLVRecordChanges::append(const std::shared_ptr<HLVFileData>& record, int code)
{
    if (!record)
        return;
    _notices.append({record, code});
    const auto found = _codes.find(record.get());
    if (found == _codes.end()) {
        _codes.insert(record.get(), code);
        _records.append(record);
    } else {
        *found = code;
    }
}

int HLVRecordChanges::count(int code) const
{
    return int(std::count_if(_notices.cbegin(), _notices.cend(), [code](const Notice& n) { return n.code == code; }));
}

std::shared_ptr<HLVFileManagerBridge> HLVFileManagerBridge::forManager(HLVFileManager* manager)
{
    Q_ASSERT(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread());
    // Main thread only, so the registry needs no lock.
    static QHash<HLVFileManager*, std::weak_ptr<HLVFileManagerBridge>> bridges;
    if (!manager)
        return nullptr;
    if (auto existing = bridges.value(manager).lock())
        return existing;
    std::shared_ptr<HLVFileManagerBridge> bridge(new HLVFileManagerBridge(manager));
    bridges.insert(manager, bridge);
    return bridge;
}

HLVFileManagerBridge::HLVFileManagerBridge(HLVFileManager* manager) : _manager(manager)
{
    qRegisterMetaType<std::shared_ptr<HLVFileData>>("std::shared_ptr<HLVFileData>");
    qRegisterMetaType<HLVRecordChanges>("HLVRecordChanges");
    qRegisterMetaType<QList<std::shared_ptr<HLVFileData>>>("QList<std::shared_ptr<HLVFileData>>");
    _manager->addDelegate(this);
}

HLVFileManagerBridge::~HLVFileManagerBridge()
{
    // After this no notice reaches us; a delivery already posted dies with the object.
    _manager->removeDelegate(this);
}

void HLVFileManagerBridge::fileOperationDidStart(int operation)
{
    enqueue({Event::Started, operation, nullptr});
}

void HLVFileManagerBridge::fileOperationDidFinish(int operation)
{
    enqueue({Event::Finished, operation, nullptr});
}

void HLVFileManagerBridge::fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    enqueue({Event::Changed, code, fileData});
}

void HLVFileManagerBridge::fileListsDidChange()
{
    enqueue({Event::Lists, 0, nullptr});
}

void HLVFileManagerBridge::fileDataWasLoaded(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    {
        std::lock_guard lock(_lock);
        _loaded.append(fileData);
        if (_loadedDeliveryPosted)
            return;
        _loadedDeliveryPosted = true;
    }
    // The pause is timed on the main thread: readers have no event loop.
    QMetaObject::invokeMethod(this, [this] {
        QTimer::singleShot(loadedPauseMilliseconds, this, &HLVFileManagerBridge::deliverLoaded);
    }, Qt::QueuedConnection);
}

void HLVFileManagerBridge::deliverLoaded()
{
    QList<std::shared_ptr<HLVFileData>> loaded;
    {
        std::lock_guard lock(_lock);
        loaded.swap(_loaded);
        _loadedDeliveryPosted = false;
    }
    const auto records = HLVFileManager::withoutDuplicates(loaded);
    if (!records.isEmpty())
        emit recordsLoaded(records);
}

// Notices come from any thread; the first one of a turn posts the delivery.
void HLVFileManagerBridge::enqueue(Event event)
{
    {
        std::lock_guard lock(_lock);
        _pending.append(std::move(event));
        if (_deliveryPosted)
            return;
        _deliveryPosted = true;
    }
    QMetaObject::invokeMethod(this, &HLVFileManagerBridge::deliver, Qt::QueuedConnection);
}

void HLVFileManagerBridge::deliver()
{
    QList<Event> events;
    {
        std::lock_guard lock(_lock);
        events.swap(_pending);
        _deliveryPosted = false;
    }
    HLVRecordChanges changes;
    bool listsChangedMeanwhile = false;
    auto deliverChanges = [&] {
        if (changes.isEmpty())
            return;
        emit recordsChanged(changes);
        changes = HLVRecordChanges();
    };
    for (const Event& event : std::as_const(events)) {
        switch (event.kind) {
        case Event::Changed:
            changes.append(event.record, event.value);
            break;
        case Event::Started:
            deliverChanges();
            emit operationStarted(event.value);
            break;
        case Event::Finished:
            deliverChanges();
            emit operationFinished(event.value);
            break;
        case Event::Lists:
            listsChangedMeanwhile = true;
            break;
        }
    }
    deliverChanges();
    if (listsChangedMeanwhile)
        emit listsChanged();
}
