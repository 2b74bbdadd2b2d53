#pragma once

#include <QList>
#include <memory>

class HLVFileData;
class HLVFileManager;
class HLVWindowActions;
class QWidget;

// What the editor on the right of the main window asks of, and tells, the
// application controller. Called on the main thread.
class HLVEditorPanelOwner
{
public:
    virtual ~HLVEditorPanelOwner() = default;
    virtual QWidget* windowToDisplayEditorViewDialogs() = 0;
    virtual HLVFileManager* editorViewFileManagerSource() = 0;
    // The user changed the file or files shown.
    virtual void editorViewFileModified() {}
    // The changes shown were saved or undone; nothing is pending any more.
    virtual void editorViewFileWasSaved() {}
    // The commands the editor's buttons share with the menus.
    virtual HLVWindowActions* editorViewWindowActions() { return nullptr; }
};

// The editor as the application controller uses it. HLVEditorPanel::create()
// is the one place that decides which editor widget stands behind it.
class HLVEditorPanel
{
public:
    virtual ~HLVEditorPanel() = default;

    // The owner and its file manager must outlive the panel. The widget is a
    // child of parent; the panel must be destroyed after it.
    static std::unique_ptr<HLVEditorPanel> create(HLVEditorPanelOwner* owner, QWidget* parent);

    virtual QWidget* view() const = 0;
    virtual void displayEditorForFileData(const std::shared_ptr<HLVFileData>& fileData) = 0;
    // Several rows of the shown list.
    virtual void displayEditorForIndexSet(const QList<int>& rows, const QList<std::shared_ptr<HLVFileData>>& shown) = 0;
    virtual void stopTrackPreview() = 0;
    virtual void saveChanges() = 0;
    virtual void undoChanges() = 0;
    virtual void downloadTags() = 0;
};
