#include "HLVReleaseCandidates.h"
#include "HLVRecordingReleasesGroup.h"

namespace {

std::optional<int> nonZero(int value)
{
    return value ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QList<std::shared_ptr<HLVTagMap>> HLVReleaseCandidates::fromGroup(const HLVRecordingReleasesGroup& group,
                                                                  const std::optional<QString>& fileAlbum)
{
    const std::optional<QString> album = fileAlbum ? std::optional<QString>(fileAlbum->toLower()) : std::nullopt;
    QList<std::shared_ptr<HLVTagMap>> candidates;
    for (const auto& release : group.RecordingReleases()) {
        auto map = std::make_shared<HLVTagMap>();
        map->setAlbumArtist(release->IsCompilation() ? std::optional<QString>(QString("")) : group.ArtistName());
        map->setAlbumName(release->ReleaseTitle());
        map->setArtistName(group.ArtistName());
        map->setArtworkState(HLVArtworkStateFound);
        map->setGenre(release->ReleaseGenre());
        map->setDiscNumber(nonZero(release->DiscPosition()));
        map->setDiscTotal(nonZero(release->DiscCount()));
        map->setTrackNumber(nonZero(release->TrackPosition()));
        map->setTrackTotal(nonZero(release->TrackCount()));
        map->setReleaseMBID(release->ReleaseID());
        const QString year = release->ReleaseYear().value_or(QString());
        if (year.size() >= 4)
            map->setReleaseYear(year.left(4).toInt());
        map->setTrackName(release->TrackName() ? release->TrackName() : group.TrackName());
        map->setArtworkAttempted(false);
        if (album && map->AlbumName() && map->AlbumName()->toLower() == *album)
            candidates.prepend(map);
        else
            candidates.append(map);
    }
    return candidates;
}
