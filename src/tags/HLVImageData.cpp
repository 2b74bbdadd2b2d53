#include "HLVImageData.h"

#include <QFile>

bool HLVImageData::isWebAddress(const QString& path)
{
    return path.startsWith(QLatin1String("http"), Qt::CaseInsensitive);
}

QByteArray HLVImageData::imageDataFromImageAtPath(const std::optional<QString>& path)
{
    if (!path || path->isEmpty())
        return QByteArray();
    if (isWebAddress(*path)) {
        // Downloading is not wired in yet.
        return QByteArray();
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumImageSize)
        return QByteArray();
    return file.readAll();
}
