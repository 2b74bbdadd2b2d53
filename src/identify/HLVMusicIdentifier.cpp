#include "HLVMusicIdentifier.h"
#include "HLVFileData.h"
#include "HLVRecordingReleasesGroup.h"
#include "HLVSerialOperationQueue.h"

std::shared_ptr<HLVMusicIdentifier> HLVMusicIdentifier::create()
{
    auto identifier = std::make_shared<HLVMusicIdentifier>();
    identifier->_recordingReleases->setDelegate(identifier->weak_from_this());
    return identifier;
}

HLVMusicIdentifier::HLVMusicIdentifier()
    : _identificationOpQueue(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("identification")))
    , _fingerprintingOpQueue(std::make_unique<HLVSerialOperationQueue>(QStringLiteral("fingerprinting")))
    , _fingerprinter(std::make_unique<HLVFingerprinter>())
    , _recordingReleases(std::make_shared<HLVRecordingReleases>())
{
    _fingerprinter->setDelegate(this);
}

HLVMusicIdentifier::~HLVMusicIdentifier()
{
    _terminate = true;
    ++_runEpoch;
    // No answer may reach the queues once they are going: detach from the
    // fingerprinter first, and let an answer already inside see the shutdown.
    _fingerprinter->setDelegate(nullptr);
    {
        std::lock_guard lock(_lock);
        _shuttingDown = true;
    }
    _stageFree.notify_all();
    _fingerprintingOpQueue.reset();
    _identificationOpQueue.reset();
}

void HLVMusicIdentifier::addDelegate(HLVMusicIdentifierDelegate* delegate)
{
    _delegates.add(delegate);
}

void HLVMusicIdentifier::removeDelegate(HLVMusicIdentifierDelegate* delegate)
{
    _delegates.remove(delegate);
}

void HLVMusicIdentifier::notifyDelegates(const std::shared_ptr<HLVFileData>& fileData)
{
    _delegates.forEach([&](HLVMusicIdentifierDelegate* delegate) { delegate->OnFileDataChanged(fileData); });
}

void HLVMusicIdentifier::addFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    {
        std::lock_guard lock(_lock);
        if (_fileDataIndex.contains(fileData.get()))
            return;
        _FileDataArray.append(fileData);
        _fileDataIndex.insert(fileData.get());
    }
    fileData->setIdentificationState(HLVIdentificationNone);
}

void HLVMusicIdentifier::removeFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    {
        std::lock_guard lock(_lock);
        if (!_FileDataArray.removeOne(fileData))
            return;
        if (!_FileDataArray.contains(fileData)) // a list handed in may hold it twice
            _fileDataIndex.remove(fileData.get());
    }
    fileData->setIdentificationState(HLVIdentificationNone);
}

QList<std::shared_ptr<HLVFileData>> HLVMusicIdentifier::FileDataArray() const
{
    std::lock_guard lock(_lock);
    return _FileDataArray;
}

void HLVMusicIdentifier::setFileDataArray(const QList<std::shared_ptr<HLVFileData>>& files)
{
    std::lock_guard lock(_lock);
    _FileDataArray = files;
    _fileDataIndex.clear();
    for (const auto& fileData : files)
        _fileDataIndex.insert(fileData.get());
}

void HLVMusicIdentifier::identifyFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    _terminate = false;
    performIdentify(fileData);
}

void HLVMusicIdentifier::identifyFileDataInArray(const QList<std::shared_ptr<HLVFileData>>& files)
{
    _terminate = false;
    const quint64 epoch = _runEpoch;
    const QList<std::shared_ptr<HLVFileData>> copy = files;
    for (const auto& fileData : copy) {
        if (_runEpoch != epoch)
            break;
        performIdentify(fileData);
    }
}

void HLVMusicIdentifier::stopIdentifying()
{
    _terminate = true;
    // Work queued before the stop stays stopped even when a new run begins.
    ++_runEpoch;
}

void HLVMusicIdentifier::waitWhileBusy(const std::atomic<bool>& busy)
{
    std::unique_lock lock(_lock);
    _stageFree.wait(lock, [&] { return !busy || _shuttingDown; });
}

void HLVMusicIdentifier::clearBusy(std::atomic<bool>& busy)
{
    {
        std::lock_guard lock(_lock);
        busy = false;
    }
    _stageFree.notify_all();
}

void HLVMusicIdentifier::performIdentify(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    if (fileData->IsReadOnly()) {
        fileData->setIdentificationState(HLVIdentificationFailed);
        notifyDelegates(fileData);
        return;
    }
    addFileData(fileData);
    if (!fileData->RequiresTagging()) {
        fileData->setIdentificationState(HLVIdentificationSkipped);
        notifyDelegates(fileData);
        return;
    }
    fileData->setIdentificationState(HLVIdentificationQueued);
    const quint64 epoch = _runEpoch;
    _fingerprintingOpQueue->addOperation([this, fileData, epoch] {
        if (_terminate || _runEpoch != epoch)
            return; // stays queued (state 1)
        _isFingerprintingATrack = true;
        {
            std::lock_guard lock(_lock);
            _fingerprintingEpoch = epoch;
        }
        fingerprintFileData(fileData);
        // One file at a time: the answer clears the flag.
        waitWhileBusy(_isFingerprintingATrack);
    });
}

void HLVMusicIdentifier::fingerprintFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (_terminate) {
        clearBusy(_isFingerprintingATrack);
        return;
    }
    notifyDelegates(fileData);
    {
        std::lock_guard lock(_lock);
        _currentlyFingerprinting = fileData;
    }
    _fingerprinter->ObtainFingerprintForTrackAtPath(fileData->FilePath());
}

void HLVMusicIdentifier::OnFingerprintObtained(const std::optional<HLVFingerprint>& fingerprint)
{
    std::shared_ptr<HLVFileData> fileData;
    bool stale = false;
    {
        std::lock_guard lock(_lock);
        if (_shuttingDown)
            return;
        fileData = std::exchange(_currentlyFingerprinting, nullptr);
        stale = _fingerprintingEpoch != _runEpoch;
    }
    if (fileData) {
        if (fingerprint) {
            fileData->setIdentificationState(HLVIdentificationLookingUp);
            fileData->setArtistID(fingerprint->ArtistMBID());
            fileData->setTrackName(fingerprint->TrackName());
            const HLVFingerprint found = *fingerprint;
            const quint64 epoch = _runEpoch;
            std::lock_guard lock(_lock);
            if (!_shuttingDown && !stale) {
                _identificationOpQueue->addOperation([this, fileData, found, epoch] {
                    if (_runEpoch == epoch)
                        identifyReleases(fileData, found);
                });
            }
        } else {
            fileData->setIdentificationState(HLVIdentificationFailed);
            notifyDelegates(fileData);
        }
    }
    clearBusy(_isFingerprintingATrack);
}

void HLVMusicIdentifier::identifyReleases(const std::shared_ptr<HLVFileData>& fileData,
                                          const HLVFingerprint& fingerprint)
{
    if (_terminate)
        return; // stays in state 2
    _isIdentifyingATrack = true;
    notifyDelegates(fileData);
    {
        std::lock_guard lock(_lock);
        _currentlyIdentifying = fileData;
    }
    _recordingReleases->ObtianRecordingReleasesWithRecordingMBID(fingerprint.RecordingMBID(), fingerprint.TrackName(),
                                                                 fingerprint.ArtistMBID());
    waitWhileBusy(_isIdentifyingATrack);
}

void HLVMusicIdentifier::OnRecordingReleasesObtained(const std::shared_ptr<HLVRecordingReleasesGroup>& group)
{
    std::shared_ptr<HLVFileData> fileData;
    {
        std::lock_guard lock(_lock);
        fileData = std::exchange(_currentlyIdentifying, nullptr);
    }
    if (fileData) {
        if (group) {
            fileData->setIdentificationState(HLVIdentificationIdentified);
            fileData->setArtistName(group->ArtistName());
            fileData->setTrackMBID(group->RecordingID());
            fileData->setReleases(group);
        } else {
            fileData->setIdentificationState(HLVIdentificationFailed);
        }
        notifyDelegates(fileData);
    }
    clearBusy(_isIdentifyingATrack);
}
