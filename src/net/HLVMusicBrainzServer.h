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
// and sends it; the common headers also route it through the request layer's
// MusicBrainz gate, which keeps all MusicBrainz requests a second apart.
class HLVMusicBrainzServer
{
public:
    // The base address without a trailing slash; cached on first use.
    static QString serverAddress();

    // Resets the cached address to the default and answers it.
    static QString fallback();

    // The cached address, else the default (CADRELLE_MUSICBRAINZ_URL or the public service).
    QString _determineAddress() const;

    // The program's User-Agent and Referer (the maker's home page), and the
    // MusicBrainz gate.
    static void setCommonHeaders(QNetworkRequest& request);

    // A value for a search query ("artist:" + searchTerm(name)): the search
    // syntax's special characters escaped with a backslash, so "AC/DC" or a
    // title with ':' or '"' is searched as written, then percent-encoded as a
    // single query value.
    static QString searchTerm(const QString& value);

    // Forgets the cached address, so a test can point the service at a new server.
    static void resetForTesting();
};
