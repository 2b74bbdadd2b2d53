#include "HLVServiceReplies.h"

namespace HLVServiceReplies {

QByteArray acoustIDRecording()
{
    return R"({"status": "ok", "results": [{"id": "a1", "score": 0.97, "recordings": [
        {"id": "rec-1", "title": "Tone", "duration": 5, "artists": [{"id": "artist-1", "name": "The Generators"}]}]}]})";
}

QByteArray acoustIDError(int code, const QString& message)
{
    return R"({"status": "error", "error": {"code": )" + QByteArray::number(code) + R"(, "message": ")"
        + message.toUtf8() + "\"}}";
}

QByteArray recordingReleases()
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<metadata xmlns="http://musicbrainz.org/ns/mmd-2.0#"><recording-list count="1" offset="0">
 <recording id="rec-1"><title>Tone</title>
  <artist-credit><name-credit><artist id="artist-1"><name>The Generators</name></artist></name-credit></artist-credit>
  <release-list count="1"><release id="rel-album"><title>Waveforms</title><status>Official</status>
   <release-group id="rg-2" type="Album"/><date>2001</date><country>GB</country>
   <medium-list><medium><position>1</position><track-list count="9" offset="2"/></medium></medium-list>
  </release></release-list>
 </recording>
</recording-list></metadata>)";
}

QByteArray artistList(const QString& id, const QString& name)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?><metadata><artist-list count="1"><artist id=")" + id.toUtf8()
        + R"(" type="Group"><name>)" + name.toHtmlEscaped().toUtf8() + "</name></artist></artist-list></metadata>";
}

QByteArray releaseGroupList(const QString& id, const QString& title)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?><metadata><release-group-list count="1"><release-group id=")"
        + id.toUtf8() + R"(" type="Album"><title>)" + title.toHtmlEscaped().toUtf8()
        + "</title></release-group></release-group-list></metadata>";
}

QByteArray coverArtImages(const QString& address)
{
    return R"({"images": [{"front": true, "thumbnails": {"large": ")" + address.toUtf8() + R"("}}]})";
}

} // namespace HLVServiceReplies
