#include "HLVFolderListing.h"
#include "HLVSafeSave.h"
#include "HLVTagValueParser.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

bool HLVFolderListing::hasAudioFileExtension(const QString& path)
{
    const QString extension = HLVTagValueParser::pathExtension(path);
    for (const char* wanted : {"mp3", "mp4", "m4a", "m4b", "m4p", "flac"}) {
        if (extension.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList HLVFolderListing::audioFilesInFolder(const QString& folder, const std::atomic<bool>* stop)
{
    QStringList files;
    const QDir root(folder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return files;
    // Without FollowSymlinks the iterator does not descend into linked
    // folders; NoSymLinks keeps linked files out as well.
    QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (stop && *stop)
            return files;
        it.next();
        const QFileInfo info = it.fileInfo();
        // What a save leaves beside a file (an earlier version's trial kept an audio extension) is no track.
        if (!info.isFile() || info.isSymLink() || !hasAudioFileExtension(info.fileName())
            || HLVSafeSave::isLeftoverName(info.fileName()))
            continue;
        QString base = folder;
        if (!base.endsWith(QLatin1Char('/')))
            base += QLatin1Char('/');
        files.append(base + root.relativeFilePath(info.filePath()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

QList<QUrl> HLVFolderListing::audioFileURLsForPaths(const QStringList& paths, const std::atomic<bool>* stop)
{
    QList<QUrl> urls;
    for (const QString& path : paths) {
        if (stop && *stop)
            break;
        const QFileInfo info(path);
        if (info.isDir()) {
            for (const QString& file : audioFilesInFolder(path, stop))
                urls.append(QUrl::fromLocalFile(file));
        } else if (info.isFile() && hasAudioFileExtension(path) && !HLVSafeSave::isLeftoverName(info.fileName())) {
            urls.append(QUrl::fromLocalFile(path));
        }
    }
    return urls;
}
