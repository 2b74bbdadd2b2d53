#include "HLVArtwork.h"

#include <QBuffer>
#include <QHash>
#include <QImageReader>
#include <algorithm>
#include <mutex>

struct HLVArtwork::Data
{
    QByteArray encoded;
    QSize size;
    std::once_flag decodeOnce;
    QImage image;
    std::once_flag keyOnce;
    quint64 key = 0;
};

namespace {

quint64 keyOfBytes(const char* bytes, qsizetype length, QSize size)
{
    // Every picture read is keyed, so the key looks at the head and the tail
    // of the bytes (the headers and the first of the coded data differ
    // between any two real covers), their length and the picture's size,
    // not at all of a cover of half a megabyte.
    constexpr qsizetype head = 64 * 1024;
    constexpr qsizetype tail = 4 * 1024;
    quint64 hash = quint64(qHashBits(bytes, size_t(std::min(length, head)), 0x5bd1e995u));
    if (length > head)
        hash ^= quint64(qHashBits(bytes + std::max(head, length - tail), size_t(length - std::max(head, length - tail)),
                                  0x27d4eb2fu))
            << 1;
    return hash ^ (quint64(size.width()) << 48) ^ (quint64(size.height()) << 32) ^ quint64(length);
}

} // namespace

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

// A PNG's header: the size, and the depth from the bit depth and the colour
// type; a palette's colours from its PLTE chunk, which comes before the data.
HLVArtwork::Header pngHeader(const QByteArray& data)
{
    HLVArtwork::Header header;
    if (data.size() < 26 || data.mid(12, 4) != "IHDR")
        return header;
    const quint32 width = bigEndian(data, 16, 4);
    const quint32 height = bigEndian(data, 20, 4);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return header;
    header.size = QSize(int(width), int(height));
    const int bitDepth = static_cast<unsigned char>(data[24]);
    const int colourType = static_cast<unsigned char>(data[25]);
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    header.depth = bitDepth * (colourType < 7 ? channels[colourType] : 0);
    if (colourType == 3) {
        header.colours = 1 << qMin(bitDepth, 8);
        for (qsizetype at = 33; at + 8 <= data.size();) {
            const QByteArray type = data.mid(at + 4, 4);
            if (type == "IDAT" || type == "IEND")
                break;
            const qint64 length = bigEndian(data, at, 4);
            if (type == "PLTE") {
                header.colours = int(length / 3);
                break;
            }
            at += 12 + length;
        }
    }
    return header;
}

// A JPEG's header: markers up to the first start-of-frame, which holds the
// size, the sample precision and the number of components.
HLVArtwork::Header jpegHeader(const QByteArray& data)
{
    HLVArtwork::Header header;
    qsizetype at = 2;
    while (at + 4 <= data.size()) {
        if (static_cast<unsigned char>(data[at]) != 0xFF)
            return header;
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
            return header;
        const qsizetype length = bigEndian(data, at + 2, 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || at + 9 > data.size())
                return header;
            const int height = int(bigEndian(data, at + 5, 2));
            const int width = int(bigEndian(data, at + 7, 2));
            if (width <= 0 || height <= 0)
                return header;
            header.size = QSize(width, height);
            if (at + 10 <= data.size())
                header.depth = static_cast<unsigned char>(data[at + 4]) * static_cast<unsigned char>(data[at + 9]);
            return header;
        }
        if (length < 2)
            return header;
        at += 2 + length;
    }
    return header;
}

// A GIF's logical screen: the size, and the global colour table's size.
HLVArtwork::Header gifHeader(const QByteArray& data)
{
    HLVArtwork::Header header;
    if (data.size() < 11)
        return header;
    const int width = static_cast<unsigned char>(data[6]) | (static_cast<unsigned char>(data[7]) << 8);
    const int height = static_cast<unsigned char>(data[8]) | (static_cast<unsigned char>(data[9]) << 8);
    if (width == 0 || height == 0)
        return header;
    header.size = QSize(width, height);
    const int packed = static_cast<unsigned char>(data[10]);
    header.depth = (packed & 0x80) ? (packed & 7) + 1 : 8;
    header.colours = (packed & 0x80) ? 1 << ((packed & 7) + 1) : 0;
    return header;
}

// Other formats through an image reader, which reads their header only.
// Naming the format the leading bytes show spares the reader asking every
// image plugin in turn, which costs more than reading all of a file's tags.
HLVArtwork::Header readerHeader(const QByteArray& data, const QByteArray& format)
{
    HLVArtwork::Header header;
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    if (!reader.canRead())
        return header;
    header.size = reader.size();
    if (!header.size.isValid())
        return header;
    // The formats image readers answer with; the depth of others is not told.
    switch (reader.imageFormat()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        header.depth = 1;
        break;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
        header.depth = 8;
        break;
    case QImage::Format_RGB16:
    case QImage::Format_Grayscale16:
        header.depth = 16;
        break;
    case QImage::Format_RGB32: // the fourth byte is unused
    case QImage::Format_RGB888:
        header.depth = 24;
        break;
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        header.depth = 32;
        break;
    default:
        break;
    }
    return header;
}

} // namespace

HLVArtwork::Header HLVArtwork::headerOf(const QByteArray& data)
{
    // PNG and JPEG, the usual cover formats, are read directly: for them an
    // image reader costs more than reading all of a file's tags.
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return pngHeader(data);
    if (data.startsWith("\xFF\xD8")) {
        if (Header header = jpegHeader(data); header.size.isValid())
            return header;
        return readerHeader(data, "jpeg");
    }
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return gifHeader(data);
    return readerHeader(data, QByteArray());
}

HLVArtwork HLVArtwork::fromEncodedData(const QByteArray& data)
{
    HLVArtwork artwork;
    if (data.isEmpty())
        return artwork;
    const QSize size = headerOf(data).size;
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
    const quint64 key = contentKey();
    std::call_once(described._data->keyOnce, [&] { described._data->key = key; });
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

quint64 HLVArtwork::contentKey() const
{
    if (!_data)
        return 0;
    std::call_once(_data->keyOnce, [d = _data.get()] {
        if (!d->encoded.isEmpty()) {
            d->key = keyOfBytes(d->encoded.constData(), d->encoded.size(), d->size);
        } else if (!d->image.isNull()) {
            const QImage& image = d->image;
            // Pixels may differ anywhere: all of them count (pictures chosen
            // in the window only, so few).
            d->key = quint64(qHashBits(image.constBits(), size_t(image.sizeInBytes()), 0x5bd1e995u))
                ^ (quint64(image.width()) << 48) ^ (quint64(image.height()) << 32) ^ quint64(image.format());
        }
        if (d->key == 0)
            d->key = 1; // present, whatever its bytes
    });
    return _data->key;
}

QString HLVArtwork::mimeTypeOfData(const QByteArray& data)
{
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("image/png");
    if (data.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("image/jpeg");
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return QStringLiteral("image/gif");
    if (data.startsWith("BM"))
        return QStringLiteral("image/bmp");
    if (data.startsWith("RIFF") && data.mid(8, 4) == "WEBP")
        return QStringLiteral("image/webp");
    return QString();
}
