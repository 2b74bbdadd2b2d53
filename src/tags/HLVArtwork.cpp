#include "HLVArtwork.h"

#include <QBuffer>
#include <QImageReader>
#include <mutex>

struct HLVArtwork::Data
{
    QByteArray encoded;
    QSize size;
    std::once_flag decodeOnce;
    QImage image;
};

HLVArtwork::HLVArtwork(const QImage& image)
{
    if (image.isNull())
        return;
    _data = std::make_shared<Data>();
    _data->size = image.size();
    _data->image = image;
    std::call_once(_data->decodeOnce, [] {});
}

HLVArtwork HLVArtwork::fromEncodedData(const QByteArray& data)
{
    HLVArtwork artwork;
    if (data.isEmpty())
        return artwork;
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    // Naming the format the leading bytes show spares the reader asking every
    // image plugin in turn, which costs more than reading all of a file's tags.
    QByteArray format;
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        format = "png";
    else if (data.startsWith("\xFF\xD8\xFF"))
        format = "jpeg";
    else if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        format = "gif";
    QImageReader reader(&buffer, format);
    if (!reader.canRead())
        return artwork;
    const QSize size = reader.size();
    if (!size.isValid())
        return artwork;
    artwork._data = std::make_shared<Data>();
    artwork._data->encoded = data;
    artwork._data->size = size;
    return artwork;
}

QImage HLVArtwork::image() const
{
    if (!_data)
        return QImage();
    std::call_once(_data->decodeOnce, [d = _data.get()] { d->image = QImage::fromData(d->encoded); });
    return _data->image;
}

QByteArray HLVArtwork::encodedData() const
{
    return _data ? _data->encoded : QByteArray();
}

QSize HLVArtwork::size() const
{
    return _data ? _data->size : QSize();
}
