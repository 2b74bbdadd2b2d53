#include "HLVArtworkPaths.h"
#include "HLVDataRequest.h"
#include "HLVFileData.h"
#include "HLVMainThread.h"
#include "HLVMusicBrainzArtistID.h"
#include "HLVMusicBrainzReleaseIDQuery.h"
#include "HLVServiceConfiguration.h"
#include "HLVStrings.h"
#include "HLVTagMap.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QThreadPool>
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
    if (HLVMainThread::isMainThread()) {
        auto self = shared_from_this();
        QThreadPool::globalInstance()->start([self, tagMap] { self->retrieveArtworkWorkerThreadForTagMap(tagMap); });
    } else {
        retrieveArtworkWorkerThreadForTagMap(tagMap);
    }
}

void HLVArtworkPaths::retrieveArtworkWorkerThreadForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    if (!tagMap->ArtworkAttempted()) {
        std::optional<Candidates> candidates;
        tagMap->setArtworkAttempted(true);
        if (tagMap->ReleaseMBID()) {
            candidates = Candidates{{}, {*tagMap->ReleaseMBID()}};
        } else {
            tagMap->setArtworkState(HLVArtworkStateFound);
            candidates = candidatesForArtist(tagMap->ArtistName(), tagMap->AlbumName(), tagMap->TrackName());
        }
        if (candidates) {
            tagMap->setArtworkPath(walkCandidates(*candidates));
            tagMap->setArtworkState(HLVArtworkStateFound);
        }
    }
    artworkPathsObtainedForTagMap(tagMap);
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
    if (releaseMBID) {
        candidates = Candidates{{}, {*releaseMBID}};
    } else {
        const auto tags = fileData->TagMap();
        candidates = candidatesForArtist(tags->ArtistName(), tags->AlbumName(), tags->TrackName());
        if (!candidates) {
            report();
            return;
        }
    }
    std::optional<QString> path = walkCandidates(*candidates);
    if (path) {
        // Normalised: path characters percent-encoded, then the parser's own form.
        const QByteArray encoded = QUrl::toPercentEncoding(*path, "!$&'()*+,;=:@/~");
        path = QUrl::fromEncoded(encoded).toString(QUrl::FullyEncoded);
    }
    fileData->editVirtualTagMap([&](HLVTagMap& map) {
        map.setArtworkPath(path);
        map.setArtworkState(HLVArtworkStateFound);
    });
    report();
}

void HLVArtworkPaths::obtainArtworkForUnidentifiedFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    obtainArtworkForFileData(fileData);
}

std::optional<HLVArtworkPaths::Candidates> HLVArtworkPaths::candidatesForArtist(const std::optional<QString>& artist,
                                                                                const std::optional<QString>& album,
                                                                                const std::optional<QString>& title)
{
    if (HLVStrings::isNilOrEmpty(artist) || HLVStrings::isNilOrEmpty(album))
        return std::nullopt;
    const std::optional<QString> artistID = HLVMusicBrainzArtistID().GetArtistIdFromArtist(artist);
    if (!artistID || artistID->isEmpty())
        return std::nullopt;
    const auto dictionary = HLVMusicBrainzReleaseIDQuery().releaseIdDictionaryForForAlbum(*album, *artistID, title);
    if (!dictionary)
        return std::nullopt;
    return Candidates{dictionary->ReleaseGroupIDs, dictionary->ReleaseIDs};
}

std::optional<QString> HLVArtworkPaths::walkCandidates(const Candidates& candidates)
{
    for (const QString& group : candidates.ReleaseGroupIDs) {
        if (auto path = downloadArtworkPathForMBID(group, true))
            return path;
    }
    for (const QString& release : candidates.ReleaseIDs) {
        if (auto path = downloadArtworkPathForMBID(release, false))
            return path;
    }
    return std::nullopt;
}

std::optional<QString> HLVArtworkPaths::downloadArtworkPathForMBID(const QString& mbid, bool isGroup)
{
    // The identifier comes from a web reply: encoded so it stays one path segment.
    const QString address = QStringLiteral("%1/%2/%3/").arg(HLVServiceConfiguration::coverArtBaseAddress(),
                                                              isGroup ? QStringLiteral("release-group")
                                                                      : QStringLiteral("release"),
                                                              QString::fromLatin1(QUrl::toPercentEncoding(mbid)));
    std::optional<HLVURLResponse> response;
    std::optional<HLVRequestError> error;
    const auto body = HLVDataRequest::sendSynchronousReturningResponse(QNetworkRequest(QUrl(address)), response, error);
    if (error || !response || response->statusCode != 200 || !body || body->isEmpty())
        return std::nullopt;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonArray images = document.object().value(QLatin1String("images")).toArray();
    if (images.isEmpty())
        return std::nullopt;
    const QJsonValue thumbnails = images.first().toObject().value(QLatin1String("thumbnails"));
    if (!thumbnails.isObject())
        return std::nullopt;
    for (const char* size : {"large", "small"}) {
        QString address = thumbnails.toObject().value(QLatin1String(size)).toString();
        if (!address.isEmpty())
            return address.replace(QLatin1String("http://"), QLatin1String("https://"));
    }
    return std::nullopt;
}
