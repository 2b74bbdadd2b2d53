#include "HLVArtworkFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QUuid>
#include <memory>
#include <mutex>

namespace {

std::mutex folderLock;
std::unique_ptr<QTemporaryDir> folder;

QString pathLocked()
{
    if (!folder) {
        folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/cadrelle-artwork-XXXXXX"));
        if (!folder->isValid()) {
            folder.reset();
            return QString();
        }
    }
    return folder->path();
}

} // namespace

QString HLVArtworkFolder::path()
{
    std::lock_guard lock(folderLock);
    return pathLocked();
}

QString HLVArtworkFolder::storePicture(const QByteArray& bytes, const QString& suffix)
{
    std::lock_guard lock(folderLock);
    const QString where = pathLocked();
    if (where.isEmpty() || bytes.isEmpty())
        return QString();
    QString path;
    do {
        path = where + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
             + QLatin1Char('.') + suffix;
    } while (QFileInfo::exists(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QString();
    return path;
}

void HLVArtworkFolder::remove()
{
    std::lock_guard lock(folderLock);
    folder.reset(); // QTemporaryDir removes what it made
}
