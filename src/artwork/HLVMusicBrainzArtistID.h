#pragma once

#include "HLVFailure.h"
#include "HLVXMLParser.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Turns an artist name as it stands in a tag into a MusicBrainz artist
// identifier. When the name is not found as a whole, it is retried once without
// its duet or featured-artist suffix ("A & B" as "a", "A (feat. B)" and
// "A feat. B" as "A"), and then searched among the artists' aliases.
//
// Blocking, for a second or more per request (the request layer's MusicBrainz
// gate spaces them): never call it on the main thread. One lookup at a time per object; an object may serve many
// lookups in turn.
class HLVMusicBrainzArtistID : public HLVXMLParserDelegate
{
public:
    // Blocking; never call on the main thread. Absent when not found.
    std::optional<QString> GetArtistIdFromArtist(const std::optional<QString>& artist);

    // The name as the service spells it, after a successful lookup.
    const std::optional<QString>& Artist() const { return _artist; }

    // Why the last lookup found nothing (the service unreachable or refusing,
    // or no such artist); absent after a successful one.
    const std::optional<HLVFailure>& LastFailure() const { return _lastFailure; }

    // Compares the way people expect names to match: "beyonce" equals "Beyoncé",
    // "SIGUR ROS" equals "Sigur Rós".
    static bool equalIgnoringCaseAndDiacritics(const QString& a, const QString& b);

    // Parser callbacks.
    void parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes) override;
    void parserFoundCharacters(const QString& string) override;
    void parserDidEndElement(const QString& elementName) override;
    void parserDidEndDocument() override {}

private:
    // The reply to the path at serverAddress(); on a failure, once more at the
    // fallback address. Absent when neither answered with status 200.
    std::optional<QByteArray> getResponseDataFromAPI(const QString& api, bool canFallBack);
    // One blocking request; a failure is kept as the reason of the lookup.
    std::optional<QByteArray> fetch(const QString& address);
    std::optional<QString> retryOrCheckAlias();
    // Parses a reply; true when a name (or, in the alias search, an alias) matched.
    bool parseResponse(const QByteArray& data);
    std::optional<QString> fail();
    void cleanUp();

    std::optional<QString> _artistId;
    std::optional<QString> _artist;
    bool _haveRetried = false;
    bool _haveSearchAliases = false;
    bool _isInBeginArea = false;
    bool _isInArea = false;
    QString _orignalArtistName;
    std::optional<QString> _nameForAlias;
    QString _buffer;

    QStringList _elementStack;
    bool _matched = false;
    HLVXMLParser* _parser = nullptr;
    std::optional<HLVFailure> _requestFailure;   // of the latest request
    std::optional<HLVFailure> _lastFailure;
};
