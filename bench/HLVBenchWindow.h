#pragma once

#include <QString>

// The whole window (the application controller with its real file list and
// editor, offscreen) over count links to one MP3 carrying a 500 KB cover:
// select all until the editor shows what the files share, one keystroke in the
// search field, and editing the album of saveCount files and saving them, set
// against the file manager's own batch save of the same files. Prints ui.*
// figures; false when a check failed.
bool runWindow(const QString& workFolder, int count, int saveCount);
