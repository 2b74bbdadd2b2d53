#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>

// What the add-folder and drop commands hand to the file manager: the audio
// files below a folder, or those among dropped items.
class HLVFolderListing
{
public:
    // True when the path's extension is, ignoring letter case, mp3, mp4, m4a, m4b, m4p or flac.
    static bool hasAudioFileExtension(const QString& path);

    // Every regular file below the folder, at any depth, with an audio file
    // extension, as the folder path, "/" and the entry's path relative to it,
    // sorted. Symbolic links are skipped, files and folders alike, so the
    // listing never leaves the folder. Empty for a missing folder. When the
    // stop flag is set the listing ends at the next entry with what it has.
    static QStringList audioFilesInFolder(const QString& folder, const std::atomic<bool>* stop = nullptr);

    // Dropped items: each existing folder is listed as above, each existing
    // file is kept when its extension matches; missing paths are dropped.
    static QList<QUrl> audioFileURLsForPaths(const QStringList& paths, const std::atomic<bool>* stop = nullptr);
};
