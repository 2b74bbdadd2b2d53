#pragma once

#include <QNetworkRequest>
#include <QString>

// The base address of the MusicBrainz web service, cached once per process, and
// the headers every MusicBrainz request carries.
//
// A client builds its address as serverAddress() (first attempt) or fallback()
// (retry after a failure) followed directly by its path and query, then:
//     QNetworkRequest request(QUrl(HLVMusicBrainzServer::serverAddress() + path));
//     HLVMusicBrainzServer::setCommonHeaders(request);
// and pauses with HLVServiceConfiguration::pauseBeforeRequest() before sending.
class HLVMusicBrainzServer
{
public:
    // The base address without a trailing slash; cached on first use.
    static QString serverAddress();

    // Resets the cached address to the default and answers it.
    static QString fallback();

    // The cached address, else the default (CADRELLE_MUSICBRAINZ_URL or the public service).
    QString _determineAddress() const;

    // User-Agent "Cadrelle/2.XX" and Referer, the maker's home page.
    static void setCommonHeaders(QNetworkRequest& request);

    // Forgets the cached address, so a test can point the service at a new server.
    static void resetForTesting();
};
