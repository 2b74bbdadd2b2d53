#pragma once

#include "HLVFailure.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

// Tags every asynchronous request; random and never 0, so a client can tell the
// answers to the request it is waiting for from those of a superseded one.
using HLVRequestToken = qint32;

// What the server answered, whatever the status (an HTTP error status is a response too).
struct HLVURLResponse
{
    QUrl url;                                        // the final address, after redirects
    int statusCode = 0;                              // HTTP status
    QList<QPair<QByteArray, QByteArray>> headers;    // as received

    // The value of a header, compared without regard to case; empty when absent.
    QByteArray header(const QByteArray& name) const;
};

// Why a request produced no response: refused or dropped connection, unknown host,
// time-out, a reply larger than the limit, an address that is not http(s).
struct HLVRequestError
{
    QNetworkReply::NetworkError code = QNetworkReply::UnknownNetworkError;
    QString message;
};

// Receives the outcome of one asynchronous request. Every callback is optional
// and arrives on a completion thread of the request layer (never the main
// thread, never the network thread), in this order:
//   dataRequestDidFailWithError   only after a transport failure
//   dataRequestDidReceiveResponse the response, absent after a transport failure
//   dataRequestDidReceiveData     the whole body, absent after a transport failure
//   dataRequestFinishedLoading    always, also after a failure
// Callbacks may block (pause, send a synchronous request, start another request).
class HLVDataRequestDelegate
{
public:
    virtual ~HLVDataRequestDelegate() = default;
    virtual void dataRequestDidFailWithError(HLVRequestToken token, const HLVRequestError& error);
    virtual void dataRequestDidReceiveResponse(HLVRequestToken token, const std::optional<HLVURLResponse>& response);
    virtual void dataRequestDidReceiveData(HLVRequestToken token, const std::optional<QByteArray>& data);
    virtual void dataRequestFinishedLoading(HLVRequestToken token);
};

// The services whose requests the request layer spaces: every request marked
// with a gate leaves at least HLVServiceConfiguration::requestPause() (and a 5%
// margin for jitter) after the previous one through the same gate actually left,
// in the order they were sent.
enum class HLVServiceGate { None = 0, MusicBrainz = 1, AcoustID = 2 };

// One HTTP GET on the process-wide network session: a single QNetworkAccessManager
// on its own thread, redirects followed, bodies over the size limit of
// HLVServiceConfiguration refused. Every request is abandoned when no bytes move
// for the transfer time-out or when its reply is not complete by the reply
// deadline, and carries the program's User-Agent unless it names its own.
// A 503 or 429 answer is retried by the layer itself (after Retry-After, or
// 2 s then 4 s, three tries in all); only the last answer reaches the client.
//
// Asynchronous use:
//     HLVRequestToken token = 0;
//     HLVDataRequest::sendRequest(QNetworkRequest(url), shared_from_this(), &token);
// The token is stored before the request starts; the delegate is held until
// its last callback has been sent.
//
// Blocking use, from a worker thread only (refused on the main thread):
//     std::optional<HLVURLResponse> response;
//     std::optional<HLVRequestError> error;
//     std::optional<QByteArray> body = HLVDataRequest::sendSynchronousReturningResponse(request, response, error);
// The body is absent after a transport failure; check response->statusCode yourself.
class HLVDataRequest
{
public:
    static HLVRequestToken sendRequest(const QNetworkRequest& request,
                                       std::shared_ptr<HLVDataRequestDelegate> delegate,
                                       HLVRequestToken* token = nullptr);

    static std::optional<QByteArray> sendSynchronousReturningResponse(const QNetworkRequest& request,
                                                                      std::optional<HLVURLResponse>& response,
                                                                      std::optional<HLVRequestError>& error);

    // While refused (the program quitting), every request in flight or waiting
    // ends at once with a failure and new ones fail without being sent, so that
    // no worker holds the program open waiting for a slow service.
    static void refuseRequests(bool refuse);

    // A fresh random token, never 0.
    static HLVRequestToken newToken();

    // Sends the request through the gate of its service.
    static void setGate(QNetworkRequest& request, HLVServiceGate gate);

    // Why a request to the named service ("AcoustID") brought no answer to use:
    // unreachable, timed out, rate limited (503 or 429 after the retries) or
    // another status than 200. Absent for a 200 answer.
    static std::optional<HLVFailure> failureOfRequest(const QString& service,
                                                      const std::optional<HLVRequestError>& error,
                                                      const std::optional<HLVURLResponse>& response);

    // The wait a Retry-After value asks for (seconds or an HTTP date), at most
    // the cap; absent when the value is missing or unreadable.
    static std::optional<std::chrono::milliseconds> retryAfterDelay(const QByteArray& value,
                                                                    const QDateTime& now);
};
