#pragma once

class HLVMatchesEditorViewController;

// Told when the user steps to another candidate release. Not owned by the strip;
// the delegate outlives it or clears itself first.
class HLVMatchesEditorDelegate
{
public:
    virtual ~HLVMatchesEditorDelegate() = default;

    // match is the 1-based number of the candidate now shown.
    virtual void matchesEditorMatchSelectionUpdated(HLVMatchesEditorViewController* editor, unsigned long match)
    {
        (void)editor;
        (void)match;
    }
};
