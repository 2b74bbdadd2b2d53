#include "HLVSafeSave.h"
#include "HLVSaveCopy.h"
#include "HLVSaveJournal.h"
#include "HLVSaveLock.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// What an interrupted save left, and how it is undone or set aside.

using Descriptor = HLVSaveCopy::Descriptor;
using Recovery = HLVSafeSave::Recovery;

namespace {

constexpr char journalSuffix[] = ".cadrelle-journal";
constexpr char temporarySuffix[] = ".cadrelle-saving";
constexpr char earlierCopySuffix[] = ".cadrelle-original";
constexpr char asideInfix[] = ".cadrelle-interrupted-";
// Room kept in a name for what follows a suffix (".partial", ".trial.flac").
constexpr qsizetype suffixRoom = 16;
constexpr qsizetype nameLimit = 255; // bytes in one name (NAME_MAX)

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool exists(const QString& path)
{
    struct stat info;
    return ::lstat(encoded(path).constData(), &info) == 0;
}

// ".NAME" + suffix beside the file; a name too long for the suffix is cut and
// tagged with a hash of the whole, so it still says whose it is.
QString hiddenPathFor(const QString& folder, const QString& fileName, const char* suffix)
{
    QString name = fileName;
    const qsizetype room = nameLimit - 1 - qsizetype(std::strlen(suffix)) - suffixRoom;
    // Most names fit whatever their encoding: a UTF-8 byte count is at most three per UTF-16 unit.
    if (name.size() * 3 > room && encoded(name).size() > room) {
        const QString tag = QLatin1Char('~')
            + QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
        while (!name.isEmpty() && encoded(name).size() + tag.size() > room)
            name.chop(1);
        name += tag;
    }
    return folder + QLatin1String("/.") + name + QLatin1String(suffix);
}

QString hiddenPathFor(const QString& path, const char* suffix)
{
    const QFileInfo info(path);
    return hiddenPathFor(info.absolutePath(), info.fileName(), suffix);
}

// Every name a save of the file, of this version or an earlier one, may
// leave, worked out once: this runs for every file added and every save.
struct Leftovers
{
    explicit Leftovers(const QString& path)
    {
        const QFileInfo info(path);
        const QString folder = info.absolutePath();
        const QString name = info.fileName();
        journal = hiddenPathFor(folder, name, journalSuffix);
        dataJournal = HLVSafeSave::dataFolderJournalPathForPath(info.absoluteFilePath());
        copy = hiddenPathFor(folder, name, earlierCopySuffix);
        temporary = {hiddenPathFor(folder, name, temporarySuffix),
                     HLVSafeSave::unfinishedJournalPathFor(journal),
                     HLVSafeSave::unfinishedJournalPathFor(dataJournal),
                     copy + QLatin1String(".partial"),
                     copy + QLatin1String(".trial.") + info.suffix().left(suffixRoom - 7)};
    }

    // What a save leaves while it has not touched the file yet: the new file
    // being written beside it, unfinished journals, and what earlier versions
    // left while copying or trying a save out.
    QStringList temporary;
    QString journal;
    QString dataJournal;
    QString copy; // an earlier version's copy of the whole file
};

// Renames a leftover that cannot be proven to a visible, dated name with no
// audio extension; answers the new path (empty when it could not be moved).
QString setAside(const QString& leftover, const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QString date = QFileInfo(leftover).lastModified().toString(QStringLiteral("yyyyMMdd"));
    const QString base = (::access(encoded(folder).constData(), W_OK) == 0 ? folder : QFileInfo(leftover).absolutePath())
        + QLatin1Char('/') + QFileInfo(path).fileName() + QLatin1String(asideInfix) + date;
    for (int n = 1; n < 1000; ++n) {
        const QString target = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (exists(target))
            continue;
        // link() never replaces a name that appeared meanwhile.
        if (::link(encoded(leftover).constData(), encoded(target).constData()) == 0) {
            ::unlink(encoded(leftover).constData());
        } else if (errno == EEXIST) {
            continue;
        } else if (::rename(encoded(leftover).constData(), encoded(target).constData()) != 0) {
            return QString();
        }
        HLVSaveCopy::syncFolderOf(target);
        HLVSaveCopy::syncFolderOf(leftover);
        return target;
    }
    return QString();
}

Recovery keptAside(const QString& leftover, const QString& path, HLVFailure* failure)
{
    const QString target = setAside(leftover, path);
    if (target.isEmpty()) {
        HLVReportFailure(failure, HLVFailure::Kind::WriteFailed,
                         QStringLiteral("an interrupted save left %1, which does not match the file; the file was "
                                        "left as it is")
                             .arg(leftover));
        return Recovery::Failed;
    }
    HLVReportFailure(failure, HLVFailure::Kind::WriteFailed,
                     QStringLiteral("an interrupted save left something that does not match the file; the file was "
                                    "left as it is, and what the save left was kept as %1")
                         .arg(target));
    return Recovery::KeptAside;
}

// A byte of the file that the journal can account for: the old one, the new
// one, or none where the file is shorter.
enum class Holds { Old, New, Mixed, Neither };

Holds comparedWithJournal(int fd, qint64 size, const HLVSaveJournal& journal)
{
    bool allOld = size == journal.identity.size;
    bool allNew = size == journal.newSize;
    for (const HLVSaveJournal::Range& range : journal.ranges) {
        const qint64 length = qMax(range.oldBytes.size(), range.newBytes.size());
        const qint64 present = qBound<qint64>(0, size - range.offset, length);
        QByteArray bytes(present, Qt::Uninitialized);
        if (present > 0 && !HLVSaveCopy::readAll(fd, bytes.data(), present, range.offset))
            return Holds::Neither;
        for (qint64 i = 0; i < present; ++i) {
            const bool isOld = i < range.oldBytes.size() && bytes[i] == range.oldBytes[i];
            const bool isNew = i < range.newBytes.size() && bytes[i] == range.newBytes[i];
            if (!isOld && !isNew)
                return Holds::Neither;
            allOld = allOld && isOld;
            allNew = allNew && isNew;
        }
        allOld = allOld && present >= range.oldBytes.size();
        allNew = allNew && present >= range.newBytes.size();
    }
    return allNew ? Holds::New : allOld ? Holds::Old : Holds::Mixed;
}

Recovery recoverJournal(const QString& journalPath, const QString& path, int fd, HLVFailure* failure)
{
    Descriptor journalFile(journalPath, O_RDONLY);
    if (!journalFile.isOpen())
        return exists(journalPath) ? keptAside(journalPath, path, failure) : Recovery::NothingToDo;
    QByteArray bytes;
    const qint64 size = journalFile.size();
    if (size > 0 && size < (qint64(1) << 31)) {
        bytes.resize(size);
        if (!HLVSaveCopy::readAll(journalFile.get(), bytes.data(), size, 0))
            bytes.clear();
    }
    const auto entries = HLVSaveJournal::parse(bytes);
    const auto identity = HLVSaveJournal::identityOf(fd);
    // A journal shared by a group holds an entry for each of its files.
    std::optional<HLVSaveJournal> journal;
    for (const HLVSaveJournal& entry : entries ? *entries : QList<HLVSaveJournal>()) {
        if (identity && entry.identity.isSameFile(*identity))
            journal = entry;
    }
    if (!journal || !identity
        || identity->size < qMin(journal->identity.size, journal->newSize)
        || identity->size > qMax(journal->identity.size, journal->newSize))
        return keptAside(journalPath, path, failure);
    // Untouched since the journal was written: nothing to undo.
    Holds holds = *identity == journal->identity ? Holds::Old : comparedWithJournal(fd, identity->size, *journal);
    if (holds == Holds::Neither)
        return keptAside(journalPath, path, failure);
    Recovery outcome = holds == Holds::New ? Recovery::Finished : Recovery::RemovedLeftover;
    if (holds == Holds::Mixed) {
        Descriptor writable(path, O_WRONLY);
        bool restored = writable.isOpen();
        for (const HLVSaveJournal::Range& range : journal->ranges) {
            restored = restored
                && HLVSaveCopy::writeAll(writable.get(), range.oldBytes.constData(), range.oldBytes.size(), range.offset);
        }
        restored = restored && ::ftruncate(writable.get(), off_t(journal->identity.size)) == 0
            && HLVSaveCopy::syncDescriptor(writable.get());
        if (!restored) {
            HLVReportFailure(failure, HLVFailure::Kind::WriteFailed,
                             QStringLiteral("an interrupted save could not be undone; its journal %1 is kept")
                                 .arg(journalPath));
            return Recovery::Failed;
        }
        outcome = Recovery::Restored;
    } else if (!(*identity == journal->identity) && !HLVSaveCopy::syncDescriptor(fd)) {
        // Bytes a killed save wrote may not be on the disk yet: the journal
        // goes only once they are, else a power cut could tear the file with
        // nothing left to mend it.
        HLVReportFailure(failure, HLVFailure::Kind::WriteFailed,
                         QStringLiteral("an interrupted save could not be finished; its journal %1 is kept")
                             .arg(journalPath));
        return Recovery::Failed;
    }
    HLVSaveCopy::remove(journalPath);
    HLVSaveCopy::syncFolderOf(journalPath);
    return outcome;
}

// Left by a save that was interrupted and whose file is gone: nothing to
// prove against, so it is kept in sight (temporary files hold nothing of the
// user's and go).
Recovery recoverWithoutFile(const QString& path, HLVFailure* failure)
{
    Recovery outcome = Recovery::NothingToDo;
    const Leftovers leftovers(path);
    for (const QString& leftover : leftovers.temporary) {
        Descriptor file(leftover, O_RDONLY);
        if (file.isOpen() && HLVSaveLock::tryLock(file.get())) {
            HLVSaveCopy::remove(leftover);
            outcome = Recovery::RemovedLeftover;
        }
    }
    for (const QString& leftover : {leftovers.journal, leftovers.dataJournal, leftovers.copy}) {
        Descriptor file(leftover, O_RDONLY);
        if (!file.isOpen() || !HLVSaveLock::tryLock(file.get()))
            continue;
        HLVFailure kept;
        outcome = keptAside(leftover, path, &kept);
        if (failure)
            *failure = kept;
    }
    return outcome;
}

Recovery worse(Recovery a, Recovery b)
{
    auto rank = [](Recovery r) {
        switch (r) {
        case Recovery::NothingToDo: return 0;
        case Recovery::RemovedLeftover: return 1;
        case Recovery::Finished: return 2;
        case Recovery::Restored: return 3;
        case Recovery::Busy: return 4;
        case Recovery::KeptAside: return 5;
        case Recovery::Failed: return 6;
        }
        return 6;
    };
    return rank(b) > rank(a) ? b : a;
}

bool anyLeftover(const Leftovers& leftovers)
{
    for (const QString& leftover : leftovers.temporary) {
        if (exists(leftover))
            return true;
    }
    return exists(leftovers.journal) || exists(leftovers.copy) || exists(leftovers.dataJournal);
}

} // namespace

QString HLVSafeSave::journalPathForPath(const QString& path)
{
    return hiddenPathFor(path, journalSuffix);
}

QString HLVSafeSave::temporaryPathForPath(const QString& path)
{
    return hiddenPathFor(path, temporarySuffix);
}

QString HLVSafeSave::unfinishedJournalPathFor(const QString& journalPath)
{
    return journalPath + QLatin1String(".partial");
}

QString HLVSafeSave::earlierCopyPathForPath(const QString& path)
{
    return hiddenPathFor(path, earlierCopySuffix);
}

QString HLVSafeSave::dataFolderJournalPathForPath(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString key = QString::fromLatin1(QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
    // Looked up once: every file added asks.
    static const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QLatin1String("/journals/");
    return folder + key + QLatin1String(journalSuffix);
}

bool HLVSafeSave::isLeftoverName(const QString& fileName)
{
    for (const char* mark : {journalSuffix, temporarySuffix, earlierCopySuffix, asideInfix}) {
        if (fileName.contains(QLatin1String(mark)))
            return true;
    }
    return false;
}

Recovery HLVSafeSave::recoverHeldFile(const QString& path, int fd, HLVFailure* failure)
{
    Recovery outcome = Recovery::NothingToDo;
    const Leftovers leftovers(path);
    // The file is locked: nobody is writing these now, and they hold nothing of the file's.
    for (const QString& leftover : leftovers.temporary) {
        if (exists(leftover)) {
            HLVSaveCopy::remove(leftover);
            outcome = Recovery::RemovedLeftover;
        }
    }
    for (const QString& journal : {leftovers.journal, leftovers.dataJournal}) {
        if (!exists(journal))
            continue;
        HLVFailure why;
        outcome = worse(outcome, recoverJournal(journal, path, fd, &why));
        if (!why.message.isEmpty() && failure)
            *failure = why;
    }
    // An earlier version's copy names no file: it is dropped only when it
    // holds exactly what the file holds, else kept in sight.
    const QString& copy = leftovers.copy;
    if (exists(copy)) {
        if (HLVSaveCopy::matches(path, copy)) {
            HLVSaveCopy::remove(copy);
            outcome = worse(outcome, Recovery::RemovedLeftover);
        } else {
            HLVFailure why;
            outcome = worse(outcome, keptAside(copy, path, &why));
            if (failure)
                *failure = why;
        }
    }
    return outcome;
}

Recovery HLVSafeSave::recoverFileAtPath(const QString& path, HLVFailure* failure)
{
    if (path.isEmpty() || !anyLeftover(Leftovers(path)))
        return Recovery::NothingToDo;
    Descriptor file;
    switch (HLVSaveLock::lock(path, O_RDONLY, false, &file)) {
    case HLVSaveLock::Result::Locked: break;
    case HLVSaveLock::Result::Busy: return Recovery::Busy;
    case HLVSaveLock::Result::Missing: return recoverWithoutFile(path, failure);
    case HLVSaveLock::Result::Failed:
        HLVReportFailure(failure, HLVFailure::Kind::Other,
                         QStringLiteral("an interrupted save left something to recover, but the file cannot be read"));
        return Recovery::Failed;
    }
    return recoverHeldFile(path, file.get(), failure);
}

bool HLVSafeSave::hasPendingRecovery(const QString& path)
{
    if (path.isEmpty() || !anyLeftover(Leftovers(path)))
        return false;
    const Descriptor file(path, O_RDONLY);
    if (!file.isOpen())
        return true;
    // A save under way holds the lock; its leftovers are its own.
    int locked;
    do
        locked = ::flock(file.get(), LOCK_SH | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    return locked == 0 || errno != EWOULDBLOCK;
}
