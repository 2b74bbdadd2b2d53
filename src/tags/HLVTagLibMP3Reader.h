#pragma once

#include "HLVTagLibReader.h"

namespace TagLib {
class String;
namespace MPEG {
class File;
}
namespace ID3v2 {
class Tag;
class Frame;
}
} // namespace TagLib

// Reads MPEG audio (mp3) files: the generic fields, then the ID3v2 frames the
// generic tag does not cover (TPE2, TRCK total, TPOS, TCOM, TIT1, TCMP), the
// first attached picture and the custom tags named in the CTIS frame.
class HLVTagLibMP3Reader : public HLVTagLibReader
{
public:
    bool readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure = nullptr) override;

    // The text of the identifier's first frame; empty when there is none;
    // absent when the file is not MPEG audio.
    std::optional<QString> readTagWithIdentifier(const QString& identifier, const QString& path) override;

    // TagLib takes any file for MPEG audio; a file without a single MPEG frame
    // (a picture, a text file named .mp3) must be neither read nor written.
    static bool isMPEGAudio(TagLib::MPEG::File& file);

    // Says why a file is not MPEG audio: a damaged ID3v2 header at its start
    // hides the audio behind it, and is named; anything else is no MP3 file.
    static bool reportNoMPEGAudio(const QString& path, HLVFailure* failure);

    // The first frame with that identifier, or null.
    static TagLib::ID3v2::Frame* firstFrame(const QString& identifier, const TagLib::ID3v2::Tag& tag);

    // The value of the identifier's first frame: its text, or for frames that
    // have no text form (our own CTIS frame, which TagLib does not know) the
    // raw fallback below. Empty when the frame is missing.
    static TagLib::String readMP3ValueForTag(const QString& identifier, const TagLib::ID3v2::Tag& tag);

    // The text of a frame TagLib has no text form for: its body read as a text
    // frame when it starts with an encoding byte, else the body's bytes other
    // than 0x00, 0x01, 0xFE and 0xFF as Latin-1.
    static TagLib::String readMP3ValueForFrame(const TagLib::ID3v2::Frame& frame);

    // The stored CTIS text (e.g. "TXXX,TCOP,"), absent when empty.
    static std::optional<QString> readCustomTagIdentifierStringForTag(const TagLib::ID3v2::Tag& tag);

    // The picture bytes of the first APIC frame, whatever its picture type;
    // empty when there is none.
    static QByteArray readMP3CoverImageForTag(const TagLib::ID3v2::Tag& tag);

private:
    static void readMP3Tags(const TagLib::ID3v2::Tag& tag, HLVTagMap& tagMap);
};
