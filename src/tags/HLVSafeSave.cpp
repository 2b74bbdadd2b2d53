#include "HLVSafeSave.h"
#include "HLVAudioBytes.h"
#include "HLVRecordingStream.h"
#include "HLVSaveChecks.h"
#include "HLVSaveCopy.h"
#include "HLVSaveJournal.h"
#include "HLVSaveLock.h"
#include "HLVTagLib.h"
#include "HLVTagLibMP4Structure.h"
#include "HLVWorkerPool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <vector>
#include <cstring>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using Descriptor = HLVSaveCopy::Descriptor;
using Range = HLVAudioBytes::Range;

namespace {

// A group of saves shares its flushes up to this many files or journal bytes.
constexpr qsizetype groupFiles = 64;
constexpr qint64 groupBytes = 64LL * 1024 * 1024;
// Up to this size a save whose audio moves is journaled and written in place:
// a new file costs an inode, a rename and freeing the old one's blocks, more
// than journaling the whole file twice over.
constexpr qint64 journaledMoveBytes = 1024LL * 1024;

std::mutex hookMutex;
HLVSafeSave::Hook& testHook()
{
    static HLVSafeSave::Hook hook;
    return hook;
}

void runHook(HLVSafeSave::Stage stage, const QString& target, const QString& journal)
{
    HLVSafeSave::Hook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = testHook();
    }
    if (hook)
        hook(stage, target, journal);
}

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// A failed write returns EFBIG instead of the process being killed by SIGXFSZ
// when it reaches the file-size limit, so the save can put the file back.
void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

HLVFailure failure(HLVFailure::Kind kind, const char* message)
{
    return HLVFailure::make(kind, QString::fromLatin1(message));
}

HLVFailure writtenInPart()
{
    return failure(HLVFailure::Kind::WriteFailed, "the file could not be written in full");
}

// True when the file at path is still the one open as fd.
bool namesFile(const QString& path, int fd)
{
    struct stat named, held;
    return ::stat(encoded(path).constData(), &named) == 0 && ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev
        && named.st_ino == held.st_ino && held.st_nlink > 0;
}

// The same for a file whose device and inode are known; size, when given,
// gets its length.
bool namesFile(const QString& path, quint64 device, quint64 inode, qint64* size = nullptr)
{
    struct stat named;
    if (::stat(encoded(path).constData(), &named) != 0 || quint64(named.st_dev) != device
        || quint64(named.st_ino) != inode)
        return false;
    if (size)
        *size = qint64(named.st_size);
    return true;
}

bool folderIsWritable(const QString& path)
{
    return ::access(encoded(QFileInfo(path).absolutePath()).constData(), W_OK) == 0;
}

// Closing the last name of a file (a replaced original, a removed journal)
// frees its blocks, which takes milliseconds on a busy disk: that need not
// hold up the next save.
void closeLater(Descriptor& file)
{
    if (const int fd = file.release(); fd >= 0)
        QThreadPool::globalInstance()->start([fd] { ::close(fd); });
}

// A journal shared by the saves of a group under their names (hard links):
// the last of them to let it go closes it, off the save's path.
using SharedDescriptor = std::shared_ptr<Descriptor>;

SharedDescriptor shared(Descriptor file)
{
    return SharedDescriptor(new Descriptor(std::move(file)), [](Descriptor* held) {
        closeLater(*held);
        delete held;
    });
}

// A descriptor to flush and the device it lies on (0 when not known yet).
struct FlushTarget
{
    int fd = -1;
    quint64 device = 0;
};

struct Job
{
    HLVSafeSave::Request* request = nullptr;
    HLVTagLib::Format format = HLVTagLib::Format::Other;
    Descriptor file;
    HLVSaveJournal::Identity identity;
    std::unique_ptr<HLVRecordingStream> stream;
    std::optional<QList<HLVRecordingStream::Change>> changes; // worked out once
    HLVFailure refused; // custom values the write refused; the rest is saved
    enum class Mode { Unchanged, InPlace, Replace } mode = Mode::Unchanged;
    std::optional<QList<Range>> newAudio; // where the audio lies after the save
    HLVSaveJournal journal;
    QString journalPath;
    SharedDescriptor journalFile;
    quint64 journalDevice = 0;
    quint64 journalInode = 0;
    QString temporaryPath;
    Descriptor temporaryFile;
    bool failed = false;

    qint64 heldBytes() const
    {
        qint64 held = journal.payloadSize();
        for (const HLVRecordingStream::Piece& piece : stream->pieces())
            held += piece.bytes.size();
        return held;
    }
    // What the first flush must make last, and its device where known.
    FlushTarget flushTarget() const
    {
        return mode == Mode::Replace ? FlushTarget{temporaryFile.get(), 0} : FlushTarget{journalFile->get(), journalDevice};
    }
};

void fail(Job& job, const HLVFailure& why)
{
    job.failed = true;
    job.request->saved = false;
    job.request->failure = why;
}

void fail(Job& job, int error, const char* doing)
{
    fail(job, HLVSaveCopy::failureForError(error, QString::fromLatin1(doing)));
}

// Whether renaming a new file over this one keeps what the user has: no other
// names, an owner and group the new file can take, and a folder we may write.
bool renameKeepsTheFile(const Job& job)
{
    struct stat info;
    if (::fstat(job.file.get(), &info) != 0 || info.st_nlink != 1 || !folderIsWritable(job.request->path))
        return false;
    return info.st_uid == ::geteuid() || ::geteuid() == 0;
}

bool startReplacing(Job& job)
{
    job.temporaryPath = HLVSafeSave::temporaryPathForPath(job.request->path);
    HLVSaveCopy::remove(job.temporaryPath); // recovery found it unlocked, or it is ours from a failed try
    job.temporaryFile = Descriptor(job.temporaryPath, O_RDWR | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
    if (!job.temporaryFile.isOpen())
        return false;
    HLVSaveLock::tryLock(job.temporaryFile.get());
    if (!HLVSaveChecks::carryOver(job.file.get(), job.temporaryFile.get())) {
        job.temporaryFile = Descriptor();
        HLVSaveCopy::remove(job.temporaryPath);
        return false;
    }
    if (!HLVSaveChecks::writeResult(*job.stream, job.file.get(), job.temporaryFile.get())) {
        fail(job, errno, "cannot write the file");
        HLVSaveCopy::remove(job.temporaryPath);
    }
    return true;
}

void startJournal(Job& job)
{
    job.journal.path = QFileInfo(job.request->path).absoluteFilePath();
    job.journal.identity = job.identity;
    job.journal.newSize = job.stream->resultLength();
    if (!job.changes)
        job.changes = job.stream->changes();
    job.journal.ranges.reserve(job.changes->size());
    for (HLVRecordingStream::Change& change : *job.changes)
        job.journal.ranges.append({change.offset, std::move(change.oldBytes), std::move(change.newBytes)});
    job.changes.reset();
    if (job.stream->readFailed())
        return fail(job, EIO, "cannot read the file");
    if (folderIsWritable(job.request->path)) {
        job.journalPath = HLVSafeSave::journalPathForPath(job.request->path);
    } else {
        job.journalPath = HLVSafeSave::dataFolderJournalPathForPath(job.request->path);
        QDir().mkpath(QFileInfo(job.journalPath).absolutePath());
    }
}

// Writes one journal file for the in-place saves of a group, named beside
// each file by a hard link: one new file for the group instead of one per
// save. Where a link cannot be made (another file system, no hard links) the
// save gets a file of its own with the same contents.
void writeJournals(const QList<Job*>& jobs)
{
    QList<HLVSaveJournal> entries;
    for (const Job* job : jobs)
        entries.append(job->journal);
    const QByteArray bytes = HLVSaveJournal::serialized(entries);
    const Job* first = nullptr;
    QByteArray firstName;
    for (Job* job : jobs) {
        // Recovery, under the file's lock, left no journal under this name; a
        // link that finds one all the same falls back to a file renamed over it.
        const QByteArray name = encoded(job->journalPath);
        if (first && ::link(firstName.constData(), name.constData()) == 0) {
            // The name is the group's file: its descriptor and lock serve.
            job->journalFile = first->journalFile;
            job->journalDevice = first->journalDevice;
            job->journalInode = first->journalInode;
            continue;
        }
        const QString unfinished = HLVSafeSave::unfinishedJournalPathFor(job->journalPath);
        Descriptor made(unfinished, O_RDWR | O_CREAT | O_TRUNC, S_IRUSR | S_IWUSR);
        struct stat info;
        if (!made.isOpen() || ::fstat(made.get(), &info) != 0) {
            fail(*job, errno, "cannot write the save's journal");
            if (made.isOpen())
                HLVSaveCopy::remove(unfinished);
            continue;
        }
        HLVSaveLock::tryLock(made.get()); // held until the save ends, links included
        if (!HLVSaveCopy::writeAll(made.get(), bytes.constData(), bytes.size(), 0)
            || ::rename(encoded(unfinished).constData(), name.constData()) != 0) {
            fail(*job, errno, "cannot write the save's journal");
            HLVSaveCopy::remove(unfinished);
            continue;
        }
        job->journalFile = shared(std::move(made));
        job->journalDevice = quint64(info.st_dev);
        job->journalInode = quint64(info.st_ino);
        if (!first) {
            first = job;
            firstName = name;
        }
    }
}

// Everything up to the first flush: lock, recover, record, check, and write
// the journal or the new file.
void prepare(Job& job, const struct stat* named)
{
    const QString& path = job.request->path;
    job.format = HLVTagLib::formatForPath(path);
    if (!named || !S_ISREG(named->st_mode) || named->st_size == 0) {
        // Nothing to keep: the writers refuse such a file and say why.
        HLVRecordingStream nothing(path, -1, 0, true);
        HLVFailure refused;
        bool written = false;
        try {
            written = job.request->write(nothing, &refused);
        } catch (...) {
        }
        return fail(job, written || refused.message.isEmpty()
                             ? failure(HLVFailure::Kind::FileMissing, "the file is missing or not a regular file")
                             : refused);
    }
    // Opening for writing is what tells a read-only file.
    switch (HLVSaveLock::lock(path, O_RDWR, true, &job.file)) {
    case HLVSaveLock::Result::Locked: break;
    case HLVSaveLock::Result::Busy:
        return fail(job, failure(HLVFailure::Kind::WriteFailed, "another program is saving the file"));
    case HLVSaveLock::Result::Missing:
        return fail(job, failure(HLVFailure::Kind::FileMissing, "the file is missing or not a regular file"));
    case HLVSaveLock::Result::Failed:
        if (errno == EACCES || errno == EROFS || errno == EPERM)
            return fail(job, failure(HLVFailure::Kind::ReadOnly, "the file is read-only"));
        return fail(job, errno, "cannot write the file");
    }
    HLVFailure recoveryFailure;
    const HLVSafeSave::Recovery recovery = HLVSafeSave::recoverHeldFile(path, job.file.get(), &recoveryFailure);
    if (recovery == HLVSafeSave::Recovery::KeptAside || recovery == HLVSafeSave::Recovery::Failed)
        return fail(job, recoveryFailure);
    const auto identity = HLVSaveJournal::identityOf(job.file.get());
    if (!identity)
        return fail(job, errno, "cannot read the file");
    job.identity = *identity;

    job.stream = std::make_unique<HLVRecordingStream>(path, job.file.get(), identity->size);
    HLVFailure writeFailure;
    bool written = false;
    try {
        written = job.request->write(*job.stream, &writeFailure);
    } catch (...) {
        written = false;
    }
    // Refused custom values leave the rest of the save written.
    if (!written && writeFailure.kind == HLVFailure::Kind::CustomTagRefused) {
        job.refused = writeFailure;
        written = true;
    }
    if (!written)
        return fail(job, writeFailure.message.isEmpty() ? failure(HLVFailure::Kind::WriteFailed, "the file could not be saved")
                                                         : writeFailure);
    if (job.stream->readFailed())
        return fail(job, EIO, "cannot read the file");
    if (job.stream->resultLength() == identity->size && job.stream->keepsOriginalInPlace()) {
        job.changes = job.stream->changes();
        if (job.changes->isEmpty()) {
            job.mode = Job::Mode::Unchanged;
            return;
        }
    }
    if (!HLVSaveChecks::keepsTheAudio(job.format, *job.stream, &job.newAudio))
        return fail(job, writtenInPart());

    ignoreFileSizeSignal();
    if (!job.stream->keepsOriginalInPlace() && identity->size > journaledMoveBytes && renameKeepsTheFile(job)) {
        job.mode = Job::Mode::Replace;
        if (startReplacing(job))
            return;
    }
    job.mode = Job::Mode::InPlace;
    startJournal(job);
}

// One flush for the group. One file (a group's saves share their journal)
// flushes its own data (when data is true) and each folder named once,
// cheaper than the whole file system, whose other writers a syncfs() waits
// for; more files flush the file systems they lie on, which also makes new
// and removed names last (one file at a time each waits for its own commit).
bool flush(const QList<FlushTarget>& targets, const QStringList& folders, bool data)
{
    QSet<int> descriptors;
    for (const FlushTarget& target : targets)
        descriptors.insert(target.fd);
    if (descriptors.size() == 1) {
        bool flushed = !data || HLVSaveCopy::syncDescriptor(targets.first().fd);
        QSet<QString> flushedFolders;
        for (const QString& path : folders) {
            const QString folder = QFileInfo(path).absolutePath();
            if (!flushedFolders.contains(folder)) {
                flushedFolders.insert(folder);
                flushed = HLVSaveCopy::syncFolderOf(path) && flushed;
            }
        }
        return flushed;
    }
    QSet<quint64> devices;
    bool flushed = true;
    for (const FlushTarget& target : targets) {
        quint64 device = target.device;
        if (device == 0) {
            struct stat info;
            if (::fstat(target.fd, &info) != 0)
                continue;
            device = quint64(info.st_dev);
        }
        if (devices.contains(device))
            continue;
        devices.insert(device);
        flushed = ::syncfs(target.fd) == 0 && flushed;
    }
    return flushed;
}

// Puts the old bytes back where the journal says; the file as it was.
bool restoreFromJournal(Job& job)
{
    const int fd = job.file.get();
    for (const HLVSaveJournal::Range& range : std::as_const(job.journal.ranges)) {
        if (!HLVSaveCopy::writeAll(fd, range.oldBytes.constData(), range.oldBytes.size(), range.offset))
            return false;
    }
    return ::ftruncate(fd, off_t(job.journal.identity.size)) == 0 && HLVSaveCopy::syncDescriptor(fd);
}

bool journalIsThere(const Job& job)
{
    return job.journalFile && namesFile(job.journalPath, job.journalDevice, job.journalInode);
}

void applyJournal(Job& job)
{
    const auto now = HLVSaveJournal::identityOf(job.file.get());
    if (!now || !(*now == job.identity))
        return fail(job, failure(HLVFailure::Kind::WriteFailed, "the file changed while it was being saved"));
    runHook(HLVSafeSave::Stage::BeforeWrite, job.request->path, job.journalPath);
    if (!journalIsThere(job))
        return fail(job, failure(HLVFailure::Kind::WriteFailed, "the save's journal disappeared before the write"));
    const int fd = job.file.get();
    for (const HLVSaveJournal::Range& range : std::as_const(job.journal.ranges)) {
        if (!HLVSaveCopy::writeAll(fd, range.newBytes.constData(), range.newBytes.size(), range.offset)) {
            const int error = errno;
            restoreFromJournal(job);
            return fail(job, error, "cannot write the file");
        }
    }
    if (job.journal.newSize != job.journal.identity.size && ::ftruncate(fd, off_t(job.journal.newSize)) != 0) {
        const int error = errno;
        restoreFromJournal(job);
        return fail(job, error, "cannot write the file");
    }
}

// The file holds what the journal says it should, and its audio lies where the plan put it.
bool journalWasApplied(const Job& job)
{
    const int fd = job.file.get();
    qint64 size = -1;
    if (!namesFile(job.request->path, job.identity.device, job.identity.inode, &size) || size != job.journal.newSize)
        return false;
    for (const HLVSaveJournal::Range& range : job.journal.ranges) {
        QByteArray bytes(range.newBytes.size(), Qt::Uninitialized);
        if (!HLVSaveCopy::readAll(fd, bytes.data(), bytes.size(), range.offset) || bytes != range.newBytes)
            return false;
    }
    // The planned result's audio layout was checked before the write.
    return true;
}

void finish(Job& job)
{
    if (job.mode == Job::Mode::Replace) {
        runHook(HLVSafeSave::Stage::AfterWrite, job.temporaryPath, QString());
        const auto now = HLVSaveJournal::identityOf(job.file.get());
        if (!namesFile(job.temporaryPath, job.temporaryFile.get()))
            fail(job, failure(HLVFailure::Kind::WriteFailed, "the new file disappeared before it replaced the old"));
        else if (!HLVSaveChecks::newFileChecksOut(job.temporaryPath, job.temporaryFile.get(), job.request->path, job.format,
                                                   *job.stream, job.newAudio))
            fail(job, writtenInPart());
        else if (!now || !(*now == job.identity) || !namesFile(job.request->path, job.file.get()))
            fail(job, failure(HLVFailure::Kind::WriteFailed, "the file changed while it was being saved"));
        else if (::rename(encoded(job.temporaryPath).constData(), encoded(job.request->path).constData()) != 0)
            fail(job, errno, "cannot replace the file");
        if (job.failed) {
            HLVSaveCopy::remove(job.temporaryPath);
        } else {
            closeLater(job.file);
        }
        return;
    }
    runHook(HLVSafeSave::Stage::AfterWrite, job.request->path, job.journalPath);
    const bool journalLost = !journalIsThere(job);
    if (journalLost || !journalWasApplied(job)) {
        // Whatever went wrong, the old bytes are known: put them back.
        const bool restored = restoreFromJournal(job);
        HLVFailure why = journalLost
            ? failure(HLVFailure::Kind::WriteFailed, "the save's journal disappeared during the write")
            : writtenInPart();
        if (restored) {
            if (!journalLost)
                HLVSaveCopy::remove(job.journalPath);
        } else {
            why.message += QStringLiteral("; it could not be undone yet, the journal %1 keeps the original")
                               .arg(QFileInfo(job.journalPath).fileName());
        }
        return fail(job, why);
    }
    HLVSaveCopy::remove(job.journalPath);
    job.journalFile.reset();
}

void answer(Job& job)
{
    if (job.failed || job.mode == Job::Mode::Unchanged)
        return;
    job.request->saved = job.refused.message.isEmpty();
    job.request->failure = job.refused;
}

// The in-place writes of a group, flushed: each is checked and its journal
// removed. A removed journal needs no flush: one that comes back finds its
// save finished and is dropped.
void finishInPlace(std::vector<Job>& group, bool flushed, int error)
{
    for (Job& job : group) {
        if (job.failed || job.mode != Job::Mode::InPlace)
            continue;
        if (!flushed) {
            HLVFailure why = HLVSaveCopy::failureForError(error, QStringLiteral("cannot write the file"));
            if (restoreFromJournal(job))
                HLVSaveCopy::remove(job.journalPath);
            else
                why.message += QStringLiteral("; the journal %1 keeps the original").arg(QFileInfo(job.journalPath).fileName());
            fail(job, why);
            continue;
        }
        finish(job);
        answer(job);
    }
}

QList<FlushTarget> inPlaceFiles(const std::vector<Job>& group)
{
    QList<FlushTarget> files;
    for (const Job& job : group) {
        if (!job.failed && job.mode == Job::Mode::InPlace)
            files.append({job.file.get(), job.identity.device});
    }
    return files;
}

// Runs the saves of a group from their first flush. The in-place writes of
// the group before it (written) are made to last by the same flush that makes
// this group's journals last, so a batch costs one flush per group, not two;
// this group's in-place writes are left for the next group (or settle()).
void commit(std::vector<Job>& group, std::vector<Job>& written)
{
    QList<Job*> inPlace;
    for (Job& job : group) {
        if (!job.failed && job.mode == Job::Mode::InPlace)
            inPlace.append(&job);
    }
    if (!inPlace.isEmpty())
        writeJournals(inPlace);

    QList<FlushTarget> targets = inPlaceFiles(written);
    const bool finishesWritten = !targets.isEmpty();
    QStringList folders;
    for (Job& job : group) {
        if (job.failed || job.mode == Job::Mode::Unchanged)
            continue;
        targets.append(job.flushTarget());
        // A journal's name must last before the file changes; the new file's
        // is made to last with its rename.
        if (job.mode == Job::Mode::InPlace)
            folders.append(job.journalPath);
    }
    const bool flushed = targets.isEmpty() || flush(targets, folders, true);
    const int error = errno;
    if (finishesWritten)
        finishInPlace(written, flushed, error);
    written.clear();
    if (!flushed) {
        for (Job& job : group) {
            if (job.failed || job.mode == Job::Mode::Unchanged)
                continue;
            HLVSaveCopy::remove(job.mode == Job::Mode::Replace ? job.temporaryPath : job.journalPath);
            fail(job, error, "cannot write the file");
        }
        return;
    }

    for (Job* job : std::as_const(inPlace)) {
        if (job->failed)
            continue;
        applyJournal(*job);
        if (job->failed)
            HLVSaveCopy::remove(job->journalPath);
    }

    QList<FlushTarget> renamed;
    folders.clear();
    for (Job& job : group) {
        if (job.failed || job.mode != Job::Mode::Replace)
            continue;
        finish(job);
        // A renamed file must keep its new name.
        if (!job.failed) {
            renamed.append({job.temporaryFile.get(), 0});
            folders.append(job.request->path);
        }
        answer(job);
    }
    if (!renamed.isEmpty())
        flush(renamed, folders, false);
    // Only the in-place writes wait for the next flush; the rest let go of their files now.
    for (Job& job : group) {
        if (job.failed || job.mode != Job::Mode::InPlace)
            job = Job();
    }
}

// The last group's in-place writes: flushed, checked, their journals removed.
void settle(std::vector<Job>& written)
{
    if (const QList<FlushTarget> files = inPlaceFiles(written); !files.isEmpty()) {
        const bool flushed = flush(files, {}, true);
        finishInPlace(written, flushed, errno);
    }
    written.clear();
}

} // namespace

void HLVSafeSave::setHookForTesting(Hook hook)
{
    std::lock_guard lock(hookMutex);
    testHook() = std::move(hook);
}

bool HLVSafeSave::saveFileAtPath(const QString& path, const Write& write, HLVFailure* failure)
{
    QList<Request> requests{Request{path, write, false, {}, false}};
    saveFiles(requests);
    if (failure)
        *failure = requests.first().failure;
    return requests.first().saved;
}

void HLVSafeSave::saveFiles(QList<Request>& requests, const std::function<bool()>& stopped)
{
    std::vector<Job> group;
    std::vector<Job> written; // the group before, written in place and not yet flushed
    qint64 heldBytes = 0;
    using File = QPair<quint64, quint64>;
    QSet<File> files, writtenFiles;
    auto endGroup = [&] {
        commit(group, written);
        written = std::move(group);
        writtenFiles = std::move(files);
        group.clear();
        files.clear();
        heldBytes = 0;
    };
    auto settleWritten = [&] {
        settle(written);
        writtenFiles.clear();
    };

    for (qsizetype next = 0; next < requests.size();) {
        if (stopped && stopped()) {
            for (; next < requests.size(); ++next)
                requests[next].stopped = true;
            break;
        }
        // The next saves are prepared together, each of its own file: a
        // second name of a file held here, by this group or by the one
        // before would find it locked, so it waits for those to end.
        std::vector<Job> window;
        std::vector<std::optional<struct stat>> named;
        QSet<File> windowFiles;
        const qsizetype room = qsizetype(group.size()) < groupFiles ? groupFiles - qsizetype(group.size()) : groupFiles;
        while (next < requests.size() && qsizetype(window.size()) < room) {
            Request& request = requests[next];
            const QByteArray name = encoded(request.path);
            struct stat info;
            bool found = ::stat(name.constData(), &info) == 0;
            const File file{quint64(info.st_dev), quint64(info.st_ino)};
            const bool held = found && writtenFiles.contains(file);
            const bool seen = found && (files.contains(file) || windowFiles.contains(file));
            if ((held || seen) && !window.empty())
                break;
            if (held)
                settleWritten();
            if (seen) {
                endGroup();
                settleWritten();
            }
            // A save just finished may have put a new file under this name.
            if (held || seen)
                found = ::stat(name.constData(), &info) == 0;
            if (found)
                windowFiles.insert({quint64(info.st_dev), quint64(info.st_ino)});
            window.emplace_back().request = &request;
            named.push_back(found ? std::optional(info) : std::nullopt);
            ++next;
        }
        // Reading and rendering the tags is most of a small file's save:
        // the window's are shared out, up to a group's worth of bytes held,
        // and a full group meanwhile commits (its flush is mostly waiting).
        std::atomic<qint64> windowBytes{0};
        auto prepareOne = [&](std::size_t i) {
            Job& job = window[i];
            prepare(job, named[i] ? &*named[i] : nullptr);
            const bool kept = !job.failed && job.mode != Job::Mode::Unchanged;
            return (windowBytes += kept ? job.heldBytes() : 0) < groupBytes;
        };
        const bool groupEnds = qsizetype(group.size()) >= groupFiles || heldBytes >= groupBytes;
        static const int helperCount = std::clamp(QThread::idealThreadCount() - 1, 1, 3);
        // Its workers run only inside this call and end soon after the last batch.
        static HLVWorkerPool* helpers = new HLVWorkerPool(QStringLiteral("save helpers"), helperCount, std::chrono::seconds(2));
        const std::size_t prepared =
            helpers->forEachIndex(window.size(), helperCount, prepareOne, groupEnds ? std::function<void()>(endGroup) : nullptr);
        // What was not prepared starts the next window.
        next -= qsizetype(window.size() - prepared);
        window.resize(prepared);

        for (Job& job : window) {
            if (job.failed || job.mode == Job::Mode::Unchanged) {
                if (!job.failed) {
                    job.request->saved = job.refused.message.isEmpty();
                    job.request->failure = job.refused;
                }
                continue;
            }
            if (qsizetype(group.size()) >= groupFiles || heldBytes >= groupBytes)
                endGroup();
            files.insert({job.identity.device, job.identity.inode});
            heldBytes += job.heldBytes();
            group.push_back(std::move(job));
        }
    }
    commit(group, written);
    settle(group);
}
