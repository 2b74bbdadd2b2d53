#include "HLVFingerprinter.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace {

// Deliveries wait neither behind blocking artwork searches nor behind anything
// else in Qt's global pool.
QThreadPool* deliveryPool()
{
    static QThreadPool* pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(2);
        created->setExpiryTimeout(5000);
        // Like Qt's global pool: no delivery still runs once the application has gone.
        if (QCoreApplication::instance())
            qAddPostRoutine([] { deliveryPool()->waitForDone(); });
        return created;
    }();
    return pool;
}

} // namespace

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
                                              const std::optional<QString>& duration,
                                              const std::optional<HLVFailure>& failure)
{
    if (fingerprint && duration)
        _acoustIDIdentifier->identifyFingerprint(fingerprint, duration);
    else
        scheduleNotification(std::nullopt, failure ? failure
                                                   : HLVFailure::make(HLVFailure::Kind::FingerprintEmpty,
                                                                      QStringLiteral("fpcalc found no fingerprint in the file")));
}

void HLVFingerprinter::OnFingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                                const std::optional<QString>& recordingTitle,
                                                                const std::optional<QString>& artistMBID,
                                                                const std::optional<HLVFailure>& failure)
{
    if (recordingMBID && recordingTitle)
        scheduleNotification(HLVFingerprint(recordingMBID, recordingTitle, artistMBID), std::nullopt);
    else
        scheduleNotification(std::nullopt, failure ? failure
                                                   : HLVFailure::make(HLVFailure::Kind::NoRecording,
                                                                      QStringLiteral("AcoustID knows no recording of this fingerprint")));
}

void HLVFingerprinter::notifyDelegateOfFingerprint(const std::optional<HLVFingerprint>& fingerprint,
                                                   const std::optional<HLVFailure>& failure)
{
    deliver(*_delegate, fingerprint, failure);
}

void HLVFingerprinter::deliver(DelegateSlot& slot, const std::optional<HLVFingerprint>& fingerprint,
                               const std::optional<HLVFailure>& failure)
{
    std::lock_guard lock(slot.mutex);
    if (slot.delegate)
        slot.delegate->OnFingerprintObtained(fingerprint, failure);
}

void HLVFingerprinter::scheduleNotification(const std::optional<HLVFingerprint>& fingerprint,
                                            const std::optional<HLVFailure>& failure)
{
    std::shared_ptr<DelegateSlot> slot = _delegate;
    deliveryPool()->start([slot, fingerprint, failure] { deliver(*slot, fingerprint, failure); });
}
