#pragma once

#include <QString>
#include <QtGlobal>
#include <chrono>

// Where the web services live and how requests to them are paced.
//
// The base addresses are constants of the program that the environment may
// override, for tests and mirrors (read at every call, so a test may change them):
//   CADRELLE_MUSICBRAINZ_URL  MusicBrainz web service   (default https://musicbrainz.org)
//   CADRELLE_ACOUSTID_URL     AcoustID web service      (default https://api.acoustid.org)
//   CADRELLE_COVERART_URL     Cover Art Archive         (default https://coverartarchive.org)
//   CADRELLE_ACOUSTID_KEY     AcoustID application key  (default: the program's own key)
// Addresses are answered without a trailing slash; clients append "/ws/2/...",
// "/v2/lookup?..." and the like. Nothing else in the program reads the environment
// for services; add any further service address here.
//
// The pacing values are process-wide. Production keeps the defaults; the
// ...ForTesting setters let tests shorten the one-second pause before each
// service request, the transfer time-out and the reply size limit.
class HLVServiceConfiguration
{
public:
    static QString musicBrainzBaseAddress();
    static QString acoustIDBaseAddress();
    static QString coverArtBaseAddress();
    static QString acoustIDKey();

    // The maker's home page, sent as Referer with MusicBrainz requests.
    static QString homePageAddress();

    // The pause every service client sleeps before it sends a request (1 s).
    static std::chrono::milliseconds requestPause();
    // Sleeps the calling thread for requestPause().
    static void pauseBeforeRequest();
    static void setRequestPauseForTesting(std::chrono::milliseconds pause);

    // A request is aborted when no bytes move for this long (60 s).
    static std::chrono::milliseconds transferTimeout();
    static void setTransferTimeoutForTesting(std::chrono::milliseconds timeout);

    // A reply body larger than this is refused as a failed request (64 MiB).
    static qint64 maximumReplySize();
    static void setMaximumReplySizeForTesting(qint64 bytes);

    // Puts the three pacing values back to their defaults.
    static void resetPacingForTesting();
};
