#include "HLVFingerprinter.h"

#include <QThreadPool>

HLVFingerprinter::HLVFingerprinter()
    : _acoustIDIdentifier(HLVAcoustIDIdentifier::create()), _delegate(std::make_shared<DelegateSlot>())
{
    _acoustIDGenerator.setDelegate(this);
    _acoustIDIdentifier->setDelegate(this);
}

HLVFingerprinter::~HLVFingerprinter()
{
    // The identifier may outlive us inside a request in flight.
    _acoustIDIdentifier->setDelegate(nullptr);
    setDelegate(nullptr);
}

HLVFingerprinterDelegate* HLVFingerprinter::delegate() const
{
    std::lock_guard lock(_delegate->mutex);
    return _delegate->delegate;
}

void HLVFingerprinter::setDelegate(HLVFingerprinterDelegate* delegate)
{
    std::lock_guard lock(_delegate->mutex);
    _delegate->delegate = delegate;
}

void HLVFingerprinter::ObtainFingerprintForTrackAtPath(const std::optional<QString>& path)
{
    if (!delegate())
        return;
    _acoustIDGenerator.generateFingerprintForFileAtPath(path);
}

void HLVFingerprinter::OnFingerprintGenerated(const std::optional<QString>& fingerprint,
                                              const std::optional<QString>& duration)
{
    if (fingerprint && duration)
        _acoustIDIdentifier->identifyFingerprint(fingerprint, duration);
    else
        scheduleNotification(std::nullopt);
}

void HLVFingerprinter::OnFingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                                const std::optional<QString>& recordingTitle,
                                                                const std::optional<QString>& artistMBID)
{
    if (recordingMBID && recordingTitle)
        scheduleNotification(HLVFingerprint(recordingMBID, recordingTitle, artistMBID));
    else
        scheduleNotification(std::nullopt);
}

void HLVFingerprinter::notifyDelegateOfFingerprint(const std::optional<HLVFingerprint>& fingerprint)
{
    deliver(*_delegate, fingerprint);
}

void HLVFingerprinter::deliver(DelegateSlot& slot, const std::optional<HLVFingerprint>& fingerprint)
{
    std::lock_guard lock(slot.mutex);
    if (slot.delegate)
        slot.delegate->OnFingerprintObtained(fingerprint);
}

void HLVFingerprinter::scheduleNotification(const std::optional<HLVFingerprint>& fingerprint)
{
    std::shared_ptr<DelegateSlot> slot = _delegate;
    QThreadPool::globalInstance()->start([slot, fingerprint] { deliver(*slot, fingerprint); }, -1);
}
