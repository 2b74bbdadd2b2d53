#pragma once

#include <QWidget>
#include <functional>

// The slot in the editor a strip (progress, matches) slides into: full
// width, as tall as its height constraint, 0 while empty.
class HLVStripPlaceholder : public QWidget
{
    Q_OBJECT
public:
    explicit HLVStripPlaceholder(QWidget* parent = nullptr);

    // Puts the strip in, at once at its own height.
    void insert(QWidget* strip);
    // Takes the strip out, leaving it hidden under newParent.
    void take(QWidget* strip, QWidget* newParent);
    bool holds(const QWidget* strip) const { return strip && strip->parentWidget() == this; }
    // Slides the height to height over duration milliseconds (0: at once); a
    // newer slide replaces one still running; done runs at the end.
    void slideTo(int height, int duration, std::function<void()> done = nullptr);
};
