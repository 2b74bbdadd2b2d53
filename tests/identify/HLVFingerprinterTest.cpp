#include "HLVAcoustIDGenerator.h"
#include "HLVFingerprinter.h"
#include "HLVLoopbackServer.h"
#include "HLVServiceConfiguration.h"
#include "HLVTestFiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

using namespace std::chrono_literals;
using Reply = HLVLoopbackServer::Reply;

namespace {

class GeneratedResult : public HLVAcoustIDGeneratorDelegate
{
public:
    void OnFingerprintGenerated(const std::optional<QString>& fingerprint, const std::optional<QString>& duration,
                                const std::optional<HLVFailure>& failure) override
    {
        ++reports;
        this->fingerprint = fingerprint;
        this->duration = duration;
        this->failure = failure;
    }
    int reports = 0;
    std::optional<HLVFailure> failure;
    std::optional<QString> fingerprint;
    std::optional<QString> duration;
};

// Writes an executable shell script that stands in for fpcalc.
QString writeTool(HLVTestFiles& files, const QString& name, const QByteArray& body)
{
    const QString path = files.writeFile(name, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

GeneratedResult generate(HLVAcoustIDGenerator& generator, const std::optional<QString>& path)
{
    GeneratedResult result;
    generator.setDelegate(&result);
    generator.generateFingerprintForFileAtPath(path);
    generator.setDelegate(nullptr);
    return result;
}

class ObtainedResult : public HLVFingerprinterDelegate
{
public:
    void OnFingerprintObtained(const std::optional<HLVFingerprint>& fingerprint,
                               const std::optional<HLVFailure>& failure) override
    {
        std::lock_guard lock(_mutex);
        _results.push_back(fingerprint);
        _failures.push_back(failure);
        _threads.push_back(QThread::currentThread());
        _changed.notify_all();
    }

    // The one result that arrives, and the thread it arrived on.
    std::pair<std::optional<HLVFingerprint>, QThread*> waitForOne()
    {
        std::unique_lock lock(_mutex);
        const bool arrived = _changed.wait_for(lock, 10s, [&] { return !_results.empty(); });
        EXPECT_TRUE(arrived);
        _changed.wait_for(lock, 100ms, [&] { return _results.size() > 1; });
        EXPECT_EQ(_results.size(), 1u);
        if (_results.empty())
            return {std::nullopt, nullptr};
        auto result = std::make_pair(_results.front(), _threads.front());
        _results.clear();
        _threads.clear();
        return result;
    }

private:
    std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<std::optional<HLVFingerprint>> _results;
    std::vector<QThread*> _threads;
    std::vector<std::optional<HLVFailure>> _failures;
};

} // namespace

TEST(HLVAcoustIDGenerator, RealToolFingerprintsTheFixtures)
{
    HLVTestFiles files;
    HLVAcoustIDGenerator generator;
    EXPECT_EQ(generator.toolPath(), QCoreApplication::applicationDirPath() + "/fpcalc");
    // The FLAC fixture makes Debian's fpcalc print an error line as well; the merged output must still parse.
    for (const char* fixture : {"tone.flac", "tone.mp3"}) {
        SCOPED_TRACE(fixture);
        const GeneratedResult result = generate(generator, files.copyFixture(QString::fromLatin1(fixture)));
        EXPECT_EQ(result.reports, 1);
        ASSERT_TRUE(result.fingerprint);
        EXPECT_GT(result.fingerprint->size(), 20);
        EXPECT_TRUE(result.fingerprint->startsWith("AQ"));
        EXPECT_EQ(result.duration, "5");
    }
}

TEST(HLVAcoustIDGenerator, ParsesMarkersOnTheirLinesWithoutTrimming)
{
    auto parsed = HLVAcoustIDGenerator::parseToolOutput("DURATION=1\nFINGERPRINT=abc\nDURATION=215\n");
    EXPECT_EQ(parsed.duration, "215");
    EXPECT_EQ(parsed.fingerprint, "abc");

    parsed = HLVAcoustIDGenerator::parseToolOutput("say DURATION=12 now\r\nFINGERPRINT= x y\nFINGERPRINT=z");
    EXPECT_EQ(parsed.duration, "say 12 now\r");
    EXPECT_EQ(parsed.fingerprint, "z");

    for (const QByteArray& output : {QByteArray("FINGERPRINT=abc\n"), QByteArray("DURATION=5\n"), QByteArray(""),
                                    QByteArray("DURATION=5\nFINGERPRINT=ab\xff\xfe\n"),
                                    QByteArray("DURATION=215\r\x03FINGERPRINT=AQADtE\n")}) {
        parsed = HLVAcoustIDGenerator::parseToolOutput(output);
        EXPECT_FALSE(parsed.duration) << output.constData();
        EXPECT_FALSE(parsed.fingerprint) << output.constData();
    }
}

TEST(HLVAcoustIDGenerator, RunsTheNamedToolOnlyWhenItCan)
{
    HLVTestFiles files;
    HLVAcoustIDGenerator generator;
    // Both streams count: the duration comes on the error stream here.
    const QString marker = files.path("started");
    generator.setToolPath(writeTool(files, "fake-fpcalc",
                                    "touch '" + marker.toUtf8() + "'\n"
                                    "echo \"ERROR: noise\" >&2\necho \"DURATION=$#\" >&2\necho \"FINGERPRINT=$1\"\n"));

    GeneratedResult result = generate(generator, QStringLiteral("/music/song.M4P"));
    EXPECT_EQ(result.reports, 1);
    EXPECT_FALSE(result.fingerprint);
    EXPECT_FALSE(QFile::exists(marker));
    result = generate(generator, std::nullopt);
    EXPECT_EQ(result.reports, 1);
    EXPECT_FALSE(QFile::exists(marker));

    result = generate(generator, QStringLiteral("/music/song.m4a"));
    EXPECT_TRUE(QFile::exists(marker));
    EXPECT_EQ(result.duration, "1");   // exactly one argument
    EXPECT_EQ(result.fingerprint, "/music/song.m4a");

    result = generate(generator, QStringLiteral("-v.mp3"));
    EXPECT_EQ(result.fingerprint, "./-v.mp3");

    generator.setToolPath(files.path("no-such-fpcalc"));
    result = generate(generator, QStringLiteral("/music/song.mp3"));
    EXPECT_EQ(result.reports, 1);
    EXPECT_FALSE(result.fingerprint);
    EXPECT_FALSE(result.duration);

    // Without a delegate nothing runs.
    QFile::remove(marker);
    generator.setToolPath(files.path("fake-fpcalc"));
    generator.generateFingerprintForFileAtPath(QStringLiteral("/music/song.mp3"));
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(HLVFingerprinter, DeliversTheLookedUpRecordingOnAnotherThread)
{
    HLVLoopbackServer server;
    HLVTestFiles files;
    qputenv("CADRELLE_ACOUSTID_URL", server.baseAddress().toUtf8());
    HLVServiceConfiguration::setRequestPauseForTesting(0ms);
    HLVServiceConfiguration::setRetryBackoffForTesting(5ms);
    server.setReply("/v2/lookup", "client=pQ4vTn8r&meta=recordings&duration=215&fingerprint=FPTEXT",
                    Reply::json(R"({"status":"ok","results":[{"recordings":[
                        {"id":"rec-9","title":"Nine","duration":215,"artists":[{"id":"art-9","name":"N"}]}]}]})"));

    ObtainedResult obtained;
    HLVFingerprinter fingerprinter;
    fingerprinter.setDelegate(&obtained);
    fingerprinter.acoustIDGenerator().setToolPath(
        writeTool(files, "fake-fpcalc", "printf 'DURATION=215\\nFINGERPRINT=FPTEXT\\n'\n"));
    fingerprinter.ObtainFingerprintForTrackAtPath(QStringLiteral("/music/song.mp3"));
    auto [fingerprint, thread] = obtained.waitForOne();
    ASSERT_TRUE(fingerprint);
    EXPECT_EQ(fingerprint->RecordingMBID(), "rec-9");
    EXPECT_EQ(fingerprint->TrackName(), "Nine");
    EXPECT_EQ(fingerprint->ArtistMBID(), "art-9");
    EXPECT_NE(thread, QThread::currentThread());
    EXPECT_NE(thread, QCoreApplication::instance()->thread());

    // A failed tool still reports, asynchronously, exactly once.
    fingerprinter.acoustIDGenerator().setToolPath(files.path("missing"));
    fingerprinter.ObtainFingerprintForTrackAtPath(QStringLiteral("/music/song.mp3"));
    std::tie(fingerprint, thread) = obtained.waitForOne();
    EXPECT_FALSE(fingerprint);
    EXPECT_NE(thread, QThread::currentThread());
    EXPECT_EQ(server.requests().size(), 1u);

    qunsetenv("CADRELLE_ACOUSTID_URL");
    HLVServiceConfiguration::resetPacingForTesting();
}

TEST(HLVFingerprinter, NeedsARecordingIdentifierAndTitleButNotAnArtist)
{
    ObtainedResult obtained;
    HLVFingerprinter fingerprinter;
    fingerprinter.setDelegate(&obtained);

    fingerprinter.OnFingerprintIdentifiedWithRecordingMBID(QStringLiteral("rec"), QStringLiteral("Title"), std::nullopt, std::nullopt);
    auto fingerprint = obtained.waitForOne().first;
    ASSERT_TRUE(fingerprint);
    EXPECT_EQ(fingerprint->RecordingMBID(), "rec");
    EXPECT_FALSE(fingerprint->ArtistMBID());

    fingerprinter.OnFingerprintIdentifiedWithRecordingMBID(QStringLiteral("rec"), std::nullopt, QStringLiteral("a"), std::nullopt);
    EXPECT_FALSE(obtained.waitForOne().first);
    fingerprinter.OnFingerprintIdentifiedWithRecordingMBID(std::nullopt, QStringLiteral("Title"), QStringLiteral("a"), std::nullopt);
    EXPECT_FALSE(obtained.waitForOne().first);
}
