#include "HLVIconButton.h"
#include "HLVGlyphIcon.h"

#include <QAbstractButton>
#include <QIcon>

namespace HLVIconButton {

void setIcon(QAbstractButton* button, const QString& resource, const QString& fallbackText, const QString& toolTip)
{
    const QIcon icon = HLVGlyphIcon::load(resource);
    if (icon.pixmap(QSize(16, 16)).isNull())
        button->setText(fallbackText);
    else
        button->setIcon(icon);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
}

} // namespace HLVIconButton
