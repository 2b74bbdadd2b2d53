#include "HLVTagLibFLACReader.h"
#include "HLVFLACFile.h"
#include "HLVTagText.h"
#include "HLVTagValueParser.h"

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/xiphcomment.h>

namespace {

std::optional<QString> presentText(const TagLib::Ogg::XiphComment* comment, const char* key)
{
    return HLVTagText::presentFromTagLib(HLVTagLibFLACReader::readTextValueForKey(QLatin1String(key), comment));
}

std::optional<int> presentInteger(const TagLib::Ogg::XiphComment* comment, const char* key)
{
    if (auto text = presentText(comment, key))
        return HLVTagValueParser::integerOfText(*text);
    return std::nullopt;
}

} // namespace

TagLib::String HLVTagLibFLACReader::readTextValueForKey(const QString& key,
                                                        const TagLib::Ogg::XiphComment* comment)
{
    if (!comment)
        return TagLib::String();
    const TagLib::Ogg::FieldListMap& fields = comment->fieldListMap();
    const TagLib::String exactKey = HLVTagText::keyToTagLib(key);
    auto it = fields.find(exactKey);
    // TagLib keeps every key in upper case, so a custom identifier listed in
    // lower case is only found in that form.
    if (it == fields.end() && key != key.toUpper())
        it = fields.find(exactKey.upper());
    if (it == fields.end() || it->second.isEmpty())
        return TagLib::String();
    return it->second.front();
}

QByteArray HLVTagLibFLACReader::readCoverImage(TagLib::FLAC::File& file, TagLib::Ogg::XiphComment* comment)
{
    auto pictures = file.pictureList();
    if (pictures.isEmpty() && comment)
        pictures = comment->pictureList();
    if (pictures.isEmpty())
        return QByteArray();
    return toQByteArray(pictures.front()->data());
}

bool HLVTagLibFLACReader::readTagsFromFileAtPath(const QString& path, HLVTagMap& tagMap, HLVFailure* failure)
{
    try {
        HLVFLACFile::Readable readable;
        if (!readable.open(path, failure, readsAudioProperties()))
            return false;
        TagLib::FLAC::File* file = &readable.file();
        if (!file->tag())
            return reportNotAudio(failure, "a FLAC file");
        readGenericTags(*file->tag(), tagMap);
        TagLib::Ogg::XiphComment* comment = file->xiphComment(false);

        auto albumArtist = presentText(comment, "ALBUMARTIST");
        if (!albumArtist)
            albumArtist = presentText(comment, "ALBUM ARTIST");
        if (albumArtist)
            tagMap.setAlbumArtist(albumArtist);
        if (auto v = presentInteger(comment, "TRACKTOTAL"))
            tagMap.setTrackTotal(v);
        if (auto v = presentInteger(comment, "DISCNUMBER"))
            tagMap.setDiscNumber(v);
        if (auto v = presentInteger(comment, "DISCTOTAL"))
            tagMap.setDiscTotal(v);
        if (auto v = presentText(comment, "COMPOSER"))
            tagMap.setComposer(v);
        if (auto v = presentText(comment, "GROUPING"))
            tagMap.setGrouping(v);
        if (auto v = presentText(comment, "COMPILATION"))
            tagMap.setCompilation(HLVTagValueParser::booleanOfText(*v) ? 1 : 0);

        setArtwork(tagMap, readCoverImage(*file, comment));

        setCustomTagValues(tagMap, presentText(comment, "CTIS"), [comment](const QString& identifier) {
            return HLVTagText::presentFromTagLib(readTextValueForKey(identifier, comment));
        });
        if (_details)
            _details->readFLAC(*file, tagMap.Artwork());
        return true;
    } catch (...) {
        return reportNotAudio(failure, "a FLAC file");
    }
}

std::optional<QString> HLVTagLibFLACReader::readTagWithIdentifier(const QString& identifier, const QString& path)
{
    try {
        HLVFLACFile::Readable readable;
        if (!readable.open(path))
            return std::nullopt;
        return HLVTagText::fromTagLib(readTextValueForKey(identifier, readable.file().xiphComment(false)));
    } catch (...) {
        return std::nullopt;
    }
}
