#include "HLVImageData.h"

#include "HLVDataRequest.h"

#include <QDir>
#include <QFile>
#include <QNetworkRequest>
#include <QTemporaryFile>

bool HLVImageData::isWebAddress(const QString& path)
{
    return path.startsWith(QLatin1String("http"), Qt::CaseInsensitive);
}

namespace {

QByteArray readLocalImage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > HLVImageData::maximumImageSize)
        return QByteArray();
    return file.readAll();
}

// The picture behind a web address, passed through a temporary file of its own so
// that concurrent downloads never share one. An error page is no picture.
QByteArray downloadImage(const QString& address)
{
    std::optional<HLVURLResponse> response;
    std::optional<HLVRequestError> error;
    const std::optional<QByteArray> body =
        HLVDataRequest::sendSynchronousReturningResponse(QNetworkRequest(QUrl(address)), response, error);
    if (!body || body->isEmpty() || !response || response->statusCode < 200 || response->statusCode > 299)
        return QByteArray();

    QTemporaryFile file(QDir::tempPath() + QLatin1String("/cr_tmai_XXXXXX"));
    if (!file.open() || file.write(*body) != body->size() || !file.flush())
        return QByteArray();
    return readLocalImage(file.fileName());
}

} // namespace

QByteArray HLVImageData::imageDataFromImageAtPath(const std::optional<QString>& path)
{
    if (!path || path->isEmpty())
        return QByteArray();
    if (isWebAddress(*path))
        return downloadImage(*path);
    return readLocalImage(*path);
}
