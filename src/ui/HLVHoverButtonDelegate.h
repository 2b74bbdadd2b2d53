#pragma once

class HLVHoverButton;
class QMimeData;

// Takes the drags that reach a hover button. Both callbacks are optional; a
// drag nobody takes is refused. Not owned by the button.
class HLVHoverButtonDelegate
{
public:
    virtual ~HLVHoverButtonDelegate() = default;

    // Whether the dragged data would be taken if dropped.
    virtual bool hoverButtonDraggingEntered(HLVHoverButton* button, const QMimeData* data)
    {
        (void)button;
        (void)data;
        return false;
    }
    // Takes the dropped data; false when it was not taken.
    virtual bool hoverButtonPerformDragOperation(HLVHoverButton* button, const QMimeData* data)
    {
        (void)button;
        (void)data;
        return false;
    }
};
