#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <memory>

// A cover picture. Decoding a picture costs far more than reading all of a
// file's tags, so a picture read from a file keeps its encoded bytes and is
// decoded on first use; only its header is checked when it is read. Copies
// share the bytes and the decoded image. Safe to use from any thread.
class HLVArtwork
{
public:
    HLVArtwork() = default;                    // absent
    explicit HLVArtwork(const QImage& image);  // a null image is absent

    // Absent when the bytes' header does not read as an image.
    static HLVArtwork fromEncodedData(const QByteArray& data);

    // What an encoded picture's header says: its size, its bits per pixel and,
    // for a picture with a palette, how many colours that holds (else 0). The
    // size is invalid when the header does not read as an image. Nothing is decoded.
    struct Header
    {
        QSize size;
        int depth = 0;
        int colours = 0;
    };
    static Header headerOf(const QByteArray& data);

    bool isNull() const { return !_data; }
    explicit operator bool() const { return !isNull(); }

    // What the picture is (present, its size) without its bytes: what a
    // record keeps of a picture that stays in its file.
    HLVArtwork withoutPictureData() const;
    bool hasPictureData() const;

    QImage image() const;           // decoded on first call; null when absent, undecodable or without its data
    QByteArray encodedData() const; // empty for a picture built from a QImage
    QSize size() const;             // from the header; no decoding
    // Equal for pictures of the same content (the same bytes, or for a picture
    // built from a QImage the same pixels); kept by withoutPictureData(), so
    // pictures left in their files compare without being read again. 0 when absent.
    quint64 contentKey() const;

    // The MIME type the bytes' own signature shows (JPEG, PNG, GIF, BMP or
    // WebP); empty when they show none of these.
    static QString mimeTypeOfData(const QByteArray& data);

private:
    struct Data;
    std::shared_ptr<Data> _data;
};
