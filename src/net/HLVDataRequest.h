#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPair>
#include <QString>
#include <QUrl>
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

// One HTTP GET on the process-wide network session: a single QNetworkAccessManager
// on its own thread, redirects followed, every request aborted after the transfer
// time-out of HLVServiceConfiguration, bodies over its size limit refused.
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

    // A fresh random token, never 0.
    static HLVRequestToken newToken();
};
