#pragma once

#include <QString>

class QAbstractButton;

namespace HLVIconButton {

// Gives an icon button its image from the resources, or the short text
// instead when the image cannot be drawn (no SVG support at run time), so the
// button never shows up blank. The accessible name is the tool tip.
void setIcon(QAbstractButton* button, const QString& resource, const QString& fallbackText, const QString& toolTip);

} // namespace HLVIconButton
