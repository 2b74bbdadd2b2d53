#include "HLVDataRequest.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzServer.h"
#include "HLVServiceConfiguration.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTcpServer>
#include <QThread>
#include <QTimeZone>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <mutex>
#include <set>
#include <thread>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;

namespace {

bool onMainThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Records every callback with its token, in arrival order.
class RecordingDelegate : public HLVDataRequestDelegate
{
public:
    struct Event
    {
        QString name;
        HLVRequestToken token = 0;
        std::optional<HLVURLResponse> response;
        std::optional<QByteArray> data;
        bool onMainThread = false;
    };

    void dataRequestDidFailWithError(HLVRequestToken token, const HLVRequestError&) override
    {
        record({QStringLiteral("fail"), token, {}, {}, onMainThread()});
    }
    void dataRequestDidReceiveResponse(HLVRequestToken token, const std::optional<HLVURLResponse>& response) override
    {
        record({QStringLiteral("response"), token, response, {}, onMainThread()});
    }
    void dataRequestDidReceiveData(HLVRequestToken token, const std::optional<QByteArray>& data) override
    {
        record({QStringLiteral("data"), token, {}, data, onMainThread()});
    }
    void dataRequestFinishedLoading(HLVRequestToken token) override
    {
        record({QStringLiteral("finished"), token, {}, {}, onMainThread()});
    }

    bool waitForFinish(std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock lock(_mutex);
        return _changed.wait_for(lock, timeout, [&] {
            return !_events.empty() && _events.back().name == QLatin1String("finished");
        });
    }

    std::vector<Event> events()
    {
        std::lock_guard lock(_mutex);
        return _events;
    }

    QStringList names()
    {
        QStringList names;
        for (const Event& event : events())
            names << event.name;
        return names;
    }

private:
    void record(Event event)
    {
        std::lock_guard lock(_mutex);
        _events.push_back(std::move(event));
        _changed.notify_all();
    }

    std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<Event> _events;
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QNetworkRequest requestFor(const QString& address)
{
    return QNetworkRequest(QUrl(address));
}

class HLVDataRequestTest : public ::testing::Test
{
protected:
    void TearDown() override { HLVServiceConfiguration::resetPacingForTesting(); }
    HLVLoopbackServer server;
};

} // namespace

TEST_F(HLVDataRequestTest, SuccessDeliversResponseBodyAndFinishWithOneTokenOffTheMainThread)
{
    server.setReply("/hello", Reply::json(R"({"a":1})"));
    server.setReply("/missing", Reply::withStatus(404, "gone"));
    server.setReply("/old", Reply::redirect("/hello"));

    std::set<HLVRequestToken> tokens;
    for (const char* path : {"/hello", "/missing", "/old"}) {
        SCOPED_TRACE(path);
        auto delegate = std::make_shared<RecordingDelegate>();
        QNetworkRequest request = requestFor(server.baseAddress() + QLatin1String(path));
        request.setRawHeader("X-Probe", "probe");
        HLVRequestToken stored = 0;
        const HLVRequestToken returned = HLVDataRequest::sendRequest(request, delegate, &stored);
        ASSERT_TRUE(delegate->waitForFinish());
        EXPECT_NE(returned, 0);
        EXPECT_EQ(stored, returned);
        tokens.insert(returned);

        ASSERT_EQ(delegate->names(), QStringList({"response", "data", "finished"}));
        const auto events = delegate->events();
        for (const auto& event : events) {
            EXPECT_EQ(event.token, returned);
            EXPECT_FALSE(event.onMainThread);
        }
        ASSERT_TRUE(events[0].response);
        ASSERT_TRUE(events[1].data);
        if (QLatin1String(path) == QLatin1String("/missing")) {
            // An HTTP error status is an answer like any other, not a failure.
            EXPECT_EQ(events[0].response->statusCode, 404);
            EXPECT_EQ(*events[1].data, "gone");
        } else {
            EXPECT_EQ(events[0].response->statusCode, 200);
            EXPECT_EQ(events[0].response->url.path(), "/hello");
            EXPECT_EQ(events[0].response->header("content-type"), "application/json; charset=utf-8");
            EXPECT_EQ(*events[1].data, R"({"a":1})");
        }
    }
    EXPECT_EQ(tokens.size(), 3u);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);   // the redirect is followed: /old, then /hello
    EXPECT_EQ(requests[2].path, "/old");
    EXPECT_EQ(requests[3].path, "/hello");
    EXPECT_EQ(requests[0].header("x-probe"), "probe");
}

TEST_F(HLVDataRequestTest, TransportFailuresSendFailThenAbsentResponseAndBodyThenFinish)
{
    HLVServiceConfiguration::setTransferTimeoutForTesting(300ms);
    HLVServiceConfiguration::setMaximumReplySizeForTesting(4096);
    server.setReply("/drop", Reply::drop());
    server.setReply("/silent", Reply::noAnswer());
    server.setReply("/cut", Reply::truncated(QByteArray(2000, 'x')));
    server.setReply("/huge", Reply::bytes(QByteArray(100000, 'x'), "text/plain"));

    const QStringList addresses = {
        QStringLiteral("http://127.0.0.1:%1/refused").arg(closedPort()),
        server.baseAddress() + "/drop",
        server.baseAddress() + "/silent",   // the time-out must end it
        server.baseAddress() + "/cut",
        server.baseAddress() + "/huge",
        QStringLiteral("file:///etc/hostname"),
    };
    const auto started = std::chrono::steady_clock::now();
    for (const QString& address : addresses) {
        SCOPED_TRACE(address.toStdString());
        auto delegate = std::make_shared<RecordingDelegate>();
        const HLVRequestToken token = HLVDataRequest::sendRequest(requestFor(address), delegate);
        ASSERT_TRUE(delegate->waitForFinish(5s));
        EXPECT_EQ(delegate->names(), QStringList({"fail", "response", "data", "finished"}));
        for (const auto& event : delegate->events()) {
            EXPECT_EQ(event.token, token);
            EXPECT_FALSE(event.response);
            EXPECT_FALSE(event.data);
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

TEST_F(HLVDataRequestTest, SynchronousRequestAnswersOnWorkersAndIsRefusedOnTheMainThread)
{
    server.setReply("/sync", Reply::bytes("body", "text/plain"));

    std::optional<HLVURLResponse> response;
    std::optional<HLVRequestError> error;
    EXPECT_FALSE(HLVDataRequest::sendSynchronousReturningResponse(requestFor(server.baseAddress() + "/sync"),
                                                                  response, error));
    EXPECT_TRUE(error);
    EXPECT_TRUE(server.requests().empty());

    auto worker = std::async(std::launch::async, [&] {
        std::optional<HLVURLResponse> okResponse, failedResponse;
        std::optional<HLVRequestError> okError, failedError;
        auto body = HLVDataRequest::sendSynchronousReturningResponse(requestFor(server.baseAddress() + "/sync"),
                                                                     okResponse, okError);
        EXPECT_EQ(body, QByteArray("body"));
        EXPECT_FALSE(okError);
        EXPECT_TRUE(okResponse && okResponse->statusCode == 200);

        const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closedPort());
        body = HLVDataRequest::sendSynchronousReturningResponse(requestFor(refused), failedResponse, failedError);
        EXPECT_FALSE(body);
        EXPECT_FALSE(failedResponse);
        EXPECT_TRUE(failedError);
    });
    ASSERT_EQ(worker.wait_for(10s), std::future_status::ready);
    worker.get();
}

TEST_F(HLVDataRequestTest, ACallbackMayBlockOnAnotherRequest)
{
    // A client that falls back to a second request from inside a callback must not stall the session.
    class ChainingDelegate : public RecordingDelegate
    {
    public:
        explicit ChainingDelegate(QString address) : _address(std::move(address)) {}
        void dataRequestFinishedLoading(HLVRequestToken token) override
        {
            std::optional<HLVURLResponse> response;
            std::optional<HLVRequestError> error;
            chained = HLVDataRequest::sendSynchronousReturningResponse(requestFor(_address), response, error);
            RecordingDelegate::dataRequestFinishedLoading(token);
        }
        std::optional<QByteArray> chained;

    private:
        QString _address;
    };
    server.setReply("/first", Reply::bytes("1", "text/plain"));
    server.setReply("/second", Reply::bytes("2", "text/plain"));
    auto delegate = std::make_shared<ChainingDelegate>(server.baseAddress() + "/second");
    HLVDataRequest::sendRequest(requestFor(server.baseAddress() + "/first"), delegate);
    ASSERT_TRUE(delegate->waitForFinish());
    EXPECT_EQ(delegate->chained, QByteArray("2"));
}

TEST(HLVMusicBrainzServer, CachesOneAddressAndFallsBackToTheDefault)
{
    // The first setting, raced: threads ask together while the configured
    // address keeps changing, so their determinations differ. One of them must
    // win and every thread answer it. Without ThreadSanitizer this catches an
    // answer that is not the cached one or a later setting that overwrites the
    // first; under ThreadSanitizer (CI) it also catches an unguarded cache.
    for (int round = 0; round < 200; ++round) {
        qputenv("CADRELLE_MUSICBRAINZ_URL", "http://mirror-a.invalid:5000/");
        HLVMusicBrainzServer::resetForTesting();
        std::atomic<bool> asking{true};
        std::thread flipper([&] {
            for (int flip = 0; asking; ++flip)
                qputenv("CADRELLE_MUSICBRAINZ_URL", flip % 2 ? "http://mirror-b.invalid" : "http://mirror-a.invalid:5000");
        });
        std::latch start(16);
        std::vector<std::future<QString>> answers;
        for (int i = 0; i < 16; ++i) {
            answers.push_back(std::async(std::launch::async, [&start] {
                start.arrive_and_wait();
                return HLVMusicBrainzServer::serverAddress();
            }));
        }
        QStringList seen;
        for (auto& answer : answers)
            seen << answer.get();
        asking = false;
        flipper.join();
        seen.removeDuplicates();
        ASSERT_EQ(seen.size(), 1) << seen.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(HLVMusicBrainzServer::serverAddress(), seen.first());
    }

    // The cache holds even when the configured default changes; a fallback takes the new default.
    qputenv("CADRELLE_MUSICBRAINZ_URL", "http://mirror.invalid:5000/");
    HLVMusicBrainzServer::resetForTesting();
    EXPECT_EQ(HLVMusicBrainzServer::serverAddress(), "http://mirror.invalid:5000");
    qputenv("CADRELLE_MUSICBRAINZ_URL", "http://other.invalid");
    EXPECT_EQ(HLVMusicBrainzServer::serverAddress(), "http://mirror.invalid:5000");
    EXPECT_EQ(HLVMusicBrainzServer::fallback(), "http://other.invalid");
    EXPECT_EQ(HLVMusicBrainzServer::serverAddress(), "http://other.invalid");

    qunsetenv("CADRELLE_MUSICBRAINZ_URL");
    HLVMusicBrainzServer::resetForTesting();
    EXPECT_EQ(HLVMusicBrainzServer::fallback(), "https://musicbrainz.org");
    HLVMusicBrainzServer::resetForTesting();
}

TEST(HLVMusicBrainzServer, CommonHeadersReachTheServer)
{
    HLVLoopbackServer server;
    server.setReply("/ws/2/artist/", Reply::xml("<metadata/>"));
    QNetworkRequest request = requestFor(server.baseAddress() + "/ws/2/artist/?query=artist:x");
    HLVMusicBrainzServer::setCommonHeaders(request);
    auto delegate = std::make_shared<RecordingDelegate>();
    HLVDataRequest::sendRequest(request, delegate);
    ASSERT_TRUE(delegate->waitForFinish());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query, "query=artist:x");
    EXPECT_EQ(requests[0].header("User-Agent"), HLVServiceConfiguration::userAgent().toUtf8());
    EXPECT_EQ(requests[0].header("Referer"), HLVServiceConfiguration::homePageAddress().toUtf8());
}

TEST(HLVServiceConfiguration, RetryAfterIsReadAsSecondsOrADateAndCapped)
{
    const QDateTime now = QDateTime(QDate(2015, 10, 21), QTime(7, 28, 0), QTimeZone::utc());
    using Delay = std::optional<std::chrono::milliseconds>;
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("2", now), Delay(2s));
    EXPECT_EQ(HLVDataRequest::retryAfterDelay(" 0 ", now), Delay(0s));
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("3600", now), Delay(30s));
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("-5", now), Delay(0s));
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("Wed, 21 Oct 2015 07:28:12 GMT", now), Delay(12s));
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("Wed, 21 Oct 2015 09:00:00 GMT", now), Delay(30s));
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("Wed, 21 Oct 2015 07:00:00 GMT", now), Delay(0s));
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("soon", now), std::nullopt);
    EXPECT_EQ(HLVDataRequest::retryAfterDelay("", now), std::nullopt);
}

TEST(HLVServiceConfiguration, TheAcoustIDKeyComesFromTheRunTheEnvironmentOrThePreference)
{
    const QString builtIn = HLVServiceConfiguration::acoustIDKey();
    QSettings settings(QStringLiteral("Cadrelle"), QStringLiteral("Cadrelle"));
    settings.setValue(HLVServiceConfiguration::acoustIDKeyPreference, QStringLiteral("from-preferences"));
    settings.sync();
    EXPECT_EQ(HLVServiceConfiguration::acoustIDKey(), "from-preferences");
    qputenv("CADRELLE_ACOUSTID_KEY", "from-environment");
    EXPECT_EQ(HLVServiceConfiguration::acoustIDKey(), "from-environment");
    HLVServiceConfiguration::setAcoustIDKeyForSession(QStringLiteral(" from-command-line "));
    EXPECT_EQ(HLVServiceConfiguration::acoustIDKey(), "from-command-line");

    HLVServiceConfiguration::setAcoustIDKeyForSession(QString());
    qunsetenv("CADRELLE_ACOUSTID_KEY");
    settings.remove(HLVServiceConfiguration::acoustIDKeyPreference);
    settings.sync();
    EXPECT_EQ(HLVServiceConfiguration::acoustIDKey(), builtIn);
}
