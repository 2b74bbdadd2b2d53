// cadrelle-bench: Cadrelle's speed and memory on a whole library, side by side
// with what a bare TagLib program manages on the same files in the same run,
// and identification against the services' one-request-a-second limit.
//
// Prints one figure a line, "NAME VALUE UNIT", on standard output; progress and
// failures go to standard error. Every scenario also checks its own results
// (what was read, saved, filtered, identified), and the exit status is 1 when a
// check failed, so a smoke run with tiny sizes (--smoke) is a test.

#include "HLVBareTagLib.h"
#include "HLVBenchCorpus.h"
#include "HLVBenchOperationWatch.h"
#include "HLVBenchQuit.h"
#include "HLVBenchUI.h"
#include "HLVBenchWindow.h"
#include "HLVCannedReplies.h"
#include "HLVFileManager.h"
#include "HLVLoopbackServer.h"
#include "HLVTagLib.h"

#include <QCommandLineParser>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <random>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using Entry = HLVBenchCorpus::Entry;
using namespace std::chrono_literals;

namespace {

// Keeps the timed loops from being optimised away.
std::atomic<std::size_t> sink{0};

void consume(std::size_t value)
{
    sink.fetch_add(value, std::memory_order_relaxed);
}

struct Sizes
{
    int read = 2000;
    int add = 20000;
    int filter = 20000;
    int save = 2000;
    int identify = 50;
    int rounds = 3;
    int ui = 20000;
    int window = 20000;
    int windowSave = 20000;
    int cli = 3000;
};

void figure(const char* name, double value, const char* unit, int decimals = 2)
{
    std::printf("%s %.*f %s\n", name, decimals, value, unit);
    std::fflush(stdout);
}

void note(const QString& text)
{
    std::fprintf(stderr, "cadrelle-bench: %s\n", qPrintable(text));
}

bool fail(const char* scenario, const QString& text)
{
    note(QStringLiteral("%1: FAILED: %2").arg(QLatin1String(scenario), text));
    return false;
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

template <typename Function>
double timed(Function&& function)
{
    const auto start = Clock::now();
    function();
    return seconds(Clock::now() - start);
}

// Runs both sides over the files a chunk at a time, alternating which goes
// first, so that whatever the machine does meanwhile (other programs) falls
// on both alike. Each side is given a range [begin, end) and answers its
// time, or a negative number on failure. The disk is settled after each side,
// untimed: a side that flushes what it wrote would otherwise also write out
// what the other side left in memory and be charged for it.
template <typename Ours, typename Bare>
bool interleaved(qsizetype count, int round, Ours&& ours, Bare&& bare, double* oursTotal, double* bareTotal)
{
    const qsizetype chunk = std::clamp<qsizetype>(count / 20, 1, 100);
    for (qsizetype begin = 0, index = 0; begin < count; begin += chunk, ++index) {
        const qsizetype end = std::min(count, begin + chunk);
        const bool oursFirst = (index + round) % 2 == 0;
        const double first = oursFirst ? ours(begin, end) : bare(begin, end);
        ::sync();
        const double second = oursFirst ? bare(begin, end) : ours(begin, end);
        ::sync();
        if (first < 0 || second < 0)
            return false;
        *oursTotal += oursFirst ? first : second;
        *bareTotal += oursFirst ? second : first;
    }
    return true;
}

// Bytes the allocator has handed out and not taken back, over every arena.
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

// --- read ------------------------------------------------------------------------------

QString sameAs(const QString& field, const std::optional<QString>& ours, const TagLib::String& bare)
{
    const QString expected = HLVBareTagLib::toQString(bare);
    if (ours.value_or(QString()) == expected)
        return QString();
    return QStringLiteral("%1: ours \"%2\", TagLib \"%3\"; ").arg(field, ours.value_or(QStringLiteral("(absent)")), expected);
}

QString sameAs(const QString& field, const std::optional<int>& ours, unsigned int bare)
{
    if (ours.value_or(0) == int(bare))
        return QString();
    return QStringLiteral("%1: ours %2, TagLib %3; ").arg(field).arg(ours.value_or(0)).arg(bare);
}

// What our reader made of a file against what TagLib itself holds.
QString differences(const HLVTagMap& ours, const HLVFileDetails& details, const HLVBareTagLib::Tags& bare)
{
    QString text = sameAs(QStringLiteral("title"), ours.TrackName(), bare.title)
        + sameAs(QStringLiteral("artist"), ours.ArtistName(), bare.artist)
        + sameAs(QStringLiteral("album"), ours.AlbumName(), bare.album)
        + sameAs(QStringLiteral("genre"), ours.Genre(), bare.genre)
        + sameAs(QStringLiteral("comment"), ours.Comment(), bare.comment)
        + sameAs(QStringLiteral("album artist"), ours.AlbumArtist(), bare.albumArtist)
        + sameAs(QStringLiteral("composer"), ours.Composer(), bare.composer)
        + sameAs(QStringLiteral("year"), ours.ReleaseYear(), bare.year)
        + sameAs(QStringLiteral("track"), ours.TrackNumber(), bare.track);
    if (ours.Artwork().isNull() != bare.picture.isEmpty())
        text += QStringLiteral("artwork present differs; ");
    text += sameAs(QStringLiteral("length"), details.lengthMilliseconds, unsigned(bare.lengthMilliseconds))
        + sameAs(QStringLiteral("bit rate"), details.bitRate, unsigned(bare.bitRate))
        + sameAs(QStringLiteral("sample rate"), details.sampleRate, unsigned(bare.sampleRate))
        + sameAs(QStringLiteral("channels"), details.channels, unsigned(bare.channels));
    const auto& custom = ours.CustomTagValues();
    const qsizetype customCount = custom ? custom->size() : 0;
    if (customCount != qsizetype(bare.customValues.size())) {
        text += QStringLiteral("custom tags: ours %1, TagLib %2; ").arg(customCount).arg(bare.customValues.size());
    } else {
        for (qsizetype i = 0; i < customCount; ++i)
            text += sameAs(QStringLiteral("custom tag"), custom->at(i)->value(), bare.customValues[unsigned(i)]);
    }
    return text;
}

bool runRead(const QList<Entry>& entries, int rounds)
{
    const QStringList paths = HLVBenchCorpus::paths(entries);
    QList<QByteArray> encoded;
    for (const QString& path : paths)
        encoded.append(QFile::encodeName(path));

    // An untimed pass of each warms the page cache and checks that both read the same.
    for (qsizetype i = 0; i < entries.size(); ++i) {
        HLVFileDetails details;
        const auto ours = HLVTagLib::loadTagsFromFileAtPath(paths[i], nullptr, nullptr, &details);
        HLVBareTagLib::Tags bare;
        if (!HLVBareTagLib::read(encoded[i], entries[i].format, bare))
            return fail("read", QStringLiteral("TagLib cannot read %1").arg(paths[i]));
        const QString diff = differences(*ours, details, bare);
        if (!diff.isEmpty())
            return fail("read", QStringLiteral("%1: %2").arg(paths[i], diff));
        if (entries[i].completeness == HLVBenchCorpus::Completeness::Complete && ours->Artwork().isNull())
            return fail("read", QStringLiteral("%1: the cover was not read").arg(paths[i]));
    }

    // Per format as well: each file is timed on its own.
    double oursByFormat[3] = {0, 0, 0}, bareByFormat[3] = {0, 0, 0};
    auto oursRange = [&](qsizetype begin, qsizetype end) {
        double total = 0;
        for (qsizetype i = begin; i < end; ++i) {
            const double elapsed = timed([&] {
                HLVFileDetails details; // as a record reads a file
                const auto map = HLVTagLib::loadTagsFromFileAtPath(paths[i], nullptr, nullptr, &details);
                consume(map->TrackName() ? map->TrackName()->size() : 0);
            });
            oursByFormat[int(entries[i].format)] += elapsed;
            total += elapsed;
        }
        return total;
    };
    auto bareRange = [&](qsizetype begin, qsizetype end) {
        double total = 0;
        for (qsizetype i = begin; i < end; ++i) {
            const double elapsed = timed([&] {
                HLVBareTagLib::Tags tags;
                HLVBareTagLib::read(encoded[i], entries[i].format, tags);
                consume(tags.title.size());
            });
            bareByFormat[int(entries[i].format)] += elapsed;
            total += elapsed;
        }
        return total;
    };
    double ours = 0, bare = 0;
    for (int round = 0; round < rounds; ++round)
        interleaved(entries.size(), round, oursRange, bareRange, &ours, &bare);
    const double files = double(entries.size()) * rounds;
    figure("read.files", entries.size(), "files", 0);
    figure("read.cadrelle", files / ours, "files/s", 0);
    figure("read.taglib", files / bare, "files/s", 0);
    figure("read.ratio", ours / bare, "x");
    figure("read.ratio_mp3", oursByFormat[int(HLVTagLib::Format::MP3)] / bareByFormat[int(HLVTagLib::Format::MP3)], "x");
    figure("read.ratio_mp4", oursByFormat[int(HLVTagLib::Format::MP4)] / bareByFormat[int(HLVTagLib::Format::MP4)], "x");
    figure("read.ratio_flac", oursByFormat[int(HLVTagLib::Format::FLAC)] / bareByFormat[int(HLVTagLib::Format::FLAC)], "x");
    return true;
}

// --- add ---------------------------------------------------------------------------------

// One batch add into an empty collection: its time to the finish and the heap
// it took, per record.
bool addBatch(const QList<QUrl>& urls, double* elapsed, double* bytesPerRecord)
{
    HLVFileManager manager;
    HLVBenchOperationWatch watch(manager);
    watch.expect(HLVFileOperationAdding);
    const std::size_t before = heapInUse();
    const auto start = Clock::now();
    manager.addFilesAtURLs(urls);
    if (!watch.wait(600s))
        return fail("add", QStringLiteral("no finish within 10 minutes"));
    *elapsed = seconds(watch.finishedAt() - start);
    const std::size_t after = heapInUse();
    *bytesPerRecord = double(after > before ? after - before : 0) / urls.size();

    const auto records = manager.FileDataArray();
    if (records.size() != urls.size())
        return fail("add", QStringLiteral("%1 records for %2 paths").arg(records.size()).arg(urls.size()));
    for (const auto& record : records) {
        if (record->isLoaded())
            return fail("add", QStringLiteral("%1 was read while being added").arg(record->FilePath()));
    }
    return true;
}

bool runAdd(const QList<Entry>& entries)
{
    QList<QUrl> urls;
    for (const Entry& entry : entries)
        urls.append(QUrl::fromLocalFile(entry.path));
    // In name order, as from a sorted folder listing: each record goes to the end.
    double inOrder = 0, shuffled = 0, bytes = 0;
    if (!addBatch(urls, &inOrder, &bytes))
        return false;
    // Dropped items and unsorted listings: each record goes somewhere in the middle.
    std::shuffle(urls.begin(), urls.end(), std::mt19937(20240611));
    if (!addBatch(urls, &shuffled, &bytes))
        return false;
    figure("add.files", entries.size(), "files", 0);
    figure("add.seconds", shuffled, "s", 3);
    figure("add.seconds_in_name_order", inOrder, "s", 3);
    figure("add.bytes_per_record", bytes, "B", 0);
    return true;
}

// --- filter ------------------------------------------------------------------------------

bool runFilter(const QList<Entry>& entries, int rounds)
{
    HLVFileManager manager;
    HLVBenchOperationWatch watch(manager);
    QList<QUrl> urls;
    for (const Entry& entry : entries)
        urls.append(QUrl::fromLocalFile(entry.path));
    watch.expect(HLVFileOperationAdding);
    manager.addFilesAtURLs(urls);
    if (!watch.wait(600s))
        return fail("filter", QStringLiteral("adding the files did not finish"));
    const auto records = manager.FileDataArray();
    const QStringList paths = HLVBenchCorpus::paths(entries);

    qsizetype untagged = 0, partial = 0;
    for (const Entry& entry : entries) {
        untagged += entry.completeness == HLVBenchCorpus::Completeness::Untagged;
        partial += entry.completeness == HLVBenchCorpus::Completeness::Partial;
    }
    auto pass = [&](double* total) {
        watch.expect(HLVFileOperationFiltering);
        const auto start = Clock::now();
        manager.refreshFilters();
        if (!watch.wait(600s))
            return fail("filter", QStringLiteral("no finish within 10 minutes"));
        *total += seconds(watch.finishedAt() - start);
        if (manager.UntaggedFileDataArray().size() != untagged || manager.PartiallyTaggedFileDataArray().size() != partial)
            return fail("filter", QStringLiteral("%1 untagged and %2 partially tagged, expected %3 and %4")
                                      .arg(manager.UntaggedFileDataArray().size())
                                      .arg(manager.PartiallyTaggedFileDataArray().size())
                                      .arg(untagged)
                                      .arg(partial));
        return true;
    };
    auto readPass = [&] {
        return timed([&] {
            for (const QString& path : paths) {
                HLVFileDetails details;
                const auto map = HLVTagLib::loadTagsFromFileAtPath(path, nullptr, nullptr, &details);
                consume(map->TrackName() ? map->TrackName()->size() : 0);
            }
        });
    };

    double read = 0, first = 0, second = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& record : records)
            record->setFilteredTagCount(-1); // what a fresh collection holds
        if (round % 2 == 0)
            read += readPass();
        if (!pass(&first) || !pass(&second))
            return false;
        if (round % 2 == 1)
            read += readPass();
    }
    figure("filter.files", entries.size(), "files", 0);
    figure("filter.first_files_per_second", double(entries.size()) * rounds / first, "files/s", 0);
    figure("filter.first_ratio", first / read, "x");
    figure("filter.second_ms", second / rounds * 1000, "ms", 1);
    return true;
}

// --- save --------------------------------------------------------------------------------

HLVBareTagLib::Change changeFor(int round, qsizetype index)
{
    HLVBareTagLib::Change change;
    change.title = TagLib::String(QStringLiteral("Round %1 title %2").arg(round).arg(index).toStdString());
    change.album = TagLib::String(QStringLiteral("Saved in round %1").arg(round).toStdString());
    change.year = unsigned(2000 + round);
    change.trackNumber = unsigned(index % 12 + 1);
    change.trackTotal = unsigned(12 + round);
    return change;
}

bool runSave(HLVBenchCorpus& corpus, const QList<Entry>& entries, int rounds)
{
    const QList<Entry> oursFiles = corpus.makeCopies(QStringLiteral("save-cadrelle"), entries);
    const QList<Entry> bareFiles = corpus.makeCopies(QStringLiteral("save-taglib"), entries);
    if (oursFiles.isEmpty() || bareFiles.isEmpty())
        return fail("save", corpus.lastError());
    QList<QByteArray> barePaths;
    for (const Entry& entry : bareFiles)
        barePaths.append(QFile::encodeName(entry.path));

    HLVFileManager manager;
    HLVBenchOperationWatch watch(manager);
    QList<std::shared_ptr<HLVFileData>> records;
    for (const Entry& entry : oursFiles) {
        auto record = HLVFileData::createWithPath(entry.path);
        manager.addFileData(record);
        record->InitialTagMap(); // the user has seen the tags before changing them
        records.append(record);
    }

    double ours = 0, bare = 0;
    for (int round = 0; round < rounds; ++round) {
        for (qsizetype i = 0; i < records.size(); ++i) {
            const HLVBareTagLib::Change change = changeFor(round, i);
            records[i]->editVirtualTagMap([&change](HLVTagMap& map) {
                map.setTrackName(HLVBareTagLib::toQString(change.title));
                map.setAlbumName(HLVBareTagLib::toQString(change.album));
                map.setReleaseYear(int(change.year));
                map.setTrackNumber(int(change.trackNumber));
                map.setTrackTotal(int(change.trackTotal));
            });
            records[i]->forceIsModified();
            manager.fileWasModified(records[i]);
        }
        auto oursRange = [&](qsizetype begin, qsizetype end) {
            const auto batch = records.mid(begin, end - begin);
            watch.expect(HLVFileOperationSaving);
            const auto start = Clock::now();
            manager.saveFilesInUnmanagedArray(batch);
            if (!watch.wait(600s)) {
                fail("save", QStringLiteral("no finish within 10 minutes"));
                return -1.0;
            }
            if (watch.codeCount(HLVFileDataChangeSaved) != batch.size()) {
                fail("save", QStringLiteral("%1 of %2 files saved").arg(watch.codeCount(HLVFileDataChangeSaved)).arg(batch.size()));
                return -1.0;
            }
            return seconds(watch.finishedAt() - start);
        };
        auto bareRange = [&](qsizetype begin, qsizetype end) {
            bool saved = true;
            const double elapsed = timed([&] {
                for (qsizetype i = begin; i < end; ++i)
                    saved = HLVBareTagLib::save(barePaths[i], bareFiles[i].format, changeFor(round, i)) && saved;
            });
            if (!saved) {
                fail("save", QStringLiteral("TagLib could not save every file"));
                return -1.0;
            }
            return elapsed;
        };
        if (!interleaved(records.size(), round, oursRange, bareRange, &ours, &bare))
            return false;
    }

    // Both sets now hold the last round's change; TagLib reads it back.
    for (qsizetype i = 0; i < oursFiles.size(); ++i) {
        const HLVBareTagLib::Change change = changeFor(rounds - 1, i);
        for (const Entry* entry : {&oursFiles[i], &bareFiles[i]}) {
            HLVBareTagLib::Tags tags;
            if (!HLVBareTagLib::read(QFile::encodeName(entry->path), entry->format, tags) || tags.title != change.title
                || tags.album != change.album || tags.year != change.year || tags.track != change.trackNumber)
                return fail("save", QStringLiteral("%1 does not hold the change").arg(entry->path));
        }
    }
    const double files = double(entries.size()) * rounds;
    figure("save.files", entries.size(), "files", 0);
    figure("save.cadrelle", files / ours, "files/s", 0);
    figure("save.taglib", files / bare, "files/s", 0);
    figure("save.ratio", ours / bare, "x");
    return true;
}

// --- identify ------------------------------------------------------------------------------

bool runIdentify(HLVBenchCorpus& corpus, int count)
{
    std::unique_ptr<HLVLoopbackServer> server;
    try {
        server = std::make_unique<HLVLoopbackServer>();
    } catch (const std::exception& error) {
        return fail("identify", QStringLiteral("no loopback server: %1").arg(QString::fromLocal8Bit(error.what())));
    }
    server->setReply(QStringLiteral("/v2/lookup"), HLVLoopbackServer::Reply::json(HLVCannedReplies::acoustIDReply()));
    server->setReply(QStringLiteral("/ws/2/recording/"), HLVLoopbackServer::Reply::xml(HLVCannedReplies::albumReleaseReply()));
    // Before any request: nothing may reach the real services.
    for (const char* variable : {"CADRELLE_ACOUSTID_URL", "CADRELLE_MUSICBRAINZ_URL", "CADRELLE_COVERART_URL"})
        qputenv(variable, server->baseAddress().toUtf8());

    const QList<Entry> entries = corpus.makeUntaggedCopies(QStringLiteral("identify"), count);
    if (entries.isEmpty())
        return fail("identify", corpus.lastError());
    HLVFileManager manager;
    HLVBenchOperationWatch watch(manager);
    QList<std::shared_ptr<HLVFileData>> records;
    for (const Entry& entry : entries) {
        records.append(HLVFileData::createWithPath(entry.path));
        manager.addFileData(records.last());
    }
    watch.expect(HLVFileOperationIdentifying);
    const auto start = Clock::now();
    manager.identifyFiles(records);
    if (!watch.wait(std::chrono::seconds(60 + 10 * count)))
        return fail("identify", QStringLiteral("no finish in time"));
    const double elapsed = seconds(watch.finishedAt() - start);

    const int identified = watch.codeCount(HLVFileManagerChangeIdentified);
    if (identified != count)
        return fail("identify", QStringLiteral("%1 of %2 files identified (is fpcalc beside cadrelle-bench?)")
                                    .arg(identified)
                                    .arg(count));
    int musicBrainzRequests = 0;
    for (const auto& request : server->requests())
        musicBrainzRequests += request.path.startsWith(QLatin1String("/ws/2/"));
    if (musicBrainzRequests != count)
        return fail("identify", QStringLiteral("%1 MusicBrainz requests for %2 files").arg(musicBrainzRequests).arg(count));
    figure("identify.files", count, "files", 0);
    figure("identify.seconds", elapsed, "s", 1);
    figure("identify.files_per_second", count / elapsed, "files/s");
    figure("identify.ceiling", 1.0, "files/s");
    return true;
}

// --- cli ---------------------------------------------------------------------------------

// One run of "cadrelle-cli show --json" over a folder, as a user starts it:
// the whole process, start-up included. Its output, when wanted, in *json.
double runShow(const QString& folder, QByteArray* json)
{
    QProcess process;
    if (!json)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const auto start = Clock::now();
    process.start(QCoreApplication::applicationDirPath() + QLatin1String("/cadrelle-cli"),
                  {QStringLiteral("show"), QStringLiteral("--json"), QStringLiteral("--quiet"), folder});
    if (!process.waitForStarted(30000))
        return -1;
    if (json) {
        while (process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(1000);
            *json += process.readAllStandardOutput();
        }
    } else if (!process.waitForFinished(600000)) {
        return -1;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return -1;
    const double elapsed = seconds(Clock::now() - start);
    if (json)
        *json += process.readAllStandardOutput();
    return elapsed;
}

// The command line's show over a folder of mixed files, against a bare
// single-threaded TagLib loop reading the same fields of the same files.
bool runCLI(const QList<Entry>& entries, int rounds)
{
    const QString folder = QFileInfo(entries.first().path).absolutePath();
    QList<QByteArray> encoded;
    for (const Entry& entry : entries)
        encoded.append(QFile::encodeName(entry.path));

    // An untimed run warms the page cache and checks what the command printed.
    QByteArray output;
    if (runShow(folder, &output) < 0)
        return fail("cli", QStringLiteral("cadrelle-cli show failed (is it beside cadrelle-bench?)"));
    const QJsonArray shown = QJsonDocument::fromJson(output).array();
    if (shown.size() != entries.size())
        return fail("cli", QStringLiteral("%1 files shown of %2").arg(shown.size()).arg(entries.size()));

    // show without --details reads no audio properties, and neither does the loop.
    auto bareLoop = [&] {
        return timed([&] {
            for (qsizetype i = 0; i < entries.size(); ++i) {
                HLVBareTagLib::Tags tags;
                HLVBareTagLib::read(encoded[i], entries[i].format, tags, false);
                consume(tags.title.size());
            }
        });
    };
    double ours = 0, bare = 0;
    for (int round = 0; round < rounds; ++round) {
        // Alternating which goes first spreads the machine's other work over both.
        if (round % 2 == 1)
            bare += bareLoop();
        const double elapsed = runShow(folder, nullptr);
        if (elapsed < 0)
            return fail("cli", QStringLiteral("cadrelle-cli show failed"));
        ours += elapsed;
        if (round % 2 == 0)
            bare += bareLoop();
    }
    figure("cli.files", entries.size(), "files", 0);
    figure("cli.seconds", ours / rounds, "s", 3);
    figure("cli.taglib_seconds", bare / rounds, "s", 3);
    figure("cli.ratio", ours / bare, "x");
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // The file list scenario builds real widgets; they need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cadrelle-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures Cadrelle against a bare TagLib program and the services' rate limits.\n"
        "Prints one figure a line: NAME VALUE UNIT."));
    parser.addHelpOption();
    const Sizes defaults;
    auto sizeOption = [](const char* name, const char* what, int value) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(what), QStringLiteral("N"),
                                  QString::number(value));
    };
    const QCommandLineOption readOption = sizeOption("read", "Files read per pass.", defaults.read);
    const QCommandLineOption addOption = sizeOption("add", "Paths added in one batch.", defaults.add);
    const QCommandLineOption filterOption = sizeOption("filter", "Files in the filter passes.", defaults.filter);
    const QCommandLineOption saveOption = sizeOption("save", "Files saved per pass.", defaults.save);
    const QCommandLineOption identifyOption = sizeOption("identify", "Files identified.", defaults.identify);
    const QCommandLineOption uiOption = sizeOption("ui", "Files in the file list scenario.", defaults.ui);
    const QCommandLineOption windowOption =
        sizeOption("window", "Files (links to one MP3 with a 500 KB cover) in the window scenario.", defaults.window);
    const QCommandLineOption windowSaveOption =
        sizeOption("window-save", "Files of the window scenario edited and saved.", defaults.windowSave);
    const QCommandLineOption cliOption = sizeOption("cli", "Files shown by the command line.", defaults.cli);
    const QCommandLineOption roundsOption = sizeOption("rounds", "Timed passes of read, filter and save.", defaults.rounds);
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("Comma-separated scenarios: read,add,filter,save,identify,ui,window,cli."),
                                        QStringLiteral("LIST"));
    const QCommandLineOption smokeOption(QStringLiteral("smoke"),
                                         QStringLiteral("Tiny sizes: checks that every scenario still works."));
    parser.addOptions({readOption, addOption, filterOption, saveOption, identifyOption, uiOption, windowOption,
                       windowSaveOption, cliOption, roundsOption, onlyOption, smokeOption});
    parser.process(app);

    Sizes sizes;
    if (parser.isSet(smokeOption))
        sizes = Sizes{30, 300, 90, 30, 2, 1, 300, 60, 30, 30};
    bool sizesValid = true;
    auto take = [&](const QCommandLineOption& option, int& target) {
        if (!parser.isSet(option))
            return;
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        if (!ok || value < 1) {
            note(QStringLiteral("--%1 wants a positive whole number").arg(option.names().first()));
            sizesValid = false;
        }
        target = value;
    };
    take(readOption, sizes.read);
    take(addOption, sizes.add);
    take(filterOption, sizes.filter);
    take(saveOption, sizes.save);
    take(identifyOption, sizes.identify);
    take(roundsOption, sizes.rounds);
    take(uiOption, sizes.ui);
    take(windowOption, sizes.window);
    take(windowSaveOption, sizes.windowSave);
    take(cliOption, sizes.cli);
    const QStringList known = {"read", "add", "filter", "save", "identify", "ui", "window", "cli"};
    QSet<QString> scenarios(known.begin(), known.end());
    if (parser.isSet(onlyOption)) {
        const QStringList chosen = parser.value(onlyOption).split(QLatin1Char(','), Qt::SkipEmptyParts);
        scenarios = QSet<QString>(chosen.begin(), chosen.end());
        for (const QString& name : chosen) {
            if (!known.contains(name)) {
                note(QStringLiteral("unknown scenario \"%1\"").arg(name));
                sizesValid = false;
            }
        }
    }
    if (!sizesValid)
        return 2;

    figure("machine.cores", QThread::idealThreadCount(), "cores", 0);
    figure("machine.load1", loadAverage(), "load");

    HLVBenchCorpus corpus;
    auto setupFailed = [&corpus] {
        fail("setup", corpus.lastError());
        return 1;
    };
    if (!corpus.isValid())
        return setupFailed();
    auto wants = [&scenarios](const char* name) { return scenarios.contains(QLatin1String(name)); };

    // One set of tagged copies serves the reads, the saves' sources and the links.
    QList<Entry> tagged;
    if (wants("read") || wants("add") || wants("filter") || wants("save") || wants("ui") || wants("cli")) {
        // At least 30, so the links hold the whole mix of formats and tags.
        const int count = std::max({wants("read") ? sizes.read : 0, wants("save") ? sizes.save : 0,
                                    wants("cli") ? sizes.cli : 0, 30});
        note(QStringLiteral("tagging %1 copies of the fixtures").arg(count));
        tagged = corpus.makeTaggedCopies(QStringLiteral("tagged"), count);
        if (tagged.isEmpty())
            return setupFailed();
    }
    QList<Entry> links;
    const int linkCount = std::max(wants("add") ? sizes.add : 0, wants("filter") ? sizes.filter : 0);
    if (linkCount > 0) {
        note(QStringLiteral("linking %1 paths").arg(linkCount));
        links = corpus.makeLinks(QStringLiteral("links"), tagged, linkCount);
        if (links.isEmpty())
            return setupFailed();
    }

    bool passed = true;
    if (wants("read")) {
        note(QStringLiteral("read: %1 files, %2 rounds").arg(sizes.read).arg(sizes.rounds));
        passed = runRead(tagged.mid(0, sizes.read), sizes.rounds) && passed;
    }
    if (wants("add")) {
        note(QStringLiteral("add: %1 paths").arg(sizes.add));
        passed = runAdd(links.mid(0, sizes.add)) && passed;
    }
    if (wants("filter")) {
        note(QStringLiteral("filter: %1 files, %2 rounds").arg(sizes.filter).arg(sizes.rounds));
        passed = runFilter(links.mid(0, sizes.filter), sizes.rounds) && passed;
    }
    if (wants("save")) {
        note(QStringLiteral("save: %1 files, %2 rounds").arg(sizes.save).arg(sizes.rounds));
        passed = runSave(corpus, tagged.mid(0, sizes.save), sizes.rounds) && passed;
    }
    if (wants("identify")) {
        note(QStringLiteral("identify: %1 files with the real pauses").arg(sizes.identify));
        passed = runIdentify(corpus, sizes.identify) && passed;
    }
    if (wants("ui")) {
        note(QStringLiteral("ui: the file list over %1 files").arg(sizes.ui));
        const QList<Entry> uiFiles = corpus.makeLinks(QStringLiteral("ui"), tagged, sizes.ui);
        if (uiFiles.isEmpty())
            return setupFailed();
        const QString uiFolder = QFileInfo(uiFiles.first().path).absolutePath();
        passed = runUI(uiFolder, uiFiles) && passed;
        passed = runQuit(corpus, uiFolder, sizes.ui, tagged) && passed;
    }
    if (wants("window")) {
        const int saveCount = std::min(sizes.windowSave, sizes.window);
        note(QStringLiteral("window: the editor and the list over %1 covered files, %2 saved").arg(sizes.window).arg(saveCount));
        passed = runWindow(corpus.workFolder(QStringLiteral("window")), sizes.window, saveCount) && passed;
    }
    if (wants("cli")) {
        note(QStringLiteral("cli: show --json over %1 files, %2 rounds").arg(sizes.cli).arg(sizes.rounds));
        // Copies, not links: as many files as a real folder of that size.
        const QList<Entry> cliFiles = corpus.makeCopies(QStringLiteral("cli"), tagged.mid(0, sizes.cli));
        if (cliFiles.isEmpty())
            return setupFailed();
        passed = runCLI(cliFiles, sizes.rounds) && passed;
    }
    figure("machine.load1_end", loadAverage(), "load");
    return passed ? 0 : 1;
}
