#include <QCryptographicHash>
#include "HLVSaveLeftovers.h"
#include "HLVSafeSave.h"
#include "HLVSaveJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <unistd.h>

namespace HLVSaveLeftovers {

QString writeJournal(const QString& path, const QByteArray& oldBytes, const QByteArray& newBytes, bool earlierFormat)
{
    HLVSaveJournal journal;
    journal.path = QFileInfo(path).absoluteFilePath();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    const auto identity = fd >= 0 ? HLVSaveJournal::identityOf(fd) : std::nullopt;
    if (fd >= 0)
        ::close(fd);
    if (!identity)
        return QString();
    journal.identity = *identity;
    journal.newSize = newBytes.size();
    // One range from the first differing byte to the end of the longer one.
    qsizetype first = 0;
    while (first < oldBytes.size() && first < newBytes.size() && oldBytes[first] == newBytes[first])
        ++first;
    journal.ranges.append({first, oldBytes.mid(first), newBytes.mid(first)});
    const QString journalPath = HLVSafeSave::journalPathForPath(path);
    QFile file(journalPath);
    QByteArray bytes = journal.serialized();
    if (earlierFormat) {
        // As the version before wrote it: its own magic, a BLAKE2b checksum.
        bytes.chop(4);
        bytes.replace(0, 16, "CadrelleJournal3");
        bytes += QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256);
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return QString();
    return journalPath;
}

QByteArray tornMix(const QByteArray& oldBytes, const QByteArray& newBytes)
{
    QByteArray mixed = oldBytes;
    qsizetype differing = 0;
    for (qsizetype i = 0; i < oldBytes.size() && i < newBytes.size(); ++i)
        differing += oldBytes[i] != newBytes[i];
    for (qsizetype i = 0, taken = 0; i < mixed.size() && i < newBytes.size() && taken < differing / 2; ++i) {
        if (mixed[i] != newBytes[i]) {
            mixed[i] = newBytes[i];
            ++taken;
        }
    }
    return mixed;
}

QStringList hiddenFiles(const QString& folder)
{
    QStringList hidden;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (name.startsWith(QLatin1Char('.')))
            hidden << name;
    return hidden;
}

QStringList setAsideFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.cadrelle-interrupted-*")}, QDir::Files);
}

} // namespace HLVSaveLeftovers
