#include "HLVAcoustIDIdentifier.h"
#include "HLVLoopbackServer.h"
#include "HLVServiceConfiguration.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;

namespace {

struct Report
{
    std::optional<QString> recordingMBID;
    std::optional<QString> title;
    std::optional<QString> artistMBID;
    std::optional<HLVFailure> failure;
};

class RecordingDelegate : public HLVAcoustIDIdentifierDelegate
{
public:
    void OnFingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                  const std::optional<QString>& recordingTitle,
                                                  const std::optional<QString>& artistMBID,
                                                  const std::optional<HLVFailure>& failure) override
    {
        std::lock_guard lock(_mutex);
        _reports.push_back({recordingMBID, recordingTitle, artistMBID, failure});
        _changed.notify_all();
    }

    // Waits for the next report, then a little longer to catch a second one.
    std::vector<Report> reportsAfterOne()
    {
        std::unique_lock lock(_mutex);
        _changed.wait_for(lock, 10s, [&] { return !_reports.empty(); });
        _changed.wait_for(lock, 100ms, [&] { return _reports.size() > 1; });
        std::vector<Report> reports;
        reports.swap(_reports);
        return reports;
    }

private:
    std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<Report> _reports;
};

QJsonObject recording(const char* id, const char* title, std::optional<double> duration, const char* artistId)
{
    QJsonObject object{{"id", id}, {"title", title}};
    if (duration)
        object.insert("duration", *duration);
    if (artistId)
        object.insert("artists", QJsonArray{QJsonObject{{"id", artistId}, {"name", QString("Name of ") + artistId}}});
    return object;
}

QByteArray lookupReply(const std::vector<std::vector<QJsonObject>>& results)
{
    QJsonArray resultArray;
    for (const auto& recordings : results) {
        QJsonArray recordingArray;
        for (const auto& object : recordings)
            recordingArray.append(object);
        resultArray.append(QJsonObject{{"id", "result"}, {"score", 0.9}, {"recordings", recordingArray}});
    }
    return QJsonDocument(QJsonObject{{"status", "ok"}, {"results", resultArray}}).toJson(QJsonDocument::Compact);
}

QString lookupQuery(const QString& fingerprint, const QString& duration)
{
    return "client=pQ4vTn8r&meta=recordings&duration=" + duration + "&fingerprint=" + fingerprint;
}

class HLVAcoustIDIdentifierTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("CADRELLE_ACOUSTID_URL", server.baseAddress().toUtf8());
        qunsetenv("CADRELLE_ACOUSTID_KEY");
        HLVServiceConfiguration::setRequestPauseForTesting(0ms);
        HLVServiceConfiguration::setRetryBackoffForTesting(5ms);
        identifier->setDelegate(&delegate);
    }
    void TearDown() override
    {
        identifier->setDelegate(nullptr);
        qunsetenv("CADRELLE_ACOUSTID_URL");
        qunsetenv("CADRELLE_ACOUSTID_KEY");
        HLVServiceConfiguration::resetPacingForTesting();
    }

    // Routes a reply to the lookup of this fingerprint and duration.
    void serve(const QString& fingerprint, const QString& duration, const Reply& reply)
    {
        server.setReply("/v2/lookup", lookupQuery(fingerprint, duration), reply);
    }

    // Looks up a fingerprint and answers the one report it yields.
    Report lookUp(const QString& fingerprint, const QString& duration)
    {
        identifier->identifyFingerprint(fingerprint, duration);
        const auto reports = delegate.reportsAfterOne();
        EXPECT_EQ(reports.size(), 1u) << fingerprint.toStdString();
        return reports.empty() ? Report{} : reports.front();
    }

    HLVLoopbackServer server;
    RecordingDelegate delegate;
    std::shared_ptr<HLVAcoustIDIdentifier> identifier = HLVAcoustIDIdentifier::create();
};

} // namespace

TEST_F(HLVAcoustIDIdentifierTest, SendsTheQueryExactlyAndReportsTheRecording)
{
    const QString fingerprint = "AQADtMmybfGO8NCNEESLnzHyXNOHeHnG-_1d";
    serve(fingerprint, "215", Reply::json(lookupReply({{recording("rec-1", "Song", 215, "artist-1")}})));
    const Report report = lookUp(fingerprint, "215");
    EXPECT_EQ(report.recordingMBID, "rec-1");
    EXPECT_EQ(report.title, "Song");
    EXPECT_EQ(report.artistMBID, "artist-1");

    qputenv("CADRELLE_ACOUSTID_KEY", "OwnKey12");
    identifier->identifyFingerprint(QStringLiteral("FP"), QStringLiteral("7"));
    delegate.reportsAfterOne();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/v2/lookup");
    EXPECT_EQ(requests[0].query, lookupQuery(fingerprint, "215"));
    EXPECT_EQ(requests[1].query, "client=OwnKey12&meta=recordings&duration=7&fingerprint=FP");
}

TEST_F(HLVAcoustIDIdentifierTest, PrefersTheLargestArtistGroupThenTheMatchingDuration)
{
    // Artist X has two recordings across two results; Y one. The duration picks within X.
    const QByteArray grouped = lookupReply({
        {recording("x-first", "Song", 200, "X"), recording("y-only", "Song", 215, "Y")},
        {recording("x-second", "Song (Live)", 215.7, "X")},
    });
    serve("grouped", "215", Reply::json(grouped));
    serve("grouped", "999", Reply::json(grouped));
    serve("grouped", "", Reply::json(grouped));
    EXPECT_EQ(lookUp("grouped", "215").recordingMBID, "x-second");
    EXPECT_EQ(lookUp("grouped", "999").recordingMBID, "x-first");   // no match: the group's first
    EXPECT_EQ(lookUp("grouped", "").recordingMBID, "x-first");

    // Two groups of two: the artist listed first wins, even though the other has the matching length.
    const QByteArray tied = lookupReply({{recording("y-1", "A", 100, "Y"), recording("x-1", "B", 215, "X"),
                                          recording("x-2", "B", 215, "X"), recording("y-2", "A", 215, "Y")}});
    serve("tied", "215", Reply::json(tied));
    const Report tie = lookUp("tied", "215");
    EXPECT_EQ(tie.recordingMBID, "y-2");
    EXPECT_EQ(tie.artistMBID, "Y");

    // One usable recording is taken whatever its length; those without an artist id do not count.
    QJsonObject nameless = recording("no-id", "Song", 215, nullptr);
    nameless.insert("artists", QJsonArray{QJsonObject{{"name", "Anonymous"}}});
    serve("single", "215",
          Reply::json(lookupReply({{recording("no-artists", "Song", 215, nullptr), nameless,
                                    recording("usable", "Song", 10, "Z")}})));
    EXPECT_EQ(lookUp("single", "215").recordingMBID, "usable");
}

TEST_F(HLVAcoustIDIdentifierTest, BadRepliesReportNothingFoundExactlyOnce)
{
    HLVServiceConfiguration::setTransferTimeoutForTesting(300ms);
    serve("not-json", "215", Reply::bytes("<html>Service down</html>", "text/html"));
    serve("error", "215", Reply::json(R"({"status":"error","error":{"code":4,"message":"invalid API key"}})", 400));
    serve("no-status", "215",
          Reply::json(R"({"results":[{"recordings":[{"id":"r","title":"t","artists":[{"id":"a"}]}]}]})"));
    serve("no-artists", "215",
          Reply::json(lookupReply({{recording("rec", "Song", 215, nullptr), recording("rec2", "Song", 215, nullptr)}})));
    serve("no-results", "215", Reply::json(R"({"status":"ok","results":[]})"));
    serve("wrong-shapes", "215", Reply::json(R"({"status":"ok","results":{"recordings":1}})"));
    serve("huge", "215", Reply::json(QByteArray(8 * 1024 * 1024, '[')));
    serve("truncated", "215", Reply::truncated(lookupReply({{recording("rec", "Song", 215, "artist")}})));
    serve("dropped", "215", Reply::drop());
    serve("silent", "215", Reply::noAnswer());

    for (const char* fingerprint :
         {"not-json", "error", "no-status", "no-artists", "no-results", "wrong-shapes", "huge", "truncated",
          "dropped", "silent"}) {
        const Report report = lookUp(QString::fromLatin1(fingerprint), "215");
        EXPECT_FALSE(report.recordingMBID) << fingerprint;
        EXPECT_FALSE(report.title) << fingerprint;
        EXPECT_FALSE(report.artistMBID) << fingerprint;
    }

    // A missing fingerprint or duration is answered at once, without a request.
    const size_t sent = server.requests().size();
    identifier->identifyFingerprint(std::nullopt, QStringLiteral("215"));
    EXPECT_EQ(delegate.reportsAfterOne().size(), 1u);
    identifier->identifyFingerprint(QStringLiteral("x"), std::nullopt);
    EXPECT_EQ(delegate.reportsAfterOne().size(), 1u);
    EXPECT_EQ(server.requests().size(), sent);

    // Unreachable service.
    server.setDefaultReply(Reply::drop());
    qputenv("CADRELLE_ACOUSTID_URL", "http://127.0.0.1:1");
    EXPECT_FALSE(lookUp("refused", "215").recordingMBID);
}

TEST_F(HLVAcoustIDIdentifierTest, ConsecutiveLookupsArriveAtLeastASecondApart)
{
    HLVServiceConfiguration::resetPacingForTesting();
    serve("first", "5", Reply::json(lookupReply({{recording("one", "Song", 5, "artist")}})));
    serve("second", "5", Reply::json(lookupReply({{recording("two", "Song", 5, "artist")}})));
    EXPECT_EQ(lookUp("first", "5").recordingMBID, "one");
    EXPECT_EQ(lookUp("second", "5").recordingMBID, "two");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_GE(requests[1].arrival - requests[0].arrival, 1000ms);
}
