#include "HLVBareTagLib.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>
#include <taglib/xiphcomment.h>

namespace HLVBareTagLib {

namespace {

void readAudio(const TagLib::AudioProperties* properties, Tags& tags)
{
    if (!properties)
        return;
    tags.lengthMilliseconds = properties->lengthInMilliseconds();
    tags.bitRate = properties->bitrate();
    tags.sampleRate = properties->sampleRate();
    tags.channels = properties->channels();
}

void readGeneric(const TagLib::Tag& tag, Tags& tags)
{
    tags.title = tag.title();
    tags.artist = tag.artist();
    tags.album = tag.album();
    tags.comment = tag.comment();
    tags.genre = tag.genre();
    tags.year = tag.year();
    tags.track = tag.track();
}

TagLib::StringList identifiers(const TagLib::String& list)
{
    TagLib::StringList result;
    for (const TagLib::String& id : TagLib::StringList::split(list, ",")) {
        if (!id.isEmpty())
            result.append(id);
    }
    return result;
}

// --- MP3 ----------------------------------------------------------------------------

const TagLib::ID3v2::Frame* frame(const TagLib::ID3v2::Tag& tag, const char* id)
{
    const auto& frames = tag.frameListMap();
    const auto it = frames.find(id);
    return it == frames.end() || it->second.isEmpty() ? nullptr : it->second.front();
}

TagLib::String frameText(const TagLib::ID3v2::Tag& tag, const char* id)
{
    const TagLib::ID3v2::Frame* f = frame(tag, id);
    if (!f)
        return TagLib::String();
    // Frames TagLib does not know are raw bytes: an encoding byte, then text.
    if (const auto* unknown = dynamic_cast<const TagLib::ID3v2::UnknownFrame*>(f)) {
        const TagLib::ByteVector data = unknown->data();
        if (data.isEmpty())
            return TagLib::String();
        return TagLib::String(data.mid(1), TagLib::String::Type(static_cast<unsigned char>(data[0]) & 3));
    }
    return f->toString();
}

bool readMP3(const char* path, bool audioProperties, Tags& tags)
{
    TagLib::MPEG::File file(path, audioProperties, TagLib::AudioProperties::Fast);
    if (!file.isValid() || !file.tag())
        return false;
    readGeneric(*file.tag(), tags);
    readAudio(file.audioProperties(), tags);
    const TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tags.albumArtist = frameText(*tag, "TPE2");
    tags.trackText = frameText(*tag, "TRCK");
    tags.discText = frameText(*tag, "TPOS");
    tags.composer = frameText(*tag, "TCOM");
    tags.grouping = frameText(*tag, "TIT1");
    tags.compilation = frameText(*tag, "TCMP") == "1";
    if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame(*tag, "APIC")))
        tags.picture = picture->picture();
    tags.customList = frameText(*tag, "CTIS");
    for (const TagLib::String& id : identifiers(tags.customList))
        tags.customValues.append(frameText(*tag, id.toCString()));
    return true;
}

// --- MPEG-4 ------------------------------------------------------------------------

const TagLib::MP4::Item* item(const TagLib::MP4::ItemMap& items, const TagLib::String& key)
{
    const auto it = items.find(key);
    return it == items.end() ? nullptr : &it->second;
}

TagLib::String itemText(const TagLib::MP4::ItemMap& items, const TagLib::String& key)
{
    const TagLib::MP4::Item* found = item(items, key);
    if (!found)
        return TagLib::String();
    const TagLib::StringList strings = found->toStringList();
    return strings.isEmpty() ? TagLib::String() : strings.front();
}

TagLib::String pairText(const TagLib::MP4::ItemMap& items, const char* key)
{
    const TagLib::MP4::Item* found = item(items, key);
    if (!found)
        return TagLib::String();
    const auto pair = found->toIntPair();
    return TagLib::String::number(pair.first) + "/" + TagLib::String::number(pair.second);
}

bool readMP4(const char* path, bool audioProperties, Tags& tags)
{
    TagLib::MP4::File file(path, audioProperties, TagLib::AudioProperties::Fast);
    if (!file.isValid() || !file.tag())
        return false;
    readGeneric(*file.tag(), tags);
    readAudio(file.audioProperties(), tags);
    const TagLib::MP4::ItemMap& items = file.tag()->itemMap();
    tags.albumArtist = itemText(items, "aART");
    tags.trackText = pairText(items, "trkn");
    tags.discText = pairText(items, "disk");
    tags.composer = itemText(items, TagLib::String("\xA9wrt", TagLib::String::Latin1));
    tags.grouping = itemText(items, TagLib::String("\xA9grp", TagLib::String::Latin1));
    if (const TagLib::MP4::Item* flag = item(items, "cpil"))
        tags.compilation = flag->toBool();
    if (const TagLib::MP4::Item* covers = item(items, "covr")) {
        const TagLib::MP4::CoverArtList list = covers->toCoverArtList();
        if (!list.isEmpty())
            tags.picture = list.front().data();
    }
    tags.customList = itemText(items, "CTIS");
    for (const TagLib::String& id : identifiers(tags.customList))
        tags.customValues.append(itemText(items, id));
    return true;
}

// --- FLAC -----------------------------------------------------------------------------

TagLib::String field(const TagLib::Ogg::XiphComment* comment, const char* key)
{
    if (!comment)
        return TagLib::String();
    const TagLib::Ogg::FieldListMap& fields = comment->fieldListMap();
    const auto it = fields.find(key);
    return it == fields.end() || it->second.isEmpty() ? TagLib::String() : it->second.front();
}

bool readFLAC(const char* path, bool audioProperties, Tags& tags)
{
    TagLib::FLAC::File file(path, audioProperties, TagLib::AudioProperties::Fast);
    if (!file.isValid() || !file.tag())
        return false;
    readGeneric(*file.tag(), tags);
    readAudio(file.audioProperties(), tags);
    const TagLib::Ogg::XiphComment* comment = file.xiphComment(false);
    tags.albumArtist = field(comment, "ALBUMARTIST");
    tags.trackText = field(comment, "TRACKTOTAL");
    tags.discText = field(comment, "DISCNUMBER") + "/" + field(comment, "DISCTOTAL");
    tags.composer = field(comment, "COMPOSER");
    tags.grouping = field(comment, "GROUPING");
    tags.compilation = field(comment, "COMPILATION") == "1";
    const auto pictures = file.pictureList();
    if (!pictures.isEmpty())
        tags.picture = pictures.front()->data();
    tags.customList = field(comment, "CTIS");
    for (const TagLib::String& id : identifiers(tags.customList))
        tags.customValues.append(field(comment, id.upper().toCString()));
    return true;
}

} // namespace

bool read(const QByteArray& path, HLVTagLib::Format format, Tags& tags, bool audioProperties)
{
    switch (format) {
    case HLVTagLib::Format::MP3: return readMP3(path.constData(), audioProperties, tags);
    case HLVTagLib::Format::MP4: return readMP4(path.constData(), audioProperties, tags);
    case HLVTagLib::Format::FLAC: return readFLAC(path.constData(), audioProperties, tags);
    case HLVTagLib::Format::Other: break;
    }
    return false;
}

bool save(const QByteArray& path, HLVTagLib::Format format, const Change& change)
{
    auto generic = [&change](TagLib::Tag& tag) {
        tag.setTitle(change.title);
        tag.setAlbum(change.album);
        tag.setYear(change.year);
    };
    const TagLib::String track = TagLib::String::number(int(change.trackNumber)) + "/"
        + TagLib::String::number(int(change.trackTotal));
    switch (format) {
    case HLVTagLib::Format::MP3: {
        TagLib::MPEG::File file(path.constData(), false);
        if (!file.isValid())
            return false;
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        generic(*tag);
        tag->removeFrames("TRCK");
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TRCK", TagLib::String::Latin1);
        frame->setText(track);
        tag->addFrame(frame);
        return file.save();
    }
    case HLVTagLib::Format::MP4: {
        TagLib::MP4::File file(path.constData(), false);
        if (!file.isValid() || !file.tag())
            return false;
        generic(*file.tag());
        file.tag()->setItem("trkn", TagLib::MP4::Item(int(change.trackNumber), int(change.trackTotal)));
        return file.save();
    }
    case HLVTagLib::Format::FLAC: {
        TagLib::FLAC::File file(path.constData(), false);
        if (!file.isValid())
            return false;
        TagLib::Ogg::XiphComment* comment = file.xiphComment(true);
        generic(*comment);
        comment->addField("TRACKNUMBER", TagLib::String::number(int(change.trackNumber)), true);
        comment->addField("TRACKTOTAL", TagLib::String::number(int(change.trackTotal)), true);
        return file.save();
    }
    case HLVTagLib::Format::Other: break;
    }
    return false;
}

QString toQString(const TagLib::String& text)
{
    return QString::fromStdWString(text.toWString());
}

} // namespace HLVBareTagLib
