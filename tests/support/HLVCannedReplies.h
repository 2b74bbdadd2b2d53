#pragma once

#include <QByteArray>
#include <QString>

// Replies of the web services in their documented formats, for the loopback
// server: one recording ("rec-1", "Tone" by "The Generators", artist
// "artist-1") with two releases ("rel-single", "rel-album").
namespace HLVCannedReplies {

QByteArray acoustIDReply();
QByteArray releasesReply();
// The same recording on "rel-album" alone: one candidate, applied at once.
QByteArray albumReleaseReply();
// A Cover Art Archive listing whose first image has this large thumbnail.
QByteArray coverListing(const QString& largeThumbnail);
// A small PNG picture.
QByteArray pngBytes();

} // namespace HLVCannedReplies
