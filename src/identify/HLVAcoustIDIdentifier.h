#pragma once

#include "HLVAcoustIDRecording.h"
#include "HLVDataRequest.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Told the outcome of one lookup: three strings, or three absent values and the
// reason when nothing was found.
class HLVAcoustIDIdentifierDelegate
{
public:
    virtual ~HLVAcoustIDIdentifierDelegate() = default;
    virtual void OnFingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                          const std::optional<QString>& recordingTitle,
                                                          const std::optional<QString>& artistMBID,
                                                          const std::optional<HLVFailure>& failure) = 0;
};

// Looks one fingerprint up at the AcoustID service and reports the preferred
// recording's MusicBrainz identifier, title and first artist's identifier.
// Each lookup reports exactly once, on a completion thread of the request layer.
// One lookup at a time per identifier. Made through create(): the request in
// flight keeps the identifier alive. The delegate is not owned; it must outlive
// the lookups it asked for, or be cleared with setDelegate(nullptr) first.
class HLVAcoustIDIdentifier : public HLVDataRequestDelegate, public std::enable_shared_from_this<HLVAcoustIDIdentifier>
{
    struct Passkey {};

public:
    static std::shared_ptr<HLVAcoustIDIdentifier> create();
    explicit HLVAcoustIDIdentifier(Passkey) {}

    HLVAcoustIDIdentifierDelegate* delegate() const;
    // Waits for a report in progress, so a delegate that clears itself is not called afterwards.
    void setDelegate(HLVAcoustIDIdentifierDelegate* delegate);

    // Sends the request through the request layer's AcoustID gate, which keeps
    // the service's rate; returns at once.
    void identifyFingerprint(const std::optional<QString>& fingerprint, const std::optional<QString>& duration);

    // The lookup address for a fingerprint and its duration text, both inserted as they are.
    static QUrl lookupAddress(const QString& fingerprint, const QString& duration);

    // The usable recordings of a reply, in the reply's order; empty for any malformed reply.
    static std::vector<HLVAcoustIDRecording> getRecordingsFromJSONData(const QByteArray& data);

    // Why a reply with this status and body gives no recording: the service's
    // error document (a rejected key, the rate limit, another error), a reply
    // that does not read, or no usable recording in it. Absent when it has one.
    static std::optional<HLVFailure> failureOfReply(int statusCode, const QByteArray& data);

    // The recording to report out of a non-empty list, judged against the duration of
    // the lookup in flight: the largest artist group wins (the first listed on a tie),
    // and within it the recording whose length in whole seconds matches.
    std::optional<HLVAcoustIDRecording> getPreferredRecording(const std::vector<HLVAcoustIDRecording>& recordings) const;

    // Forwards the outcome to the delegate, when there is one.
    void fingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                const std::optional<QString>& recordingTitle,
                                                const std::optional<QString>& artistMBID,
                                                const std::optional<HLVFailure>& failure = std::nullopt);

    void dataRequestDidFailWithError(HLVRequestToken token, const HLVRequestError& error) override;
    void dataRequestDidReceiveResponse(HLVRequestToken token, const std::optional<HLVURLResponse>& response) override;
    void dataRequestDidReceiveData(HLVRequestToken token, const std::optional<QByteArray>& data) override;
    void dataRequestFinishedLoading(HLVRequestToken token) override;

private:
    void reportNothingFound(const HLVFailure& failure);

    mutable std::mutex _mutex;            // guards the four fields below
    QByteArray _responseData;
    int _responseCode = 0;
    QString _duration;
    HLVRequestToken _requestToken = 0;    // the request in flight; 0 once it has been reported
    mutable std::recursive_mutex _delegateMutex;   // held while the delegate is told
    HLVAcoustIDIdentifierDelegate* _delegate = nullptr;
};
