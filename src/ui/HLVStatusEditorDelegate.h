#pragma once

class HLVStatusEditorViewController;

// Told when the user cancels the running operation. Not owned by the strip.
class HLVStatusEditorDelegate
{
public:
    virtual ~HLVStatusEditorDelegate() = default;

    virtual void statusEditorCancelOperationWasSelected(HLVStatusEditorViewController* editor) { (void)editor; }
};
