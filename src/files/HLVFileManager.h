#pragma once

#include "HLVFileData.h"
#include "HLVFileNameStructure.h"
#include "HLVMusicIdentifier.h"

#include <QList>
#include <QSet>
#include <QUrl>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class HLVSerialOperationQueue;

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

// The four lists a view can show.
enum class HLVFileList { All, Untagged, PartiallyTagged, Modified };

// Observes the manager's operations. Every call arrives on a background thread;
// views move their work to the main thread themselves.
class HLVFileManagerDelegate
{
public:
    virtual ~HLVFileManagerDelegate() = default;
    virtual void fileOperationDidStart(int /*operation*/) {}
    virtual void fileOperationDidFinish(int /*operation*/) {}
    virtual void fileDataWasModified(const std::shared_ptr<HLVFileData>& /*fileData*/, int /*code*/) {}
    // The four lists changed (records added, removed or moved between lists),
    // inside an operation or outside one.
    virtual void fileListsDidChange() {}
};

// Owns every record the user added, the all/untagged/partially tagged/modified
// lists and the identification pipeline, and runs the long operations on
// background queues: one for every operation's control block, one for saves and
// one for renames. Each operation is announced as start, per-file codes, finish.
// The lists are guarded by one lock and handed out as snapshots; indexes are
// resolved against a snapshot taken when the call is made.
class HLVFileManager : public HLVFileDataDelegate, public HLVMusicIdentifierDelegate
{
public:
    HLVFileManager();
    ~HLVFileManager() override;

    // Delegates are not owned; remove one before it goes away.
    bool addDelegate(HLVFileManagerDelegate* delegate);
    bool removeDelegate(HLVFileManagerDelegate* delegate);

    bool addFilesAtURLs(const std::optional<QList<QUrl>>& urls);
    bool addFileAtURL(const QUrl& url);
    bool addFileData(const std::shared_ptr<HLVFileData>& fileData);
    void sortFileData();
    qsizetype indexForFile(const std::shared_ptr<HLVFileData>& fileData) const;
    std::shared_ptr<HLVFileData> fileAtIndex(qsizetype index) const;
    int currentOperation() const { return _currentFileOperation; }

    QList<std::shared_ptr<HLVFileData>> FileDataArray() const;
    QList<std::shared_ptr<HLVFileData>> PartiallyTaggedFileDataArray() const;
    QList<std::shared_ptr<HLVFileData>> UntaggedFileDataArray() const;
    QList<std::shared_ptr<HLVFileData>> ModifiedFileDataArray() const;
    QList<std::shared_ptr<HLVFileData>> fileList(HLVFileList list) const;

    void saveFile(const std::shared_ptr<HLVFileData>& fileData);
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
    bool removeFileData(const std::shared_ptr<HLVFileData>& fileData);

    void fileWasModified(const std::shared_ptr<HLVFileData>& fileData);
    void filesWereModified(const QList<std::shared_ptr<HLVFileData>>& files);

    void refreshFilters();
    void cancelFilter();

    void OnFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code) override;
    void OnFileDataChanged(const std::shared_ptr<HLVFileData>& fileData) override;

    // Blocks until no operation is queued or running (command-line front end, tests).
    void waitUntilIdle();

private:
    void announceStart(int operation);
    void announceFinish(int operation);
    void relay(const std::shared_ptr<HLVFileData>& fileData, int code);
    QList<HLVFileManagerDelegate*> delegates() const;
    bool insertSortedLocked(const std::shared_ptr<HLVFileData>& fileData);
    void removeLocked(const std::shared_ptr<HLVFileData>& fileData);
    QList<std::shared_ptr<HLVFileData>> recordsAt(const QList<int>& indexes, HLVFileList list) const;
    void queueSaves(const QList<std::shared_ptr<HLVFileData>>& files);
    void countAnswer(std::atomic<quint64>& counter);

    mutable std::mutex _delegateLock;
    QList<HLVFileManagerDelegate*> _delegates;

    std::unique_ptr<HLVSerialOperationQueue> _fileOpQueues;
    std::unique_ptr<HLVSerialOperationQueue> _saveOpQueue;
    std::unique_ptr<HLVSerialOperationQueue> _renameOpQueue;
    std::shared_ptr<HLVMusicIdentifier> _musicIdentifier;

    // Duplicate check of a running batch add: the paths when it began.
    std::optional<QSet<QString>> _lastIndexPaths;
    std::atomic<bool> _useLastIndexOptimization{false};

    std::atomic<quint64> _artworkObtainCount{0};
    std::atomic<quint64> _artworkObtainTotal{0};
    std::atomic<quint64> _identifyCount{0};
    std::atomic<quint64> _identifyTotal{0};
    std::atomic<quint64> _savedCount{0};
    std::atomic<quint64> _renameCount{0};
    std::atomic<int> _currentFileOperation{HLVFileOperationNone};
    std::atomic<bool> _filterShouldTerminate{false};
    std::atomic<bool> _terminateArtwork{false};
    // A stop ends the batch's waiter without a second finish.
    std::atomic<quint64> _saveEpoch{0};
    std::atomic<quint64> _renameEpoch{0};
    std::mutex _answerLock;
    std::condition_variable _answered;

    mutable std::mutex _listLock;
    QList<std::shared_ptr<HLVFileData>> _FileDataArray;
    // The records of _FileDataArray, so that "is it still in the list?" does
    // not walk the list: adds and filter passes ask it for every file.
    QSet<const HLVFileData*> _fileDataIndex;
    QList<std::shared_ptr<HLVFileData>> _PartiallyTaggedFileDataArray;
    QList<std::shared_ptr<HLVFileData>> _UntaggedFileDataArray;
    QList<std::shared_ptr<HLVFileData>> _ModifiedFileDataArray;
};
