#include "HLVFileManagerBridge.h"

#include <QMetaObject>

HLVFileManagerBridge::HLVFileManagerBridge(HLVFileManager* manager, QObject* parent)
    : QObject(parent), _manager(manager)
{
    qRegisterMetaType<std::shared_ptr<HLVFileData>>("std::shared_ptr<HLVFileData>");
    if (_manager)
        _manager->addDelegate(this);
}

HLVFileManagerBridge::~HLVFileManagerBridge()
{
    // After this no notice reaches us; queued ones die with the object.
    if (_manager)
        _manager->removeDelegate(this);
}

// Signals emitted from another thread reach receivers through queued
// connections on their own threads, but a direct connection made by mistake
// would run widget code on a core thread: hop to our own thread first.
void HLVFileManagerBridge::fileOperationDidStart(int operation)
{
    QMetaObject::invokeMethod(this, [this, operation] { emit operationStarted(operation); },
                              Qt::QueuedConnection);
}

void HLVFileManagerBridge::fileOperationDidFinish(int operation)
{
    QMetaObject::invokeMethod(this, [this, operation] { emit operationFinished(operation); },
                              Qt::QueuedConnection);
}

void HLVFileManagerBridge::fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    QMetaObject::invokeMethod(this, [this, fileData, code] { emit fileChanged(fileData, code); },
                              Qt::QueuedConnection);
}

void HLVFileManagerBridge::fileListsDidChange()
{
    QMetaObject::invokeMethod(this, [this] { emit listsChanged(); }, Qt::QueuedConnection);
}
