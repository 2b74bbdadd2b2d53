#include "HLVDataRequest.h"

#include "HLVServiceConfiguration.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

void HLVDataRequestDelegate::dataRequestDidFailWithError(HLVRequestToken, const HLVRequestError&) {}
void HLVDataRequestDelegate::dataRequestDidReceiveResponse(HLVRequestToken, const std::optional<HLVURLResponse>&) {}
void HLVDataRequestDelegate::dataRequestDidReceiveData(HLVRequestToken, const std::optional<QByteArray>&) {}
void HLVDataRequestDelegate::dataRequestFinishedLoading(HLVRequestToken) {}

QByteArray HLVURLResponse::header(const QByteArray& name) const
{
    for (const auto& pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0)
            return pair.second;
    }
    return QByteArray();
}

namespace {

struct Outcome
{
    std::optional<HLVURLResponse> response;
    std::optional<QByteArray> body;
    std::optional<HLVRequestError> error;
};

using Completion = std::function<void(Outcome)>;

Outcome failure(QNetworkReply::NetworkError code, const QString& message)
{
    Outcome outcome;
    outcome.error = HLVRequestError{code, message};
    return outcome;
}

// Calls its completion exactly once: with the outcome, or with a failure when the
// request is dropped unanswered (a posted start discarded at shut-down).
class PendingCompletion
{
public:
    explicit PendingCompletion(Completion completion) : _completion(std::move(completion)) {}
    ~PendingCompletion()
    {
        if (_completion)
            _completion(failure(QNetworkReply::OperationCanceledError, QStringLiteral("The network session closed")));
    }
    void complete(Outcome outcome)
    {
        Completion completion = std::move(_completion);
        _completion = nullptr;
        if (completion)
            completion(std::move(outcome));
    }

private:
    Completion _completion;
};

// The status of a reply that Qt also reports as an error: 4xx and 5xx answers.
// They are responses like any other; only transport failures count as failures.
bool isStatusError(QNetworkReply::NetworkError code, const QVariant& status)
{
    if (!status.isValid() || status.toInt() < 400)
        return false;
    const int value = int(code);
    return (value >= 201 && value <= 299) || value == QNetworkReply::ProtocolInvalidOperationError
        || (value >= 401 && value <= 499);
}

// Completion threads: delegates may block there without holding up the network thread.
QThreadPool* completionPool()
{
    static QThreadPool* pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(8);
        created->setExpiryTimeout(5000);
        return created;
    }();
    return pool;
}

// The one QNetworkAccessManager of the process, living on its own thread.
class NetworkSession
{
public:
    NetworkSession()
    {
        _thread.setObjectName(QStringLiteral("HLVNetwork"));
        _context = new QObject;
        _context->moveToThread(&_thread);
        _thread.start();
        QMetaObject::invokeMethod(
            _context,
            [this] {
                _manager = new QNetworkAccessManager(_context);
                _manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
            },
            Qt::BlockingQueuedConnection);
    }

    void stop()
    {
        _closing = true;
        // Abort what is in flight so that every waiting client gets its answer.
        QMetaObject::invokeMethod(
            _context,
            [this] {
                for (QNetworkReply* reply : _manager->findChildren<QNetworkReply*>())
                    reply->abort();
                delete _context;
                _context = nullptr;
                _manager = nullptr;
            },
            Qt::BlockingQueuedConnection);
        _thread.quit();
        _thread.wait();
    }

    void start(QNetworkRequest request, Completion completion)
    {
        auto pending = std::make_shared<PendingCompletion>(std::move(completion));
        QMetaObject::invokeMethod(
            _context, [this, request, pending] { get(request, pending); }, Qt::QueuedConnection);
    }

private:
    struct ReplyState
    {
        QByteArray body;
        bool tooLarge = false;
    };

    void get(QNetworkRequest request, const std::shared_ptr<PendingCompletion>& pending)
    {
        if (request.transferTimeout() == 0)
            request.setTransferTimeout(int(HLVServiceConfiguration::transferTimeout().count()));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);

        QNetworkReply* reply = _manager->get(request);
        auto state = std::make_shared<ReplyState>();
        const qint64 limit = HLVServiceConfiguration::maximumReplySize();
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, state, limit] {
            if (state->tooLarge)
                return;
            state->body += reply->readAll();
            if (state->body.size() > limit) {
                state->tooLarge = true;
                state->body.clear();
                reply->abort();
            }
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, state, pending] {
            reply->deleteLater();
            pending->complete(outcomeOfReply(reply, *state));
        });
    }

    Outcome outcomeOfReply(QNetworkReply* reply, ReplyState& state) const
    {
        if (state.tooLarge)
            return failure(QNetworkReply::UnknownContentError, QStringLiteral("The reply is too large"));
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError code = reply->error();
        if (code == QNetworkReply::OperationCanceledError) {
            // The transfer time-out is the only thing that cancels a live request.
            return _closing ? failure(code, QStringLiteral("The network session closed"))
                            : failure(QNetworkReply::TimeoutError, QStringLiteral("The request timed out"));
        }
        if (code != QNetworkReply::NoError && !isStatusError(code, status))
            return failure(code, reply->errorString());

        Outcome outcome;
        HLVURLResponse response;
        response.url = reply->url();
        response.statusCode = status.toInt();
        response.headers = reply->rawHeaderPairs();
        outcome.response = std::move(response);
        state.body += reply->readAll();
        outcome.body = std::move(state.body);
        return outcome;
    }

    QThread _thread;
    QObject* _context = nullptr;
    QNetworkAccessManager* _manager = nullptr;
    std::atomic<bool> _closing{false};
};

std::mutex sessionMutex;
NetworkSession* session = nullptr;
bool sessionClosed = false;

void closeSession()
{
    NetworkSession* closing = nullptr;
    {
        std::lock_guard lock(sessionMutex);
        closing = session;
        session = nullptr;
        sessionClosed = true;
    }
    if (closing) {
        closing->stop();
        delete closing;
    }
    completionPool()->waitForDone();
}

// Starts the request, or answers false when no session can run (no application
// object yet, or the application is ending).
bool startOnSession(const QNetworkRequest& request, Completion completion)
{
    std::lock_guard lock(sessionMutex);
    if (!session) {
        if (sessionClosed || !QCoreApplication::instance())
            return false;
        session = new NetworkSession;
        qAddPostRoutine(closeSession);
    }
    session->start(request, std::move(completion));
    return true;
}

bool isWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

// Runs the request; the completion is called exactly once: on the network thread,
// or at once on the calling thread for a request that cannot start.
void perform(const QNetworkRequest& request, Completion completion)
{
    if (!isWebScheme(request.url()))
        completion(failure(QNetworkReply::ProtocolUnknownError, QStringLiteral("Not a web address")));
    else if (!startOnSession(request, completion))
        completion(failure(QNetworkReply::OperationCanceledError, QStringLiteral("No network session")));
}

} // namespace

HLVRequestToken HLVDataRequest::newToken()
{
    const auto value = HLVRequestToken(QRandomGenerator::global()->generate());
    return value == 0 ? 1 : value;
}

HLVRequestToken HLVDataRequest::sendRequest(const QNetworkRequest& request,
                                            std::shared_ptr<HLVDataRequestDelegate> delegate,
                                            HLVRequestToken* token)
{
    const HLVRequestToken fresh = newToken();
    if (token)
        *token = fresh;
    perform(request, [delegate, fresh](Outcome outcome) {
        // Off the network thread, and never inside this call: the caller may hold its own lock.
        completionPool()->start([delegate, fresh, outcome = std::move(outcome)] {
            if (!delegate)
                return;
            if (outcome.error)
                delegate->dataRequestDidFailWithError(fresh, *outcome.error);
            delegate->dataRequestDidReceiveResponse(fresh, outcome.response);
            delegate->dataRequestDidReceiveData(fresh, outcome.body);
            delegate->dataRequestFinishedLoading(fresh);
        });
    });
    return fresh;
}

std::optional<QByteArray> HLVDataRequest::sendSynchronousReturningResponse(const QNetworkRequest& request,
                                                                           std::optional<HLVURLResponse>& response,
                                                                           std::optional<HLVRequestError>& error)
{
    response.reset();
    error.reset();
    const QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread()) {
        error = HLVRequestError{QNetworkReply::OperationNotImplementedError,
                                QStringLiteral("A blocking request on the main thread is refused")};
        return std::nullopt;
    }

    struct Waiter
    {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Outcome> outcome;
    };
    auto waiter = std::make_shared<Waiter>();
    perform(request, [waiter](Outcome outcome) {
        std::lock_guard lock(waiter->mutex);
        waiter->outcome = std::move(outcome);
        waiter->done.notify_all();
    });
    std::unique_lock lock(waiter->mutex);
    waiter->done.wait(lock, [&] { return waiter->outcome.has_value(); });
    response = std::move(waiter->outcome->response);
    error = std::move(waiter->outcome->error);
    return std::move(waiter->outcome->body);
}
