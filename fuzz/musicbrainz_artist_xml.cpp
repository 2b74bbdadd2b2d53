#include "HLVFuzz.h"
#include "HLVMusicBrainzArtistID.h"

// A MusicBrainz artist search reply. The name has a featured artist, so a
// reply that does not match goes through the retry and the alias search too.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    HLVFuzz::serveEveryRequest(HLVFuzz::bytes(data, size), "application/xml");
    HLVFuzz::runOffTheMainThread([] {
        HLVMusicBrainzArtistID lookup;
        (void)lookup.GetArtistIdFromArtist(QStringLiteral("Sigur R\u00f3s feat. Someone"));
        // The same object serves the next lookup.
        (void)lookup.GetArtistIdFromArtist(QStringLiteral("Simon & Garfunkel"));
    });
    return 0;
}
