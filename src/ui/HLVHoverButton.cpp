#include "HLVHoverButton.h"
#include "HLVGlyphIcon.h"
#include "HLVHoverButtonDelegate.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>

namespace {

QString imageResource(const QString& name)
{
    return QStringLiteral(":/images/%1.svg").arg(name);
}

bool drawable(const QIcon& icon)
{
    return !icon.isNull() && !icon.pixmap(QSize(16, 16)).isNull();
}

} // namespace

HLVHoverButton::HLVHoverButton(QWidget* parent)
    : QPushButton(parent)
{
    setFlat(true);
    setAttribute(Qt::WA_Hover);
}

bool HLVHoverButton::setImageWithHover(const QString& name)
{
    const QIcon normal = HLVGlyphIcon::load(imageResource(name));
    if (!drawable(normal))
        return false;
    _imageName = name;
    _normalImage = normal;
    const QString hover = imageResource(name + QStringLiteral("Hover"));
    _hoverImage = QFile::exists(hover) ? HLVGlyphIcon::load(hover) : QIcon();
    showHover(!_didExit);
    return true;
}

void HLVHoverButton::setImage(const QIcon& image)
{
    _imageName.clear();
    _normalImage = image;
    _hoverImage = QIcon();
    showHover(false);
}

void HLVHoverButton::setHoverCursor(const QCursor& cursor)
{
    _hoverCursor = cursor.shape();
    // Qt shows a widget's cursor exactly while the pointer is over it.
    setCursor(cursor);
}

void HLVHoverButton::setLinkedButton(HLVHoverButton* button)
{
    if (button == this || button == _linkedButton)
        return;
    _linkedButton = button;
    if (button && button->linkedButton() != this)
        button->setLinkedButton(this);
}

void HLVHoverButton::showHover(bool hover)
{
    _showsHover = hover && isEnabled() && !_hoverImage.isNull();
    setIcon(_showsHover ? _hoverImage : _normalImage);
}

void HLVHoverButton::forceMouseEnter()
{
    showHover(true);
}

void HLVHoverButton::forceMouseExit()
{
    showHover(false);
}

void HLVHoverButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    _didExit = false;
    showHover(true);
    if (_linkedButton)
        _linkedButton->forceMouseEnter();
}

void HLVHoverButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    _didExit = true;
    // Moving onto the partner keeps both lit.
    if (_linkedButton && !_linkedButton->didExit())
        return;
    showHover(false);
    if (_linkedButton)
        _linkedButton->forceMouseExit();
}

void HLVHoverButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    // A disabled button never shows its hover image.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        showHover(false);
}

void HLVHoverButton::dragEnterEvent(QDragEnterEvent* event)
{
    if (_delegate && _delegate->hoverButtonDraggingEntered(this, event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void HLVHoverButton::dragMoveEvent(QDragMoveEvent* event)
{
    if (_delegate && _delegate->hoverButtonDraggingEntered(this, event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void HLVHoverButton::dropEvent(QDropEvent* event)
{
    if (_delegate && _delegate->hoverButtonPerformDragOperation(this, event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}
