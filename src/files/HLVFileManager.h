#pragma once

#include "HLVFileData.h"
#include "HLVFileNameStructure.h"
#include "HLVFileLists.h"
#include "HLVFileOperationBatches.h"
#include "HLVDelegateList.h"
#include "HLVMusicIdentifier.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class HLVSerialOperationQueue;
class HLVTagReadPool;

// Kinds of long operation, as announced to the delegates.
enum HLVFileOperation : int {
    HLVFileOperationNone = 0,
    HLVFileOperationAdding = 1,
    HLVFileOperationRemoving = 2,
    HLVFileOperationSaving = 3,
    HLVFileOperationArtwork = 4,
    HLVFileOperationIdentifying = 5,
    HLVFileOperationFiltering = 6,
    HLVFileOperationRenaming = 7,
};

// Codes relayed with fileDataWasModified beyond the record's own.
enum HLVFileManagerChange : int {
    HLVFileManagerChangeIdentified = 5,
    HLVFileManagerChangeIdentificationFailed = 6,
    HLVFileManagerChangeIdentificationNotNeeded = 7,
};

// Observes the manager's operations. Calls arrive on any thread, never with a
// lock of the manager held; windows use HLVFileManagerBridge instead.
class HLVFileManagerDelegate
{
public:
    virtual ~HLVFileManagerDelegate() = default;
    virtual void fileOperationDidStart(int /*operation*/) {}
    virtual void fileOperationDidFinish(int /*operation*/) {}
    virtual void fileDataWasModified(const std::shared_ptr<HLVFileData>& /*fileData*/, int /*code*/) {}
    // A record's tags were read from its file (first read or read again), on
    // the thread that read them: many at a time while a list is read.
    virtual void fileDataWasLoaded(const std::shared_ptr<HLVFileData>& /*fileData*/) {}
    // The four lists changed (records added, removed or moved between lists),
    // inside an operation or outside one.
    virtual void fileListsDidChange() {}
};

// Owns every record the user added, the all/untagged/partially tagged/modified
// lists and the identification pipeline, and runs the long operations on
// background queues: one for every operation's control block, one for saves and
// one for renames. Each operation is a batch (HLVFileOperationBatch) announced as
// start, per-file codes, finish; batches never share a counter, so two of the
// same kind can run side by side. The lists are guarded by one lock and handed
// out as snapshots; indexes are resolved against a snapshot taken when the call
// is made. Delegates are called on any thread, never with a lock held.
class HLVFileManager : public HLVFileDataDelegate, public HLVMusicIdentifierDelegate
{
public:
    HLVFileManager();
    ~HLVFileManager() override;

    // Delegates are not owned. Once removeDelegate() returns, the delegate is
    // not called again and no call to it is still running on another thread.
    bool addDelegate(HLVFileManagerDelegate* delegate);
    bool removeDelegate(HLVFileManagerDelegate* delegate);

    bool addFilesAtURLs(const std::optional<QList<QUrl>>& urls);
    // Lists the audio files among the paths and below the folders among them
    // on a worker, then adds them as one batch (addFilesAtURLs). shutdown()
    // stops a listing under way, however large the tree.
    bool addFilesAndFoldersAtPaths(const QStringList& paths);
    bool addFileAtURL(const QUrl& url);
    // Whether adding a file first undoes what an interrupted save of it left
    // (HLVSafeSave); on unless a caller that must not write turns it off.
    void setRecoversAddedFiles(bool recovers) { _recoversAddedFiles = recovers; }
    bool addFileData(const std::shared_ptr<HLVFileData>& fileData);
    void sortFileData();
    qsizetype indexForFile(const std::shared_ptr<HLVFileData>& fileData) const;
    std::shared_ptr<HLVFileData> fileAtIndex(qsizetype index) const;
    // The kind of the most recently started batch still running, else 0.
    int currentOperation() const;
    bool isOperationRunning() const;
    bool isOperationRunning(int operation) const;

    QList<std::shared_ptr<HLVFileData>> FileDataArray() const;
    QList<std::shared_ptr<HLVFileData>> PartiallyTaggedFileDataArray() const;
    QList<std::shared_ptr<HLVFileData>> UntaggedFileDataArray() const;
    QList<std::shared_ptr<HLVFileData>> ModifiedFileDataArray() const;
    // With the list's revision when asked; fileListRevision() changes whenever the list does.
    QList<std::shared_ptr<HLVFileData>> fileList(HLVFileList list, quint64* revision = nullptr) const;
    // How many records a list holds, without a copy of it.
    qsizetype fileListSize(HLVFileList list) const;
    quint64 fileListRevision(HLVFileList list) const;

    void saveFile(const std::shared_ptr<HLVFileData>& fileData);
    void saveFiles(const QList<std::shared_ptr<HLVFileData>>& files);
    void saveFilesInUnmanagedArray(const QList<std::shared_ptr<HLVFileData>>& files);
    void saveFilesAtIndex(const QList<int>& indexes, HLVFileList list);
    bool stopSaving();

    void identifyFile(const std::shared_ptr<HLVFileData>& fileData);
    void identifyFiles(const QList<std::shared_ptr<HLVFileData>>& files);
    void identifyFileAtIndex(qsizetype index);
    void identifyFilesAtIndexes(const QList<int>& indexes);
    bool stopIdentifying();

    void obtainArtworkForFile(const std::shared_ptr<HLVFileData>& fileData);
    void obtainArtworkForFiles(const QList<std::shared_ptr<HLVFileData>>& files);
    void obtainArtworkForFileData(const std::shared_ptr<HLVFileData>& fileData);
    bool stopObtainingArtwork();

    void renameFiles(const QList<std::shared_ptr<HLVFileData>>& files,
                     const std::optional<HLVFileNameStructure>& structure);
    bool stopRenaming();

    bool removeFileAtIndex(qsizetype index);
    bool removeFilesAtIndexes(const QList<int>& indexes);
    bool removeFilesAtIndexes(const QList<int>& indexes, HLVFileList list);
    // Removes the records as one batch (start 2, finish 2).
    bool removeFiles(const QList<std::shared_ptr<HLVFileData>>& files);
    bool removeFileData(const std::shared_ptr<HLVFileData>& fileData);

    void fileWasModified(const std::shared_ptr<HLVFileData>& fileData);
    void filesWereModified(const QList<std::shared_ptr<HLVFileData>>& files);

    // Edits that the window and the command line share. Each acts on the
    // records that can be written (read, so never on the main thread), tells
    // the lists, and answers the records it changed; nothing is written until
    // a save.
    // Remove Tags: the cleared map becomes the pending changes.
    QList<std::shared_ptr<HLVFileData>> removeTags(const QList<std::shared_ptr<HLVFileData>>& files,
                                                   HLVCompilationFlag compilation);
    // The user's choice of a cover (HLVFileData::chooseArtwork).
    QList<std::shared_ptr<HLVFileData>> chooseArtwork(const QList<std::shared_ptr<HLVFileData>>& files,
                                                      const HLVArtwork& picture, const QString& path);

    // Scores every record not scored yet on the read pool (several files at
    // once, records given to prioritizeReads() first), keeping for each what a
    // list shows of it (HLVFileData::ListingTagMap(), Details()); the filter
    // lists are filled in the list's order when the reads are done.
    void refreshFilters();
    void cancelFilter();

    // Records to read before all others (the rows a window shows), in a read
    // under way and in later ones; replaces the records of an earlier call.
    void prioritizeReads(const QList<std::shared_ptr<HLVFileData>>& records);
    // Reads the tags of every record not read yet on the read pool, records
    // given to prioritizeReads() first, and returns when all are read (or the
    // manager shuts down, or stopped, if given, answers true). progress, if
    // given, is called on the calling thread with the number of records read
    // so far. Blocks: for the command line and workers, never for a window's
    // main thread.
    void loadFiles(const QList<std::shared_ptr<HLVFileData>>& records,
                   const std::function<void(qsizetype done)>& progress = {},
                   const std::function<bool()>& stopped = {});

    void OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code) override;
    void OnFileDataChanged(const std::shared_ptr<HLVFileData>& fileData) override;

    // Each record once, in the order of its first place.
    static QList<std::shared_ptr<HLVFileData>> withoutDuplicates(const QList<std::shared_ptr<HLVFileData>>& files);

    // Blocks until no operation is queued or running (command-line front end, tests).
    void waitUntilIdle();

    // For the end of the program, and returns at once: stops every batch (each
    // announces its finish), drops queued work and the folder listing, and
    // refuses every web request of the process, ending those in flight and
    // retries waiting to go (HLVDataRequest::refuseRequests). Saves that have
    // not begun to write answer "not saved" without writing; writes under way
    // go on (writesUnderWay()). Later commands are ignored. Destroying the
    // manager then waits only for work already running on the disk (a write,
    // a rename, a fingerprint being taken), never for a service.
    void shutdown();
    // Files being written at this moment (what a quitting program waits for).
    int writesUnderWay() const;

private:
    using BatchPtr = std::shared_ptr<HLVFileOperationBatch>;
    using Records = QList<std::shared_ptr<HLVFileData>>;
    bool startBatch(const BatchPtr& batch);
    void finishBatch(const BatchPtr& batch);
    void finishBatches(const QList<BatchPtr>& batches);
    void creditAnswer(int kind, const std::shared_ptr<HLVFileData>& fileData);

    void announceStart(int operation);
    void announceFinish(int operation);
    void relay(const std::shared_ptr<HLVFileData>& fileData, int code);
    void listsChanged();
    bool addFileDataQuietly(const std::shared_ptr<HLVFileData>& fileData);
    Records recordsAt(const QList<int>& indexes, HLVFileList list) const;
    void queueSaves(const Records& records);
    void recoverAddedFile(HLVFileData& record);
    // What shutdown() and the destructor both do; returns the batches stopped.
    QList<BatchPtr> stopWork();
    void noteRemoved(const Records& records);
    // The records in the lists and those removed from them that still live.
    Records everyRecord() const;

    HLVDelegateList<HLVFileManagerDelegate> _delegates;

    std::unique_ptr<HLVSerialOperationQueue> _fileOpQueues;
    std::unique_ptr<HLVSerialOperationQueue> _saveOpQueue;
    std::unique_ptr<HLVSerialOperationQueue> _renameOpQueue;
    std::unique_ptr<HLVTagReadPool> _readPool; // tag reads, one thread per core
    std::shared_ptr<HLVMusicIdentifier> _musicIdentifier;

    HLVFileOperationBatches _batches;
    std::atomic<bool> _shutDown{false};
    std::atomic<bool> _recoversAddedFiles{true};
    HLVFileLists _lists;
    // Removed records may still answer (a save or lookup under way): they keep
    // the listener until the manager goes, which then clears it.
    mutable std::mutex _removedLock;
    QList<std::weak_ptr<HLVFileData>> _removed;
    qsizetype _removedPruneMark = 1024;

    // What a folder listing on a worker reaches the manager through; the
    // manager lets go of it when it stops, whether or not the listing has ended.
    struct Listing
    {
        std::mutex lock;
        HLVFileManager* manager = nullptr;
        std::atomic<bool> stop{false};
    };
    std::shared_ptr<Listing> _listing;

    // What the records and the identifier call instead of this object, so that
    // an answer arriving while the manager is destroyed never touches its
    // virtual table: the destructor detaches them (waiting out calls in
    // flight) before the listener goes.
    struct Listener : HLVFileDataDelegate, HLVMusicIdentifierDelegate
    {
        explicit Listener(HLVFileManager& owner) : manager(owner) {}
        void OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code) override;
        void OnFileDataChanged(const std::shared_ptr<HLVFileData>& fileData) override;
        HLVFileManager& manager;
    };
    Listener _listener{*this};
};
