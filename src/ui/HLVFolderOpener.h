#pragma once

#include <QStringList>

class QWidget;

// Shows folders in the desktop's file manager. Folders no file manager took
// are named in one window-modal alert over the given window, so a desktop
// without one never leaves the user clicking a button that does nothing.
class HLVFolderOpener
{
public:
    // Answers whether every folder was handed over.
    static bool openFolders(const QStringList& folders, QWidget* alertParent);
};
