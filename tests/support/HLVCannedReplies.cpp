#include "HLVCannedReplies.h"

#include <QBuffer>
#include <QByteArrayList>
#include <QImage>

QByteArray HLVCannedReplies::acoustIDReply()
{
    return R"({"status": "ok", "results": [{"id": "a1", "score": 0.97, "recordings": [
  {"id": "rec-1", "title": "Tone", "duration": 5,
   "artists": [{"id": "artist-1", "name": "The Generators"}]}]}]})";
}

namespace {

// Plain text, not QByteArray: other files build their replies during static initialisation.
constexpr char singleRelease[] = R"(
    <release id="rel-single">
     <title>Tone (single)</title><status>Official</status>
     <release-group id="rg-1" type="Single"/>
     <date>2003</date><country>GB</country>
     <medium-list><medium><position>1</position><track-list count="2" offset="0"/></medium></medium-list>
    </release>)";

constexpr char albumRelease[] = R"(
    <release id="rel-album">
     <title>Waveforms</title><status>Official</status>
     <release-group id="rg-2" type="Album"/>
     <date>2001-04-01</date><country>GB</country>
     <medium-list><medium><position>1</position><track-list count="12" offset="4"/></medium></medium-list>
    </release>)";

QByteArray recordingOn(const QByteArrayList& releases)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<metadata xmlns="http://musicbrainz.org/ns/mmd-2.0#">
 <recording-list count="1" offset="0">
  <recording id="rec-1">
   <title>Tone</title>
   <artist-credit><name-credit><artist id="artist-1"><name>The Generators</name></artist></name-credit></artist-credit>
   <release-list count=")" + QByteArray::number(releases.size()) + "\">" + releases.join() + R"(
   </release-list>
   <tag-list><tag count="3"><name>electronic</name></tag></tag-list>
  </recording>
 </recording-list>
</metadata>)";
}

} // namespace

QByteArray HLVCannedReplies::releasesReply()
{
    return recordingOn({singleRelease, albumRelease});
}

QByteArray HLVCannedReplies::albumReleaseReply()
{
    return recordingOn({albumRelease});
}

QByteArray HLVCannedReplies::coverListing(const QString& largeThumbnail)
{
    return QStringLiteral(R"({"images": [{"front": true, "thumbnails": {"large": "%1"}}]})").arg(largeThumbnail).toUtf8();
}

QByteArray HLVCannedReplies::pngBytes()
{
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
