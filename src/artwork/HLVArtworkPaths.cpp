#include "HLVArtworkPaths.h"
#include "HLVDataRequest.h"
#include "HLVFileData.h"
#include "HLVMainThread.h"
#include "HLVMusicBrainzArtistID.h"
#include "HLVMusicBrainzReleaseIDQuery.h"
#include "HLVServiceConfiguration.h"
#include "HLVStrings.h"
#include "HLVTagMap.h"
#include "HLVWorkerPool.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QUrl>

void HLVArtworkPaths::obtainArtworkForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    if (tagMap)
        retrieveArtworkForTagMap(tagMap);
}

void HLVArtworkPaths::obtainArtworkForUnidentifiedTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    obtainArtworkForTagMap(tagMap);
}

void HLVArtworkPaths::obtainArtworkForTagMaps(const QList<std::shared_ptr<HLVTagMap>>& tagMaps)
{
    for (const auto& tagMap : tagMaps) {
        if (tagMap)
            retrieveArtworkForTagMap(tagMap);
    }
}

void HLVArtworkPaths::retrieveArtworkForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    if (!HLVMainThread::isMainThread()) {
        retrieveArtworkWorkerThreadForTagMap(tagMap);
        return;
    }
    auto self = shared_from_this();
    if (!HLVWorkerPool::shared().start([self, tagMap] { self->retrieveArtworkWorkerThreadForTagMap(tagMap); })) {
        {
            std::lock_guard lock(_failureLock);
            _lastFailure = HLVFailure::make(HLVFailure::Kind::Other, QStringLiteral("the lookup could not be started"));
        }
        artworkPathsObtainedForTagMap(tagMap); // nothing looked up; the report still comes
    }
}

void HLVArtworkPaths::retrieveArtworkWorkerThreadForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    if (!tagMap->ArtworkAttempted()) {
        std::optional<Candidates> candidates;
        // A lookup that finds nothing to ask for says so without a reason of its own.
        HLVFailure failure = HLVFailure::make(HLVFailure::Kind::NoCover, QStringLiteral("no cover found"));
        tagMap->setArtworkAttempted(true);
        if (tagMap->ReleaseMBID()) {
            candidates = Candidates{{}, {*tagMap->ReleaseMBID()}};
        } else {
            tagMap->setArtworkState(HLVArtworkStateFound);
            candidates = candidatesForArtist(tagMap->ArtistName(), tagMap->AlbumName(), tagMap->TrackName(), &failure);
        }
        bool found = false;
        if (candidates) {
            tagMap->setArtworkPath(walkCandidates(*candidates, &failure));
            tagMap->setArtworkState(HLVArtworkStateFound);
            found = tagMap->ArtworkPath().has_value();
        }
        std::lock_guard lock(_failureLock);
        _lastFailure = found ? std::nullopt : std::optional<HLVFailure>(failure);
    }
    artworkPathsObtainedForTagMap(tagMap);
}

std::optional<HLVFailure> HLVArtworkPaths::LastFailure() const
{
    std::lock_guard lock(_failureLock);
    return _lastFailure;
}

void HLVArtworkPaths::artworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    if (_delegate.expired())
        return;
    auto delegate = _delegate;
    HLVMainThread::post([delegate, tagMap] {
        if (auto d = delegate.lock())
            d->OnArtworkPathsObtainedForTagMap(tagMap);
    });
}

void HLVArtworkPaths::obtainArtworkForFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    auto self = shared_from_this(); // the delegate may drop us while we report
    auto report = [&] {
        if (auto d = _delegate.lock())
            d->OnArtworkPathsObtainedForFileData(fileData);
    };
    auto pending = fileData->existingVirtualTagMap();
    std::optional<QString> releaseMBID;
    bool attempted = true;
    if (pending) {
        fileData->editVirtualTagMap([&](HLVTagMap& map) {
            attempted = map.ArtworkAttempted();
            releaseMBID = map.ReleaseMBID();
            map.setArtworkAttempted(true);
        });
    }
    if (attempted) {
        report();
        return;
    }
    std::optional<Candidates> candidates;
    HLVFailure failure = HLVFailure::make(HLVFailure::Kind::NoCover, QStringLiteral("no cover found"));
    if (releaseMBID) {
        candidates = Candidates{{}, {*releaseMBID}};
    } else {
        const auto tags = fileData->TagMap();
        candidates = candidatesForArtist(tags->ArtistName(), tags->AlbumName(), tags->TrackName(), &failure);
        if (!candidates) {
            fileData->setLastFailure(failure);
            fileData->setArtworkFailure(failure);
            report();
            return;
        }
    }
    std::optional<QString> path = walkCandidates(*candidates, &failure);
    if (!path)
        fileData->setLastFailure(failure);
    fileData->setArtworkFailure(path ? std::nullopt : std::optional<HLVFailure>(failure));
    if (path) {
        // Normalised: path characters percent-encoded, then the parser's own form.
        const QByteArray encoded = QUrl::toPercentEncoding(*path, "!$&'()*+,;=:@/~");
        path = QUrl::fromEncoded(encoded).toString(QUrl::FullyEncoded);
    }
    // Nothing found leaves the pending changes as they were (a chosen picture stays).
    if (path) {
        fileData->editVirtualTagMap([&](HLVTagMap& map) {
            map.setArtworkPath(path);
            map.setArtworkState(HLVArtworkStateFound);
        });
    }
    report();
}

void HLVArtworkPaths::obtainArtworkForUnidentifiedFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    obtainArtworkForFileData(fileData);
}

std::optional<HLVArtworkPaths::Candidates> HLVArtworkPaths::candidatesForArtist(const std::optional<QString>& artist,
                                                                                const std::optional<QString>& album,
                                                                                const std::optional<QString>& title,
                                                                                HLVFailure* failure)
{
    if (HLVStrings::isNilOrEmpty(artist) || HLVStrings::isNilOrEmpty(album)) {
        HLVReportFailure(failure, HLVFailure::Kind::NoCover, QStringLiteral("no cover found: the file has no artist or album"));
        return std::nullopt;
    }
    HLVMusicBrainzArtistID artistLookup;
    const std::optional<QString> artistID = artistLookup.GetArtistIdFromArtist(artist);
    if (!artistID || artistID->isEmpty()) {
        if (failure && artistLookup.LastFailure())
            *failure = *artistLookup.LastFailure();
        return std::nullopt;
    }
    HLVMusicBrainzReleaseIDQuery query;
    const auto dictionary = query.releaseIdDictionaryForForAlbum(*album, *artistID, title);
    if (!dictionary) {
        if (failure && query.LastFailure())
            *failure = *query.LastFailure();
        return std::nullopt;
    }
    return Candidates{dictionary->ReleaseGroupIDs, dictionary->ReleaseIDs};
}

std::optional<QString> HLVArtworkPaths::walkCandidates(const Candidates& candidates, HLVFailure* failure)
{
    // A lookup that failed says more than the candidates without a cover.
    std::optional<HLVFailure> lookupFailure;
    const auto tryCandidate = [&](const QString& mbid, bool isGroup) {
        HLVFailure reason;
        std::optional<QString> path = downloadArtworkPathForMBID(mbid, isGroup, &reason);
        if (!path && reason.kind != HLVFailure::Kind::NoCover && !lookupFailure)
            lookupFailure = reason;
        return path;
    };
    for (const QString& group : candidates.ReleaseGroupIDs) {
        if (auto path = tryCandidate(group, true))
            return path;
    }
    for (const QString& release : candidates.ReleaseIDs) {
        if (auto path = tryCandidate(release, false))
            return path;
    }
    if (lookupFailure)
        HLVReportFailure(failure, lookupFailure->kind, lookupFailure->message);
    else
        HLVReportFailure(failure, HLVFailure::Kind::NoCover, QStringLiteral("no cover found"));
    return std::nullopt;
}

std::optional<QString> HLVArtworkPaths::downloadArtworkPathForMBID(const QString& mbid, bool isGroup,
                                                                   HLVFailure* failure)
{
    // The identifier comes from a web reply: encoded so it stays one path segment.
    const QString address = QStringLiteral("%1/%2/%3/").arg(HLVServiceConfiguration::coverArtBaseAddress(),
                                                              isGroup ? QStringLiteral("release-group")
                                                                      : QStringLiteral("release"),
                                                              QString::fromLatin1(QUrl::toPercentEncoding(mbid)));
    std::optional<HLVURLResponse> response;
    std::optional<HLVRequestError> error;
    const auto body = HLVDataRequest::sendSynchronousReturningResponse(QNetworkRequest(QUrl(address)), response, error);
    using Kind = HLVFailure::Kind;
    const QString noCover = QStringLiteral("no cover found");
    if (!error && response && response->statusCode == 404) {
        HLVReportFailure(failure, Kind::NoCover, noCover);   // the archive's word for "no images"
        return std::nullopt;
    }
    if (auto requestFailure = HLVDataRequest::failureOfRequest(QStringLiteral("the Cover Art Archive"), error, response)) {
        if (requestFailure->kind == Kind::BadReply)
            requestFailure = HLVFailure::make(Kind::DownloadFailed, QStringLiteral("the cover lookup failed: ")
                                                                       + requestFailure->message);
        if (failure)
            *failure = *requestFailure;
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body.value_or(QByteArray()), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        HLVReportFailure(failure, Kind::DownloadFailed,
                         QStringLiteral("the cover lookup failed: the Cover Art Archive sent a reply that cannot be read"));
        return std::nullopt;
    }
    const QJsonArray images = document.object().value(QLatin1String("images")).toArray();
    const QJsonValue thumbnails = images.isEmpty() ? QJsonValue() : images.first().toObject().value(QLatin1String("thumbnails"));
    if (thumbnails.isObject()) {
        for (const char* size : {"large", "small"}) {
            QString address = thumbnails.toObject().value(QLatin1String(size)).toString();
            if (!address.isEmpty())
                return address.replace(QLatin1String("http://"), QLatin1String("https://"));
        }
    }
    HLVReportFailure(failure, Kind::NoCover, noCover);
    return std::nullopt;
}
