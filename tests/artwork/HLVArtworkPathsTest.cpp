#include "HLVCannedReplies.h"
#include "HLVArtworkPaths.h"
#include "HLVFileData.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzServer.h"
#include "HLVServiceConfiguration.h"
#include "HLVTagLib.h"
#include "HLVTestFiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>
#include <taglib/flacfile.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

QByteArray coverJSON(const QString& large, const QString& small = QString())
{
    return QStringLiteral(R"({"images": [{"front": true, "thumbnails": {"large": "%1", "small": "%2"}},
                                         {"front": false, "thumbnails": {"large": "http://elsewhere/2.jpg"}}]})")
        .arg(large, small)
        .toUtf8();
}

QByteArray pngBytes()
{
    return HLVCannedReplies::pngBytes();
}

struct Reports : HLVArtworkPathsDelegate
{
    std::atomic<int> tagMaps{0};
    std::atomic<int> fileData{0};
    void OnArtworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>&) override { ++tagMaps; }
    void OnArtworkPathsObtainedForFileData(const std::shared_ptr<HLVFileData>&) override { ++fileData; }
};

// Runs the main event loop until the condition holds.
bool spinUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Blocking requests are refused on the main thread; run them as a worker would.
template <typename F>
auto offMainThread(F function)
{
    decltype(function()) result;
    std::thread worker([&] { result = function(); });
    worker.join();
    return result;
}

class HLVArtworkPathsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("CADRELLE_COVERART_URL", server.baseAddress().toUtf8());
        qputenv("CADRELLE_MUSICBRAINZ_URL", server.baseAddress().toUtf8());
        HLVMusicBrainzServer::resetForTesting();
        HLVServiceConfiguration::setRequestPauseForTesting(5ms);
        HLVServiceConfiguration::setRetryBackoffForTesting(5ms);
        paths->setDelegate(reports);
    }
    void TearDown() override
    {
        HLVServiceConfiguration::resetPacingForTesting();
        qunsetenv("CADRELLE_COVERART_URL");
        qunsetenv("CADRELLE_MUSICBRAINZ_URL");
        HLVMusicBrainzServer::resetForTesting();
    }

    HLVLoopbackServer server;
    std::shared_ptr<Reports> reports = std::make_shared<Reports>();
    std::shared_ptr<HLVArtworkPaths> paths = std::make_shared<HLVArtworkPaths>();
};

} // namespace

TEST_F(HLVArtworkPathsTest, IdentifiedMapAsksForItsRelease)
{
    server.setReply(QStringLiteral("/release/rel-1/"), HLVLoopbackServer::Reply::json(R"({"images": []})"));
    server.setReply(QStringLiteral("/release/rel-2/"),
                    HLVLoopbackServer::Reply::json(coverJSON(QString(), QStringLiteral("http://img.example/small.jpg"))));

    auto empty = std::make_shared<HLVTagMap>();
    empty->setReleaseMBID(QStringLiteral("rel-1"));
    auto small = std::make_shared<HLVTagMap>();
    small->setReleaseMBID(QStringLiteral("rel-2"));
    paths->obtainArtworkForTagMaps({empty, small});
    ASSERT_TRUE(spinUntil([&] { return reports->tagMaps == 2; }));
    EXPECT_FALSE(empty->ArtworkPath());
    EXPECT_EQ(empty->ArtworkState(), HLVArtworkStateFound);
    EXPECT_TRUE(empty->ArtworkAttempted());
    EXPECT_EQ(small->ArtworkPath(), QStringLiteral("https://img.example/small.jpg"));

    // Looked for once: a second request only reports.
    const size_t before = server.requests().size();
    paths->obtainArtworkForTagMap(small);
    ASSERT_TRUE(spinUntil([&] { return reports->tagMaps == 3; }));
    EXPECT_EQ(server.requests().size(), before);
    paths->obtainArtworkForTagMap(nullptr);
}

TEST_F(HLVArtworkPathsTest, UnidentifiedMapWithoutAlbumReportsAtOnce)
{
    auto map = std::make_shared<HLVTagMap>();
    map->setArtistName(QStringLiteral("Someone"));
    paths->obtainArtworkForUnidentifiedTagMap(map);
    ASSERT_TRUE(spinUntil([&] { return reports->tagMaps == 1; }));
    EXPECT_EQ(map->ArtworkState(), HLVArtworkStateFound);
    EXPECT_FALSE(map->ArtworkPath());
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(paths->LastFailure(),
              HLVFailure::make(HLVFailure::Kind::NoCover, "no cover found: the file has no artist or album"));
}

TEST_F(HLVArtworkPathsTest, CandidateWalkGroupsThenReleases)
{
    server.setReply(QStringLiteral("/release-group/g3/"),
                    HLVLoopbackServer::Reply::json(coverJSON(QStringLiteral("http://img.example/g3.jpg"))));
    server.setReply(QStringLiteral("/release/r2/"),
                    HLVLoopbackServer::Reply::json(coverJSON(QStringLiteral("http://img.example/r2.jpg"))));
    server.setReply(QStringLiteral("/release-group/g1/"), HLVLoopbackServer::Reply::withStatus(404));
    server.setReply(QStringLiteral("/release-group/g2/"), HLVLoopbackServer::Reply::json("not json"));
    auto walk = [](HLVArtworkPaths::Candidates candidates) {
        return offMainThread([&] { return HLVArtworkPaths::walkCandidates(candidates); });
    };
    EXPECT_EQ(walk({{"g1", "g2", "g3"}, {"r1", "r2"}}), QStringLiteral("https://img.example/g3.jpg"));
    EXPECT_EQ(walk({{"g1", "g2"}, {"r1", "r2"}}), QStringLiteral("https://img.example/r2.jpg"));
    EXPECT_FALSE(walk({{"g1"}, {"r1"}}));
    QStringList asked;
    for (const auto& request : server.requests())
        asked.append(request.path);
    EXPECT_EQ(asked, QStringList({"/release-group/g1/", "/release-group/g2/", "/release-group/g3/",
                                  "/release-group/g1/", "/release-group/g2/", "/release/r1/", "/release/r2/",
                                  "/release-group/g1/", "/release/r1/"}));
}

// A save whose artwork was never looked for asks the Cover Art Archive first,
// embeds what it found and only then reports.
TEST_F(HLVArtworkPathsTest, SaveLooksForArtworkFirst)
{
    const QByteArray png = pngBytes();
    server.setReply(QStringLiteral("/cover.png"), HLVLoopbackServer::Reply::bytes(png, "image/png"));
    // The archive's addresses are rewritten to https; an upper-case scheme is
    // left as it is, which lets the picture come from this plain-http server.
    server.setReply(QStringLiteral("/release/rel-9/"),
                    HLVLoopbackServer::Reply::json(coverJSON(QStringLiteral("HTTP://127.0.0.1:%1/cover.png").arg(server.port()))));

    HLVTestFiles files;
    auto record = HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.flac")));
    struct Codes : HLVFileDataDelegate
    {
        std::mutex mutex;
        QList<int> codes;
        bool sawPictureBeforeSaved = false;
        void OnFileDataModified(const std::shared_ptr<HLVFileData>& file, int code) override
        {
            std::lock_guard lock(mutex);
            if (code == HLVFileDataChangeSaved) {
                TagLib::FLAC::File flac(QFile::encodeName(file->FilePath()).constData());
                sawPictureBeforeSaved = !flac.pictureList().isEmpty();
            }
            codes.append(code);
        }
    } codes;
    record->setDelegate(&codes);
    record->TagMap();
    record->editVirtualTagMap([](HLVTagMap& m) {
        m.setTrackName(QStringLiteral("With cover"));
        m.setReleaseMBID(QStringLiteral("rel-9"));
        m.setArtworkAttempted(false);
    });
    record->forceIsModified();
    std::thread saver([&] { record->saveID3Tags(); }); // as the save queue would
    saver.join();

    EXPECT_FALSE(record->isSaving());
    EXPECT_EQ(codes.codes, QList<int>({HLVFileDataChangeLoaded, HLVFileDataChangeSaved}));
    EXPECT_TRUE(codes.sawPictureBeforeSaved);
    TagLib::FLAC::File flac(QFile::encodeName(record->FilePath()).constData());
    ASSERT_EQ(flac.pictureList().size(), 1u);
    const auto data = flac.pictureList().front()->data();
    EXPECT_EQ(QByteArray(data.data(), qsizetype(data.size())), png);
    EXPECT_EQ(QString::fromUtf8(flac.tag()->title().toCString(true)), QStringLiteral("With cover"));
    ASSERT_GE(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].path, QStringLiteral("/release/rel-9/"));
}

TEST_F(HLVArtworkPathsTest, ASearchWithoutACoverSaysWhy)
{
    server.setReply(QStringLiteral("/release-group/g1/"), HLVLoopbackServer::Reply::withStatus(404));
    server.setReply(QStringLiteral("/release-group/g2/"), HLVLoopbackServer::Reply::json("not json"));
    server.setReply(QStringLiteral("/release-group/g3/"), HLVLoopbackServer::Reply::withStatus(500));
    auto walk = [](HLVArtworkPaths::Candidates candidates) {
        return offMainThread([&] {
            HLVFailure failure;
            EXPECT_FALSE(HLVArtworkPaths::walkCandidates(candidates, &failure));
            return failure;
        });
    };
    EXPECT_EQ(walk({{"g1"}, {}}), HLVFailure::make(HLVFailure::Kind::NoCover, "no cover found"));
    EXPECT_EQ(walk({{"g1", "g2"}, {}}).kind, HLVFailure::Kind::DownloadFailed);   // a failed lookup says more
    EXPECT_EQ(walk({{"g3"}, {}}).message, "the cover lookup failed: the Cover Art Archive answered with status 500");

    // The artist search cannot reach MusicBrainz: the record keeps that reason.
    HLVTestFiles files;
    auto record = HLVFileData::createWithPath(files.copyFixture(QStringLiteral("tone.flac")));
    record->TagMap();
    record->editVirtualTagMap([](HLVTagMap& m) {
        m.setArtistName(QStringLiteral("Some Artist"));
        m.setAlbumName(QStringLiteral("Some Album"));
        m.setArtworkAttempted(false);
    });
    {
        HLVLoopbackServer closed;
        qputenv("CADRELLE_MUSICBRAINZ_URL", closed.baseAddress().toUtf8());
        HLVMusicBrainzServer::resetForTesting();
    }
    std::thread([&] { paths->obtainArtworkForFileData(record); }).join();
    ASSERT_TRUE(record->LastFailure());
    EXPECT_EQ(*record->LastFailure(), HLVFailure::make(HLVFailure::Kind::Unreachable, "cannot reach MusicBrainz"));
}
