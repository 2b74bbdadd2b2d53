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

namespace {

quint32 bigEndian(const QByteArray& bytes, qsizetype at, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The size in a PNG or JPEG header, read directly: the usual cover formats,
// for which an image reader costs more than reading all of a file's tags.
// Invalid when the header does not say (other formats, damaged headers).
QSize headerSize(const QByteArray& data)
{
    if (data.startsWith("\x89PNG\r\n\x1a\n")) {
        if (data.size() < 24 || data.mid(12, 4) != "IHDR")
            return QSize();
        const quint32 width = bigEndian(data, 16, 4);
        const quint32 height = bigEndian(data, 20, 4);
        if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
            return QSize();
        return QSize(int(width), int(height));
    }
    if (!data.startsWith("\xFF\xD8"))
        return QSize();
    // JPEG: markers up to the first start-of-frame, which holds the size.
    qsizetype at = 2;
    while (at + 4 <= data.size()) {
        if (static_cast<unsigned char>(data[at]) != 0xFF)
            return QSize();
        const int marker = static_cast<unsigned char>(data[at + 1]);
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) // end of image or scan data before any frame
            return QSize();
        const qsizetype length = bigEndian(data, at + 2, 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || at + 9 > data.size())
                return QSize();
            const int height = int(bigEndian(data, at + 5, 2));
            const int width = int(bigEndian(data, at + 7, 2));
            return width > 0 && height > 0 ? QSize(width, height) : QSize();
        }
        if (length < 2)
            return QSize();
        at += 2 + length;
    }
    return QSize();
}

} // namespace

HLVArtwork HLVArtwork::fromEncodedData(const QByteArray& data)
{
    HLVArtwork artwork;
    if (data.isEmpty())
        return artwork;
    if (const QSize size = headerSize(data); size.isValid()) {
        artwork._data = std::make_shared<Data>();
        artwork._data->encoded = data;
        artwork._data->size = size;
        return artwork;
    }
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

HLVArtwork HLVArtwork::withoutPictureData() const
{
    if (!hasPictureData())
        return *this;
    HLVArtwork described;
    described._data = std::make_shared<Data>();
    described._data->size = _data->size;
    std::call_once(described._data->decodeOnce, [] {}); // nothing to decode
    return described;
}

bool HLVArtwork::hasPictureData() const
{
    return _data && (!_data->encoded.isEmpty() || !_data->image.isNull());
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
