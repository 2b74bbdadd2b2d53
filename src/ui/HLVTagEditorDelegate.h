#pragma once

class HLVFileManager;
class HLVTagEditorViewController;
class QWidget;

// What the tag editor asks of its owner (the editor controller), and what it
// tells it. Not owned by the editor; the file manager it names must outlive
// the editor.
class HLVTagEditorDelegate
{
public:
    virtual ~HLVTagEditorDelegate() = default;

    // The window the open panel is shown over.
    virtual QWidget* windowToDisplayTagEditorDialogs() = 0;
    virtual HLVFileManager* tagEditorFileManagerSource() = 0;
    // The user changed the file or files shown.
    virtual void tagEditorFileWasModified(HLVTagEditorViewController* editor) { (void)editor; }
};
