#pragma once

#include <QString>

// The file list over a real file manager, offscreen: adding a folder of count
// files until the list shows them all, selecting all until the selection has
// been handed on for display, and switching filters. Prints ui.* figures;
// false when a check failed.
bool runUI(const QString& folder, int count);
