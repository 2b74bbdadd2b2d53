#include "HLVFuzz.h"
#include "HLVCustomTagValue.h"
#include "HLVTagLib.h"
#include "HLVTagMap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// One application object for the process: file name encoding, image readers
// and resources look for it.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "cadrelle-fuzz";
    static char* argv[] = {name, nullptr};
    // Never deleted: it lives as long as the process, as in main().
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

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

void exerciseTagFile(const QByteArray& bytes, const char* extension)
{
    ensureApplication();
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
