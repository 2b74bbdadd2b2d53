#include "HLVSafeSave.h"
#include "HLVAudioBytes.h"
#include "HLVSaveCopy.h"
#include "HLVTagLib.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/stat.h>
#include <taglib/fileref.h>
#include <unistd.h>

using Region = HLVSaveCopy::Region;

namespace {

constexpr char copySuffix[] = ".cadrelle-original";
// Room kept in a name for what follows the copy's own suffix (".partial",
// ".trial.flac").
constexpr qsizetype suffixRoom = 16;
constexpr qsizetype nameLimit = 255; // bytes in one name (NAME_MAX)

// From this size on, copying the whole file costs far more than a save that
// rewrites only its tags (about 2.5 ms a megabyte on a plain disk, against a
// fraction of a millisecond), so the save first finds out whether it can.
constexpr qint64 partialCopySize = 16LL * 1024 * 1024;
// How much of the audio's start the trial file holds and the check compares.
constexpr qint64 audioSampleSize = 64 * 1024;

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool exists(const QString& path)
{
    struct stat info;
    return ::lstat(encoded(path).constData(), &info) == 0;
}

// A failed write returns EFBIG instead of the process being killed by SIGXFSZ
// when it reaches the file-size limit, so the save can put the file back.
void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
}

QString trialPathFor(const QString& copy, const QString& path)
{
    // The same extension, so that the same writer takes it.
    return copy + QLatin1String(".trial.") + QFileInfo(path).suffix().left(suffixRoom - 7);
}

QByteArray readBytes(const QString& path, qint64 at, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(at))
        return QByteArray();
    return file.read(length);
}

bool opensInTagLib(const QString& path)
{
    try {
        const TagLib::FileRef file(encoded(path).constData(), false);
        return !file.isNull() && file.file()->isValid();
    } catch (...) {
        return false;
    }
}

// A save that rewrites only the tags, in place: what to copy, and what the
// audio must look like afterwards.
struct InPlacePlan
{
    QList<Region> regions;
    HLVAudioBytes::Range audio;
    QByteArray audioStart;
};

enum class Trial { InPlace, AudioLater, Other };

// Runs write on a stand-in for the file: its tags and the start of its audio,
// then either the tags at its end straight away (short) or a hole as long as
// the rest of the audio before them (full length, a sparse file).
Trial tryOut(const QString& path, const QString& trial, const HLVSafeSave::Write& write, const InPlacePlan& plan,
             bool fullLength)
{
    const qint64 size = QFileInfo(path).size();
    const qint64 audioEnd = fullLength ? plan.audio.end : plan.audio.begin + audioSampleSize;
    {
        QFile source(path);
        QFile stand(trial);
        if (!source.open(QIODevice::ReadOnly) || !stand.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || !stand.resize(audioEnd + size - plan.audio.end))
            return Trial::Other;
        const QByteArray head = source.read(plan.audio.begin) + plan.audioStart;
        const bool tailCopied = source.seek(plan.audio.end) && stand.seek(audioEnd)
            && stand.write(source.readAll()) == size - plan.audio.end;
        if (!tailCopied || !stand.seek(0) || stand.write(head) != head.size() || !stand.flush())
            return Trial::Other;
    }
    bool written = false;
    try {
        HLVFailure refused;
        written = write(trial, &refused) || refused.kind == HLVFailure::Kind::CustomTagRefused;
    } catch (...) {
    }
    const HLVTagLib::Format format = HLVTagLib::formatForPath(path);
    const auto after = written ? HLVAudioBytes::audioRanges(trial, format) : std::nullopt;
    if (!after || after->size() != 1 || after->first().size() != audioEnd - plan.audio.begin)
        return Trial::Other;
    if (after->first().begin > plan.audio.begin)
        return Trial::AudioLater;
    if (after->first().begin == plan.audio.begin && readBytes(trial, plan.audio.begin, audioSampleSize) == plan.audioStart)
        return Trial::InPlace;
    return Trial::Other;
}

// Tells a save that leaves the audio where it is from one that moves it, by
// running it on a stand-in first. Only MP3 and FLAC, whose tags sit before and
// after one run of audio. TagLib keeps a tag's padding when the new tag fits
// and the padding stays under a share of the file's length: a short stand-in
// that keeps its audio in place proves the file will too, and one whose tag
// outgrows its room proves the file's will; in between (padding that only the
// file's length allows) a sparse stand-in of the full length decides. Absent
// when the save would move the audio, or on any doubt.
std::optional<InPlacePlan> inPlacePlan(const QString& path, const QString& trial, const HLVSafeSave::Write& write)
{
    const HLVTagLib::Format format = HLVTagLib::formatForPath(path);
    if (format != HLVTagLib::Format::MP3 && format != HLVTagLib::Format::FLAC)
        return std::nullopt;
    const auto ranges = HLVAudioBytes::audioRanges(path, format);
    if (!ranges || ranges->size() != 1 || ranges->first().size() < audioSampleSize)
        return std::nullopt;
    struct TrialRemover
    {
        const QString& trial;
        ~TrialRemover() { HLVSaveCopy::remove(trial); }
    } remover{trial};
    InPlacePlan plan;
    plan.audio = ranges->first();
    plan.audioStart = readBytes(path, plan.audio.begin, audioSampleSize);
    if (plan.audioStart.size() != audioSampleSize)
        return std::nullopt;
    plan.regions = {{0, plan.audio.begin}, {plan.audio.end, QFileInfo(path).size() - plan.audio.end}};
    switch (tryOut(path, trial, write, plan, false)) {
    case Trial::InPlace: return plan;
    case Trial::AudioLater: return std::nullopt;
    case Trial::Other: break;
    }
    if (tryOut(path, trial, write, plan, true) == Trial::InPlace)
        return plan;
    return std::nullopt;
}

// The saved file opens and holds the original's audio bytes. Formats whose
// audio has no known layout are only opened. With an in-place plan the audio
// was not copied: it must still start and end where it did, and start with
// the same bytes.
bool savedFileChecksOut(const QString& path, const QString& copy, const std::optional<InPlacePlan>& plan)
{
    if (!opensInTagLib(path))
        return false;
    const HLVTagLib::Format format = HLVTagLib::formatForPath(path);
    if (plan) {
        const auto ranges = HLVAudioBytes::audioRanges(path, format);
        return ranges && ranges->size() == 1 && ranges->first().begin == plan->audio.begin
            && ranges->first().end == plan->audio.end
            && readBytes(path, plan->audio.begin, audioSampleSize) == plan->audioStart;
    }
    if (const auto same = HLVAudioBytes::haveSameAudio(path, copy, format))
        return *same;
    // Only an original whose layout could not be read is taken on trust.
    return !HLVAudioBytes::audioRanges(copy, format);
}

// Paths whose copy is in use: a save or a recovery under way. A file added
// again while it is being saved must not be "recovered" from its own copy
// half-way through the write.
class BusyPaths
{
public:
    // Waits for the path to be free, then holds it.
    void claim(const QString& key)
    {
        std::unique_lock lock(_mutex);
        _freed.wait(lock, [&] { return !_paths.contains(key); });
        _paths.insert(key);
    }
    // Holds the path when it is free; false when it is in use.
    bool tryClaim(const QString& key)
    {
        std::lock_guard lock(_mutex);
        if (_paths.contains(key))
            return false;
        _paths.insert(key);
        return true;
    }
    void release(const QString& key)
    {
        {
            std::lock_guard lock(_mutex);
            _paths.remove(key);
        }
        _freed.notify_all();
    }

private:
    std::mutex _mutex;
    std::condition_variable _freed;
    QSet<QString> _paths;
};

BusyPaths& busyPaths()
{
    static BusyPaths paths;
    return paths;
}

class PathClaim
{
public:
    PathClaim(const QString& key, bool wait) : _key(key)
    {
        if (wait)
            busyPaths().claim(key);
        _held = wait || busyPaths().tryClaim(key);
    }
    ~PathClaim()
    {
        if (_held)
            busyPaths().release(_key);
    }
    PathClaim(const PathClaim&) = delete;
    PathClaim& operator=(const PathClaim&) = delete;
    bool isHeld() const { return _held; }

private:
    QString _key;
    bool _held = false;
};

HLVSafeSave::Recovery recoverWithClaim(const QString& path, const QString& copy, HLVFailure* failure)
{
    using Recovery = HLVSafeSave::Recovery;
    // Left by a save stopped while copying or trying: the file itself was not touched yet.
    for (const QString& leftover : {HLVSaveCopy::partialPath(copy), trialPathFor(copy, path)}) {
        if (exists(leftover))
            HLVSaveCopy::remove(leftover);
    }
    struct stat info;
    if (::lstat(encoded(copy).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return Recovery::NothingToDo;
    if (!QFileInfo(path).isFile())
        return Recovery::NothingToDo; // moved or deleted since: the copy is all there is
    // A copy beside the file means its save never finished. Whatever differs
    // from it, even only in the tags (a tag rewritten in its padding, an ID3v1
    // tag not yet written), is a half-done save.
    if (HLVSaveCopy::matches(path, copy)) {
        HLVSaveCopy::remove(copy);
        return Recovery::RemovedStaleCopy;
    }
    ignoreFileSizeSignal();
    if (!HLVSaveCopy::restore(path, copy)) {
        HLVReportFailure(failure, HLVFailure::Kind::WriteFailed,
                         QStringLiteral("an interrupted save could not be undone; the original is kept in ")
                             + QFileInfo(copy).fileName());
        return Recovery::Failed;
    }
    HLVSaveCopy::remove(copy);
    return Recovery::Restored;
}

} // namespace

QString HLVSafeSave::copyPathForPath(const QString& path)
{
    const QFileInfo info(path);
    QString name = info.fileName();
    const qsizetype room = nameLimit - 1 - qsizetype(sizeof copySuffix - 1) - suffixRoom;
    if (encoded(name).size() > room) {
        // Still says whose copy it is, and stays apart from other long names.
        const QString tag = QLatin1Char('~')
            + QString::fromLatin1(QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
        while (!name.isEmpty() && encoded(name).size() + tag.size() > room)
            name.chop(1);
        name += tag;
    }
    return info.absolutePath() + QLatin1String("/.") + name + QLatin1String(copySuffix);
}

HLVSafeSave::Recovery HLVSafeSave::recoverFileAtPath(const QString& path, HLVFailure* failure)
{
    const QString copy = copyPathForPath(path);
    const PathClaim claim(copy, false);
    if (!claim.isHeld())
        return Recovery::NothingToDo; // being saved right now; that save recovers first
    return recoverWithClaim(path, copy, failure);
}

bool HLVSafeSave::saveFileAtPath(const QString& path, const Write& write, HLVFailure* failure, WriteKind kind)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() == 0)
        return write(path, failure);
    ignoreFileSizeSignal();
    const QString copy = copyPathForPath(path);
    const PathClaim claim(copy, true);
    // An earlier save's copy holds the real original: it goes back first.
    if (recoverWithClaim(path, copy, failure) == Recovery::Failed)
        return false;
    if (::access(encoded(path).constData(), W_OK) != 0) {
        if (errno == EACCES || errno == EROFS || errno == EPERM)
            return HLVReportFailure(failure, HLVFailure::Kind::ReadOnly, QStringLiteral("the file is read-only"));
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed, QStringLiteral("cannot write the file"));
    }

    const std::optional<InPlacePlan> plan = kind == WriteKind::Repeatable && info.size() >= partialCopySize
        ? inPlacePlan(path, trialPathFor(copy, path), write)
        : std::nullopt;
    if (!HLVSaveCopy::make(path, copy, plan ? plan->regions : QList<Region>(), failure))
        return false;

    HLVFailure writeFailure;
    bool written = false;
    try {
        written = write(path, &writeFailure);
    } catch (...) {
        written = false;
    }
    // Refused custom values leave the rest of the save written: keep it, and
    // still say what was refused.
    const bool partlyRefused = !written && writeFailure.kind == HLVFailure::Kind::CustomTagRefused;
    written = written || partlyRefused;
    HLVFailure outcome;
    if (!written) {
        outcome = writeFailure.message.isEmpty()
            ? HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the file could not be saved"))
            : writeFailure;
    } else if (!HLVSaveCopy::flush(path)) {
        outcome = HLVSaveCopy::failureForError(errno, QStringLiteral("cannot write the file"));
        written = false;
    } else if (!savedFileChecksOut(path, copy, plan)) {
        outcome = HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the file could not be written in full"));
        written = false;
    }
    if (written) {
        HLVSaveCopy::remove(copy);
        if (partlyRefused)
            return HLVReportFailure(failure, writeFailure.kind, writeFailure.message);
        return true;
    }
    // A write refused before it began leaves nothing to put back.
    if (!HLVSaveCopy::matches(path, copy) && !HLVSaveCopy::restore(path, copy)) {
        return HLVReportFailure(failure, HLVFailure::Kind::WriteFailed,
                                outcome.message + QStringLiteral("; the original is kept in ") + QFileInfo(copy).fileName());
    }
    HLVSaveCopy::remove(copy);
    if (failure)
        *failure = outcome;
    return false;
}
