#pragma once

#include "HLVFailure.h"
#include "HLVXMLParser.h"

#include <QString>
#include <QStringList>
#include <optional>

struct HLVReleaseIDDictionary {            // the result "dictionary"
    QStringList ReleaseGroupIDs;
    QStringList ReleaseIDs;
};

// Finds the MusicBrainz release groups and releases of an album by an artist,
// for the cover art of a file that acoustic identification could not place.
//
// Candidates come best first: release groups of type Album whose title matches,
// then the other matching groups (every group for Various Artists); official
// releases titled like the album, then official releases titled like the track.
// Titles are compared after simplifyString, so "Help! [Deluxe]" finds "Help!".
//
// A reply that is not well-formed XML, or the service's error document, is a
// failure (absent), not a search without candidates.
//
// One object per search; blocking, never on the main thread.
class HLVMusicBrainzReleaseIDQuery : public HLVXMLParserDelegate
{
public:
    static const QString VariousArtistsMBID;

    HLVMusicBrainzReleaseIDQuery();

    // Blocking; never on the main thread. Absent on failure.
    std::optional<HLVReleaseIDDictionary> releaseIdDictionaryForForAlbum(
        const QString& album, const QString& artistMBID, const std::optional<QString>& fallbackTitle);

    // Why the last search answered absent; absent after a successful one.
    const std::optional<HLVFailure>& LastFailure() const { return _lastFailure; }

    // Lower-cased, without bracketed parts, punctuation, "- single" / "- ep"
    // suffixes, doubled spaces and surrounding spaces and tabs.
    static QString simplifyString(const QString& string);
    // Cuts every "(...)" and then every "[...]" part; see the definition for
    // nested and unbalanced brackets.
    static QString removeBracketsFromString(const QString& string);

    // Parser callbacks.
    void parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes) override;
    void parserFoundCharacters(const QString& string) override;
    void parserDidEndElement(const QString& elementName) override;

private:
    void considerText(const QString& element, const QString& text);

    std::optional<QString> _albumName;
    std::optional<QString> _trackName;
    std::optional<QString> _nextID;
    std::optional<QString> _currentElement;
    QStringList _releaseGroupMBIDs;
    QStringList _releaseMBIDs;
    bool _isAlbum = false;
    bool _usingFallback = false;
    bool _variousArtists = false;
    qint32 _albumIndex = 0;
    qint32 _singleIndex = 0;

    HLVXMLParser* _parser = nullptr;
    QString _text;   // the pieces of the current element's text, joined
    bool _hasText = false;
    std::optional<HLVFailure> _lastFailure;
};
