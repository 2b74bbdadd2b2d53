#pragma once

#include "HLVFileManager.h"

#include <QList>
#include <memory>

class HLVFileViewController;
class HLVWindowActions;
class QWidget;

// What the file list needs from its owner (the application controller): the
// window for its dialogs, the file manager, and someone to show and save the
// selection. Called on the main thread only. The owner outlives the list.
class HLVFileViewControllerDelegate
{
public:
    virtual ~HLVFileViewControllerDelegate() = default;

    virtual QWidget* windowToDisplayFileViewDialogs() = 0;
    virtual HLVFileManager* fileViewFileManagerSource() = 0;

    // Save changes on the selection (the editor saves what it shows).
    virtual void performSaveForCurrentSelection(HLVFileViewController* /*fileView*/) {}
    // The selected rows (ascending) of the shown records; empty when nothing is selected.
    virtual void fileViewSelectionChanged(HLVFileViewController* /*fileView*/, const QList<int>& /*rows*/,
                                          const QList<std::shared_ptr<HLVFileData>>& /*shown*/)
    {
    }
    // The filter (which of the manager's lists is shown) changed.
    virtual void fileViewDataSourceChanged(HLVFileViewController* /*fileView*/, HLVFileList /*list*/) {}
    // The window's shared commands, which the owner connects and keeps up to
    // date; null: the list's context menu keeps commands of its own.
    virtual HLVWindowActions* fileViewWindowActions() { return nullptr; }
};
