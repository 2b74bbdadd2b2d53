#pragma once

class HLVExpandingView;

// Told when a collapsible section changes height, so the form around it can
// grow or shrink by the same amount. Both callbacks are optional. Not owned.
class HLVExpandingViewDelegate
{
public:
    virtual ~HLVExpandingViewDelegate() = default;

    // size is the section's new height, delta the change (positive).
    virtual void expandingViewDidExpandToSize(HLVExpandingView* view, double size, double delta)
    {
        (void)view;
        (void)size;
        (void)delta;
    }
    // size is the section's new height, delta the change (negative).
    virtual void expandingViewDidCollapseToSize(HLVExpandingView* view, double size, double delta)
    {
        (void)view;
        (void)size;
        (void)delta;
    }
};
