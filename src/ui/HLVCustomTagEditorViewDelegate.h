#pragma once

#include <QString>
#include <memory>

class HLVCustomTagEditorViewController;
class HLVCustomTagValue;

// Hears what the user does to the custom tags, to carry it into the pending
// changes of the file or files shown. The tag "CTIS" (the file's own list of
// custom tags) is never reported. Not owned by the editor.
class HLVCustomTagEditorViewDelegate
{
public:
    virtual ~HLVCustomTagEditorViewDelegate() = default;

    virtual void customTagEditorViewTagWithIdentifierAdded(HLVCustomTagEditorViewController* editor,
                                                           const QString& identifier)
    {
        (void)editor;
        (void)identifier;
    }
    virtual void customTagEditorViewTagWithIdentifierRemoved(HLVCustomTagEditorViewController* editor,
                                                             const QString& identifier)
    {
        (void)editor;
        (void)identifier;
    }
    virtual void customTagEditorViewTagValueModified(HLVCustomTagEditorViewController* editor,
                                                     const std::shared_ptr<HLVCustomTagValue>& value)
    {
        (void)editor;
        (void)value;
    }
};
