#include "HLVFuzz.h"
#include "HLVMusicBrainzReleaseIDQuery.h"

// A MusicBrainz release-group (and release) search reply for an album.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HLVFuzz::serveEveryRequest(HLVFuzz::bytes(data, size), "application/xml");
    HLVFuzz::runOffTheMainThread([] {
        for (const QString& artist : {QStringLiteral("a74b1b7f-71a5-4011-9441-d0b5e4122711"),
                                      HLVMusicBrainzReleaseIDQuery::VariousArtistsMBID}) {
            HLVMusicBrainzReleaseIDQuery query;
            (void)query.releaseIdDictionaryForForAlbum(QStringLiteral("Help! [Deluxe]"), artist,
                                                       QStringLiteral("Yesterday"));
        }
    });
    return 0;
}
