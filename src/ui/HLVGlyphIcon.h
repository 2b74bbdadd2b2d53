#pragma once

#include <QIcon>

class QString;

// The control bar's and artwork well's glyphs are drawn in one grey ink that
// barely shows on a dark window. Loaded through here, such a glyph takes the
// application palette's button text colour whenever the window is dark (the
// palette is asked at each drawing, so a theme change is followed). Icons of
// several colours, or of a coloured ink, come as they are.
namespace HLVGlyphIcon {

QIcon load(const QString& resource);

} // namespace HLVGlyphIcon
