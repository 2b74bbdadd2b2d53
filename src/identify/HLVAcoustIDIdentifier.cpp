#include "HLVAcoustIDIdentifier.h"

#include "HLVServiceConfiguration.h"
#include "HLVTagValueParser.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <cmath>

std::shared_ptr<HLVAcoustIDIdentifier> HLVAcoustIDIdentifier::create()
{
    return std::make_shared<HLVAcoustIDIdentifier>(Passkey{});
}

HLVAcoustIDIdentifierDelegate* HLVAcoustIDIdentifier::delegate() const
{
    std::lock_guard lock(_delegateMutex);
    return _delegate;
}

void HLVAcoustIDIdentifier::setDelegate(HLVAcoustIDIdentifierDelegate* delegate)
{
    std::lock_guard lock(_delegateMutex);
    _delegate = delegate;
}

QUrl HLVAcoustIDIdentifier::lookupAddress(const QString& fingerprint, const QString& duration)
{
    return QUrl(HLVServiceConfiguration::acoustIDBaseAddress() + QLatin1String("/v2/lookup?client=")
                + HLVServiceConfiguration::acoustIDKey() + QLatin1String("&meta=recordings&duration=") + duration
                + QLatin1String("&fingerprint=") + fingerprint);
}

void HLVAcoustIDIdentifier::identifyFingerprint(const std::optional<QString>& fingerprint,
                                                const std::optional<QString>& duration)
{
    if (!delegate())
        return;
    if (!fingerprint || !duration) {
        reportNothingFound(HLVFailure::make(HLVFailure::Kind::FingerprintEmpty, QStringLiteral("no fingerprint to look up")));
        return;
    }
    QNetworkRequest request(lookupAddress(*fingerprint, *duration));
    HLVDataRequest::setGate(request, HLVServiceGate::AcoustID);

    // Held while sending, so that no callback can test the token before it is stored.
    std::lock_guard lock(_mutex);
    _duration = *duration;
    _responseCode = 0;
    HLVDataRequest::sendRequest(request, shared_from_this(), &_requestToken);
}

std::vector<HLVAcoustIDRecording> HLVAcoustIDIdentifier::getRecordingsFromJSONData(const QByteArray& data)
{
    std::vector<HLVAcoustIDRecording> recordings;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return recordings;
    const QJsonObject reply = document.object();
    if (reply.value(QLatin1String("status")).toString() != QLatin1String("ok"))
        return recordings;

    const auto stringOf = [](const QJsonObject& object, const char* key) -> std::optional<QString> {
        const QJsonValue value = object.value(QLatin1String(key));
        return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
    };
    for (const QJsonValue result : reply.value(QLatin1String("results")).toArray()) {
        for (const QJsonValue item : result.toObject().value(QLatin1String("recordings")).toArray()) {
            const QJsonObject object = item.toObject();
            HLVAcoustIDRecording recording;
            recording.title = stringOf(object, "title");
            recording.identifier = stringOf(object, "id");
            if (!recording.title || !recording.identifier)
                continue;
            const QJsonValue duration = object.value(QLatin1String("duration"));
            if (duration.isDouble())
                recording.duration = duration.toDouble();
            const QJsonArray artists = object.value(QLatin1String("artists")).toArray();
            if (artists.isEmpty())
                continue;
            const QJsonObject firstArtist = artists.first().toObject();
            recording.artistId = stringOf(firstArtist, "id");
            if (!recording.artistId)
                continue;
            recording.artist = stringOf(firstArtist, "name");
            recordings.push_back(std::move(recording));
        }
    }
    return recordings;
}

std::optional<HLVFailure> HLVAcoustIDIdentifier::failureOfReply(int statusCode, const QByteArray& data)
{
    using Kind = HLVFailure::Kind;
    const QJsonDocument document = QJsonDocument::fromJson(data);
    const QJsonObject reply = document.object();
    if (reply.value(QLatin1String("status")).toString() == QLatin1String("error")) {
        const QJsonObject error = reply.value(QLatin1String("error")).toObject();
        // The service's documented error codes: 4 invalid API key, 14 too many requests.
        const int code = error.value(QLatin1String("code")).toInt();
        const QString message = error.value(QLatin1String("message")).toString();
        if (code == 4 || message.contains(QLatin1String("API key"), Qt::CaseInsensitive))
            return HLVFailure::make(Kind::KeyRejected, QStringLiteral("AcoustID rejected the application key"));
        if (code == 14 || message.contains(QLatin1String("too many"), Qt::CaseInsensitive))
            return HLVFailure::make(Kind::RateLimited, QStringLiteral("rate limited by AcoustID"));
        return HLVFailure::make(Kind::BadReply, message.isEmpty() ? QStringLiteral("AcoustID refused the lookup")
                                                                  : QStringLiteral("AcoustID refused the lookup: %1").arg(message));
    }
    if (statusCode == 503 || statusCode == 429)
        return HLVFailure::make(Kind::RateLimited, QStringLiteral("rate limited by AcoustID"));
    if (statusCode != 200)
        return HLVFailure::make(Kind::BadReply, QStringLiteral("AcoustID answered with status %1").arg(statusCode));
    if (!document.isObject() || reply.value(QLatin1String("status")).toString() != QLatin1String("ok"))
        return HLVFailure::make(Kind::BadReply, QStringLiteral("AcoustID sent a reply that cannot be read"));
    if (getRecordingsFromJSONData(data).empty())
        return HLVFailure::make(Kind::NoRecording, QStringLiteral("AcoustID knows no recording of this fingerprint"));
    return std::nullopt;
}

std::optional<HLVAcoustIDRecording>
HLVAcoustIDIdentifier::getPreferredRecording(const std::vector<HLVAcoustIDRecording>& recordings) const
{
    if (recordings.empty())
        return std::nullopt;
    if (recordings.size() == 1)
        return recordings.front();

    // Groups by artist, in the order in which each artist first appears.
    std::vector<std::vector<const HLVAcoustIDRecording*>> groups;
    QHash<QString, size_t> groupOfArtist;
    for (const HLVAcoustIDRecording& recording : recordings) {
        if (!recording.identifier || !recording.artistId)
            continue;
        auto found = groupOfArtist.constFind(*recording.artistId);
        if (found == groupOfArtist.constEnd()) {
            found = groupOfArtist.insert(*recording.artistId, groups.size());
            groups.emplace_back();
        }
        groups[*found].push_back(&recording);
    }
    if (groups.empty())
        return recordings.front();

    const std::vector<const HLVAcoustIDRecording*>* winner = &groups.front();
    for (const auto& group : groups) {
        if (group.size() > winner->size())
            winner = &group;
    }
    if (winner->size() == 1)
        return *winner->front();

    int duration = 0;
    {
        std::lock_guard lock(_mutex);
        duration = HLVTagValueParser::integerOfText(_duration);
    }
    for (const HLVAcoustIDRecording* recording : *winner) {
        const double seconds = recording->duration ? std::trunc(*recording->duration) : 0.0;
        if (seconds == double(duration))
            return *recording;
    }
    return *winner->front();
}

void HLVAcoustIDIdentifier::fingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                                   const std::optional<QString>& recordingTitle,
                                                                   const std::optional<QString>& artistMBID,
                                                                   const std::optional<HLVFailure>& failure)
{
    std::lock_guard lock(_delegateMutex);
    if (_delegate)
        _delegate->OnFingerprintIdentifiedWithRecordingMBID(recordingMBID, recordingTitle, artistMBID, failure);
}

void HLVAcoustIDIdentifier::reportNothingFound(const HLVFailure& failure)
{
    fingerprintIdentifiedWithRecordingMBID(std::nullopt, std::nullopt, std::nullopt, failure);
}

void HLVAcoustIDIdentifier::dataRequestDidFailWithError(HLVRequestToken token, const HLVRequestError& error)
{
    {
        std::lock_guard lock(_mutex);
        if (token != _requestToken)
            return;
        // Reported now; whatever this request still delivers is ignored.
        _requestToken = 0;
        _responseData.clear();
    }
    reportNothingFound(*HLVDataRequest::failureOfRequest(QStringLiteral("AcoustID"), error, std::nullopt));
}

void HLVAcoustIDIdentifier::dataRequestDidReceiveResponse(HLVRequestToken token,
                                                          const std::optional<HLVURLResponse>& response)
{
    std::lock_guard lock(_mutex);
    if (token == _requestToken) {
        _responseData.clear();
        _responseCode = response ? response->statusCode : 0;
    }
}

void HLVAcoustIDIdentifier::dataRequestDidReceiveData(HLVRequestToken token, const std::optional<QByteArray>& data)
{
    std::lock_guard lock(_mutex);
    if (token == _requestToken && data)
        _responseData.append(*data);
}

void HLVAcoustIDIdentifier::dataRequestFinishedLoading(HLVRequestToken token)
{
    QByteArray reply;
    int statusCode = 0;
    {
        std::lock_guard lock(_mutex);
        if (token != _requestToken)
            return;
        _requestToken = 0;
        reply.swap(_responseData);
        statusCode = _responseCode;
    }
    if (const std::optional<HLVFailure> failure = failureOfReply(statusCode, reply)) {
        reportNothingFound(*failure);
        return;
    }
    const std::optional<HLVAcoustIDRecording> preferred = getPreferredRecording(getRecordingsFromJSONData(reply));
    if (!preferred) {
        reportNothingFound(HLVFailure::make(HLVFailure::Kind::NoRecording,
                                            QStringLiteral("AcoustID knows no recording of this fingerprint")));
        return;
    }
    fingerprintIdentifiedWithRecordingMBID(preferred->identifier, preferred->title, preferred->artistId);
}
