#include "HLVRecordingReleases.h"

#include "HLVGenreValidator.h"
#include "HLVMusicBrainzServer.h"
#include "HLVQueryEncoding.h"
#include "HLVStrings.h"
#include "HLVTagValueParser.h"

#include <QUrl>
#include <limits>

HLVRecordingReleases::HLVRecordingReleases() = default;
HLVRecordingReleases::~HLVRecordingReleases() = default;

void HLVRecordingReleases::setDelegate(std::weak_ptr<HLVRecordingReleasesDelegate> delegate)
{
    std::lock_guard lock(_mutex);
    _delegate = std::move(delegate);
}

void HLVRecordingReleases::tellDelegate(const std::shared_ptr<HLVRecordingReleasesGroup>& group,
                                        const std::optional<HLVFailure>& failure)
{
    std::shared_ptr<HLVRecordingReleasesDelegate> delegate;
    {
        std::lock_guard lock(_mutex);
        delegate = _delegate.lock();
    }
    if (!delegate)
        return;
    if (group)
        delegate->OnRecordingReleasesObtained(group, std::nullopt);
    else
        delegate->OnRecordingReleasesObtained(nullptr, failure ? failure
                                                               : HLVFailure::make(HLVFailure::Kind::NoRelease,
                                                                                  QStringLiteral("MusicBrainz knows no release of this recording")));
}

std::optional<HLVFailure> HLVRecordingReleases::attemptFailure(const std::optional<HLVFailure>& requestFailure) const
{
    if (requestFailure)
        return requestFailure;
    return HLVDataRequest::failureOfRequest(QStringLiteral("MusicBrainz"), std::nullopt, _response);
}

void HLVRecordingReleases::ObtianRecordingReleasesWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                                    const std::optional<QString>& trackName,
                                                                    const std::optional<QString>& artistMBID)
{
    if (!recordingMBID) {
        tellDelegate(nullptr, HLVFailure::make(HLVFailure::Kind::NoRecording, QStringLiteral("no recording to look up")));
        return;
    }
    bool sent = false;
    {
        std::lock_guard lock(_mutex);
        _recordingMBID = recordingMBID;
        _recordingReleasesGroup = std::make_shared<HLVRecordingReleasesGroup>();
        _recordingReleasesGroup->setArtistID(artistMBID);
        _recordingReleasesGroup->setTrackName(trackName);
        _recordingReleasesGroup->setRecordingID(recordingMBID);
        _recordingTitle.reset();
        _apiString = createApiStringForTrackNamed(_recordingReleasesGroup->TrackName(),
                                                  _recordingReleasesGroup->ArtistID());
        sent = sendRequestToApi(_apiString, true);
    }
    if (!sent)
        tellDelegate(nullptr);
}

QString HLVRecordingReleases::createApiStringForTrackNamed(const std::optional<QString>& trackName,
                                                           const std::optional<QString>& artistId)
{
    // The title is escaped for the search syntax and encoded as one query value;
    // the query's own syntax is encoded as it stands.
    const QString query = HLVQueryEncoding::encodeValue(HLVStrings::nonNilString(artistId))
        + HLVQueryEncoding::encodeQuery(QStringLiteral(" AND recording:("))
        + HLVMusicBrainzServer::searchTerm(HLVStrings::nonNilString(trackName))
        + HLVQueryEncoding::encodeQuery(QStringLiteral(") AND primarytype:((album OR single OR ep) NOT other) "
                                                       "AND status:(official) "
                                                       "AND format:(cd) "
                                                       "AND country:(US OR UK OR GB OR DE OR FR OR AU OR JP OR CA OR GER OR XE)"));
    return QStringLiteral("/ws/2/recording/?query=arid:") + query + QStringLiteral("&limit=10");
}

QString HLVRecordingReleases::fallbackApiStringForRecording(const QString& recordingMBID)
{
    return QStringLiteral("/ws/2/recording/?query=rid:%1%20AND%20status:official")
        .arg(HLVQueryEncoding::encodeValue(recordingMBID));
}

bool HLVRecordingReleases::obtainRecordingReleasesFallback()
{
    _apiString = fallbackApiStringForRecording(HLVStrings::nonNilString(_recordingMBID));
    return sendRequestToApi(_apiString, false);
}

bool HLVRecordingReleases::sendRequestToApi(const QString& apiString, bool canFallBack)
{
    _canFallBack = canFallBack;
    const QString base = canFallBack ? HLVMusicBrainzServer::serverAddress() : HLVMusicBrainzServer::fallback();
    QNetworkRequest request(QUrl(base + apiString));
    HLVMusicBrainzServer::setCommonHeaders(request);
    std::shared_ptr<HLVRecordingReleases> self = weak_from_this().lock();
    if (!self)
        return false;   // not owned by a shared_ptr: no request can keep us alive
    _responseData.reset();
    _responseCode = 200;
    _response.reset();
    HLVDataRequest::sendRequest(request, self, &_requestToken);
    return true;
}

void HLVRecordingReleases::dataRequestDidReceiveResponse(HLVRequestToken token,
                                                         const std::optional<HLVURLResponse>& response)
{
    std::lock_guard lock(_mutex);
    if (token != _requestToken)
        return;
    _responseCode = response ? response->statusCode : 200;
    _response = response;
    _responseData = QByteArray();
}

void HLVRecordingReleases::dataRequestDidReceiveData(HLVRequestToken token, const std::optional<QByteArray>& data)
{
    std::lock_guard lock(_mutex);
    if (token != _requestToken)
        return;
    if (_responseData && data)
        _responseData->append(*data);
}

void HLVRecordingReleases::dataRequestDidFailWithError(HLVRequestToken token, const HLVRequestError& error)
{
    std::optional<HLVFailure> failure;
    {
        std::lock_guard lock(_mutex);
        if (token != _requestToken)
            return;
        // The callbacks that still follow for this request are not ours to handle.
        _requestToken = 0;
        _responseData.reset();
        if (_canFallBack && obtainRecordingReleasesFallback())
            return;
        failure = HLVDataRequest::failureOfRequest(QStringLiteral("MusicBrainz"), error, std::nullopt);
    }
    tellDelegate(nullptr, failure);
}

void HLVRecordingReleases::dataRequestFinishedLoading(HLVRequestToken token)
{
    std::shared_ptr<HLVRecordingReleasesGroup> answer;
    std::optional<HLVFailure> failure;
    {
        std::lock_guard lock(_mutex);
        if (token != _requestToken)
            return;
        _requestToken = 0;
        if (_responseCode != 200 && _canFallBack) {
            if (obtainRecordingReleasesFallback())
                return;
            failure = attemptFailure(std::nullopt);
        } else if (_responseData && !_responseData->isEmpty()) {
            const QByteArray data = *_responseData;
            _responseData.reset();
            const bool readable = parseResponse(data);
            if (!_recordingReleasesGroup->RecordingReleases().isEmpty()) {
                _recordingReleasesGroup->sortReleases();
                answer = _recordingReleasesGroup;
            } else if (_canFallBack && obtainRecordingReleasesFallback()) {
                return;
            } else if (_responseCode != 200) {
                failure = attemptFailure(std::nullopt);
            } else if (!readable) {
                failure = HLVFailure::make(HLVFailure::Kind::BadReply,
                                           QStringLiteral("MusicBrainz sent a reply that cannot be read"));
            }
        } else {
            failure = _responseCode != 200 ? attemptFailure(std::nullopt)
                                           : HLVFailure::make(HLVFailure::Kind::BadReply,
                                                              QStringLiteral("MusicBrainz sent an empty reply"));
        }
        _responseData.reset();
    }
    tellDelegate(answer, failure);
}

bool HLVRecordingReleases::parseResponse(const QByteArray& data)
{
    auto& releases = _recordingReleasesGroup->RecordingReleases();
    const qsizetype acceptedBefore = releases.size();

    HLVXMLParser parser(QString::fromUtf8(data));
    parser.setDelegate(this);
    _parser = &parser;
    parser.parse();
    _parser = nullptr;
    // Cleared also when the document ended early, by an abort or an error.
    _elementStack.clear();
    _buffer.clear();
    _artistIdMatch = false;
    _genreValidator.reset();
    _currentRecordingRelease.reset();
    _potentialReleases.clear();

    if (parser.hasError()) {
        // A reply that is not well-formed XML is not trusted in part either.
        releases.erase(releases.begin() + acceptedBefore, releases.end());
        return false;
    }
    return true;
}

void HLVRecordingReleases::parserDidStartDocument()
{
    _elementStack.clear();
    _buffer.clear();
    _artistIdMatch = false;
    _genreValidator = std::make_unique<HLVGenreValidator>();
}

void HLVRecordingReleases::parserDidEndDocument()
{
    _elementStack.clear();
    _buffer.clear();
    _artistIdMatch = false;
    _genreValidator.reset();
}

void HLVRecordingReleases::parserFoundCharacters(const QString& string)
{
    _buffer += string;
}

QString HLVRecordingReleases::enclosingElement() const
{
    return _elementStack.size() >= 2 ? _elementStack.at(_elementStack.size() - 2) : QString();
}

void HLVRecordingReleases::parserDidStartElement(const QString& elementName, const QXmlStreamAttributes& attributes)
{
    _elementStack.append(elementName);
    _buffer.clear();

    auto attribute = [&](const char* name) -> std::optional<QString> {
        const QLatin1String key(name);
        if (!attributes.hasAttribute(key))
            return std::nullopt;
        return attributes.value(key).toString();
    };
    const auto& release = _currentRecordingRelease;

    if (elementName == QLatin1String("recording-list")) {
        const auto count = attribute("count");
        if (!count || HLVTagValueParser::integerOfText(*count) == 0) {
            if (_parser)
                _parser->abortParsing();
        }
    } else if (elementName == QLatin1String("recording")) {
        if (!_recordingReleasesGroup->RecordingID())
            _recordingReleasesGroup->setRecordingID(attribute("id"));
    } else if (elementName == QLatin1String("artist")) {
        const auto id = attribute("id");
        if (id && _recordingReleasesGroup->ArtistID() && *id == *_recordingReleasesGroup->ArtistID())
            _artistIdMatch = true;
    } else if (elementName == QLatin1String("release")) {
        _currentRecordingRelease = std::make_shared<HLVRecordingRelease>();
        _currentRecordingRelease->setReleaseID(attribute("id"));
        _currentRecordingRelease->setTrackName(_recordingTitle);
        _currentReleaseStatus.reset();
        _currentReleaseType.reset();
    } else if (elementName == QLatin1String("release-group")) {
        if (const auto type = attribute("type")) {
            _currentReleaseType = type;
            if (release) {
                release->setIsSingle(*type != QLatin1String("Album"));
                release->setIsCompilation(*type == QLatin1String("Compilation"));
            }
        }
    } else if (elementName == QLatin1String("track-list")) {
        if (release) {
            if (const auto count = attribute("count"))
                release->setTrackCount(HLVTagValueParser::integerOfText(*count));
            if (const auto offset = attribute("offset")) {
                // The number is the reply's; the largest one has no successor.
                const int tracksBefore = HLVTagValueParser::integerOfText(*offset);
                release->setTrackPosition(tracksBefore < std::numeric_limits<int>::max() ? tracksBefore + 1
                                                                                         : tracksBefore);
            }
        }
    }
}

void HLVRecordingReleases::parserDidEndElement(const QString& elementName)
{
    const QString enclosing = enclosingElement();
    const QString& text = _buffer;
    const auto& release = _currentRecordingRelease;

    if (elementName == QLatin1String("name")) {
        if (enclosing == QLatin1String("artist")) {
            if (_artistIdMatch) {
                _recordingReleasesGroup->setArtistName(text);
                _artistIdMatch = false;
            } else if (release) {
                // Credited to someone else: a compilation, unless the release group says otherwise later.
                release->setIsCompilation(true);
            }
        } else if (enclosing == QLatin1String("tag")) {
            const std::optional<QString> genre =
                _genreValidator ? _genreValidator->validateGenre(text) : std::optional<QString>();
            // The recording's last tag decides, a non-genre one too.
            for (const auto& potential : std::as_const(_potentialReleases))
                potential->setReleaseGenre(genre);
        }
    } else if (elementName == QLatin1String("title")) {
        if (enclosing == QLatin1String("release")) {
            if (release) {
                QString title = text;
                title.replace(QChar(0x2019), QLatin1Char('\''));
                release->setReleaseTitle(title);
            }
        } else if (enclosing == QLatin1String("recording")) {
            _recordingTitle = text;
        }
    } else if (elementName == QLatin1String("status")) {
        _currentReleaseStatus = text;
    } else if (elementName == QLatin1String("country")) {
        if (release)
            release->setReleaseCountry(text);
    } else if (elementName == QLatin1String("date")) {
        if (release && !release->ReleaseYear() && text.size() >= 4)
            release->setReleaseYear(text.left(4));
    } else if (elementName == QLatin1String("position")) {
        if (release) {
            const int position = HLVTagValueParser::integerOfText(text);
            release->setDiscPosition(position);
            if (position > 0)
                release->setDiscCount(position);
        }
    } else if (elementName == QLatin1String("recording")) {
        _potentialReleases.clear();
    } else if (elementName == QLatin1String("release")) {
        acceptCurrentRelease();
        _currentRecordingRelease.reset();
    }

    if (!_elementStack.isEmpty())
        _elementStack.removeLast();
    _buffer.clear();
}

void HLVRecordingReleases::acceptCurrentRelease()
{
    const auto release = _currentRecordingRelease;
    if (!release)
        return;
    if (!_currentReleaseStatus || !_currentReleaseType)
        return;
    if (_currentReleaseStatus->toLower() != QLatin1String("official")
        || _currentReleaseType->toLower() == QLatin1String("other"))
        return;

    // The recording title in the reply must agree with the one we asked for:
    // equal, or one a prefix of the other ("Song" and "Song (live)").
    const auto& askedTitle = _recordingReleasesGroup->TrackName();
    const auto& replyTitle = release->TrackName();
    if (askedTitle && replyTitle) {
        const QString asked = askedTitle->toLower();
        const QString reply = replyTitle->toLower();
        const QString& shorter = asked.size() <= reply.size() ? asked : reply;
        const QString& longer = asked.size() <= reply.size() ? reply : asked;
        if (!longer.startsWith(shorter))
            return;
    }

    auto& releases = _recordingReleasesGroup->RecordingReleases();
    for (const auto& accepted : std::as_const(releases)) {
        const auto& a = accepted->ReleaseTitle();
        const auto& b = release->ReleaseTitle();
        const bool sameTitle = (!a && !b) || (a && b && a->compare(*b, Qt::CaseInsensitive) == 0);
        if (sameTitle)
            return;
    }
    releases.append(release);
    _potentialReleases.append(release);
}
