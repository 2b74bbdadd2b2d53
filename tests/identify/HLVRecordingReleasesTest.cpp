#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzServer.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVRecordingReleases.h"
#include "HLVServiceConfiguration.h"

#include <condition_variable>
#include <limits>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;
namespace Support = HLVMusicBrainzTestSupport;

namespace {

const QString kArtist = QStringLiteral("0383dadf-2a4e-4d10-a46a-e9e041da8eb3");
const QString kRecording = QStringLiteral("5b11f4ce-a62d-471e-81fc-a69a8278c7da");
const QString kPath = QStringLiteral("/ws/2/recording/");

QString primaryQuery(const QString& encodedTitle)
{
    return "query=arid:" + kArtist + "%20AND%20recording:(" + encodedTitle
        + ")%20AND%20primarytype:((album%20OR%20single%20OR%20ep)%20NOT%20other)%20AND%20status:(official)"
          "%20AND%20format:(cd)%20AND%20country:(US%20OR%20UK%20OR%20GB%20OR%20DE%20OR%20FR%20OR%20AU%20OR%20JP"
          "%20OR%20CA%20OR%20GER%20OR%20XE)&limit=10";
}

const QString kFallbackQuery = "query=rid:" + kRecording + "%20AND%20status:official";

QByteArray metadata(const QByteArray& recordings, int count = 1)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\" xmlns:ns2=\"http://musicbrainz.org/ns/ext#-2.0\" "
           "created=\"2024-03-02T10:00:00.000Z\">\n<recording-list count=\""
        + QByteArray::number(count) + "\" offset=\"0\">\n" + recordings + "</recording-list>\n</metadata>\n";
}

QByteArray recording(const QByteArray& title, const QByteArray& releases, const QByteArray& tags = QByteArray())
{
    return "<recording id=\"" + kRecording.toUtf8() + "\" ns2:score=\"100\"><title>" + title
        + "</title><length>215000</length>"
          "<artist-credit><name-credit><artist id=\""
        + kArtist.toUtf8()
        + "\"><name>The Lanterns</name><sort-name>Lanterns, The</sort-name></artist></name-credit></artist-credit>\n"
          "<release-list>\n"
        + releases + "</release-list>\n" + (tags.isEmpty() ? QByteArray() : "<tag-list>" + tags + "</tag-list>")
        + "</recording>\n";
}

QByteArray tag(const QByteArray& name)
{
    return "<tag count=\"2\"><name>" + name + "</name></tag>";
}

QByteArray variousArtistsCredit()
{
    return "<artist-credit><name-credit><artist id=\"89ad4ac3-39f7-470e-963a-56509c546377\"><name>Various Artists"
           "</name><sort-name>Various Artists</sort-name></artist></name-credit></artist-credit>";
}

// One release as the service lists it inside a recording.
QByteArray release(const QByteArray& id, const QByteArray& title, const QByteArray& status, const QByteArray& type,
                   const QByteArray& beforeGroup = QByteArray(), const QByteArray& afterGroup = QByteArray())
{
    QByteArray xml = "<release id=\"" + id + "\"><title>" + title + "</title>";
    if (!status.isEmpty())
        xml += "<status id=\"4e304316-386d-3409-af2e-78857eec5cfe\">" + status + "</status>";
    xml += beforeGroup;
    if (!type.isEmpty())
        xml += "<release-group id=\"rg-" + id + "\" type=\"" + type + "\"><title>" + title
            + "</title><primary-type>Album</primary-type></release-group>";
    xml += afterGroup + "</release>\n";
    return xml;
}

QByteArray medium(int position, int count, int offset, const QByteArray& trackCredit = QByteArray())
{
    return "<medium-list count=\"2\"><track-count>40</track-count><medium><position>" + QByteArray::number(position)
        + "</position><format>CD</format><track-list count=\"" + QByteArray::number(count) + "\" offset=\""
        + QByteArray::number(offset) + "\"><track id=\"t1\"><number>" + QByteArray::number(offset + 1)
        + "</number><title>Morning Light</title>" + trackCredit + "</track></track-list></medium></medium-list>";
}

class WaitingDelegate : public HLVRecordingReleasesDelegate
{
public:
    void OnRecordingReleasesObtained(const std::shared_ptr<HLVRecordingReleasesGroup>& group,
                                     const std::optional<HLVFailure>& failure) override
    {
        std::lock_guard lock(_mutex);
        _answers.push_back(group);
        _failures.push_back(failure);
        _changed.notify_all();
    }

    // The first answer; fails the test when none comes in time.
    std::shared_ptr<HLVRecordingReleasesGroup> waitForAnswer(std::chrono::milliseconds timeout = 15s)
    {
        std::unique_lock lock(_mutex);
        const bool answered = _changed.wait_for(lock, timeout, [&] { return !_answers.empty(); });
        EXPECT_TRUE(answered) << "no answer";
        return answered ? _answers.front() : nullptr;
    }

    size_t answerCount()
    {
        std::lock_guard lock(_mutex);
        return _answers.size();
    }

private:
    std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<std::shared_ptr<HLVRecordingReleasesGroup>> _answers;
    std::vector<std::optional<HLVFailure>> _failures;
};

QStringList titles(const HLVRecordingReleasesGroup& group)
{
    QStringList list;
    for (const auto& release : group.RecordingReleases())
        list << release->ReleaseTitle().value_or(QStringLiteral("<none>"));
    return list;
}

class HLVRecordingReleasesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HLVServiceConfiguration::setRequestPauseForTesting(10ms);
        HLVServiceConfiguration::setRetryBackoffForTesting(5ms);
        Support::useServers(server, fallbackServer);
        releases->setDelegate(delegate);
    }
    void TearDown() override
    {
        Support::reset();
        HLVServiceConfiguration::resetPacingForTesting();
    }

    std::shared_ptr<HLVRecordingReleasesGroup> query(const QString& title = QStringLiteral("Morning Light"))
    {
        releases->ObtianRecordingReleasesWithRecordingMBID(kRecording, title, kArtist);
        auto answer = delegate->waitForAnswer();
        // Exactly one answer per query: nothing more may follow.
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(delegate->answerCount(), 1u);
        return answer;
    }

    HLVLoopbackServer server;
    HLVLoopbackServer fallbackServer;
    std::shared_ptr<HLVRecordingReleases> releases = std::make_shared<HLVRecordingReleases>();
    std::shared_ptr<WaitingDelegate> delegate = std::make_shared<WaitingDelegate>();
};

} // namespace

TEST_F(HLVRecordingReleasesTest, PrimaryQueryFillsFiltersAndOrdersTheReleases)
{
    const QByteArray releasesXml =
        // Credited on its track to someone else after an Album group: a compilation album.
        release("rel-hits", "Hits of the Year", "Official", "Album", QByteArray(),
                "<date>2001-05-14</date><country>GB</country><release-event-list count=\"1\"><release-event>"
                "<date>1999</date></release-event></release-event-list>"
                    + medium(2, 12, 4,
                             "<artist-credit><name-credit><artist id=\"d2a1ea7a-0000-4000-8000-000000000001\">"
                             "<name>Someone Else</name></artist></name-credit></artist-credit>"))
        + release("rel-single", "Morning Light", "Official", "Single", QByteArray(),
                  "<date>99</date><country>US</country>" + medium(1, 2, 0))
        + release("rel-now", "Now That\u2019s Music", "Official", "Compilation", variousArtistsCredit())
        // A foreign credit before an Album group: the group's type has the last word.
        + release("rel-evening", "Evening Songs", "official", "Album", variousArtistsCredit(), "<date>2010</date>")
        + release("rel-dup", "MORNING LIGHT", "Official", "Single")
        + release("rel-promo", "Promo Thing", "Promotion", "Album")
        + release("rel-other", "Other Thing", "Official", "Other")
        + release("rel-nogroup", "No Group", "Official", QByteArray())
        + release("rel-nostatus", "No Status", QByteArray(), "Album");
    server.setReply(kPath, primaryQuery("Morning%20Light"),
                    Reply::xml(metadata(recording("Morning Light", releasesXml, tag("rock") + tag("seen live")))));

    const auto group = query();
    ASSERT_TRUE(group);
    EXPECT_EQ(titles(*group), QStringList({"Evening Songs", "Morning Light", "Hits of the Year", "Now That's Music"}));
    EXPECT_EQ(group->ArtistName(), "The Lanterns");
    EXPECT_EQ(group->ArtistID(), kArtist);
    EXPECT_EQ(group->RecordingID(), kRecording);
    EXPECT_EQ(group->TrackName(), "Morning Light");

    const auto& list = group->RecordingReleases();
    const auto& evening = *list[0];
    EXPECT_FALSE(evening.IsCompilation());
    EXPECT_FALSE(evening.IsSingle());
    EXPECT_EQ(evening.ReleaseYear(), "2010");

    const auto& single = *list[1];
    EXPECT_EQ(single.ReleaseID(), "rel-single");
    EXPECT_TRUE(single.IsSingle());
    EXPECT_FALSE(single.IsCompilation());
    EXPECT_EQ(single.ReleaseYear(), std::nullopt);   // "99" is too short for a year
    EXPECT_EQ(single.ReleaseCountry(), "US");
    EXPECT_EQ(single.TrackPosition(), 1);
    EXPECT_EQ(single.TrackCount(), 2);

    const auto& hits = *list[2];
    EXPECT_TRUE(hits.IsCompilation());
    EXPECT_FALSE(hits.IsSingle());
    EXPECT_EQ(hits.TrackPosition(), 5);
    EXPECT_EQ(hits.TrackCount(), 12);
    EXPECT_EQ(hits.DiscPosition(), 2);
    EXPECT_EQ(hits.DiscCount(), 2);
    EXPECT_EQ(hits.ReleaseYear(), "2001");   // the later release-event date does not overwrite it
    EXPECT_EQ(hits.ReleaseCountry(), "GB");
    EXPECT_EQ(hits.TrackName(), "Morning Light");

    const auto& now = *list[3];
    EXPECT_TRUE(now.IsCompilation());
    EXPECT_TRUE(now.IsSingle());
    EXPECT_EQ(now.DiscPosition(), 0);
    EXPECT_EQ(now.TrackCount(), 0);

    // "seen live" came last and is no genre, so no release has one.
    for (const auto& accepted : list)
        EXPECT_EQ(accepted->ReleaseGenre(), std::nullopt) << accepted->ReleaseTitle()->toStdString();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(fallbackServer.requests().empty());
    EXPECT_EQ(requests[0].path, kPath);
    EXPECT_EQ(requests[0].query, primaryQuery("Morning%20Light"));
    EXPECT_EQ(requests[0].header("User-Agent"), HLVServiceConfiguration::userAgent().toUtf8());
    EXPECT_EQ(requests[0].header("Referer"), HLVServiceConfiguration::homePageAddress().toUtf8());
}

TEST_F(HLVRecordingReleasesTest, TitlesMustAgreeAndTheLastTagOfEachRecordingDecidesItsGenre)
{
    // The asked title "Morning Light" is a prefix of the first recording's title,
    // but stands in the middle of the second's; the third has no title at all.
    const QByteArray recordings =
        recording("Morning Light (live)", release("rel-live", "Live at the Hall", "Official", "Album"),
                  tag("seen live") + tag("rock"))
        + recording("The Morning Light", release("rel-middle", "Middle", "Official", "Album"), tag("jazz"))
        + recording("Morning Light", release("rel-plain", "Plain", "Official", "Album"), tag("pop") + tag("british"));
    server.setReply(kPath, primaryQuery("Morning%20Light"), Reply::xml(metadata(recordings, 3)));

    const auto group = query();
    ASSERT_TRUE(group);
    EXPECT_EQ(titles(*group), QStringList({"Live at the Hall", "Plain"}));
    EXPECT_EQ(group->RecordingReleases()[0]->ReleaseGenre(), "Rock");
    EXPECT_EQ(group->RecordingReleases()[0]->TrackName(), "Morning Light (live)");
    EXPECT_EQ(group->RecordingReleases()[1]->ReleaseGenre(), std::nullopt);
}

TEST_F(HLVRecordingReleasesTest, TagValuesStayOneSearchTerm)
{
    const QString title = QStringLiteral("Rock & Roll = Fun? #1 + 100% (Über)");
    // Escaped for the search syntax too: "\?", "\+", "\(" and "\)".
    const QString encoded =
        QStringLiteral("Rock%20%26%20Roll%20%3D%20Fun%5C%3F%20%231%20%5C%2B%20100%25%20%5C(%C3%9Cber%5C)");
    server.setReply(kPath, primaryQuery(encoded),
                    Reply::xml(metadata(recording(title.toHtmlEscaped().toUtf8(),
                                                  release("rel-1", "Fun", "Official", "Album")))));
    const auto group = query(title);
    ASSERT_TRUE(group);
    EXPECT_EQ(titles(*group), QStringList({"Fun"}));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].query.split(QLatin1Char('&')).size(), 2);   // query=... and limit=10, nothing split off
}

TEST_F(HLVRecordingReleasesTest, FailedPrimaryQueryFallsBackToTheFallbackAddressAfterTheOneSecondPause)
{
    HLVServiceConfiguration::resetPacingForTesting();   // the real one-second pause
    server.setReply(kPath, Reply::withStatus(500, "<html>busy</html>"));
    fallbackServer.setReply(kPath, kFallbackQuery,
                            Reply::xml(metadata(recording("Morning Light",
                                                          release("rel-a", "Solo Album", "Official", "Album")))));

    const auto group = query();
    ASSERT_TRUE(group);
    EXPECT_EQ(titles(*group), QStringList({"Solo Album"}));

    const auto primary = server.requests();
    const auto fallback = fallbackServer.requests();
    ASSERT_EQ(primary.size(), 1u);
    ASSERT_EQ(fallback.size(), 1u);
    EXPECT_EQ(fallback[0].path, kPath);
    EXPECT_EQ(fallback[0].query, kFallbackQuery);
    EXPECT_EQ(fallback[0].header("User-Agent"), HLVServiceConfiguration::userAgent().toUtf8());
    EXPECT_EQ(fallback[0].header("Referer"), HLVServiceConfiguration::homePageAddress().toUtf8());
    EXPECT_GE(fallback[0].arrival - primary[0].arrival, 1000ms);
}

TEST_F(HLVRecordingReleasesTest, EmptyOrUnusablePrimaryReplyFallsBack)
{
    // One object serves the queries in turn, as in the pipeline.
    const QByteArray good = metadata(recording("Morning Light", release("rel-f", "Found", "Official", "Album")));
    const std::vector<std::pair<const char*, Reply>> primaries = {
        {"count 0", Reply::xml(metadata(recording("Morning Light", release("x", "X", "Official", "Album")), 0))},
        {"no count", Reply::xml("<metadata><recording-list><recording id=\"r\"><title>Morning Light</title>"
                                "<release-list>" + release("x", "X", "Official", "Album") + "</release-list>"
                                "</recording></recording-list></metadata>")},
        {"nothing passes", Reply::xml(metadata(recording("Evening", release("x", "X", "Official", "Album"))))},
        {"transport failure", Reply::drop()},
        // A release read before the XML breaks is not trusted.
        {"broken XML", Reply::xml(metadata(recording("Morning Light", release("x", "X", "Official", "Album")))
                                      .replace("</metadata>", "</metadata-list>"))},
    };
    for (const auto& [name, reply] : primaries) {
        SCOPED_TRACE(name);
        HLVLoopbackServer primary, fallback;
        Support::useServers(primary, fallback);
        primary.setReply(kPath, reply);
        fallback.setReply(kPath, kFallbackQuery, Reply::xml(good));
        auto local = std::make_shared<WaitingDelegate>();
        releases->setDelegate(local);
        releases->ObtianRecordingReleasesWithRecordingMBID(kRecording, QStringLiteral("Morning Light"), kArtist);
        const auto group = local->waitForAnswer();
        ASSERT_TRUE(group);
        EXPECT_EQ(titles(*group), QStringList({"Found"}));
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(local->answerCount(), 1u);
        EXPECT_FALSE(primary.requests().empty());
        EXPECT_EQ(fallback.requests().size(), 1u);
    }
}

TEST_F(HLVRecordingReleasesTest, BadRepliesEndInOneNullAnswerWithoutHanging)
{
    HLVServiceConfiguration::setTransferTimeoutForTesting(2s);
    auto bad = Support::badReplies();
    bad.push_back({"dropped connection", Reply::drop()});
    bad.push_back({"no answer", Reply::noAnswer()});
    bad.push_back({"error status", Reply::xml(Support::errorDocument("Not found"), 404)});
    for (const auto& [name, reply] : bad) {
        SCOPED_TRACE(name);
        HLVLoopbackServer primary, fallback;
        Support::useServers(primary, fallback);
        primary.setReply(kPath, reply);
        fallback.setReply(kPath, reply);
        auto local = std::make_shared<WaitingDelegate>();
        releases->setDelegate(local);
        const auto started = std::chrono::steady_clock::now();
        releases->ObtianRecordingReleasesWithRecordingMBID(kRecording, QStringLiteral("Morning Light"), kArtist);
        EXPECT_EQ(local->waitForAnswer(), nullptr);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 8s);
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(local->answerCount(), 1u);
        // Qt may resend a GET once after a dropped connection, so the primary count varies.
        EXPECT_FALSE(primary.requests().empty());
        // An empty body ends the query without the fallback.
        EXPECT_EQ(fallback.requests().empty(), QLatin1String(name) == QLatin1String("empty body"));
    }
}

TEST_F(HLVRecordingReleasesTest, NoRecordingIdentifierAnswersNullAtOnce)
{
    releases->ObtianRecordingReleasesWithRecordingMBID(std::nullopt, QStringLiteral("x"), kArtist);
    EXPECT_EQ(delegate->answerCount(), 1u);
    EXPECT_EQ(delegate->waitForAnswer(0ms), nullptr);
    EXPECT_TRUE(server.requests().empty());
}

// Numbers in a reply are whatever the reply says: the largest track offset gives
// the largest position, not an overflow into a negative one.
TEST_F(HLVRecordingReleasesTest, HugeTrackOffsetsStayPositive)
{
    const QByteArray tracks = "<medium-list count=\"1\"><medium><position>1</position><track-list count=\"3\" "
                              "offset=\"2147483647\"/></medium></medium-list>";
    server.setReply(kPath, primaryQuery("Morning%20Light"),
                    Reply::xml(metadata(recording(
                        "Morning Light", release("rel-big", "Big", "Official", "Album", QByteArray(), tracks)))));
    const auto group = query();
    ASSERT_TRUE(group);
    ASSERT_EQ(group->RecordingReleases().size(), 1);
    EXPECT_EQ(group->RecordingReleases().front()->TrackPosition(), std::numeric_limits<int>::max());
}
