#pragma once

#include "HLVTagLib.h"

#include <QByteArray>
#include <QString>
#include <taglib/tbytevector.h>
#include <taglib/tstring.h>
#include <taglib/tstringlist.h>

// The floor: what a program that calls TagLib and nothing else does to read the
// fields Cadrelle reads, and to save the change the benchmark makes. No checks
// beyond TagLib's own, no conversion out of TagLib's types.
namespace HLVBareTagLib {

struct Tags
{
    TagLib::String title, artist, album, comment, genre;
    unsigned int year = 0, track = 0;
    TagLib::String albumArtist, trackText, discText, composer, grouping;
    bool compilation = false;
    TagLib::ByteVector picture;
    TagLib::String customList;
    TagLib::StringList customValues;
    int lengthMilliseconds = 0, bitRate = 0, sampleRate = 0, channels = 0;
};

// Reads the generic fields, the format's own fields, the first picture, the
// custom tags named by the "CTIS" list and, unless told otherwise, the audio
// properties (fast style). False when TagLib cannot open the file.
bool read(const QByteArray& path, HLVTagLib::Format format, Tags& tags, bool audioProperties = true);

struct Change
{
    TagLib::String title, album;
    unsigned int year = 0, trackNumber = 0, trackTotal = 0;
};

// Writes title, album, year and track number/total, then saves once.
bool save(const QByteArray& path, HLVTagLib::Format format, const Change& change);

QString toQString(const TagLib::String& text);

} // namespace HLVBareTagLib
