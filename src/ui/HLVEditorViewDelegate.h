#pragma once

class HLVEditorViewController;
class HLVFileManager;
class HLVWindowActions;
class QWidget;

// What the editor controller asks of its owner (the application controller),
// and what it tells it. Not owned by the editor; the owner and its file
// manager outlive the editor. Called on the main thread only.
class HLVEditorViewDelegate
{
public:
    virtual ~HLVEditorViewDelegate() = default;

    // The window alert sheets are shown over.
    virtual QWidget* windowToDisplayEditorViewDialogs() = 0;
    virtual HLVFileManager* editorViewFileManagerSource() = 0;
    // The pending changes were dropped (undo), so the file list should redraw.
    virtual void editorViewFileWasSaved(HLVEditorViewController* /*editor*/) {}
    // The user changed the file or files shown.
    virtual void editorViewFileModified(HLVEditorViewController* /*editor*/) {}
    // The window's shared commands, which the owner connects and keeps up to
    // date; null: the control bar keeps commands of its own.
    virtual HLVWindowActions* editorViewWindowActions() { return nullptr; }
};
