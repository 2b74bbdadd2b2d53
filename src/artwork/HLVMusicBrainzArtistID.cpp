#include "HLVMusicBrainzArtistID.h"

#include "HLVDataRequest.h"
#include "HLVMusicBrainzServer.h"

#include <QUrl>

namespace {

QString foldedWithoutMarks(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString bare;
    bare.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            bare.append(c);
    }
    return bare.toCaseFolded();
}

} // namespace

std::optional<QByteArray> HLVMusicBrainzArtistID::fetch(const QString& address)
{
    QNetworkRequest request{QUrl(address)};
    HLVMusicBrainzServer::setCommonHeaders(request);
    std::optional<HLVURLResponse> response;
    std::optional<HLVRequestError> error;
    std::optional<QByteArray> body = HLVDataRequest::sendSynchronousReturningResponse(request, response, error);
    _requestFailure = HLVDataRequest::failureOfRequest(QStringLiteral("MusicBrainz"), error, response);
    if (_requestFailure)
        return std::nullopt;
    return body;
}

bool HLVMusicBrainzArtistID::equalIgnoringCaseAndDiacritics(const QString& a, const QString& b)
{
    return foldedWithoutMarks(a) == foldedWithoutMarks(b);
}

void HLVMusicBrainzArtistID::cleanUp()
{
    _haveSearchAliases = false;
    _isInBeginArea = false;
    _isInArea = false;
    _nameForAlias.reset();
}

// Every way a lookup ends without an answer comes here, so the object starts
// the next lookup with its retry available again.
std::optional<QString> HLVMusicBrainzArtistID::fail()
{
    cleanUp();
    _haveRetried = false;
    _lastFailure = _requestFailure ? *_requestFailure
                                   : HLVFailure::make(HLVFailure::Kind::NoCover,
                                                      QStringLiteral("no cover found: MusicBrainz knows no such artist"));
    _requestFailure.reset();
    return std::nullopt;
}

std::optional<QString> HLVMusicBrainzArtistID::GetArtistIdFromArtist(const std::optional<QString>& artist)
{
    cleanUp();
    _lastFailure.reset();
    _requestFailure.reset();
    if (!artist || artist->isEmpty())
        return fail();
    _artistId.reset();
    _artist = artist;
    _orignalArtistName = *artist;

    const QString api = QStringLiteral("/ws/2/artist/?query=artist:") + HLVMusicBrainzServer::searchTerm(*artist);
    const std::optional<QByteArray> data = getResponseDataFromAPI(api, true);
    if (!data)
        return fail();
    if (parseResponse(*data) && _artistId) {
        cleanUp();
        _haveRetried = false;
        return _artistId;
    }
    return retryOrCheckAlias();
}

std::optional<QByteArray> HLVMusicBrainzArtistID::getResponseDataFromAPI(const QString& api, bool canFallBack)
{
    const QString base = canFallBack ? HLVMusicBrainzServer::serverAddress() : HLVMusicBrainzServer::fallback();
    std::optional<QByteArray> data = fetch(base + api);
    if (!data && canFallBack)
        return getResponseDataFromAPI(api, false);
    return data;
}

std::optional<QString> HLVMusicBrainzArtistID::retryOrCheckAlias()
{
    if (!_haveRetried) {
        _haveRetried = true;
        const QString& name = _orignalArtistName;
        std::optional<QString> shorter;
        if (name.contains(QLatin1Char('&'))) {
            const QString lower = name.toLower();
            shorter = lower.left(lower.indexOf(QLatin1Char('&'))).trimmed();
        } else if (const qsizetype feat = name.indexOf(QLatin1String("(feat"), 0, Qt::CaseInsensitive); feat >= 0) {
            shorter = name.left(feat).trimmed();
        } else if (const qsizetype bare = name.indexOf(QLatin1String("feat"), 0, Qt::CaseInsensitive); bare >= 0) {
            // Also cuts inside a word ("Featherstone"), which leaves little or nothing to search.
            shorter = name.left(bare).trimmed();
        }
        if (shorter) {
            _artist = shorter;
            return GetArtistIdFromArtist(shorter);
        }
    }

    if (_haveSearchAliases)
        return fail();
    _haveSearchAliases = true;
    _haveRetried = false;
    const std::optional<QByteArray> data = fetch(HLVMusicBrainzServer::serverAddress()
                                                 + QStringLiteral("/ws/2/artist/?query=alias:")
                                                 + HLVMusicBrainzServer::searchTerm(_orignalArtistName));
    if (!data || data->isEmpty())
        return fail();
    if (parseResponse(*data) && _artistId) {
        cleanUp();
        _haveRetried = false;
        return _artistId;
    }
    return retryOrCheckAlias();
}

bool HLVMusicBrainzArtistID::parseResponse(const QByteArray& data)
{
    _matched = false;
    _elementStack.clear();
    _buffer.clear();
    _isInArea = false;
    _isInBeginArea = false;
    HLVXMLParser parser(QString::fromUtf8(data));
    parser.setDelegate(this);
    _parser = &parser;
    parser.parse();
    _parser = nullptr;
    _elementStack.clear();
    if (!_matched)
        _artistId.reset();
    return _matched;
}

void HLVMusicBrainzArtistID::parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes)
{
    _elementStack.append(elementName);
    _buffer.clear();
    if (elementName == QLatin1String("begin-area")) {
        _isInBeginArea = true;
    } else if (elementName == QLatin1String("area")) {
        _isInArea = true;
    } else if (elementName == QLatin1String("artist")) {
        if (attributes.hasAttribute(QLatin1String("id")))
            _artistId = attributes.value(QLatin1String("id")).toString();
    } else if (elementName == QLatin1String("error")) {
        if (_parser)
            _parser->abortParsing();
    }
}

void HLVMusicBrainzArtistID::parserFoundCharacters(const QString& string)
{
    _buffer += string;
}

void HLVMusicBrainzArtistID::parserDidEndElement(const QString& elementName)
{
    const QString enclosing = _elementStack.size() >= 2 ? _elementStack.at(_elementStack.size() - 2) : QString();
    if (!_elementStack.isEmpty())
        _elementStack.removeLast();

    if (elementName == QLatin1String("begin-area")) {
        _isInBeginArea = false;
    } else if (elementName == QLatin1String("area")) {
        _isInArea = false;
    } else if (elementName == QLatin1String("name")) {
        // Only the artist's own name counts: areas, tags and the like carry names too.
        if (_isInArea || _isInBeginArea || enclosing != QLatin1String("artist"))
            return;
        if (_haveSearchAliases) {
            _nameForAlias = _buffer;
        } else if (_artist && equalIgnoringCaseAndDiacritics(_buffer, *_artist)) {
            _artist = _buffer;
            _matched = true;
            if (_parser)
                _parser->abortParsing();
        } else {
            _artistId.reset();
        }
    } else if (elementName == QLatin1String("alias")) {
        if (_haveSearchAliases && _artist && equalIgnoringCaseAndDiacritics(_buffer, *_artist)) {
            _artist = _nameForAlias;
            _matched = true;
            if (_parser)
                _parser->abortParsing();
        }
    }
}
