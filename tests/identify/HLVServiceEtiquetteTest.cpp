#include "HLVArtworkPaths.h"
#include "HLVFileData.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzArtistID.h"
#include "HLVMusicBrainzServer.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVMusicIdentifier.h"
#include "HLVRecordingReleases.h"
#include "HLVServiceConfiguration.h"
#include "HLVServiceReplies.h"
#include "HLVTagMap.h"
#include "HLVTestFiles.h"

#include <algorithm>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;
using Clock = std::chrono::steady_clock;
namespace Replies = HLVServiceReplies;

namespace {

const QString kLookup = QStringLiteral("/v2/lookup");
const QString kRecordings = QStringLiteral("/ws/2/recording/");

// Waits for every record handed to the pipeline to reach a final state.
class PipelineWatch : public HLVMusicIdentifierDelegate
{
public:
    void OnFileDataChanged(const std::shared_ptr<HLVFileData>&) override { _changed.notify_all(); }

    bool waitUntilSettled(const QList<std::shared_ptr<HLVFileData>>& records, std::chrono::seconds timeout)
    {
        std::unique_lock lock(_mutex);
        return _changed.wait_for(lock, timeout, [&] {
            return std::all_of(records.begin(), records.end(), [](const auto& record) {
                const int state = record->IdentificationState();
                return state == HLVIdentificationIdentified || state == HLVIdentificationFailed
                    || state == HLVIdentificationSkipped;
            });
        });
    }

private:
    std::mutex _mutex;
    std::condition_variable _changed;
};

class ReleasesAnswer : public HLVRecordingReleasesDelegate
{
public:
    void OnRecordingReleasesObtained(const std::shared_ptr<HLVRecordingReleasesGroup>& group,
                                     const std::optional<HLVFailure>&) override
    {
        std::lock_guard lock(_mutex);
        _group = group;
        _answered = true;
        _changed.notify_all();
    }
    std::shared_ptr<HLVRecordingReleasesGroup> wait()
    {
        std::unique_lock lock(_mutex);
        EXPECT_TRUE(_changed.wait_for(lock, 30s, [&] { return _answered; }));
        return _group;
    }

private:
    std::mutex _mutex;
    std::condition_variable _changed;
    bool _answered = false;
    std::shared_ptr<HLVRecordingReleasesGroup> _group;
};

std::shared_ptr<HLVRecordingReleasesGroup> queryReleases(HLVRecordingReleases& query, ReleasesAnswer& answer)
{
    query.ObtianRecordingReleasesWithRecordingMBID(QStringLiteral("rec-1"), QStringLiteral("Tone"),
                                                   QStringLiteral("artist-1"));
    return answer.wait();
}

std::vector<Clock::time_point> arrivals(const HLVLoopbackServer& server)
{
    std::vector<Clock::time_point> times;
    for (const auto& request : server.requests())
        times.push_back(request.arrival);
    return times;
}

} // namespace

class HLVServiceEtiquette : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HLVMusicBrainzTestSupport::useServer(musicBrainz);
        qputenv("CADRELLE_ACOUSTID_URL", acoustID.baseAddress().toUtf8());
        qputenv("CADRELLE_COVERART_URL", coverArt.baseAddress().toUtf8());
        acoustID.setReply(kLookup, Reply::json(Replies::acoustIDRecording()));
        musicBrainz.setReply(kRecordings, Reply::xml(Replies::recordingReleases()));
    }
    void TearDown() override
    {
        HLVMusicBrainzTestSupport::reset();
        qunsetenv("CADRELLE_ACOUSTID_URL");
        qunsetenv("CADRELLE_COVERART_URL");
        HLVServiceConfiguration::resetPacingForTesting();
    }

    // Untagged copies of the fixture, through a pipeline with the real fpcalc.
    QList<std::shared_ptr<HLVFileData>> identify(int count, const QString& tool = QString())
    {
        QList<std::shared_ptr<HLVFileData>> records;
        for (int i = 0; i < count; ++i)
            records.append(HLVFileData::createWithPath(
                files.copyFixture(QStringLiteral("tone.mp3"), QStringLiteral("tone-%1.mp3").arg(i))));
        auto identifier = HLVMusicIdentifier::create();
        if (!tool.isEmpty())
            identifier->fingerprinter().acoustIDGenerator().setToolPath(tool);
        PipelineWatch watch;
        identifier->addDelegate(&watch);
        identifier->identifyFileDataInArray(records);
        EXPECT_TRUE(watch.waitUntilSettled(records, 60s));
        identifier->removeDelegate(&watch);
        return records;
    }

    HLVLoopbackServer musicBrainz;
    HLVLoopbackServer acoustID;
    HLVLoopbackServer coverArt;
    HLVTestFiles files;
};

TEST_F(HLVServiceEtiquette, RefusalsAreRetriedAfterTheAskedWaitThenGoOnAsDocumented)
{
    const QString api = HLVRecordingReleases::createApiStringForTrackNamed(QStringLiteral("Tone"), QStringLiteral("artist-1"));
    const QString firstQuery = api.mid(api.indexOf(QLatin1Char('?')) + 1);

    // 429 three times at the first address and at the fallback: the documented
    // fallback query, then a failed file that says why.
    HLVLoopbackServer fallback;
    HLVMusicBrainzTestSupport::useServers(musicBrainz, fallback);
    HLVServiceConfiguration::setRequestPauseForTesting(10ms);
    HLVServiceConfiguration::setRetryBackoffForTesting(20ms);
    musicBrainz.setReply(kRecordings, firstQuery, Reply::withStatus(429));
    fallback.setReply(kRecordings, Reply::withStatus(429));
    const auto records = identify(1);
    EXPECT_EQ(records[0]->IdentificationState(), HLVIdentificationFailed);
    ASSERT_TRUE(records[0]->LastFailure());
    EXPECT_EQ(records[0]->LastFailure()->kind, HLVFailure::Kind::RateLimited);
    EXPECT_EQ(records[0]->LastFailure()->message, "rate limited by MusicBrainz");
    auto requests = musicBrainz.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].query, firstQuery);
    const auto fallbackRequests = fallback.requests();
    ASSERT_EQ(fallbackRequests.size(), 3u);
    EXPECT_EQ(fallbackRequests[0].query, "query=rid:rec-1%20AND%20status:official");
    // Without Retry-After the waits grow: the back-off, then twice it.
    EXPECT_GE(requests[1].arrival - requests[0].arrival, 20ms);
    EXPECT_GE(requests[2].arrival - requests[1].arrival, 40ms);

    // 503 with Retry-After: the same request once more, no sooner, and its answer is used.
    HLVMusicBrainzTestSupport::useServer(musicBrainz);
    musicBrainz.clearRequests();
    musicBrainz.setReplies(kRecordings, firstQuery,
                           {Reply::withStatus(503).withHeader("Retry-After", "2"),
                            Reply::xml(Replies::recordingReleases())});
    auto query = std::make_shared<HLVRecordingReleases>();
    auto answer = std::make_shared<ReleasesAnswer>();
    query->setDelegate(answer);
    const auto group = queryReleases(*query, *answer);
    ASSERT_TRUE(group);
    ASSERT_EQ(group->RecordingReleases().size(), 1);
    EXPECT_EQ(group->RecordingReleases()[0]->ReleaseTitle(), "Waveforms");
    requests = musicBrainz.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].query, requests[0].query);
    EXPECT_GE(requests[1].arrival - requests[0].arrival, 2s);
}

TEST_F(HLVServiceEtiquette, MusicBrainzRequestsFromEveryClientKeepASecondApart)
{
    // The real spacing. Three recording queries and three artwork searches
    // (artist, then release group) start together: nine MusicBrainz requests.
    musicBrainz.setReply(QStringLiteral("/ws/2/artist/"), Reply::xml(Replies::artistList("artist-7", "AC/DC")));
    musicBrainz.setReply(QStringLiteral("/ws/2/release-group"), Reply::xml(Replies::releaseGroupList("rg-7", "Powerage")));
    coverArt.setReply(QStringLiteral("/release-group/rg-7/"),
                      Reply::json(Replies::coverArtImages(QStringLiteral("https://archive.example/front.jpg"))));

    std::vector<std::shared_ptr<HLVRecordingReleases>> queries;
    std::vector<std::shared_ptr<ReleasesAnswer>> answers;
    std::vector<std::shared_ptr<HLVTagMap>> maps;
    std::vector<std::thread> artwork;
    for (int i = 0; i < 3; ++i) {
        queries.push_back(std::make_shared<HLVRecordingReleases>());
        answers.push_back(std::make_shared<ReleasesAnswer>());
        queries.back()->setDelegate(answers.back());
        auto map = std::make_shared<HLVTagMap>();
        map->setArtistName(QStringLiteral("AC/DC"));
        map->setAlbumName(QStringLiteral("Powerage"));
        maps.push_back(map);
    }
    auto paths = std::make_shared<HLVArtworkPaths>();
    for (int i = 0; i < 3; ++i) {
        queries[i]->ObtianRecordingReleasesWithRecordingMBID(QStringLiteral("rec-1"), QStringLiteral("Tone"),
                                                             QStringLiteral("artist-1"));
        artwork.emplace_back([paths, map = maps[i]] { paths->retrieveArtworkWorkerThreadForTagMap(map); });
    }
    for (auto& answer : answers)
        EXPECT_TRUE(answer->wait());
    for (auto& thread : artwork)
        thread.join();
    const auto finished = Clock::now();
    for (const auto& map : maps)
        EXPECT_EQ(map->ArtworkPath(), "https://archive.example/front.jpg");

    const auto times = arrivals(musicBrainz);
    ASSERT_EQ(times.size(), 9u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], 1000ms) << "requests " << i - 1 << " and " << i;
    // No slower than the spacing requires: eight gaps of a second, give or take 10%.
    EXPECT_LE(times.back() - times.front(), 8800ms);
    EXPECT_LE(finished - times.front(), 8800ms);
}

TEST_F(HLVServiceEtiquette, ARejectedKeyFailsTheBatchAfterOneLookup)
{
    HLVServiceConfiguration::setRequestPauseForTesting(10ms);
    HLVServiceConfiguration::setAcoustIDKeyForSession(QStringLiteral("users-own-key"));
    acoustID.setReply(kLookup, Reply::json(Replies::acoustIDError(4, QStringLiteral("invalid API key")), 400));
    const auto records = identify(3);
    HLVServiceConfiguration::setAcoustIDKeyForSession(QString());

    const auto requests = acoustID.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].query.startsWith("client=users-own-key&")) << requests[0].query.toStdString();
    for (const auto& record : records) {
        EXPECT_EQ(record->IdentificationState(), HLVIdentificationFailed);
        ASSERT_TRUE(record->LastFailure());
        EXPECT_EQ(record->LastFailure()->kind, HLVFailure::Kind::KeyRejected);
        EXPECT_EQ(record->LastFailure()->message, "AcoustID rejected the application key");
    }
    EXPECT_TRUE(musicBrainz.requests().empty());
}

TEST_F(HLVServiceEtiquette, SearchTermsAreEscapedAndEveryRequestNamesTheProgram)
{
    HLVServiceConfiguration::setRequestPauseForTesting(10ms);
    musicBrainz.setReply(QStringLiteral("/ws/2/artist/"), Reply::xml(Replies::artistList("artist-7", "AC/DC")));
    std::optional<QString> artistID;
    std::optional<QString> cover;
    coverArt.setReply(QStringLiteral("/release/rel-1/"), Reply::json(Replies::coverArtImages("https://a.example/1.jpg")));
    std::thread([&] {   // blocking lookups, never on the main thread
        artistID = HLVMusicBrainzArtistID().GetArtistIdFromArtist(QStringLiteral("AC/DC"));
        cover = HLVArtworkPaths::downloadArtworkPathForMBID(QStringLiteral("rel-1"), false);
    }).join();
    EXPECT_EQ(artistID, "artist-7");
    EXPECT_EQ(cover, "https://a.example/1.jpg");
    ASSERT_EQ(musicBrainz.requests().size(), 1u);
    EXPECT_EQ(musicBrainz.requests()[0].query, "query=artist:AC%5C/DC");

    // Quotes and colons are escaped too, and an identifier is left as it is.
    EXPECT_EQ(HLVMusicBrainzServer::searchTerm(QStringLiteral("Say \"Hi\": 1-2")),
              "Say%20%5C%22Hi%5C%22%5C:%201%5C-2");
    EXPECT_EQ(HLVRecordingReleases::createApiStringForTrackNamed(QStringLiteral("A:B"), QStringLiteral("a-1")).left(48),
              "/ws/2/recording/?query=arid:a-1%20AND%20recordin");

    const QByteArray agent = QByteArrayLiteral("Cadrelle/") + CADRELLE_PROJECT_VERSION + " (";
    for (const auto* server : {&musicBrainz, &coverArt}) {
        ASSERT_FALSE(server->requests().empty());
        EXPECT_TRUE(server->requests()[0].header("User-Agent").startsWith(agent))
            << server->requests()[0].header("User-Agent").toStdString();
    }
}

TEST_F(HLVServiceEtiquette, FailedIdentificationsNameTheirCause)
{
    HLVServiceConfiguration::setRequestPauseForTesting(10ms);
    const auto failureOf = [](const std::shared_ptr<HLVFileData>& record) {
        EXPECT_EQ(record->IdentificationState(), HLVIdentificationFailed);
        return record->LastFailure().value_or(HLVFailure{});
    };

    EXPECT_EQ(failureOf(identify(1, files.path(QStringLiteral("no-fpcalc")))[0]).kind,
              HLVFailure::Kind::FingerprinterMissing);

    {
        HLVLoopbackServer closed;
        qputenv("CADRELLE_ACOUSTID_URL", closed.baseAddress().toUtf8());
    }
    EXPECT_EQ(failureOf(identify(1)[0]).message, "cannot reach AcoustID");
    qputenv("CADRELLE_ACOUSTID_URL", acoustID.baseAddress().toUtf8());

    acoustID.setReply(kLookup, Reply::json(R"({"status": "ok", "results": []})"));
    EXPECT_EQ(failureOf(identify(1)[0]).kind, HLVFailure::Kind::NoRecording);

    // A byte every 300 ms never trips the one-second inactivity time-out; the
    // reply's deadline ends it.
    acoustID.setReply(kLookup, Reply::trickle(Replies::acoustIDRecording(), 300ms));
    HLVServiceConfiguration::setTransferTimeoutForTesting(1s);
    HLVServiceConfiguration::setReplyDeadlineForTesting(2s);
    const auto started = Clock::now();
    const HLVFailure timedOut = failureOf(identify(1)[0]);
    EXPECT_EQ(timedOut.kind, HLVFailure::Kind::TimedOut);
    EXPECT_EQ(timedOut.message, "AcoustID did not answer in time");
    EXPECT_GE(Clock::now() - started, 2s);
    EXPECT_LT(Clock::now() - started, 6s);
}
