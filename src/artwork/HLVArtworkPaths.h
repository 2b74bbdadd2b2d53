#pragma once

#include "HLVArtworkPathsDelegate.h"
#include "HLVFailure.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>

class HLVTagMap;
class HLVFileData;

// Finds the address of a cover image at the Cover Art Archive and stores it as
// a tag map's ArtworkPath (state 3); the image itself is fetched later, when
// shown or saved. A map with a ReleaseMBID asks for that release only; other
// maps go through MusicBrainz: artist name to artist identifier, then album to
// release-group and release candidates. Each map is looked up at most once
// (ArtworkAttempted), and every request ends with exactly one report.
class HLVArtworkPaths : public std::enable_shared_from_this<HLVArtworkPaths>
{
public:
    void setDelegate(std::weak_ptr<HLVArtworkPathsDelegate> delegate) { _delegate = std::move(delegate); }
    std::weak_ptr<HLVArtworkPathsDelegate> delegate() const { return _delegate; }
    // Why the last lookup on the tag-map road found no picture; read it once
    // its report has arrived.
    std::optional<HLVFailure> LastFailure() const;

    // Tag-map road: from the main thread the lookup runs on a worker; from any
    // other thread it runs right there. The report always comes on the main
    // thread. The caller must not touch the map's artwork fields meanwhile.
    void obtainArtworkForTagMap(const std::shared_ptr<HLVTagMap>& tagMap);
    void obtainArtworkForUnidentifiedTagMap(const std::shared_ptr<HLVTagMap>& tagMap);
    void obtainArtworkForTagMaps(const QList<std::shared_ptr<HLVTagMap>>& tagMaps);
    void retrieveArtworkForTagMap(const std::shared_ptr<HLVTagMap>& tagMap);
    void retrieveArtworkWorkerThreadForTagMap(const std::shared_ptr<HLVTagMap>& tagMap);
    void artworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>& tagMap);

    // File-data road: blocks the calling thread (never the main thread) and
    // reports on it; works on the record's pending map under its lock.
    void obtainArtworkForFileData(const std::shared_ptr<HLVFileData>& fileData);
    void obtainArtworkForUnidentifiedFileData(const std::shared_ptr<HLVFileData>& fileData);

    // One blocking Cover Art Archive lookup: the large (else small) thumbnail of
    // the first image, in https form; absent, with the reason, when there is none.
    static std::optional<QString> downloadArtworkPathForMBID(const QString& mbid, bool isGroup,
                                                             HLVFailure* failure = nullptr);

    struct Candidates
    {
        QStringList ReleaseGroupIDs;
        QStringList ReleaseIDs;
    };
    // The first address found among the groups, then the releases. Without
    // one, the reason: a lookup that failed, else "no cover found".
    static std::optional<QString> walkCandidates(const Candidates& candidates, HLVFailure* failure = nullptr);

private:
    // The candidates for an unidentified artist and album, or none and the reason.
    static std::optional<Candidates> candidatesForArtist(const std::optional<QString>& artist,
                                                         const std::optional<QString>& album,
                                                         const std::optional<QString>& title,
                                                         HLVFailure* failure = nullptr);

    std::weak_ptr<HLVArtworkPathsDelegate> _delegate;
    mutable std::mutex _failureLock; // lookups of several maps may run at once
    std::optional<HLVFailure> _lastFailure;
};
