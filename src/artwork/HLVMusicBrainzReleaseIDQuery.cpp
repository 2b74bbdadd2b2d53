#include "HLVMusicBrainzReleaseIDQuery.h"

#include "HLVDataRequest.h"
#include "HLVMusicBrainzServer.h"
#include "HLVQueryEncoding.h"

#include <QUrl>

const QString HLVMusicBrainzReleaseIDQuery::VariousArtistsMBID = QStringLiteral("89ad4ac3-39f7-470e-963a-56509c546377");

namespace {

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Line breaks stay: only spaces and tabs are trimmed.
QString trimmedOfSpacesAndTabs(const QString& string)
{
    qsizetype start = 0;
    qsizetype end = string.size();
    while (start < end && isSpaceOrTab(string.at(start)))
        ++start;
    while (end > start && isSpaceOrTab(string.at(end - 1)))
        --end;
    return string.mid(start, end - start);
}

QString removeBracketPairs(QString string, QChar open, QChar close)
{
    while (string.contains(open)) {
        const qsizetype from = string.indexOf(open);
        const qsizetype to = string.indexOf(close);
        if (to < 0 || to < from)
            break;
        // Every occurrence of the same bracketed text goes at once.
        string.remove(string.mid(from, to - from + 1));
    }
    return string;
}

} // namespace

HLVMusicBrainzReleaseIDQuery::HLVMusicBrainzReleaseIDQuery() = default;

QString HLVMusicBrainzReleaseIDQuery::removeBracketsFromString(const QString& string)
{
    // Nested brackets are cut from the first opening to the first closing one,
    // leaving the outer pair's tail: "x (y (z) w) v" becomes "x  w) v". A closing
    // bracket before the first opening one stops the cutting of that kind.
    return removeBracketPairs(removeBracketPairs(string, QLatin1Char('('), QLatin1Char(')')), QLatin1Char('['),
                              QLatin1Char(']'));
}

QString HLVMusicBrainzReleaseIDQuery::simplifyString(const QString& string)
{
    QString simple = removeBracketsFromString(string.toLower());
    for (const QString& mark : {QStringLiteral("."), QStringLiteral(","), QStringLiteral("'"), QStringLiteral("?"),
                                QStringLiteral("!"), QStringLiteral("\u2019"), QStringLiteral(":")})
        simple.remove(mark);
    // Plain deletions: "- ep" also cuts into a word that begins with "ep".
    simple.remove(QStringLiteral("- single"));
    simple.remove(QStringLiteral("- ep"));
    // One left-to-right pass: three spaces become two.
    simple.replace(QStringLiteral("  "), QStringLiteral(" "));
    return trimmedOfSpacesAndTabs(simple);
}

std::optional<HLVReleaseIDDictionary> HLVMusicBrainzReleaseIDQuery::releaseIdDictionaryForForAlbum(
    const QString& album, const QString& artistMBID, const std::optional<QString>& fallbackTitle)
{
    _lastFailure.reset();
    if (trimmedOfSpacesAndTabs(album).isEmpty()) {
        _lastFailure = HLVFailure::make(HLVFailure::Kind::NoCover, QStringLiteral("no cover found: the file has no album"));
        return std::nullopt;
    }

    _albumName = simplifyString(album);
    _trackName = fallbackTitle ? simplifyString(*fallbackTitle) : QString();
    _variousArtists = artistMBID == VariousArtistsMBID;
    _albumIndex = 0;
    _singleIndex = 0;
    _releaseGroupMBIDs.clear();
    _releaseMBIDs.clear();

    const QString address = HLVMusicBrainzServer::serverAddress() + QStringLiteral("/ws/2/release-group?query=release:")
        + HLVMusicBrainzServer::searchTerm(*_albumName) + QStringLiteral("%20AND%20arid:")
        + HLVQueryEncoding::encodeValue(artistMBID) + QStringLiteral("&limit=100&method=indexed");
    QNetworkRequest request{QUrl(address)};
    HLVMusicBrainzServer::setCommonHeaders(request);
    std::optional<HLVURLResponse> response;
    std::optional<HLVRequestError> error;
    const std::optional<QByteArray> body = HLVDataRequest::sendSynchronousReturningResponse(request, response, error);

    std::optional<HLVReleaseIDDictionary> result;
    _lastFailure = HLVDataRequest::failureOfRequest(QStringLiteral("MusicBrainz"), error, response);
    if (!_lastFailure && body) {
        HLVXMLParser parser(QString::fromUtf8(*body));
        parser.setDelegate(this);
        _parser = &parser;
        // A reply that does not read as XML is a failure, not a search without candidates.
        if (parser.parse())
            result = HLVReleaseIDDictionary{_releaseGroupMBIDs, _releaseMBIDs};
        else
            _lastFailure = HLVFailure::make(HLVFailure::Kind::BadReply,
                                            QStringLiteral("MusicBrainz sent a reply that cannot be read"));
        _parser = nullptr;
    }
    _albumName.reset();
    _trackName.reset();
    _nextID.reset();
    _currentElement.reset();
    _releaseGroupMBIDs.clear();
    _releaseMBIDs.clear();
    return result;
}

void HLVMusicBrainzReleaseIDQuery::parserDidStartElement(const QString& elementName,
                                                         const QXmlStreamAttributes& attributes)
{
    _currentElement = elementName;
    _text.clear();
    _hasText = false;
    auto id = [&]() -> std::optional<QString> {
        if (!attributes.hasAttribute(QLatin1String("id")))
            return std::nullopt;
        return attributes.value(QLatin1String("id")).toString();
    };
    if (elementName == QLatin1String("error")) {
        // The service's error document: a failure, not a search without candidates.
        if (_parser)
            _parser->abortParsing();
    } else if (elementName == QLatin1String("release")) {
        _nextID = id();
        _usingFallback = true;
    } else if (elementName == QLatin1String("release-group")) {
        _isAlbum = attributes.hasAttribute(QLatin1String("type"))
            && attributes.value(QLatin1String("type")) == QLatin1String("Album");
        _nextID = id();
        _usingFallback = false;
    }
}

void HLVMusicBrainzReleaseIDQuery::parserFoundCharacters(const QString& string)
{
    if (!_currentElement)
        return;
    _text += string;
    _hasText = true;
}

void HLVMusicBrainzReleaseIDQuery::parserDidEndElement(const QString& elementName)
{
    // Only a leaf element's own text counts; the pieces of one text are joined.
    if (_currentElement && *_currentElement == elementName && _hasText)
        considerText(elementName, _text);
    _currentElement.reset();
    _text.clear();
    _hasText = false;
}

void HLVMusicBrainzReleaseIDQuery::considerText(const QString& element, const QString& text)
{
    if (!_nextID || !_albumName || !_trackName)
        return;
    if (element == QLatin1String("title")) {
        const QString title = simplifyString(text);
        if (_usingFallback) {
            if (title == *_albumName) {
                _isAlbum = true;   // kept open: its status decides
            } else if (!_trackName->isEmpty() && title == *_trackName) {
                // Without a track title nothing is matched through it.
                if (_variousArtists)
                    _nextID.reset();
            } else {
                _nextID.reset();
            }
        } else {
            if (title == *_albumName || _variousArtists) {
                if (_isAlbum)
                    _releaseGroupMBIDs.insert(_albumIndex++, *_nextID);
                else
                    _releaseGroupMBIDs.append(*_nextID);
            }
            _nextID.reset();
        }
    } else if (element == QLatin1String("status")) {
        if (text == QLatin1String("Official")) {
            if (_isAlbum)
                _releaseMBIDs.insert(_singleIndex++, *_nextID);
            else
                _releaseMBIDs.append(*_nextID);
        }
        _nextID.reset();
    }
}
