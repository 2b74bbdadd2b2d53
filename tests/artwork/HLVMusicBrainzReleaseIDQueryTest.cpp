#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzReleaseIDQuery.h"
#include "HLVMusicBrainzTestSupport.h"
#include "HLVServiceConfiguration.h"

#include <future>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;
namespace Support = HLVMusicBrainzTestSupport;

namespace {

const QString kArtist = QStringLiteral("b10bbbfc-cf9e-42e0-be17-e2c3e1d2600d");
const QString kPath = QStringLiteral("/ws/2/release-group");

QByteArray groupList(const QByteArray& groups)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<metadata xmlns=\"http://musicbrainz.org/ns/mmd-2.0#\" xmlns:ns2=\"http://musicbrainz.org/ns/ext#-2.0\" "
           "created=\"2024-03-02T10:00:00.000Z\"><release-group-list count=\"9\" offset=\"0\">"
        + groups + "</release-group-list></metadata>";
}

QByteArray group(const QByteArray& id, const QByteArray& type, const QByteArray& title, const QByteArray& releases)
{
    return "<release-group id=\"" + id + "\"" + (type.isEmpty() ? QByteArray() : " type=\"" + type + "\"")
        + " ns2:score=\"100\"><title>" + title + "</title><first-release-date>1969-09-26</first-release-date>"
        + "<artist-credit><name-credit><artist id=\"" + kArtist.toUtf8()
        + "\"><name>The Beatles</name><sort-name>Beatles, The</sort-name></artist></name-credit></artist-credit>"
        + "<release-list count=\"9\">" + releases + "</release-list>"
        + "<tag-list><tag count=\"1\"><name>rock</name></tag></tag-list></release-group>";
}

QByteArray release(const QByteArray& id, const QByteArray& title, const QByteArray& status = "Official")
{
    return "<release id=\"" + id + "\"><title>" + title + "</title><status id=\"4e304316\">" + status
        + "</status></release>";
}

std::optional<HLVReleaseIDDictionary> searchReleases(const QString& album, const QString& artist,
                                             const std::optional<QString>& title)
{
    auto answer = std::async(std::launch::async, [=] {
        return HLVMusicBrainzReleaseIDQuery().releaseIdDictionaryForForAlbum(album, artist, title);
    });
    if (answer.wait_for(30s) != std::future_status::ready) {
        ADD_FAILURE() << "the search hangs";
        answer.wait();
    }
    return answer.get();
}

class HLVMusicBrainzReleaseIDQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HLVServiceConfiguration::setRequestPauseForTesting(5ms);
        HLVServiceConfiguration::setRetryBackoffForTesting(5ms);
        Support::useServer(server);
    }
    void TearDown() override
    {
        Support::reset();
        HLVServiceConfiguration::resetPacingForTesting();
    }

    HLVLoopbackServer server;
};

} // namespace

TEST(HLVMusicBrainzReleaseIDQueryStrings, SimplifyCutsBracketsPunctuationAndSuffixes)
{
    using Q = HLVMusicBrainzReleaseIDQuery;
    EXPECT_EQ(Q::simplifyString("Abbey Road (Remastered)"), "abbey road");
    EXPECT_EQ(Q::simplifyString("Help! [Deluxe] (2009)"), "help");
    EXPECT_EQ(Q::simplifyString("Song - Single"), "song");
    EXPECT_EQ(Q::simplifyString("Live - Epilogue"), "live ilogue");
    EXPECT_EQ(Q::simplifyString("Don\u2019t Stop: Who's There?, Mr. X!"), "dont stop whos there mr x");
    EXPECT_EQ(Q::simplifyString("a   b"), "a  b");   // one pass: three spaces become two
    EXPECT_EQ(Q::simplifyString("\t Title \t"), "title");
    EXPECT_EQ(Q::simplifyString("Title\n"), "title\n");   // line breaks are not trimmed
    EXPECT_EQ(Q::simplifyString("{Curly}"), "{curly}");
}

TEST(HLVMusicBrainzReleaseIDQueryStrings, BracketRemovalHandlesRepeatedNestedAndReversedBrackets)
{
    using Q = HLVMusicBrainzReleaseIDQuery;
    EXPECT_EQ(Q::removeBracketsFromString("x (y (z) w) v"), "x  w) v");
    EXPECT_EQ(Q::removeBracketsFromString("a (b) c (b) d (e)"), "a  c  d ");
    EXPECT_EQ(Q::removeBracketsFromString("a) b (c) [d]"), "a) b (c) ");   // ")" first: parentheses stay
    EXPECT_EQ(Q::removeBracketsFromString("a [b [c] d] e"), "a  d] e");
    EXPECT_EQ(Q::removeBracketsFromString("open ( only [x"), "open ( only [x");
    EXPECT_EQ(Q::removeBracketsFromString("([x])"), "");
    EXPECT_EQ(Q::removeBracketsFromString("[a] (b)"), " ");
}

TEST_F(HLVMusicBrainzReleaseIDQueryTest, SortsAlbumGroupsAndAlbumTitledOfficialReleasesFirst)
{
    const QString query = "query=release:abbey%20road%20AND%20arid:" + kArtist + "&limit=100&method=indexed";
    server.setReply(kPath, query,
                    Reply::xml(groupList(
                        group("rg-single", "Single", "Abbey Road",
                              release("r-track", "Come Together (Remastered)")
                                  + release("r-single", "Abbey Road - Single")
                                  + release("r-promo", "Abbey Road", "Promotion"))
                        + group("rg-other", "Album", "Let It Be", release("r-let", "Let It Be"))
                        + group("rg-album", "Album", "Abbey Road",
                                release("r-album", "ABBEY ROAD") + release("r-bootleg", "Abbey Road", "Bootleg"))
                        + group("rg-ep", QByteArray(), "Abbey Road - EP", release("r-ep", "Something")))));

    const auto result = searchReleases(QStringLiteral("Abbey Road (Remastered)"), kArtist, QStringLiteral("Come Together"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ReleaseGroupIDs, QStringList({"rg-album", "rg-single", "rg-ep"}));
    EXPECT_EQ(result->ReleaseIDs, QStringList({"r-single", "r-album", "r-track"}));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, kPath);
    EXPECT_EQ(requests[0].query, query);
    EXPECT_EQ(requests[0].header("User-Agent"), HLVServiceConfiguration::userAgent().toUtf8());
    EXPECT_EQ(requests[0].header("Referer"), HLVServiceConfiguration::homePageAddress().toUtf8());
}

TEST_F(HLVMusicBrainzReleaseIDQueryTest, VariousArtistsAcceptEveryGroupButNoTrackTitledRelease)
{
    const QString va = HLVMusicBrainzReleaseIDQuery::VariousArtistsMBID;
    EXPECT_EQ(va, "89ad4ac3-39f7-470e-963a-56509c546377");
    server.setReply(kPath,
                    Reply::xml(groupList(group("rg-now", "Compilation", "Now 12",
                                               release("r-song", "Song") + release("r-now", "Now 12"))
                                         + group("rg-else", "Album", "Something Else", release("r-else", "Something Else")))));
    const auto result = searchReleases(QStringLiteral("Now 12"), va, QStringLiteral("Song"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ReleaseGroupIDs, QStringList({"rg-else", "rg-now"}));
    EXPECT_EQ(result->ReleaseIDs, QStringList({"r-now"}));
}

TEST_F(HLVMusicBrainzReleaseIDQueryTest, WithoutATrackTitleOnlyTheAlbumTitleMatchesARelease)
{
    server.setReply(kPath, Reply::xml(groupList(group("rg", "Album", "Bookends &amp; More",
                                                      release("r-q", "?") + release("r-dots", "...")
                                                          + release("r-b", "Bookends &amp; More")))));
    // Markup characters arrive escaped; the joined text still matches.
    const auto result = searchReleases(QStringLiteral("Bookends & More"), kArtist, std::nullopt);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->ReleaseIDs, QStringList({"r-b"}));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].query,
              "query=release:bookends%20%26%20more%20AND%20arid:" + kArtist + "&limit=100&method=indexed");
}

TEST_F(HLVMusicBrainzReleaseIDQueryTest, FailuresAnswerNothing)
{
    EXPECT_EQ(searchReleases(QStringLiteral(" \t "), kArtist, std::nullopt), std::nullopt);
    EXPECT_EQ(searchReleases(QString(), kArtist, std::nullopt), std::nullopt);
    EXPECT_TRUE(server.requests().empty());

    HLVServiceConfiguration::setTransferTimeoutForTesting(1s);
    auto bad = Support::badReplies();
    bad.push_back({"unavailable", Reply::xml(Support::errorDocument("busy"), 503)});
    bad.push_back({"dropped connection", Reply::drop()});
    bad.push_back({"no answer", Reply::noAnswer()});
    for (const auto& [name, reply] : bad) {
        SCOPED_TRACE(name);
        server.setReply(kPath, reply);
        const auto started = std::chrono::steady_clock::now();
        const auto result = searchReleases(QStringLiteral("Abbey Road"), kArtist, QStringLiteral("Something"));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
        if (QLatin1String(name) == QLatin1String("5 MB document")) {
            // Well-formed and merely big: a search without candidates.
            ASSERT_TRUE(result);
            EXPECT_TRUE(result->ReleaseGroupIDs.isEmpty());
            EXPECT_TRUE(result->ReleaseIDs.isEmpty());
        } else {
            EXPECT_EQ(result, std::nullopt);
        }
    }
}
