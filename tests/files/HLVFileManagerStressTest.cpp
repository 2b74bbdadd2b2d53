#include "HLVCannedReplies.h"
#include "HLVFileManager.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzServer.h"
#include "HLVServiceConfiguration.h"
#include "HLVTestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <chrono>
#include <random>
#include <thread>
#include <gtest/gtest.h>
#include <taglib/fileref.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Records = QList<std::shared_ptr<HLVFileData>>;

namespace {

// Operations per thread (300 in all). About three seconds normally and not
// much more under ThreadSanitizer; CADRELLE_STRESS_OPS sets another number.
int operationsPerThread()
{
    bool ok = false;
    const int given = qEnvironmentVariableIntValue("CADRELLE_STRESS_OPS", &ok);
    return ok && given > 0 ? given : 150;
}

// Counts starts and finishes per kind and notes any finish without a start.
class BatchLedger : public HLVFileManagerDelegate
{
public:
    void fileOperationDidStart(int kind) override
    {
        std::lock_guard lock(_mutex);
        ++_started[kind];
    }
    void fileOperationDidFinish(int kind) override
    {
        std::lock_guard lock(_mutex);
        if (++_finished[kind] > _started.value(kind))
            _unmatched.append(kind);
    }
    // Kinds whose starts and finishes differ, and finishes that came before their start.
    QString imbalance() const
    {
        std::lock_guard lock(_mutex);
        QStringList problems;
        for (auto it = _started.cbegin(); it != _started.cend(); ++it) {
            if (_finished.value(it.key()) != it.value())
                problems << QStringLiteral("kind %1: %2 started, %3 finished")
                                .arg(it.key()).arg(it.value()).arg(_finished.value(it.key()));
        }
        for (int kind : _unmatched)
            problems << QStringLiteral("kind %1 finished before it started").arg(kind);
        return problems.join(QStringLiteral("; "));
    }
    int started() const
    {
        std::lock_guard lock(_mutex);
        int total = 0;
        for (int count : _started)
            total += count;
        return total;
    }

private:
    mutable std::mutex _mutex;
    QHash<int, int> _started;
    QHash<int, int> _finished;
    QList<int> _unmatched;
};

std::vector<HLVLoopbackServer::Reply> randomlyDelayed(const HLVLoopbackServer::Reply& reply, std::mt19937& random)
{
    std::vector<HLVLoopbackServer::Reply> replies;
    std::uniform_int_distribution<int> delay(0, 250);
    for (int i = 0; i < 50; ++i)
        replies.push_back(reply.delayed(std::chrono::milliseconds(delay(random))));
    return replies;
}

bool waitUntilIdle(HLVFileManager& manager, std::chrono::milliseconds deadline)
{
    const auto end = Clock::now() + deadline;
    while (manager.isOperationRunning()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(); // answers posted to the main thread
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

} // namespace

// Two threads drive one manager with random operations over 40 files while the
// services answer after random delays; every batch that starts must finish
// once, and every file must stay readable with its audio intact.
TEST(HLVFileManagerStress, RandomOperationsFromTwoThreads)
{
    std::mt19937 random(20261208);
    HLVLoopbackServer server;
    server.setReplies(QStringLiteral("/v2/lookup"), QString(),
                      randomlyDelayed(HLVLoopbackServer::Reply::json(HLVCannedReplies::acoustIDReply()), random));
    server.setReplies(QStringLiteral("/ws/2/recording/"), QString(),
                      randomlyDelayed(HLVLoopbackServer::Reply::xml(HLVCannedReplies::releasesReply()), random));
    // The archive's addresses become https; an upper-case scheme keeps this plain-http server.
    const QString cover = QStringLiteral("HTTP://127.0.0.1:%1/cover.png").arg(server.port());
    for (const char* release : {"/release/rel-single/", "/release/rel-album/"})
        server.setReplies(QLatin1String(release), QString(),
                          randomlyDelayed(HLVLoopbackServer::Reply::json(HLVCannedReplies::coverListing(cover)), random));
    server.setReply(QStringLiteral("/cover.png"), HLVLoopbackServer::Reply::bytes(HLVCannedReplies::pngBytes(), "image/png"));
    qputenv("CADRELLE_ACOUSTID_URL", server.baseAddress().toUtf8());
    qputenv("CADRELLE_MUSICBRAINZ_URL", server.baseAddress().toUtf8());
    qputenv("CADRELLE_COVERART_URL", server.baseAddress().toUtf8());
    HLVMusicBrainzServer::resetForTesting();
    HLVServiceConfiguration::setRequestPauseForTesting(5ms);

    HLVTestFiles files;
    QList<QUrl> urls;
    for (int i = 0; i < 40; ++i) {
        const bool mp3 = i % 2 == 0;
        const QString name = QStringLiteral("s%1.%2").arg(i, 2, 10, QLatin1Char('0')).arg(mp3 ? "mp3" : "flac");
        urls.append(QUrl::fromLocalFile(files.copyFixture(mp3 ? QStringLiteral("tone.mp3") : QStringLiteral("tone.flac"), name)));
    }
    const QString folder = QFileInfo(urls.first().toLocalFile()).absolutePath();

    BatchLedger ledger;
    {
        HLVFileManager manager;
        manager.addDelegate(&ledger);
        manager.addFilesAtURLs(urls);

        const int operations = operationsPerThread();
        std::atomic<int> drivers{0};
        auto drive = [&](unsigned seed) {
            std::mt19937 dice(seed);
            auto pick = [&](int most) {
                Records all = manager.FileDataArray();
                std::shuffle(all.begin(), all.end(), dice);
                return all.mid(0, std::uniform_int_distribution<int>(1, most)(dice));
            };
            for (int i = 0; i < operations; ++i) {
                switch (std::uniform_int_distribution<int>(0, 15)(dice)) {
                case 0: manager.addFilesAtURLs(urls.mid(std::uniform_int_distribution<int>(0, 39)(dice), 5)); break;
                case 1: manager.removeFiles(pick(2)); break;
                case 2:
                case 3:
                    for (const auto& record : pick(4)) {
                        record->setVirtualTagText(*HLVTagField::withKey(QStringLiteral("TrackName")),
                                                  QStringLiteral("Edit %1").arg(i));
                        record->forceIsModified();
                        manager.fileWasModified(record);
                    }
                    break;
                case 4:
                case 5: manager.saveFiles(pick(6)); break;
                case 6: manager.identifyFiles(pick(3)); break;
                case 7: manager.obtainArtworkForFiles(pick(4)); break;
                case 8: manager.renameFiles(pick(3), HLVFileNameStructure()); break;
                case 9: manager.refreshFilters(); break;
                case 10: manager.cancelFilter(); break;
                case 11: manager.stopSaving(); break;
                case 12: manager.stopIdentifying(); break;
                case 13: manager.stopObtainingArtwork(); break;
                case 14: manager.stopRenaming(); break;
                default:
                    if (auto record = manager.fileAtIndex(0))
                        record->undoChanges();
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 15)(dice)));
            }
            ++drivers;
        };
        std::thread first(drive, 1u);
        std::thread second(drive, 2u);
        // The main thread runs the answers posted to it meanwhile.
        while (drivers < 2) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(5ms);
        }
        first.join();
        second.join();
        EXPECT_TRUE(waitUntilIdle(manager, 90s)) << "still running: kind " << manager.currentOperation();
        EXPECT_EQ(ledger.imbalance(), QString());
        EXPECT_GT(ledger.started(), 20);

        // A later run, shut down in its middle.
        manager.saveFiles(manager.FileDataArray());
        manager.identifyFiles(manager.FileDataArray());
        manager.obtainArtworkForFiles(manager.FileDataArray());
        for (const auto& record : manager.FileDataArray()) {
            record->setVirtualTagText(*HLVTagField::withKey(QStringLiteral("AlbumName")), QStringLiteral("Late"));
            record->forceIsModified();
        }
        manager.saveFiles(manager.FileDataArray());
        std::this_thread::sleep_for(150ms);
        const auto before = Clock::now();
        manager.shutdown();
        EXPECT_LT(Clock::now() - before, 2s);
        EXPECT_FALSE(manager.isOperationRunning());
        EXPECT_EQ(ledger.imbalance(), QString());
        manager.removeDelegate(&ledger);
    }

    const QByteArray mp3Audio = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.mp3")));
    const QByteArray flacAudio = HLVTestFiles::readAll(HLVTestFiles::fixturePath(QStringLiteral("tone.flac"))).mid(8192);
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.mp3"), QStringLiteral("*.flac")}, QDir::Files);
    EXPECT_EQ(names.size(), 40);
    for (const QString& name : names) {
        const QString path = QDir(folder).filePath(name);
        TagLib::FileRef file(QFile::encodeName(path).constData());
        EXPECT_FALSE(file.isNull()) << name.toStdString();
        const QByteArray bytes = HLVTestFiles::readAll(path);
        EXPECT_TRUE(bytes.contains(name.endsWith(QLatin1String(".mp3")) ? mp3Audio : flacAudio)) << name.toStdString();
    }

    HLVServiceConfiguration::resetPacingForTesting();
    qunsetenv("CADRELLE_ACOUSTID_URL");
    qunsetenv("CADRELLE_MUSICBRAINZ_URL");
    qunsetenv("CADRELLE_COVERART_URL");
    HLVMusicBrainzServer::resetForTesting();
}
