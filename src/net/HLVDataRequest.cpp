#include "HLVDataRequest.h"

#include "HLVServiceConfiguration.h"
#include "HLVThreadSanitizer.h"

#include <QCoreApplication>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QRandomGenerator>
#include <QThread>
#include <QThreadPool>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <condition_variable>
#include <functional>
#include <map>
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

constexpr auto gateAttribute = QNetworkRequest::Attribute(QNetworkRequest::User + 71);
constexpr int gateCount = 3;

bool isRefusal(int status)
{
    return status == 503 || status == 429;
}

// Set while the program quits: nothing is sent and nothing waits.
std::atomic<bool> refusing{false};

// One request on its way: it may be sent again after a refusal.
struct Job
{
    QNetworkRequest request;
    std::shared_ptr<PendingCompletion> pending;
    int gate = 0;
    int tries = 0;
    std::chrono::steady_clock::time_point notBefore;
};

// The one QNetworkAccessManager of the process, living on its own thread. The
// gates, the retries and the deadlines are kept there with timers, so no thread
// ever sleeps for them; everything below except start() and stop() runs on the
// network thread only.
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
                for (Gate& gate : _gates) {
                    gate.timer = new QTimer(_context);
                    gate.timer->setSingleShot(true);
                    gate.timer->setTimerType(Qt::PreciseTimer);
                }
                for (int index = 1; index < gateCount; ++index)
                    QObject::connect(_gates[index].timer, &QTimer::timeout, _context, [this, index] { pump(index); });
            },
            Qt::BlockingQueuedConnection);
    }

    void stop()
    {
        _closing = true;
        // Abort what is in flight and drop what waits, so that every waiting client gets its answer.
        QMetaObject::invokeMethod(
            _context,
            [this] {
                dropAll();
                delete _context;
                _context = nullptr;
                _manager = nullptr;
                // The gates are destroyed with the session, on the stopping thread.
                HLVThreadSanitizer::handOver(this);
            },
            Qt::BlockingQueuedConnection);
        _thread.quit();
        _thread.wait();
        HLVThreadSanitizer::takeOver(this);
    }

    // Ends every request in flight or waiting at once; each client gets its failure.
    void abandonAll()
    {
        QMetaObject::invokeMethod(_context, [this] { dropAll(); }, Qt::BlockingQueuedConnection);
    }

    void start(QNetworkRequest request, Completion completion)
    {
        auto job = std::make_shared<Job>();
        job->gate = std::clamp(request.attribute(gateAttribute).toInt(), 0, gateCount - 1);
        job->request = std::move(request);
        job->pending = std::make_shared<PendingCompletion>(std::move(completion));
        // The network thread only copies the job: Qt may drop the posted function,
        // and the job with it, on this thread afterwards.
        HLVThreadSanitizer::handOver(job.get());
        QMetaObject::invokeMethod(
            _context,
            [this, job] {
                HLVThreadSanitizer::takeOver(job.get());
                enqueue(*job);
            },
            Qt::QueuedConnection);
    }

private:
    using Clock = std::chrono::steady_clock;

    struct Gate
    {
        std::deque<Job> waiting;
        std::optional<Clock::time_point> lastSent;
        QTimer* timer = nullptr;
    };

    struct ReplyState
    {
        QByteArray body;
        bool tooLarge = false;
        bool pastDeadline = false;
    };

    // Drops what waits and aborts what is in flight; each client gets its failure.
    void dropAll()
    {
        for (Gate& gate : _gates)
            gate.waiting.clear();
        // Retries waiting out a delay; their timers then find nothing.
        std::map<quint64, Job> delayed;
        delayed.swap(_delayed);
        for (QNetworkReply* reply : _manager->findChildren<QNetworkReply*>())
            reply->abort();
    }

    void enqueue(Job job)
    {
        if (_closing || refusing)
            return;   // the job's completion reports the closed session
        if (job.gate == 0) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(job.notBefore - Clock::now());
            if (wait.count() <= 0) {
                send(std::move(job));
                return;
            }
            // A retry waiting out its delay is kept here, not in the timer, so
            // that dropping everything reaches it too.
            const quint64 key = ++_delayedKeys;
            _delayed.emplace(key, std::move(job));
            QTimer::singleShot(wait, Qt::PreciseTimer, _context, [this, key] {
                const auto found = _delayed.find(key);
                if (found == _delayed.end())
                    return;
                Job due = std::move(found->second);
                _delayed.erase(found);
                send(std::move(due));
            });
            return;
        }
        const int index = job.gate;
        _gates[index].waiting.push_back(std::move(job));
        pump(index);
    }

    // Sends the gate's first waiting request when its time has come, else sets
    // the gate's timer for that time. First in, first out.
    void pump(int index)
    {
        Gate& gate = _gates[index];
        while (!gate.waiting.empty() && !_closing) {
            const auto now = Clock::now();
            auto due = gate.waiting.front().notBefore;
            if (gate.lastSent) {
                // A little over the pause (5%), so that jitter on the way cannot bring
                // two arrivals at the service closer together than the pause.
                const auto pause = HLVServiceConfiguration::requestPause();
                due = std::max(due, *gate.lastSent + pause + pause / 20);
            }
            if (due > now) {
                // Rounded up: a timer never makes the spacing shorter.
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
                gate.timer->start(int(std::max<qint64>(1, wait.count())));
                return;
            }
            Job job = std::move(gate.waiting.front());
            gate.waiting.pop_front();
            gate.lastSent = now;
            send(std::move(job));
        }
    }

    void send(Job job)
    {
        if (_closing || refusing)
            return;
        ++job.tries;
        QNetworkRequest request = job.request;
        if (request.transferTimeout() == 0)
            request.setTransferTimeout(int(HLVServiceConfiguration::transferTimeout().count()));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        if (!request.hasRawHeader("User-Agent"))
            request.setRawHeader("User-Agent", HLVServiceConfiguration::userAgent().toUtf8());

        QNetworkReply* reply = _manager->get(request);
        if (job.gate != 0) {
            // Paced from when the request left, not from when it was handed over: a new
            // connection or a busy network thread can hold it back, and the next one
            // must not catch up with it at the service.
            QObject::connect(reply, &QNetworkReply::requestSent, reply, [this, index = job.gate] {
                Gate& gate = _gates[index];
                gate.lastSent = gate.lastSent ? std::max(*gate.lastSent, Clock::now()) : Clock::now();
            });
        }
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
        // The inactivity time-out misses a server that trickles a byte now and then.
        auto* deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        deadline->setTimerType(Qt::PreciseTimer);
        QObject::connect(deadline, &QTimer::timeout, reply, [reply, state] {
            state->pastDeadline = true;
            reply->abort();
        });
        deadline->start(int(HLVServiceConfiguration::replyDeadline().count()));
        QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, state, job] {
            reply->deleteLater();
            finished(job, reply, *state);
        });
    }

    void finished(Job job, QNetworkReply* reply, ReplyState& state)
    {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!_closing && !refusing && !state.tooLarge && !state.pastDeadline && reply->error() != QNetworkReply::OperationCanceledError
            && isRefusal(status.toInt()) && job.tries < HLVServiceConfiguration::maximumTries) {
            // The same request again, after the wait the server asks for or our own back-off.
            const auto backoff = HLVServiceConfiguration::retryBackoff() * (1 << (job.tries - 1));
            const auto asked = HLVDataRequest::retryAfterDelay(reply->rawHeader("Retry-After"),
                                                               QDateTime::currentDateTimeUtc());
            job.notBefore = Clock::now() + (asked ? *asked : backoff);
            enqueue(std::move(job));
            return;
        }
        job.pending->complete(outcomeOfReply(reply, state));
    }

    Outcome outcomeOfReply(QNetworkReply* reply, ReplyState& state) const
    {
        if (state.tooLarge)
            return failure(QNetworkReply::UnknownContentError, QStringLiteral("The reply is too large"));
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError code = reply->error();
        if (code == QNetworkReply::OperationCanceledError) {
            // Only the time-outs cancel a live request.
            if (_closing || refusing)
                return failure(code, QStringLiteral("The network session closed"));
            return failure(QNetworkReply::TimeoutError, state.pastDeadline ? QStringLiteral("The reply took too long")
                                                                           : QStringLiteral("The request timed out"));
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
    std::array<Gate, gateCount> _gates;   // [0] unused: requests without a gate go at once
    std::map<quint64, Job> _delayed;      // retries of requests without a gate, by key
    quint64 _delayedKeys = 0;
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
    if (refusing)
        return false;
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

void HLVDataRequest::refuseRequests(bool refuse)
{
    NetworkSession* running = nullptr;
    {
        std::lock_guard lock(sessionMutex);
        refusing = refuse;
        running = session;
    }
    // Outside the lock: a client answered on the network thread may send again
    // (and be refused) meanwhile. Only the application object's end deletes the session.
    if (refuse && running)
        running->abandonAll();
}

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
        auto delivered = std::make_shared<Outcome>(std::move(outcome));
        HLVThreadSanitizer::handOver(delivered.get());
        completionPool()->start([delegate, fresh, delivered] {
            HLVThreadSanitizer::takeOver(delivered.get());
            if (!delegate)
                return;
            const Outcome& outcome = *delivered;
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

void HLVDataRequest::setGate(QNetworkRequest& request, HLVServiceGate gate)
{
    request.setAttribute(gateAttribute, int(gate));
}

std::optional<std::chrono::milliseconds> HLVDataRequest::retryAfterDelay(const QByteArray& value, const QDateTime& now)
{
    const QString text = QString::fromLatin1(value).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    std::chrono::milliseconds delay{0};
    bool isNumber = false;
    const qint64 seconds = text.toLongLong(&isNumber);
    if (isNumber) {
        delay = std::chrono::seconds(std::clamp<qint64>(seconds, 0, HLVServiceConfiguration::maximumRetryAfter.count()));
    } else {
        // An HTTP date: "Wed, 21 Oct 2015 07:28:00 GMT".
        QDateTime when = QLocale::c().toDateTime(text, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
        if (!when.isValid())
            return std::nullopt;
        when.setTimeZone(QTimeZone::utc());
        delay = std::chrono::milliseconds(std::max<qint64>(0, now.msecsTo(when)));
    }
    return std::min<std::chrono::milliseconds>(delay, HLVServiceConfiguration::maximumRetryAfter);
}

std::optional<HLVFailure> HLVDataRequest::failureOfRequest(const QString& service,
                                                           const std::optional<HLVRequestError>& error,
                                                           const std::optional<HLVURLResponse>& response)
{
    using Kind = HLVFailure::Kind;
    if (error || !response) {
        if (error && error->code == QNetworkReply::TimeoutError)
            return HLVFailure::make(Kind::TimedOut, QStringLiteral("%1 did not answer in time").arg(service));
        return HLVFailure::make(Kind::Unreachable, QStringLiteral("cannot reach %1").arg(service));
    }
    if (isRefusal(response->statusCode))
        return HLVFailure::make(Kind::RateLimited, QStringLiteral("rate limited by %1").arg(service));
    if (response->statusCode != 200)
        return HLVFailure::make(Kind::BadReply,
                                QStringLiteral("%1 answered with status %2").arg(service).arg(response->statusCode));
    return std::nullopt;
}
