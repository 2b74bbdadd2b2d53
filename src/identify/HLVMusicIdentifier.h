#pragma once

#include "HLVDelegateList.h"
#include "HLVFingerprinter.h"
#include "HLVRecordingReleases.h"

#include <QList>
#include <QSet>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class HLVFileData;
class HLVSerialOperationQueue;

class HLVMusicIdentifierDelegate
{
public:
    virtual ~HLVMusicIdentifierDelegate() = default;
    // After every change of a file's identification state; on any thread.
    virtual void OnFileDataChanged(const std::shared_ptr<HLVFileData>& fileData) = 0;
};

// Identifies files one after another in two overlapping stages, each on a queue
// of its own that handles one file at a time: stage one fingerprints the file
// and looks the fingerprint up at AcoustID; stage two asks MusicBrainz for the
// recording's releases and hands them to the record. A stage's operation waits
// for its answer before the next file starts; a stop makes the operations that
// have not started yet return at once and leaves their files where they are.
class HLVMusicIdentifier : public HLVFingerprinterDelegate,
                           public HLVRecordingReleasesDelegate,
                           public std::enable_shared_from_this<HLVMusicIdentifier>
{
public:
    static std::shared_ptr<HLVMusicIdentifier> create();
    HLVMusicIdentifier(); // use create()
    ~HLVMusicIdentifier() override;

    // Delegates are not owned; once removeDelegate() returns, no call to it is running.
    void addDelegate(HLVMusicIdentifierDelegate* delegate);
    void removeDelegate(HLVMusicIdentifierDelegate* delegate);

    void addFileData(const std::shared_ptr<HLVFileData>& fileData);
    void removeFileData(const std::shared_ptr<HLVFileData>& fileData);
    QList<std::shared_ptr<HLVFileData>> FileDataArray() const;
    void setFileDataArray(const QList<std::shared_ptr<HLVFileData>>& files);

    void identifyFileData(const std::shared_ptr<HLVFileData>& fileData);
    void identifyFileDataInArray(const QList<std::shared_ptr<HLVFileData>>& files);
    void performIdentify(const std::shared_ptr<HLVFileData>& fileData);
    void stopIdentifying();

    void notifyDelegates(const std::shared_ptr<HLVFileData>& fileData);

    void OnFingerprintObtained(const std::optional<HLVFingerprint>& fingerprint) override;
    void OnRecordingReleasesObtained(const std::shared_ptr<HLVRecordingReleasesGroup>& group) override;

    // The fingerprinter, so that a test can name another tool.
    HLVFingerprinter& fingerprinter() { return *_fingerprinter; }

private:
    void fingerprintFileData(const std::shared_ptr<HLVFileData>& fileData);
    void identifyReleases(const std::shared_ptr<HLVFileData>& fileData, const HLVFingerprint& fingerprint);
    // Waits until the flag clears (or the identifier is going away).
    void waitWhileBusy(const std::atomic<bool>& busy);
    void clearBusy(std::atomic<bool>& busy);

    // Before the queues: their threads start in the constructor and read these.
    std::atomic<bool> _terminate{false};
    std::atomic<quint64> _runEpoch{0};  // bumped by every stop
    quint64 _fingerprintingEpoch = 0;   // the run of the file being fingerprinted; under _lock
    std::atomic<bool> _shuttingDown{false};
    std::atomic<bool> _isFingerprintingATrack{false};
    std::atomic<bool> _isIdentifyingATrack{false};
    std::unique_ptr<HLVSerialOperationQueue> _identificationOpQueue;
    std::unique_ptr<HLVSerialOperationQueue> _fingerprintingOpQueue;
    HLVDelegateList<HLVMusicIdentifierDelegate> _delegates;
    mutable std::mutex _lock; // the files below and the stage wake-ups
    std::condition_variable _stageFree;
    std::shared_ptr<HLVFileData> _currentlyFingerprinting;
    std::shared_ptr<HLVFileData> _currentlyIdentifying;
    std::unique_ptr<HLVFingerprinter> _fingerprinter;
    std::shared_ptr<HLVRecordingReleases> _recordingReleases;
    QList<std::shared_ptr<HLVFileData>> _FileDataArray;
    // The records of _FileDataArray: adding a whole library checks each file.
    QSet<const HLVFileData*> _fileDataIndex;
};
