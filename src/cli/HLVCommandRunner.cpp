#include "HLVCommandRunner.h"
#include "HLVRenamingPlan.h"
#include "HLVFolderListing.h"
#include "HLVImageData.h"
#include "HLVCommandOutput.h"
#include "HLVSafeSave.h"
#include "HLVTagLib.h"
#include "HLVTagLibMP3Writer.h"
#include "HLVTagMapFilter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSet>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>
#include <cstdio>

namespace {

bool isWebAddress(const QString& text)
{
    return text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

const char* outcomeName(const HLVFileData& record)
{
    switch (record.IdentificationState()) {
    case HLVIdentificationIdentified: return "identified";
    case HLVIdentificationSkipped: return "skipped";
    case HLVIdentificationFailed: return record.IsReadOnly() ? "read-only" : "failed";
    default: return "failed";
    }
}

// Why a file's tags could not be read, as its last read said.
QString unreadableReason(const HLVFileData& record)
{
    const auto failure = record.LastFailure();
    return QStringLiteral("cannot read the file: %1")
        .arg(failure && !failure->message.isEmpty() ? failure->message
                                                    : QStringLiteral("not a valid MP3, MPEG-4 audio or FLAC file"));
}

} // namespace

HLVCommandRunner::HLVCommandRunner(const HLVCommandLine& line)
    : _line(line)
    , _progress(!line.quiet() && HLVProgressLine::standardErrorIsTerminal())
    , _monitor(_progress)
{
    _manager.addDelegate(&_monitor);
}

HLVCommandRunner::~HLVCommandRunner()
{
    _manager.removeDelegate(&_monitor);
    // Requests still in flight must not hold up the exit.
    _manager.shutdown();
}

void HLVCommandRunner::fail(const QString& path, const QString& reason)
{
    _failed = true;
    _progress.clear();
    std::fputs(QStringLiteral("cadrelle-cli: %1: %2\n").arg(path, reason).toUtf8().constData(), stderr);
}

void HLVCommandRunner::note(const QString& path, const QString& text)
{
    _progress.clear();
    std::fputs(QStringLiteral("cadrelle-cli: %1: %2\n").arg(path, text).toUtf8().constData(), stderr);
}

int HLVCommandRunner::run()
{
    if (_line.command() == HLVCommandLine::Command::Recover) {
        recover();
        std::fflush(stdout);
        return _failed ? 1 : 0;
    }
    const Records records = addFiles();
    switch (_line.command()) {
    case HLVCommandLine::Command::Show: show(records); break;
    case HLVCommandLine::Command::Set: set(records); break;
    case HLVCommandLine::Command::Identify: identify(records); break;
    case HLVCommandLine::Command::Artwork: artwork(records); break;
    case HLVCommandLine::Command::Rename: rename(records); break;
    case HLVCommandLine::Command::Filter: filter(records); break;
    case HLVCommandLine::Command::Recover:
    case HLVCommandLine::Command::None: break;
    }
    std::fflush(stdout);
    return _failed ? 1 : 0;
}

// --- the files --------------------------------------------------------------------------

HLVCommandRunner::Records HLVCommandRunner::addFiles()
{
    QStringList paths;
    QSet<QString> seen;
    auto take = [&](const QString& path) {
        if (!seen.contains(path)) {
            seen.insert(path);
            paths.append(path);
        }
    };
    for (const QString& given : _line.paths()) {
        const QFileInfo info(given);
        const QString path = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            const QStringList found = HLVFolderListing::audioFilesInFolder(path);
            if (found.isEmpty())
                note(path, QStringLiteral("no MP3, MPEG-4 audio or FLAC files in this folder"));
            for (const QString& file : found)
                take(file);
        } else if (!info.exists()) {
            fail(given, QStringLiteral("no such file or folder"));
        } else if (!info.isFile() || !HLVFolderListing::hasAudioFileExtension(path)) {
            fail(path, QStringLiteral("not an MP3, MPEG-4 audio or FLAC file"));
        } else {
            take(path);
        }
    }
    // A save cut short by a crash is undone before anything reads the file,
    // by the commands that write; the others only say so.
    _manager.setRecoversAddedFiles(false);
    paths.removeIf([this](const QString& path) {
        if (_line.isReadOnly()) {
            if (HLVSafeSave::hasPendingRecovery(path))
                note(path, QStringLiteral("an interrupted save left something to recover; run \"cadrelle-cli recover\" on it"));
            return false;
        }
        HLVFailure failure;
        const HLVSafeSave::Recovery recovery = HLVSafeSave::recoverFileAtPath(path, &failure);
        if (recovery == HLVSafeSave::Recovery::KeptAside)
            fail(path, failure.message);
        if (recovery == HLVSafeSave::Recovery::Busy)
            fail(path, QStringLiteral("another program is saving the file"));
        const bool failed = recovery == HLVSafeSave::Recovery::Failed || recovery == HLVSafeSave::Recovery::Busy;
        if (recovery == HLVSafeSave::Recovery::Failed)
            fail(path, failure.message);
        return failed;
    });

    QList<QUrl> urls;
    for (const QString& path : std::as_const(paths))
        urls.append(QUrl::fromLocalFile(path));
    _monitor.run(HLVFileOperationAdding, QStringLiteral("adding"), 0, [&] { _manager.addFilesAtURLs(urls); });

    // The manager keeps its own order (by name); the output follows the command line.
    QHash<QString, std::shared_ptr<HLVFileData>> byPath;
    for (const auto& record : _manager.FileDataArray())
        byPath.insert(record->FilePath(), record);
    Records records;
    for (const QString& path : std::as_const(paths)) {
        if (const auto record = byPath.value(path))
            records.append(record);
        else
            fail(path, QStringLiteral("could not be added"));
    }
    return records;
}

HLVCommandRunner::Records HLVCommandRunner::readable(const Records& records, const QString& label)
{
    // Only show --details prints what a read of the details costs.
    for (const auto& record : records)
        record->setReadsDetails(_line.details());
    // Several files at once: the reads are independent.
    _manager.loadFiles(records, [&](qsizetype done) { _progress.show(label, done, records.size()); });
    _progress.clear();
    Records result;
    for (const auto& record : records) {
        if (record->IsUnreadable())
            fail(record->FilePath(), unreadableReason(*record));
        else
            result.append(record);
    }
    return result;
}

QHash<const HLVFileData*, bool> HLVCommandRunner::save(const Records& records, const QString& label)
{
    QHash<const HLVFileData*, bool> saved;
    if (records.isEmpty())
        return saved;
    const auto codes = _monitor.run(HLVFileOperationSaving, label, records.size(),
                                    [&] { _manager.saveFilesInUnmanagedArray(records); });
    for (const auto& record : records) {
        const bool written = codes.value(record.get()).contains(HLVFileDataChangeSaved);
        saved.insert(record.get(), written);
        if (!written) {
            const auto failure = record->LastFailure();
            fail(record->FilePath(), failure && !failure->message.isEmpty() ? failure->message
                                     : record->IsReadOnly()                  ? QStringLiteral("the file is read-only")
                                                                             : QStringLiteral("the tags could not be written"));
        }
    }
    return saved;
}

// --- show ---------------------------------------------------------------------------------

void HLVCommandRunner::show(const Records& records)
{
    const Records shown = readable(records, QStringLiteral("show"));
    // Put together several at a time, as the files were read; printed in order.
    const bool json = _line.json();
    const bool withDetails = _line.details();
    const QList<QByteArray> blocks = QtConcurrent::blockingMapped(shown, [json, withDetails](const std::shared_ptr<HLVFileData>& record) {
        const auto map = record->TagMap();
        const std::optional<HLVFileDetails> details = withDetails ? record->Details() : std::nullopt;
        return HLVCommandOutput::showBlock(json, *record, *map, HLVTagMapFilter::filteredTagCountForTagMap(*map),
                                           details ? &*details : nullptr);
    });
    HLVCommandOutput output(json);
    for (const QByteArray& block : blocks)
        output.addBlock(block);
    output.finish();
}

// --- set ------------------------------------------------------------------------------------

bool HLVCommandRunner::preparePicture()
{
    const QString given = *_line.artwork();
    QByteArray bytes;
    if (isWebAddress(given)) {
        // Downloads block, so never on the main thread; its loop turns meanwhile.
        QFutureWatcher<QByteArray> watcher;
        QEventLoop loop;
        QObject::connect(&watcher, &QFutureWatcher<QByteArray>::finished, &loop, &QEventLoop::quit);
        watcher.setFuture(QtConcurrent::run([given] { return HLVImageData::imageDataFromImageAtPath(given); }));
        if (!watcher.isFinished())
            loop.exec();
        bytes = watcher.result();
        if (bytes.isEmpty()) {
            fail(given, QStringLiteral("the picture could not be downloaded"));
            return false;
        }
    } else {
        const QFileInfo info(given);
        if (!info.isFile()) {
            fail(given, QStringLiteral("no such picture file"));
            return false;
        }
        _picturePath = QDir::cleanPath(info.absoluteFilePath());
        bytes = HLVImageData::imageDataFromImageAtPath(_picturePath);
    }
    _picture = HLVArtwork::fromEncodedData(bytes);
    if (_picture.isNull()) {
        fail(given, QStringLiteral("not a readable picture"));
        return false;
    }
    if (isWebAddress(given)) {
        // Saved once, so every file gets the very picture checked here and the
        // address is not asked again per file.
        _downloadedPicture = std::make_unique<QTemporaryFile>(QDir::tempPath() + QLatin1String("/cadrelle-cli-XXXXXX"));
        if (!_downloadedPicture->open() || _downloadedPicture->write(bytes) != bytes.size()
            || !_downloadedPicture->flush()) {
            fail(given, QStringLiteral("the downloaded picture could not be stored in a temporary file"));
            return false;
        }
        _picturePath = _downloadedPicture->fileName();
    }
    return true;
}

void HLVCommandRunner::set(const Records& records)
{
    if (_line.artwork() && !preparePicture())
        return; // no file is touched for a picture that cannot be had
    Records toSave;
    for (const auto& record : readable(records, QStringLiteral("reading"))) {
        const auto initial = record->InitialTagMap();
        if (HLVTagLib::formatForPath(record->FilePath()) == HLVTagLib::Format::MP3) {
            QStringList identifiers = _line.customRemovals();
            for (const auto& custom : _line.customValues())
                identifiers.append(custom.first);
            bool valid = true;
            for (const QString& identifier : std::as_const(identifiers)) {
                if (!HLVTagLibMP3Writer::isFrameIdentifier(identifier)) {
                    fail(record->FilePath(),
                         QStringLiteral("%1 is not an ID3v2 frame identifier (four capitals or digits)").arg(identifier));
                    valid = false;
                }
            }
            if (!valid)
                continue;
        }
        if (_line.clear())
            _manager.removeTags({record}, HLVCompilationFlag::Keep);
        // A custom tag the file has keeps its identifier's spelling.
        auto spelling = [&](const QString& identifier) {
            if (initial->CustomTagValues()) {
                if (auto existing = HLVCustomTagValue::customTagValueWithIdentifier(identifier, *initial->CustomTagValues()))
                    return existing->identifier();
            }
            return identifier;
        };
        record->editVirtualTagMap([&](HLVTagMap& map) {
            for (const auto& value : _line.fieldValues()) {
                if (value.field->numeric)
                    value.field->setNumber(map, value.number);
                else
                    value.field->setText(map, value.text);
            }
            if (!_line.customValues().isEmpty() || !_line.customRemovals().isEmpty()) {
                auto& values = map.CustomTagValues();
                if (!values)
                    values = HLVCustomTagValueArray();
                auto enter = [&](const QString& identifier, const QString& text, bool remove) {
                    const QString name = spelling(identifier);
                    if (auto existing = HLVCustomTagValue::customTagValueWithIdentifier(name, *values)) {
                        existing->setValue(text);
                        existing->setIsMarkedForRemoval(remove);
                    } else {
                        values->append(std::make_shared<HLVCustomTagValue>(name, text, remove));
                    }
                };
                for (const auto& custom : _line.customValues())
                    enter(custom.first, custom.second, false);
                for (const QString& identifier : _line.customRemovals())
                    enter(identifier, QString(), true);
            }
        });
        if (_line.artwork())
            record->chooseArtwork(_picture, _picturePath);
        else if (_line.removeArtwork())
            record->chooseNoArtwork();
        record->forceIsModified();
        _manager.fileWasModified(record);
        toSave.append(record);
    }
    const auto saved = save(toSave, QStringLiteral("saving"));
    for (const auto& record : std::as_const(toSave)) {
        if (saved.value(record.get()))
            HLVCommandOutput::printLine({record->FilePath(), QStringLiteral("saved")});
    }
}

// --- identify -------------------------------------------------------------------------------

void HLVCommandRunner::identify(const Records& records)
{
    if (!records.isEmpty()) {
        _monitor.run(HLVFileOperationIdentifying, QStringLiteral("identify"), records.size(),
                     [&] { _manager.identifyFiles(records); });
    }
    const bool haveFingerprinter = QFileInfo(QCoreApplication::applicationDirPath() + QLatin1String("/fpcalc")).isExecutable();
    Records toSave;
    for (const auto& record : records) {
        const QString path = record->FilePath();
        switch (record->IdentificationState()) {
        case HLVIdentificationIdentified:
            if (_line.apply() && record->hasReleases())
                toSave.append(record);
            break;
        case HLVIdentificationSkipped:
            break;
        default:
            if (const auto failure = record->LastFailure())
                fail(path, failure->message); // the pipeline's own reason
            else if (record->IsReadOnly())
                fail(path, QStringLiteral("the file is read-only"));
            else if (record->IsUnreadable())
                fail(path, unreadableReason(*record));
            else if (!haveFingerprinter)
                fail(path, QStringLiteral("fpcalc was not found beside cadrelle-cli"));
            else if (record->ArtistID() || record->TrackName())
                fail(path, QStringLiteral("MusicBrainz knows no release of its recording"));
            else
                fail(path, QStringLiteral("no recording found for its fingerprint"));
        }
    }
    const auto saved = save(toSave, QStringLiteral("saving"));

    HLVCommandOutput output(_line.json());
    for (const auto& record : records) {
        output.identifiedFile(*record, QString::fromLatin1(outcomeName(*record)), record->Releases(),
                              _line.apply() ? std::optional<bool>(saved.value(record.get())) : std::nullopt);
    }
    output.finish();
}

// --- artwork --------------------------------------------------------------------------------

void HLVCommandRunner::artwork(const Records& records)
{
    if (!records.isEmpty()) {
        _monitor.run(HLVFileOperationArtwork, QStringLiteral("artwork"), records.size(),
                     [&] { _manager.obtainArtworkForFiles(records); });
    }
    Records toSave;
    QHash<const HLVFileData*, QString> found;
    for (const auto& record : records) {
        const auto pending = record->existingVirtualTagMap();
        const std::optional<QString> address = pending ? pending->ArtworkPath() : std::nullopt;
        if (record->IsReadOnly()) {
            fail(record->FilePath(), QStringLiteral("the file is read-only"));
        } else if (!address || address->isEmpty()) {
            fail(record->FilePath(), record->IsUnreadable() ? unreadableReason(*record) : QStringLiteral("no artwork found"));
        } else {
            found.insert(record.get(), *address);
            if (_line.apply())
                toSave.append(record);
        }
    }
    save(toSave, QStringLiteral("saving"));
    for (const auto& record : records) {
        const QString address = found.value(record.get());
        HLVCommandOutput::printLine({record->FilePath(), address.isEmpty() ? QStringLiteral("none") : address});
    }
}

// --- rename ---------------------------------------------------------------------------------

void HLVCommandRunner::rename(const Records& records)
{
    const auto structure = HLVFileNameStructure::initWithStringValue(_line.structure());
    const Records named = readable(records, QStringLiteral("reading"));

    // What the renames will do, one after another as the rename queue runs them.
    QHash<const HLVFileData*, QString> planned;
    QHash<const HLVFileData*, QString> oldPaths;
    for (const HLVRenamingPlan::Step& step : HLVRenamingPlan::plan(named, structure)) {
        oldPaths.insert(step.record.get(), step.from);
        switch (step.outcome) {
        case HLVRenamingPlan::Outcome::NoName:
            note(step.from, QStringLiteral("left as it is: its tags give no name for this structure"));
            break;
        case HLVRenamingPlan::Outcome::AlreadyNamed:
            break;
        case HLVRenamingPlan::Outcome::Taken:
            fail(step.from, QStringLiteral("not renamed: %1 already exists").arg(*step.target));
            break;
        case HLVRenamingPlan::Outcome::Rename:
            planned.insert(step.record.get(), *step.target);
            break;
        }
    }

    if (!_line.dryRun() && !named.isEmpty()) {
        _monitor.run(HLVFileOperationRenaming, QStringLiteral("rename"), named.size(),
                     [&] { _manager.renameFiles(named, structure); });
    }
    for (const auto& record : named) {
        const QString oldPath = oldPaths.value(record.get());
        const QString target = planned.value(record.get());
        if (target.isEmpty()) {
            HLVCommandOutput::printLine({oldPath, QStringLiteral("unchanged")});
        } else if (_line.dryRun() || record->FilePath() == target) {
            HLVCommandOutput::printLine({oldPath, target});
        } else {
            const std::optional<HLVFailure> failure = record->LastFailure();
            const bool known = failure && failure->kind == HLVFailure::Kind::RenameFailed;
            fail(oldPath, QStringLiteral("could not be moved to %1%2")
                              .arg(target, known ? QStringLiteral(": ") + failure->message : QString()));
            HLVCommandOutput::printLine({oldPath, QStringLiteral("unchanged")});
        }
    }
}

// --- filter ---------------------------------------------------------------------------------

void HLVCommandRunner::filter(const Records& records)
{
    const Records scored = readable(records, QStringLiteral("reading"));
    if (scored.isEmpty())
        return;
    _monitor.run(HLVFileOperationFiltering, QStringLiteral("filter"), 0, [&] { _manager.refreshFilters(); });
    const auto list = _line.filterUntagged() ? _manager.UntaggedFileDataArray() : _manager.PartiallyTaggedFileDataArray();
    for (const auto& record : scored) {
        if (list.contains(record))
            HLVCommandOutput::printLine({record->FilePath()});
    }
}

// --- recover ------------------------------------------------------------------------------

void HLVCommandRunner::recover()
{
    for (const QString& given : _line.paths()) {
        const QString path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
        HLVFailure failure;
        const char* done = "nothing to do";
        switch (HLVSafeSave::recoverFileAtPath(path, &failure)) {
        case HLVSafeSave::Recovery::NothingToDo: break;
        case HLVSafeSave::Recovery::Restored: done = "restored"; break;
        case HLVSafeSave::Recovery::Finished: done = "finished"; break;
        case HLVSafeSave::Recovery::RemovedLeftover: done = "removed leftovers"; break;
        case HLVSafeSave::Recovery::KeptAside:
            done = "set aside";
            fail(path, failure.message);
            break;
        case HLVSafeSave::Recovery::Busy:
            fail(path, QStringLiteral("another program is saving the file; try again when it is done"));
            continue;
        case HLVSafeSave::Recovery::Failed:
            fail(path, failure.message);
            continue;
        }
        std::fputs(QStringLiteral("%1\t%2\n").arg(path, QLatin1String(done)).toUtf8().constData(), stdout);
    }
}
