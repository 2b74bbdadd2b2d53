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
//   CADRELLE_ACOUSTID_KEY     AcoustID application key
//   CADRELLE_VERSION_URL      plain-text file naming the latest release
// Addresses are answered without a trailing slash; clients append "/ws/2/...",
// "/v2/lookup?..." and the like. Nothing else in the program reads the environment
// for services; add any further service address here.
//
// The pacing values are process-wide. Production keeps the defaults; the
// ...ForTesting setters let tests shorten the spacing between service requests,
// the back-off after a refusal, the time-outs and the reply size limit.
class HLVServiceConfiguration
{
public:
    static QString musicBrainzBaseAddress();
    static QString acoustIDBaseAddress();
    static QString coverArtBaseAddress();
    // A full address (not a base): the text file holding the latest version.
    static QString versionFileAddress();
    // The AcoustID application key: the one given for this run (the command
    // line's --acoustid-key), else CADRELLE_ACOUSTID_KEY, else the preference
    // "AcoustIDApplicationKey", else the program's own key.
    static QString acoustIDKey();
    static void setAcoustIDKeyForSession(const QString& key);
    static constexpr const char* acoustIDKeyPreference = "AcoustIDApplicationKey";

    // "Cadrelle/<version> ( <home page> )", sent with every service request.
    static QString userAgent();

    // The maker's home page, sent as Referer with MusicBrainz requests.
    static QString homePageAddress();

    // The least time between two requests to the same service (1 s); the
    // request layer's gates keep it, no client sleeps for it.
    static std::chrono::milliseconds requestPause();
    static void setRequestPauseForTesting(std::chrono::milliseconds pause);

    // A request answered with 503 or 429 is sent again, at most this many tries
    // in all, after the server's Retry-After (capped at maximumRetryAfter) or,
    // without one, after retryBackoff() and then twice that (2 s, 4 s).
    static constexpr int maximumTries = 3;
    static constexpr std::chrono::seconds maximumRetryAfter{30};
    static std::chrono::milliseconds retryBackoff();
    static void setRetryBackoffForTesting(std::chrono::milliseconds backoff);

    // A request is aborted when no bytes move for this long (60 s).
    static std::chrono::milliseconds transferTimeout();
    static void setTransferTimeoutForTesting(std::chrono::milliseconds timeout);

    // A reply still arriving after this long is abandoned, however steadily
    // its bytes trickle in (2 min).
    static std::chrono::milliseconds replyDeadline();
    static void setReplyDeadlineForTesting(std::chrono::milliseconds deadline);

    // A reply body larger than this is refused as a failed request (64 MiB).
    static qint64 maximumReplySize();
    static void setMaximumReplySizeForTesting(qint64 bytes);

    // Puts the pacing values back to their defaults.
    static void resetPacingForTesting();
};
