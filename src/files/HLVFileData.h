#pragma once

#include "HLVArtworkPathsDelegate.h"
#include "HLVFailure.h"
#include "HLVFileDetails.h"
#include "HLVTagField.h"
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

// What Remove Tags does with the compilation flag: the file list's command
// leaves it, the editor's sets it to 0.
enum class HLVCompilationFlag { Keep, Clear };

class HLVFileDataDelegate
{
public:
    virtual ~HLVFileDataDelegate() = default;
    // Called on whichever thread caused the change.
    virtual void OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code) = 0;
};

// The record of one audio file: its tags as in the file (initial), the pending
// changes (virtual) and the merge of both (TagMap), plus the candidates found by
// identification. Thread-safe: the maps stay inside the record, guarded by its
// lock; callers get copies or immutable snapshots and change the pending map
// through the record (per field, editVirtualTagMap, setVirtualTagMap,
// selectRelease). Flags are atomic; no file is read and no delegate is called
// with the lock held; one save writes the file at a time.
class HLVFileData : public std::enable_shared_from_this<HLVFileData>, public HLVArtworkPathsDelegate
{
public:
    static std::shared_ptr<HLVFileData> create();
    static std::shared_ptr<HLVFileData> createWithPath(const QString& path);

    void setFileWithURL(const QUrl& url);

    // Once setDelegate() returns, the previous delegate is not called again and
    // no call to it is running; not to be called from the delegate's own callback.
    void setDelegate(HLVFileDataDelegate* delegate);
    HLVFileDataDelegate* delegate() const;
    // Clears the delegate, as setDelegate(nullptr) does, when it is this one.
    void resignDelegate(HLVFileDataDelegate* delegate);

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

    // The tags as they stand in the file, read on first use: an immutable
    // snapshot (a save replaces the record's map, never changes it).
    std::shared_ptr<const HLVTagMap> InitialTagMap();
    bool isLoaded() const;
    // The file's own picture with its bytes (the record keeps only what the
    // picture is, not its bytes): read from the file, so never on the main
    // thread. Absent when the file has none.
    HLVArtwork readOwnArtwork();
    void loadID3Tags();
    // The last read found no file TagLib could open (its initial tags are then
    // empty); false until the tags are read.
    bool IsUnreadable() const { return _isUnreadable; }

    // Why the last read, save, identification or artwork lookup of this file
    // failed; cleared by the next one that succeeds.
    std::optional<HLVFailure> LastFailure() const;
    void setLastFailure(const std::optional<HLVFailure>& failure);
    // Why the last artwork lookup found no picture ("no cover found", or the
    // service failing); absent after one that found a picture.
    std::optional<HLVFailure> LastArtworkFailure() const;
    void setArtworkFailure(const std::optional<HLVFailure>& failure);

    // A copy of the pending changes (created on first use); null fields change
    // nothing. Changing the copy changes nothing in the record.
    std::shared_ptr<HLVTagMap> VirtualTagMap();
    // A copy of the pending map if there is one (never creates it).
    std::shared_ptr<HLVTagMap> existingVirtualTagMap() const;
    // Makes a copy of the map the pending changes; null drops them (code 4).
    void setVirtualTagMap(const std::shared_ptr<const HLVTagMap>& tagMap);
    // Runs the edit on a copy of the pending map (created if needed), without
    // the record's lock, and puts the result in place; if the pending map
    // changed meanwhile the edit runs again on the new one.
    void editVirtualTagMap(const std::function<void(HLVTagMap&)>& edit);
    // Fills in an existing pending map under the record's lock (keep the edit
    // short). The edit returns whether it changed what a save would write;
    // when it did not (a decoded copy of a picture the map already names), a
    // save writing meanwhile still leaves the record unmodified.
    void completeVirtualTagMap(const std::function<bool(HLVTagMap&)>& edit);
    // One field of the pending changes (absent: the field is not changed).
    void setVirtualTagText(const HLVTagField& field, const std::optional<QString>& value);
    void setVirtualTagNumber(const HLVTagField& field, const std::optional<int>& value);
    // Makes candidate `index` of Releases() the pending changes; false when out of range.
    bool selectRelease(qsizetype index);
    // The index in Releases() of the candidate that is pending, or -1.
    qsizetype selectedRelease() const;

    // A fresh map: the pending changes merged over the initial tags.
    std::shared_ptr<HLVTagMap> TagMap();
    // A throw-away map for the filters; does not load the record, but keeps
    // what a list shows of the file (ListingTagMap(), Details()).
    std::shared_ptr<HLVTagMap> TemporaryTagMap();

    // What the last read of the file found besides its tags: format, audio,
    // tag kinds, first picture, size and folder. Absent until the file has
    // been read, and for a file TagLib cannot read. Never reads the file.
    std::optional<HLVFileDetails> Details() const;
    // Whether reads of this record also take the details (the default). A
    // caller that never shows them skips the audio properties, a good part of
    // the cost of reading a small file. Set before the record is read.
    void setReadsDetails(bool reads) { _readsDetails = reads; }
    // The tags a list shows, without reading the file: the merged map of a
    // loaded record; else the pending changes over what the last throw-away
    // read kept (without picture bytes and custom tags); null when the file
    // has not been read yet.
    std::shared_ptr<const HLVTagMap> ListingTagMap() const;
    // Changes with every change of the pending map: a view that keeps what it
    // showed of the record knows when to take it afresh.
    quint64 pendingGeneration() const;
    HLVCustomTagValueArray determineCustomTagValues();

    // Copies of the candidates, in order.
    QList<std::shared_ptr<HLVTagMap>> Releases() const;
    bool hasReleases() const;
    // How many candidates there are, without copying them.
    qsizetype releaseCount() const;
    void setReleases(const std::shared_ptr<HLVRecordingReleasesGroup>& group);

    bool IsModified() const;
    void forceIsModified();
    // True once after an artwork answer that leaves nothing new to save (a
    // waiting save wrote it, or the pending map held it already).
    bool takeArtworkAnswerSaved() { return _artworkAnswerSaved.exchange(false); }
    bool RequiresTagging();
    void undoChanges();

    // The pending changes of the Remove Tags command: every text field empty,
    // every number 0, the picture removed, the custom tags untouched, and the
    // compilation flag left or set to 0.
    static std::shared_ptr<HLVTagMap> removeTagsTagMap(HLVCompilationFlag compilation = HLVCompilationFlag::Keep);
    // Makes removeTagsTagMap() the pending changes, drops the candidates and the
    // identification, and marks the record modified. The caller tells the file
    // manager (fileWasModified); HLVFileManager::removeTags does both for
    // files that can be written. Nothing is written until a save.
    void removeTags(HLVCompilationFlag compilation = HLVCompilationFlag::Keep);

    // The user's choice of a cover: the picture (shown) and the file a save
    // embeds, whose bytes are the picture's; the record is marked modified.
    // No lookup replaces the choice. The caller tells the file manager.
    void chooseArtwork(const HLVArtwork& picture, const QString& path);
    // The choice of no cover: a save removes the file's picture.
    void chooseNoArtwork();
    // The picture a save would leave in the file as far as is known now (a
    // chosen one, else the file's own unless removed), without its bytes when
    // it is the file's own.
    HLVArtwork currentArtwork();
    // The same with its bytes: the file's own is read from the file, so never
    // on the main thread.
    HLVArtwork readCurrentArtwork();
    // The file can take edits: it is not read-only and its tags could be read
    // (false until they are read, for a file TagLib cannot open).
    bool canBeEdited() const { return !_isReadOnly && !_isUnreadable; }

    // Writes the pending changes on the calling thread (never the main thread:
    // a picture may be downloaded). When artwork has not been looked for yet the
    // save waits for that lookup and completes from its answer.
    void saveID3Tags();
    bool isSaving() const { return _isSaving; }

    // saveID3Tags() for several records at once: their files are flushed to
    // disk together (see HLVSafeSave). A record is left alone once stopped()
    // answers true.
    static void saveRecords(const QList<std::shared_ptr<HLVFileData>>& records,
                            const std::function<bool()>& stopped = {});
    // The program is quitting: saves of these records that have not begun to
    // write answer "not saved" without writing, and their artwork lookups not
    // yet under way answer at once without asking. Writes under way go on.
    static void abandonWork(const QList<std::shared_ptr<HLVFileData>>& records);
    bool isWorkAbandoned() const { return _workAbandoned; }
    // Files being written at this moment, by every record of the process.
    static int writesUnderWay();

    // Looks for artwork for the pending map (the chosen candidate, if any) and
    // answers code 1. Never blocks: the lookup runs on a worker.
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
    // Keeps what a throw-away read found, unless the record was loaded meanwhile.
    void keepListing(const HLVTagMap& read, const std::optional<HLVFileDetails>& details);
    // The details after a save changed the file (size, tag kinds, picture).
    void rereadDetails(const QString& path);
    // The initial map, read from the file (outside the lock) when missing.
    std::shared_ptr<HLVTagMap> initialTagMapLoading(bool* loaded);
    std::shared_ptr<HLVTagMap> virtualTagMapLocked();
    void setVirtualTagMapInternal(const std::shared_ptr<HLVTagMap>& tagMap);
    HLVCustomTagValueArray determineCustomTagValuesLocked() const;
    bool isModifiedLocked() const;
    void save(bool resumed);
    struct SaveTurn;
    enum class SaveAction { Joined, NothingToSave, AwaitArtwork, Write };
    // A save in three steps, so that many can share their writes: what to
    // write (the record's write turn held when the answer is Write), the
    // record's state after the write (answering the change code), the answer.
    SaveAction beginSave(bool resumed, SaveTurn& turn);
    int endSave(SaveTurn& turn, bool written, HLVFailure failure,
                std::optional<HLVFileDetails> details = std::nullopt);
    void answerSave(SaveAction action, int code);
    void requestArtwork(bool forSave);
    void finishArtworkAnswer(bool resumeSave, const std::function<void()>& afterSave);
    // Ends a lookup that will not run: a save waiting for it answers "not
    // saved" without writing, and whoever else asked gets the artwork answer.
    void endArtworkRequestUnasked(const HLVFailure& reason);
    void answerSaveUnwritten(const HLVFailure& reason);
    // False (nothing may be written) once the record's work is abandoned;
    // otherwise counts the write until endWrite().
    bool beginWrite();
    static void endWrite();

    // Holds the record's turn to write its file for its lifetime.
    class WriteTurn
    {
    public:
        explicit WriteTurn(HLVFileData& record);
        ~WriteTurn();
        WriteTurn(const WriteTurn&) = delete;
        WriteTurn& operator=(const WriteTurn&) = delete;

    private:
        HLVFileData& _record;
    };

    struct SaveTurn
    {
        std::unique_ptr<WriteTurn> writer;
        std::shared_ptr<HLVTagMap> snapshot;
        std::shared_ptr<HLVTagMap> initial;
        quint64 generation = 0;
        QString path;
    };

    // A tag-map artwork search in flight: the copy it works on and the map
    // (pending map or candidate) its answer belongs to.
    struct ArtworkSearch
    {
        std::shared_ptr<HLVArtworkPaths> paths;
        std::shared_ptr<HLVTagMap> searchCopy;
        std::weak_ptr<HLVTagMap> target;
    };

    mutable std::recursive_mutex _lock;
    // Guarded by one process-wide gate (records are many, their answers few).
    HLVFileDataDelegate* _delegate = nullptr;
    int _delegateCalls = 0;
    bool _writing = false; // a save is writing the file; others wait their turn
    std::shared_ptr<HLVArtworkPaths> _artworkPaths;
    QList<ArtworkSearch> _artworkSearches;
    std::shared_ptr<HLVTagMap> _initialTagMap;
    std::optional<HLVFileDetails> _details;
    std::shared_ptr<const HLVTagMap> _listingTagMap; // only while not loaded
    std::shared_ptr<HLVTagMap> _virtualTagMap;
    std::optional<QList<std::shared_ptr<HLVTagMap>>> _releases;
    quint64 _pendingGeneration = 0; // bumped by every change of the pending map

    std::atomic<bool> _activeTagMapArtworkSearch{false};
    std::atomic<bool> _obtainingArtwork{false};
    std::atomic<bool> _modified{false};
    std::atomic<bool> _isSaving{false};
    std::atomic<bool> _workAbandoned{false};
    std::atomic<bool> _saved{true};
    std::atomic<bool> _isReadOnly{false};
    std::atomic<bool> _isUnreadable{false};
    std::atomic<bool> _readsDetails{true};
    std::atomic<int> _identificationState{0};
    std::atomic<bool> _artworkAnswerOwed{false}; // someone besides a save asked for artwork
    std::atomic<bool> _artworkAnswerSaved{false}; // the last artwork answer left nothing to save
    std::atomic<int> _joinedSaves{0};              // save requests answered by the suspended save
    std::atomic<qint64> _filteredTagCount{-1};

    QString _FileName;
    QString _FilePath;
    std::optional<QString> _ArtistID;
    std::optional<QString> _ArtistName;
    std::optional<QString> _TrackMBID;
    std::optional<QString> _TrackName;
    std::optional<HLVFailure> _lastFailure;
    std::optional<HLVFailure> _artworkFailure;
};
