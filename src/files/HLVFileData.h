#pragma once

#include "HLVArtworkPathsDelegate.h"
#include "HLVFailure.h"
#include "HLVTagMap.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class HLVArtworkPaths;
class HLVFileData;
class HLVFileNameStructure;
class HLVRecordingReleasesGroup;

// What changed in a record, as told to its delegate.
enum HLVFileDataChange : int {
    HLVFileDataChangeArtwork = 1,   // an artwork request answered
    HLVFileDataChangeSaved = 2,     // the tags were written
    HLVFileDataChangeNotSaved = 3,  // a save wrote nothing (nothing pending, or it failed)
    HLVFileDataChangeLoaded = 4,    // initial tags (re)loaded, or pending changes cleared
    HLVFileDataChangeRenamed = 8,   // a rename attempt ended
};

// Where a record stands in identification.
enum HLVIdentificationState : int {
    HLVIdentificationNone = 0,
    HLVIdentificationQueued = 1,
    HLVIdentificationLookingUp = 2,
    HLVIdentificationIdentified = 3,
    HLVIdentificationFailed = 4,
    HLVIdentificationSkipped = 5,
};

class HLVFileDataDelegate
{
public:
    virtual ~HLVFileDataDelegate() = default;
    // Called on whichever thread caused the change.
    virtual void OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code) = 0;
};

// The record of one audio file: its tags as in the file (initial), the pending
// changes (virtual) and the merge of both (TagMap), plus the candidates found by
// identification. Thread-safe: every map access goes through the record's lock,
// flags are atomic, and the delegate is never called with the lock held.
// Pending changes must be edited through editVirtualTagMap() (or replaced with
// setVirtualTagMap()) so that concurrent saves and readers see whole edits.
class HLVFileData : public std::enable_shared_from_this<HLVFileData>, public HLVArtworkPathsDelegate
{
public:
    static std::shared_ptr<HLVFileData> create();
    static std::shared_ptr<HLVFileData> createWithPath(const QString& path);

    void setFileWithURL(const QUrl& url);

    // The delegate must outlive the record's work or be cleared first.
    void setDelegate(HLVFileDataDelegate* delegate) { _delegate = delegate; }
    HLVFileDataDelegate* delegate() const { return _delegate; }

    QString FileName() const;
    QString FilePath() const;
    bool IsReadOnly() const { return _isReadOnly; }
    void setIsReadOnly(bool readOnly) { _isReadOnly = readOnly; }
    int IdentificationState() const { return _identificationState; }
    void setIdentificationState(int state) { _identificationState = state; }
    qint64 FilteredTagCount() const { return _filteredTagCount; }
    void setFilteredTagCount(qint64 count) { _filteredTagCount = count; }

    std::optional<QString> ArtistID() const;
    void setArtistID(const std::optional<QString>& value);
    std::optional<QString> ArtistName() const;
    void setArtistName(const std::optional<QString>& value);
    std::optional<QString> TrackMBID() const;
    void setTrackMBID(const std::optional<QString>& value);
    std::optional<QString> TrackName() const;
    void setTrackName(const std::optional<QString>& value);

    // The tags as they stand in the file, read on first use. Treat as read-only.
    std::shared_ptr<HLVTagMap> InitialTagMap();
    bool isLoaded() const;
    void loadID3Tags();
    // The last read found no file TagLib could open (its initial tags are then
    // empty); false until the tags are read.
    bool IsUnreadable() const { return _isUnreadable; }

    // Why the last read, save, identification or artwork lookup of this file
    // failed; cleared by the next one that succeeds.
    std::optional<HLVFailure> LastFailure() const;
    void setLastFailure(const std::optional<HLVFailure>& failure);

    // The pending changes, created on first use; null fields change nothing.
    std::shared_ptr<HLVTagMap> VirtualTagMap();
    // The pending map if there is one (never creates it).
    std::shared_ptr<HLVTagMap> existingVirtualTagMap() const;
    void setVirtualTagMap(const std::shared_ptr<HLVTagMap>& tagMap);
    // Changes the pending map (created if needed) under the record's lock.
    void editVirtualTagMap(const std::function<void(HLVTagMap&)>& edit);

    // A fresh map: the pending changes merged over the initial tags.
    std::shared_ptr<HLVTagMap> TagMap();
    // A throw-away map for the filters; does not load the record.
    std::shared_ptr<HLVTagMap> TemporaryTagMap();
    HLVCustomTagValueArray determineCustomTagValues();

    QList<std::shared_ptr<HLVTagMap>> Releases() const;
    bool hasReleases() const;
    void setReleases(const std::shared_ptr<HLVRecordingReleasesGroup>& group);

    bool IsModified() const;
    void forceIsModified();
    bool RequiresTagging();
    void undoChanges();

    // The pending changes of the Remove Tags command: every text field empty,
    // every number 0, the picture removed, the compilation flag and the custom
    // tags untouched.
    static std::shared_ptr<HLVTagMap> removeTagsTagMap();
    // Makes removeTagsTagMap() the pending changes, drops the candidates and the
    // identification, and marks the record modified. The caller tells the file
    // manager (fileWasModified). Nothing is written until a save.
    void removeTags();

    // Writes the pending changes on the calling thread (never the main thread:
    // a picture may be downloaded). When artwork has not been looked for yet the
    // save waits for that lookup and completes from its answer.
    void saveID3Tags();
    bool isSaving() const { return _isSaving; }

    void obtainArtworkPathForActiveTagMap();
    bool removeArtwork();

    void OnArtworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>& tagMap) override;
    void OnArtworkPathsObtainedForFileData(const std::shared_ptr<HLVFileData>& fileData) override;

    // Renaming from the initial tags (never from unsaved edits).
    std::optional<QString> valueForFileNameStructureIdentifier(int identifier);
    std::optional<QString> createFileNameUsingStructure(const std::optional<HLVFileNameStructure>& structure);
    // The path a rename would move the file to (its folder, the cleaned name and
    // the current extension); absent when the tags give no usable name. Says
    // nothing about whether that path is free.
    std::optional<QString> renamedFilePathUsingStructure(const std::optional<HLVFileNameStructure>& structure);
    void renameFileUsingStructure(const std::optional<HLVFileNameStructure>& structure);

    static bool areAnyFilesModified(const QList<std::shared_ptr<HLVFileData>>& files);
    static bool areAnyFilesModifiedAtIndexes(const QList<std::shared_ptr<HLVFileData>>& files,
                                             const QList<int>& indexes);

    // The merge rule of TagMap(), for any pair of maps.
    static std::shared_ptr<HLVTagMap> mergedTagMap(const HLVTagMap& initial, const HLVTagMap* pending);

    HLVFileData() = default; // use create(): the record must live in a shared_ptr

private:
    void notify(int code);
    std::shared_ptr<HLVTagMap> loadLocked(bool* loaded);
    std::shared_ptr<HLVTagMap> virtualTagMapLocked();
    HLVCustomTagValueArray determineCustomTagValuesLocked() const;
    bool isModifiedLocked() const;
    void finishArtworkAnswer(bool resumeSave, const std::function<void()>& afterSave);

    mutable std::recursive_mutex _lock;
    std::shared_ptr<HLVArtworkPaths> _artworkPaths;
    std::shared_ptr<HLVTagMap> _initialTagMap;
    std::shared_ptr<HLVTagMap> _virtualTagMap;
    // The pending map whose copy the running tag-map artwork search works on.
    std::shared_ptr<HLVTagMap> _artworkSearchTarget;
    std::optional<QList<std::shared_ptr<HLVTagMap>>> _releases;
    quint64 _pendingGeneration = 0; // bumped by every change of the pending map

    std::atomic<bool> _activeTagMapArtworkSearch{false};
    std::atomic<bool> _obtainingArtwork{false};
    std::atomic<bool> _modified{false};
    std::atomic<bool> _isSaving{false};
    std::atomic<bool> _saved{true};
    std::atomic<bool> _isReadOnly{false};
    std::atomic<bool> _isUnreadable{false};
    std::atomic<int> _identificationState{0};
    std::atomic<HLVFileDataDelegate*> _delegate{nullptr};
    std::atomic<qint64> _filteredTagCount{-1};

    QString _FileName;
    QString _FilePath;
    std::optional<QString> _ArtistID;
    std::optional<QString> _ArtistName;
    std::optional<QString> _TrackMBID;
    std::optional<QString> _TrackName;
    std::optional<HLVFailure> _lastFailure;
};
