#pragma once

#include <QByteArray>
#include <QString>

// Canned replies of the web services, in their documented formats, for tests
// that run a client or the whole pipeline against the loopback server.
namespace HLVServiceReplies {

// AcoustID: one recording "Tone" (rec-1) by artist-1.
QByteArray acoustIDRecording();
// AcoustID's error document ({"status": "error", "error": {...}}).
QByteArray acoustIDError(int code, const QString& message);

// MusicBrainz recording search: recording rec-1 "Tone" on one official album.
QByteArray recordingReleases();
// MusicBrainz artist search: one artist of that name.
QByteArray artistList(const QString& id, const QString& name);
// MusicBrainz release-group search: one album group of that title.
QByteArray releaseGroupList(const QString& id, const QString& title);
// Cover Art Archive: one image with a large thumbnail.
QByteArray coverArtImages(const QString& address);

} // namespace HLVServiceReplies
