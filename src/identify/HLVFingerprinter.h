#pragma once

#include "HLVAcoustIDGenerator.h"
#include "HLVAcoustIDIdentifier.h"
#include "HLVFingerprint.h"

#include <memory>
#include <mutex>
#include <optional>

// Told the recording found for a file, or absent and the reason when none was.
class HLVFingerprinterDelegate
{
public:
    virtual ~HLVFingerprinterDelegate() = default;
    virtual void OnFingerprintObtained(const std::optional<HLVFingerprint>& fingerprint,
                                       const std::optional<HLVFailure>& failure) = 0;
};

// Fingerprints one file with fpcalc and looks the fingerprint up at AcoustID.
// ObtainFingerprintForTrackAtPath blocks its caller for the tool's run only (the
// lookup waits its turn in the request layer's AcoustID gate); the result always
// arrives later, on a thread of the fingerprinter's own small pool (never the
// caller's thread, never the main thread, never behind unrelated work).
// One file at a time: start the next only after OnFingerprintObtained.
// The delegate is not owned; clearing it (or destroying the fingerprinter) waits
// for a report in progress, and reports still queued then go nowhere.
class HLVFingerprinter : public HLVAcoustIDGeneratorDelegate, public HLVAcoustIDIdentifierDelegate
{
public:
    HLVFingerprinter();
    ~HLVFingerprinter() override;
    HLVFingerprinter(const HLVFingerprinter&) = delete;
    HLVFingerprinter& operator=(const HLVFingerprinter&) = delete;

    HLVFingerprinterDelegate* delegate() const;
    void setDelegate(HLVFingerprinterDelegate* delegate);

    void ObtainFingerprintForTrackAtPath(const std::optional<QString>& path);

    // Sends OnFingerprintObtained to the delegate, on the calling thread.
    void notifyDelegateOfFingerprint(const std::optional<HLVFingerprint>& fingerprint,
                                     const std::optional<HLVFailure>& failure = std::nullopt);

    // The generator, so that a test can name another tool.
    HLVAcoustIDGenerator& acoustIDGenerator() { return _acoustIDGenerator; }

    void OnFingerprintGenerated(const std::optional<QString>& fingerprint, const std::optional<QString>& duration,
                                const std::optional<HLVFailure>& failure) override;
    void OnFingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                  const std::optional<QString>& recordingTitle,
                                                  const std::optional<QString>& artistMBID,
                                                  const std::optional<HLVFailure>& failure) override;

private:
    // Outlives the fingerprinter while reports are queued.
    struct DelegateSlot
    {
        std::recursive_mutex mutex;   // held while the delegate is told
        HLVFingerprinterDelegate* delegate = nullptr;
    };
    static void deliver(DelegateSlot& slot, const std::optional<HLVFingerprint>& fingerprint,
                        const std::optional<HLVFailure>& failure);
    void scheduleNotification(const std::optional<HLVFingerprint>& fingerprint,
                              const std::optional<HLVFailure>& failure);

    HLVAcoustIDGenerator _acoustIDGenerator;
    std::shared_ptr<HLVAcoustIDIdentifier> _acoustIDIdentifier;
    std::shared_ptr<DelegateSlot> _delegate;
};
