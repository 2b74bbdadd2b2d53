#pragma once

#include <QIcon>
#include <QPointer>
#include <QPushButton>
#include <optional>

class HLVHoverButtonDelegate;

// A flat button that lights up under the pointer: it shows a hover image (the
// resource named like its image with "Hover" added) and a hover cursor, and a
// linked partner (the text beside an icon) lights up with it. Drags that reach
// it go to its delegate.
class HLVHoverButton : public QPushButton
{
    Q_OBJECT
public:
    explicit HLVHoverButton(QWidget* parent = nullptr);

    // ":/images/<name>.svg" as the image and ":/images/<name>Hover.svg", when
    // there is one, as the hover image. False when the image cannot be drawn
    // (no SVG support at run time); the button keeps its text then.
    bool setImageWithHover(const QString& name);
    // Any other image (a cover); a button so given has no hover image.
    void setImage(const QIcon& image);
    const QString& imageName() const { return _imageName; }
    bool isShowingHoverImage() const { return _showsHover; }

    void setHoverCursor(const QCursor& cursor);
    std::optional<Qt::CursorShape> hoverCursor() const { return _hoverCursor; }

    // Links both ways.
    void setLinkedButton(HLVHoverButton* button);
    HLVHoverButton* linkedButton() const { return _linkedButton; }

    void forceMouseEnter();
    void forceMouseExit();
    // True while the pointer is outside the button.
    bool didExit() const { return _didExit; }

    HLVHoverButtonDelegate* delegate() const { return _delegate; }
    void setDelegate(HLVHoverButtonDelegate* delegate) { _delegate = delegate; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void showHover(bool hover);

    QIcon _normalImage;
    QIcon _hoverImage;
    QString _imageName;
    std::optional<Qt::CursorShape> _hoverCursor;
    bool _didExit = true;
    bool _showsHover = false;
    HLVHoverButtonDelegate* _delegate = nullptr;
    QPointer<HLVHoverButton> _linkedButton;
};
