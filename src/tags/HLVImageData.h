#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The bytes of a picture to embed, from a local path or a web address.
class HLVImageData
{
public:
    // The whole contents of the image; empty when nothing could be read. A web
    // address (one that starts with "http" in any case) is downloaded with a
    // blocking request, so it must not be asked for on the main thread (the
    // request is refused there); an answer other than 2xx counts as nothing.
    static QByteArray imageDataFromImageAtPath(const std::optional<QString>& path);

    // True when the path starts with "http" in any letter case.
    static bool isWebAddress(const QString& path);

    // Pictures larger than this are refused rather than read into memory.
    static constexpr qint64 maximumImageSize = 64LL * 1024 * 1024;
};
