#pragma once

#include <QSize>
#include <QString>
#include <optional>

class HLVArtwork;

namespace TagLib {
class AudioProperties;
class File;
namespace MPEG {
class File;
}
namespace MP4 {
class File;
}
namespace FLAC {
class File;
}
} // namespace TagLib

// What a file holds besides its tag values: its format and audio, the kinds of
// tag it carries, its first picture, its size and folder. Read with the tags
// from the file the reader has open (audio properties in TagLib's fast style),
// and small enough for a record to keep for every file of a large list: it
// holds no picture bytes.
struct HLVFileDetails
{
    QString format; // "MP3", "MPEG-4", "FLAC", else the extension in capitals
    QString codec;  // "MPEG-1 Layer 3", "AAC", "ALAC", "FLAC"; empty when unknown
    std::optional<int> lengthMilliseconds;
    std::optional<int> bitRate;    // kbit/s
    std::optional<int> sampleRate; // Hz
    std::optional<int> channels;
    std::optional<int> bitsPerSample; // where the format says (FLAC, ALAC)

    std::optional<int> id3v2Version; // 2, 3 or 4 when the file has an ID3v2 tag
    bool id3v1 = false;
    bool ape = false;
    std::optional<int> mp4Items;   // items in the MPEG-4 item list, when the file has one
    std::optional<int> xiphFields; // fields of the FLAC Xiph comment, when the file has one

    int pictures = 0;                // pictures in the file
    std::optional<int> pictureType;  // the first picture's ID3v2/FLAC type (3 is the front cover)
    QString pictureFormat;           // "JPEG", "PNG", "GIF", "BMP", "WebP", else the stored MIME type
    QSize pictureSize;               // from the picture's own header; invalid when it does not say
    qint64 pictureBytes = 0;

    qint64 fileSize = 0;
    QString folder;

    // The tags in plain words: "ID3v2.4, ID3v1", "MP4 items (12)",
    // "Xiph comment (9 fields)"; "none" for a file without any.
    QString tagSummary() const;
    // "Front cover" and the other ID3v2 and FLAC picture types 0 to 20; empty otherwise.
    static QString pictureTypeName(int type);

    // What each format reader adds from the file it has open, after the tags
    // (artwork is the first picture as the reader took it). The audio part is
    // left absent when the file was opened without its audio properties.
    void readMPEG(TagLib::MPEG::File& file, const HLVArtwork& artwork);
    void readMP4(TagLib::MP4::File& file, const HLVArtwork& artwork);
    void readFLAC(TagLib::FLAC::File& file, const HLVArtwork& artwork);
    // Any other file TagLib opens: format from the extension, audio and size.
    void readOther(TagLib::File& file, const QString& path);

    // Takes the audio part (codec, length, rates, channels, sample size) from
    // details read earlier of the same audio.
    void takeAudioFrom(const HLVFileDetails& earlier);

private:
    void readAudio(const TagLib::AudioProperties* properties);
    void readPicture(const HLVArtwork& artwork, const QString& storedMimeType);
};
