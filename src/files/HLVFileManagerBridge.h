#pragma once

#include "HLVFileManager.h"

#include <QObject>
#include <memory>

// The one place where the windows meet the core's threads: the bridge is a
// delegate of the file manager and re-emits every notice as a queued signal on
// the thread the bridge lives on (the main thread). Widgets connect to these
// signals and never implement core delegates themselves.
class HLVFileManagerBridge : public QObject, public HLVFileManagerDelegate
{
    Q_OBJECT
public:
    // Registers with the manager, which must outlive the bridge.
    explicit HLVFileManagerBridge(HLVFileManager* manager, QObject* parent = nullptr);
    ~HLVFileManagerBridge() override;

    HLVFileManager* fileManager() const { return _manager; }

    void fileOperationDidStart(int operation) override;
    void fileOperationDidFinish(int operation) override;
    void fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code) override;
    void fileListsDidChange() override;

signals:
    void operationStarted(int kind);
    void operationFinished(int kind);
    void fileChanged(std::shared_ptr<HLVFileData> record, int code);
    void listsChanged();

private:
    HLVFileManager* _manager;
};
