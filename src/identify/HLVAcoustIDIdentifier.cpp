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
        reportNothingFound();
        return;
    }
    {
        std::lock_guard lock(_mutex);
        _duration = *duration;
    }
    HLVServiceConfiguration::pauseBeforeRequest();

    // Held while sending, so that no callback can test the token before it is stored.
    std::lock_guard lock(_mutex);
    HLVDataRequest::sendRequest(QNetworkRequest(lookupAddress(*fingerprint, *duration)), shared_from_this(),
                                &_requestToken);
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
                                                                   const std::optional<QString>& artistMBID)
{
    std::lock_guard lock(_delegateMutex);
    if (_delegate)
        _delegate->OnFingerprintIdentifiedWithRecordingMBID(recordingMBID, recordingTitle, artistMBID);
}

void HLVAcoustIDIdentifier::reportNothingFound()
{
    fingerprintIdentifiedWithRecordingMBID(std::nullopt, std::nullopt, std::nullopt);
}

void HLVAcoustIDIdentifier::dataRequestDidFailWithError(HLVRequestToken token, const HLVRequestError&)
{
    {
        std::lock_guard lock(_mutex);
        if (token != _requestToken)
            return;
        // Reported now; whatever this request still delivers is ignored.
        _requestToken = 0;
        _responseData.clear();
    }
    reportNothingFound();
}

void HLVAcoustIDIdentifier::dataRequestDidReceiveResponse(HLVRequestToken token, const std::optional<HLVURLResponse>&)
{
    std::lock_guard lock(_mutex);
    if (token == _requestToken)
        _responseData.clear();
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
    {
        std::lock_guard lock(_mutex);
        if (token != _requestToken)
            return;
        _requestToken = 0;
        reply.swap(_responseData);
    }
    const std::optional<HLVAcoustIDRecording> preferred = getPreferredRecording(getRecordingsFromJSONData(reply));
    if (!preferred) {
        reportNothingFound();
        return;
    }
    fingerprintIdentifiedWithRecordingMBID(preferred->identifier, preferred->title, preferred->artistId);
}
