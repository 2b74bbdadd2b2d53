#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzArtistID.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVServiceConfiguration.h"

#include <future>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;
namespace Support = HLVMusicBrainzTestSupport;

namespace {

const QString kPath = QStringLiteral("/ws/2/artist/");

QByteArray artistList(const QByteArray& artists)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\" xmlns:ns2=\"http://musicbrainz.org/ns/ext#-2.0\" "
           "created=\"2024-03-02T10:00:00.000Z\"><artist-list count=\"2\" offset=\"0\">"
        + artists + "</artist-list></metadata>";
}

QByteArray artist(const QByteArray& id, const QByteArray& name, const QByteArray& inside = QByteArray())
{
    return "<artist id=\"" + id + "\" type=\"Group\" ns2:score=\"100\"><name>" + name + "</name><sort-name>" + name
        + "</sort-name><country>GB</country>" + inside + "</artist>";
}

QByteArray area(const QByteArray& element, const QByteArray& name)
{
    return "<" + element + " id=\"a1\" type=\"City\"><name>" + name + "</name><sort-name>" + name + "</sort-name></"
        + element + ">";
}

QByteArray aliases(const QByteArrayList& names)
{
    QByteArray xml = "<alias-list>";
    for (const QByteArray& name : names)
        xml += "<alias sort-name=\"" + name + "\" type=\"Artist name\">" + name + "</alias>";
    return xml + "</alias-list>";
}

const QByteArray kNobody = artistList(artist("00000000-0000-4000-8000-000000000000", "Nobody Relevant"));

// Runs the blocking lookup on a worker thread, as the program does.
std::optional<QString> lookUp(HLVMusicBrainzArtistID& lookup, const std::optional<QString>& name)
{
    auto answer = std::async(std::launch::async, [&] { return lookup.GetArtistIdFromArtist(name); });
    if (answer.wait_for(30s) != std::future_status::ready) {
        ADD_FAILURE() << "the lookup hangs";
        answer.wait();
    }
    return answer.get();
}

QStringList queries(const HLVLoopbackServer& server)
{
    QStringList list;
    for (const auto& request : server.requests())
        list << request.path + "?" + request.query;
    return list;
}

class HLVMusicBrainzArtistIDTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HLVServiceConfiguration::setRequestPauseForTesting(5ms);
        HLVServiceConfiguration::setRetryBackoffForTesting(5ms);
        Support::useServer(server);
        server.setReply(kPath, Reply::xml(kNobody));
    }
    void TearDown() override
    {
        Support::reset();
        HLVServiceConfiguration::resetPacingForTesting();
    }

    HLVLoopbackServer server;
    HLVMusicBrainzArtistID lookup;
};

} // namespace

TEST_F(HLVMusicBrainzArtistIDTest, MatchesTheArtistsOwnNameIgnoringCaseAndAccents)
{
    // The first artist only has an area, a birthplace and a tag named like the query.
    server.setReply(kPath, "query=artist:BJORK",
                    Reply::xml(artistList(
                        artist("11111111-1111-4111-8111-111111111111", "The Sugarcubes",
                               area("area", "Björk") + area("begin-area", "Bjork")
                                   + "<tag-list><tag count=\"1\"><name>bjork</name></tag></tag-list>")
                        + artist("22222222-2222-4222-8222-222222222222", "Björk", area("area", "Iceland")))));
    EXPECT_EQ(lookUp(lookup, QStringLiteral("BJORK")), "22222222-2222-4222-8222-222222222222");
    EXPECT_EQ(lookup.Artist(), "Björk");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("User-Agent"), HLVServiceConfiguration::userAgent().toUtf8());
    EXPECT_EQ(requests[0].header("Referer"), HLVServiceConfiguration::homePageAddress().toUtf8());

    EXPECT_TRUE(HLVMusicBrainzArtistID::equalIgnoringCaseAndDiacritics("SIGUR ROS", "Sigur Rós"));
    EXPECT_TRUE(HLVMusicBrainzArtistID::equalIgnoringCaseAndDiacritics("beyonce", "Beyoncé"));
    EXPECT_FALSE(HLVMusicBrainzArtistID::equalIgnoringCaseAndDiacritics("Beyonce", "Beyoncé "));
}

TEST_F(HLVMusicBrainzArtistIDTest, RetriesWithoutTheDuetOrFeaturedSuffixAfterAPause)
{
    HLVServiceConfiguration::resetPacingForTesting();   // the real one-second pause
    server.setReply(kPath, "query=artist:first%20act",
                    Reply::xml(artistList(artist("aaaaaaaa-0000-4000-8000-000000000001", "First Act"))));
    server.setReply(kPath, "query=artist:Some%20Artist",
                    Reply::xml(artistList(artist("aaaaaaaa-0000-4000-8000-000000000002", "Some Artist"))));

    EXPECT_EQ(lookUp(lookup, QStringLiteral("First Act & Second Act")), "aaaaaaaa-0000-4000-8000-000000000001");
    EXPECT_EQ(lookUp(lookup, QStringLiteral("Some Artist (feat. Other)")), "aaaaaaaa-0000-4000-8000-000000000002");
    EXPECT_EQ(lookUp(lookup, QStringLiteral("Some Artist FEAT. Other")), "aaaaaaaa-0000-4000-8000-000000000002");

    EXPECT_EQ(queries(server), QStringList({
                                   "/ws/2/artist/?query=artist:First%20Act%20%26%20Second%20Act",
                                   "/ws/2/artist/?query=artist:first%20act",
                                   "/ws/2/artist/?query=artist:Some%20Artist%20%5C(feat.%20Other%5C)",
                                   "/ws/2/artist/?query=artist:Some%20Artist",
                                   "/ws/2/artist/?query=artist:Some%20Artist%20FEAT.%20Other",
                                   "/ws/2/artist/?query=artist:Some%20Artist",
                               }));
    const auto requests = server.requests();
    for (size_t retry : {1u, 3u, 5u})
        EXPECT_GE(requests[retry].arrival - requests[retry - 1].arrival, 1000ms) << retry;
}

TEST_F(HLVMusicBrainzArtistIDTest, FindsAnArtistThroughItsAlias)
{
    server.setReply(kPath, "query=alias:Prince%20Rogers",
                    Reply::xml(artistList(
                        artist("bbbbbbbb-0000-4000-8000-000000000001", "Rogers Prince", aliases({"P. Rogers"}))
                        + artist("bbbbbbbb-0000-4000-8000-000000000002", "Prince",
                                 aliases({"The Artist", "prince rogers"}) + "<tag-list><tag><name>funk</name></tag></tag-list>"))));
    EXPECT_EQ(lookUp(lookup, QStringLiteral("Prince Rogers")), "bbbbbbbb-0000-4000-8000-000000000002");
    EXPECT_EQ(lookup.Artist(), "Prince");
    EXPECT_EQ(queries(server), QStringList({"/ws/2/artist/?query=artist:Prince%20Rogers",
                                            "/ws/2/artist/?query=alias:Prince%20Rogers"}));
}

TEST_F(HLVMusicBrainzArtistIDTest, EveryFailedLookupLeavesTheObjectReadyForTheNext)
{
    server.setReply(kPath, "query=artist:g", Reply::withStatus(500));

    EXPECT_EQ(lookUp(lookup, QStringLiteral("A & B")), std::nullopt);
    // Nothing is left after cutting at "feat".
    EXPECT_EQ(lookUp(lookup, QStringLiteral("Featherweights")), std::nullopt);
    // The retry's request fails at both addresses.
    EXPECT_EQ(lookUp(lookup, QStringLiteral("G & H")), std::nullopt);
    // Each time the next lookup still gets its retry and alias search.
    EXPECT_EQ(lookUp(lookup, QStringLiteral("C & D")), std::nullopt);
    EXPECT_EQ(lookUp(lookup, QString()), std::nullopt);
    EXPECT_EQ(lookUp(lookup, std::nullopt), std::nullopt);

    EXPECT_EQ(queries(server), QStringList({
                                   "/ws/2/artist/?query=artist:A%20%26%20B",
                                   "/ws/2/artist/?query=artist:a",
                                   "/ws/2/artist/?query=alias:a",
                                   "/ws/2/artist/?query=artist:Featherweights",
                                   "/ws/2/artist/?query=artist:G%20%26%20H",
                                   "/ws/2/artist/?query=artist:g",
                                   "/ws/2/artist/?query=artist:g",
                                   "/ws/2/artist/?query=artist:C%20%26%20D",
                                   "/ws/2/artist/?query=artist:c",
                                   "/ws/2/artist/?query=alias:c",
                               }));
}

TEST_F(HLVMusicBrainzArtistIDTest, AFailedRequestIsRepeatedAtTheFallbackAddress)
{
    HLVServiceConfiguration::resetPacingForTesting();
    HLVLoopbackServer fallback;
    Support::useServers(server, fallback);
    server.setReply(kPath, Reply::withStatus(500));
    fallback.setReply(kPath, Reply::xml(artistList(artist("cccccccc-0000-4000-8000-000000000001", "Keane"))));
    EXPECT_EQ(lookUp(lookup, QStringLiteral("keane")), "cccccccc-0000-4000-8000-000000000001");
    ASSERT_EQ(server.requests().size(), 1u);
    ASSERT_EQ(fallback.requests().size(), 1u);
    EXPECT_EQ(fallback.requests()[0].query, "query=artist:keane");
    EXPECT_GE(fallback.requests()[0].arrival - server.requests()[0].arrival, 1000ms);
}

TEST_F(HLVMusicBrainzArtistIDTest, BadRepliesEndInNothingFound)
{
    for (const auto& [name, reply] : Support::badReplies()) {
        SCOPED_TRACE(name);
        HLVLoopbackServer bad;
        Support::useServer(bad);
        bad.setReply(kPath, reply);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(lookUp(lookup, QStringLiteral("Keane")), std::nullopt);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        // The name search and then the alias search; neither finds anything.
        EXPECT_EQ(queries(bad), QStringList({"/ws/2/artist/?query=artist:Keane", "/ws/2/artist/?query=alias:Keane"}));
    }
}
