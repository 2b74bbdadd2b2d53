#include "HLVFuzz.h"
#include "HLVCustomTagValue.h"
#include "HLVLoopbackServer.h"
#include "HLVMusicBrainzServer.h"
#include "HLVServiceConfiguration.h"
#include "HLVTagLib.h"
#include "HLVTagMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

const QTemporaryDir& scratchFolder()
{
    // In memory where the system has it: every input is written to disk once.
    static const QTemporaryDir folder(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/cadrelle-fuzz-XXXXXX")
                                                                 : QDir::tempPath() + "/cadrelle-fuzz-XXXXXX");
    if (!folder.isValid())
        HLVFuzz::fail("no scratch folder");
    return folder;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

namespace HLVFuzz {

// One application object for the process: file name encoding, image readers,
// resources and the network layer look for it.
void prepareApplication()
{
    static int argc = 1;
    static char name[] = "cadrelle-fuzz";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    // Every input runs on a fresh thread; GLib keeps a main context per thread
    // that it does not always free when the thread ends, which LeakSanitizer then
    // blames on whichever input ran last. Qt's own dispatcher has no such state.
    qputenv("QT_NO_GLIB", "1");
    // Never deleted: it lives as long as the process, as in main().
    new QCoreApplication(argc, argv);
}

QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QString text(const uint8_t* data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

void fail(const char* what)
{
    std::fprintf(stderr, "broken expectation: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void serveEveryRequest(const QByteArray& body, const QByteArray& contentType)
{
    prepareApplication();
    // Never destroyed: it must outlive every request, up to the process's exit.
    static HLVLoopbackServer* const server = [] {
        auto* created = new HLVLoopbackServer;
        qputenv("CADRELLE_MUSICBRAINZ_URL", created->baseAddress().toUtf8());
        qputenv("CADRELLE_COVERART_URL", created->baseAddress().toUtf8());
        HLVMusicBrainzServer::resetForTesting();
        HLVServiceConfiguration::setRequestPauseForTesting(std::chrono::milliseconds(0));
        HLVServiceConfiguration::setTransferTimeoutForTesting(std::chrono::seconds(10));
        return created;
    }();
    server->clearRequests();
    server->setDefaultReply(HLVLoopbackServer::Reply::bytes(body, contentType));
}

void runOffTheMainThread(const std::function<void()>& work)
{
    std::thread worker(work);
    worker.join();
}

void exerciseTagFile(const QByteArray& bytes, const char* extension)
{
    prepareApplication();
    const QString path = scratchFolder().filePath(QStringLiteral("input.") + QLatin1String(extension));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            fail("cannot write the scratch file");
    }

    const auto read = HLVTagLib::loadTagsFromFileAtPath(path);
    // Touch what a view would show, the picture included.
    (void)read->Artwork().image();
    (void)HLVTagLib::readTagWithIdentifier(QStringLiteral("CTIS"), path);

    HLVTagMap map;
    map.setTrackName(QStringLiteral("Titel \u00e9\u6f22"));
    map.setArtistName(QStringLiteral("Artist"));
    map.setAlbumArtist(QStringLiteral("Album artist"));
    map.setTrackNumber(3);
    map.setTrackTotal(12);
    map.setDiscNumber(1);
    map.setDiscTotal(2);
    map.setCompilation(1);
    map.setArtworkState(HLVArtworkStateRemove);
    map.setCustomTagValues(HLVCustomTagValueArray{std::make_shared<HLVCustomTagValue>(QStringLiteral("TXYZ"),
                                                                                      QStringLiteral("custom"))});
    const bool saved = HLVTagLib::saveTagsToFileAtPath(path, &map);
    if (!saved)
        expect(fileBytes(path) == bytes, "a refused save changed the file");
    else
        (void)HLVTagLib::loadTagsFromFileAtPath(path);
}

} // namespace HLVFuzz
