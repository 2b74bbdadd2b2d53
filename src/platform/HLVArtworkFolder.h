#pragma once

#include <QByteArray>
#include <QString>

// Where pictures the program makes itself (pasted from the clipboard, or a
// cover copied to other files) wait until a save embeds them: a folder of this
// process's own in the temporary directory, so that no other instance can
// remove it while this one needs it. Made on first use; remove() at exit.
// Safe to use from any thread.
class HLVArtworkFolder
{
public:
    // The folder's path; empty when it cannot be made.
    static QString path();
    // Writes the bytes to a new file in the folder, named by a fresh UUID with
    // the suffix; its path, or empty when it cannot be written.
    static QString storePicture(const QByteArray& bytes, const QString& suffix);
    // The folder and everything in it go; a later use makes a new one.
    static void remove();
};
