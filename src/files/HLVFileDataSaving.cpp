#include "HLVFileData.h"
#include "HLVArtworkPaths.h"
#include "HLVCustomTagIdentifierString.h"
#include "HLVMainThread.h"
#include "HLVTagLib.h"
#include "HLVTagMapMerge.h"
#include "HLVWorkerPool.h"

#include <QFileInfo>
#include <vector>
#include <condition_variable>

// Saving a record and the artwork lookups a save or a view asks for.

using Lock = std::lock_guard<std::recursive_mutex>;

namespace {

// Records are many and saves few: one gate serves the turns of all of them.
std::mutex writeGate;
std::condition_variable writeTurnEnded;

// Whether a record may begin to write and how many are writing, under one
// lock: once abandonWork() returns, no abandoned record begins a write, and
// every write begun before is counted.
std::mutex writeStartLock;
std::atomic<int> writesInProgress{0};

HLVFailure quitting()
{
    return HLVFailure::make(HLVFailure::Kind::Stopped, QStringLiteral("the program quit before the file was written"));
}

HLVFailure noWorker()
{
    return HLVFailure::make(HLVFailure::Kind::Other, QStringLiteral("no worker thread could be started"));
}

} // namespace

void HLVFileData::abandonWork(const QList<std::shared_ptr<HLVFileData>>& records)
{
    std::lock_guard lock(writeStartLock);
    for (const auto& record : records) {
        if (record)
            record->_workAbandoned = true;
    }
}

int HLVFileData::writesUnderWay()
{
    return writesInProgress;
}

bool HLVFileData::beginWrite()
{
    std::lock_guard lock(writeStartLock);
    if (_workAbandoned)
        return false;
    ++writesInProgress;
    return true;
}

void HLVFileData::endWrite()
{
    --writesInProgress;
}

HLVFileData::WriteTurn::WriteTurn(HLVFileData& record) : _record(record)
{
    std::unique_lock gate(writeGate);
    writeTurnEnded.wait(gate, [this] { return !_record._writing; });
    _record._writing = true;
}

HLVFileData::WriteTurn::~WriteTurn()
{
    {
        std::lock_guard gate(writeGate);
        _record._writing = false;
    }
    writeTurnEnded.notify_all();
}

// --- saving -------------------------------------------------------------------------------

void HLVFileData::saveID3Tags()
{
    save(false);
}

void HLVFileData::save(bool resumed)
{
    SaveTurn turn;
    const SaveAction action = beginSave(resumed, turn);
    int code = HLVFileDataChangeNotSaved;
    if (action == SaveAction::Write) {
        QList<HLVTagLib::Save> saves{{turn.path, turn.snapshot.get(), false, quitting(), _readsDetails, {}}};
        if (beginWrite()) {
            HLVTagLib::saveTagsToFiles(saves);
            endWrite();
        }
        code = endSave(turn, saves.first().saved, saves.first().failure, std::move(saves.first().details));
    }
    answerSave(action, code);
}

void HLVFileData::saveRecords(const QList<std::shared_ptr<HLVFileData>>& records, const std::function<bool()>& stopped)
{
    std::vector<SaveTurn> turns(size_t(records.size()));
    QList<SaveAction> actions;
    QList<HLVTagLib::Save> saves;
    QList<qsizetype> saveOf; // each record's place in saves, -1 when it writes nothing
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (stopped && stopped())
            break;
        actions.append(records[i]->beginSave(false, turns[size_t(i)]));
        saveOf.append(-1);
        if (actions.last() == SaveAction::Write && records[i]->beginWrite()) {
            saveOf.last() = saves.size();
            saves.append({turns[size_t(i)].path, turns[size_t(i)].snapshot.get(), false, {}, records[i]->_readsDetails, {}});
        }
    }
    HLVTagLib::saveTagsToFiles(saves, stopped);
    for (qsizetype i = 0; i < actions.size(); ++i) {
        int code = HLVFileDataChangeNotSaved;
        if (actions[i] == SaveAction::Write) {
            if (saveOf[i] >= 0) {
                records[i]->endWrite();
                const HLVTagLib::Save& save = saves[saveOf[i]];
                if (save.stopped) {
                    // Stopped before its write began: as if it had not been asked.
                    records[i]->_isSaving = false;
                    turns[size_t(i)].writer.reset();
                    continue;
                }
                code = records[i]->endSave(turns[size_t(i)], save.saved, save.failure, save.details);
            } else {
                code = records[i]->endSave(turns[size_t(i)], false, quitting());
            }
        }
        records[i]->answerSave(actions[i], code);
    }
}

HLVFileData::SaveAction HLVFileData::beginSave(bool resumed, SaveTurn& turn)
{
    // One writer at a time: a second save starts from what the first left.
    turn.writer = std::make_unique<WriteTurn>(*this);
    SaveAction action = SaveAction::NothingToSave;
    {
        Lock lock(_lock);
        if (!resumed && _obtainingArtwork) {
            // A save is waiting for artwork; it answers for this request too.
            ++_joinedSaves;
            turn.writer.reset();
            return SaveAction::Joined;
        }
        if (_virtualTagMap && isModifiedLocked() && !_workAbandoned) {
            _isSaving = true;
            if (!_virtualTagMap->ArtworkAttempted()) {
                _obtainingArtwork = true;
                action = SaveAction::AwaitArtwork;
            } else {
                action = SaveAction::Write;
            }
        }
    }
    if (action == SaveAction::Write) {
        bool loaded = false;
        initialTagMapLoading(&loaded);
        Lock lock(_lock);
        if (!_virtualTagMap) {
            action = SaveAction::NothingToSave; // undone while the tags were read
        } else {
            if (_virtualTagMap->CustomTagValues()) {
                HLVCustomTagIdentifierString list;
                for (const auto& value : *_virtualTagMap->CustomTagValues()) {
                    if (!value->isMarkedForRemoval())
                        list.addTagIdentifier(value->identifier());
                }
                if (_initialTagMap->CustomTagValues()) {
                    for (const auto& value : *_initialTagMap->CustomTagValues()) {
                        if (!value->isMarkedForRemoval())
                            list.addTagIdentifier(value->identifier());
                    }
                }
                _virtualTagMap->setCustomTagIdentifierString(list.stringValue());
            }
            turn.initial = _initialTagMap;
            turn.snapshot = HLVTagMapMerge::detachedCopy(*_virtualTagMap);
            turn.generation = _pendingGeneration;
            turn.path = FilePath();
            return action;
        }
    }
    // Also ends a resumed save whose changes were undone meanwhile.
    if (action == SaveAction::NothingToSave)
        _isSaving = false;
    turn.writer.reset();
    return action;
}

int HLVFileData::endSave(SaveTurn& turn, bool written, HLVFailure failure, std::optional<HLVFileDetails> details)
{
    int code = HLVFileDataChangeNotSaved;
    if (written) {
        auto baseline = HLVTagMapMerge::merged(*turn.initial, turn.snapshot.get());
        if (baseline->CustomTagValues()) {
            baseline->CustomTagValues()->removeIf(
                [](const std::shared_ptr<HLVCustomTagValue>& v) { return v->isMarkedForRemoval(); });
        }
        // What the file now holds; its picture stays there.
        if (baseline->Artwork().hasPictureData())
            baseline->setArtwork(baseline->Artwork().withoutPictureData());
        Lock lock(_lock);
        _initialTagMap = baseline;
        _modified = false;
        // Edits made while the file was being written are still pending.
        _saved = turn.generation == _pendingGeneration;
        _lastFailure.reset();
        code = HLVFileDataChangeSaved;
    } else {
        if (failure.message.isEmpty()) {
            failure = QFileInfo(turn.path).isWritable()
                ? HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the tags could not be written"))
                : HLVFailure::make(HLVFailure::Kind::ReadOnly, QStringLiteral("the file is read-only"));
        }
        setLastFailure(failure);
    }
    // Its size, tag kinds and picture may have changed; the audio has not.
    if (written && _readsDetails) {
        const std::optional<HLVFileDetails> earlier = Details();
        if (details && earlier) {
            details->takeAudioFrom(*earlier);
            Lock lock(_lock);
            _details = std::move(details);
        } else {
            rereadDetails(turn.path);
        }
    }
    _isSaving = false;
    turn.writer.reset();
    return code;
}

void HLVFileData::answerSave(SaveAction action, int code)
{
    if (action == SaveAction::Joined)
        return;
    if (action == SaveAction::AwaitArtwork) {
        requestArtwork(true); // the answer resumes the save
        return;
    }
    notify(code);
    for (int joined = _joinedSaves.exchange(0); joined > 0; --joined)
        notify(code);
}

void HLVFileData::finishArtworkAnswer(bool resumeSave, const std::function<void()>& afterSave)
{
    if (!resumeSave) {
        afterSave();
        return;
    }
    // The save resumes before the answer's own changes to the pending map, and
    // never on the main thread: writing may download the picture.
    auto self = shared_from_this();
    auto resume = [self, afterSave] {
        self->save(true);
        afterSave();
    };
    if (!HLVMainThread::isMainThread())
        resume();
    else if (!HLVWorkerPool::shared().start(resume)) {
        self->answerSaveUnwritten(noWorker());
        afterSave();
    }
}

void HLVFileData::answerSaveUnwritten(const HLVFailure& reason)
{
    setLastFailure(reason);
    _isSaving = false;
    notify(HLVFileDataChangeNotSaved);
    for (int joined = _joinedSaves.exchange(0); joined > 0; --joined)
        notify(HLVFileDataChangeNotSaved);
}

void HLVFileData::endArtworkRequestUnasked(const HLVFailure& reason)
{
    setArtworkFailure(reason);
    const bool owed = _artworkAnswerOwed.exchange(false);
    if (_obtainingArtwork.exchange(false))
        answerSaveUnwritten(reason);
    if (owed) {
        _artworkAnswerSaved = true; // it brought nothing to save
        notify(HLVFileDataChangeArtwork);
    }
}

// --- artwork ---------------------------------------------------------------------------------

void HLVFileData::obtainArtworkPathForActiveTagMap()
{
    _artworkAnswerOwed = true;
    requestArtwork(false);
}

void HLVFileData::requestArtwork(bool forSave)
{
    auto paths = std::make_shared<HLVArtworkPaths>();
    paths->setDelegate(weak_from_this());
    std::shared_ptr<HLVTagMap> searchCopy;
    bool tagMapRoad = false;
    {
        Lock lock(_lock);
        auto pending = virtualTagMapLocked();
        tagMapRoad = _releases && !_releases->isEmpty();
        _activeTagMapArtworkSearch = tagMapRoad;
        if (tagMapRoad) {
            // The search writes its own copy from a worker; the answer goes to
            // the map it was asked for, even if another candidate is shown by then.
            searchCopy = std::make_shared<HLVTagMap>(*pending);
            _artworkSearches.append(ArtworkSearch{paths, searchCopy, pending});
        } else {
            _artworkPaths = paths;
        }
    }
    auto self = shared_from_this();
    const std::function<void()> lookup = [self, paths, searchCopy, tagMapRoad] {
        if (self->_workAbandoned)
            self->endArtworkRequestUnasked(quitting());
        else if (tagMapRoad)
            paths->obtainArtworkForTagMap(searchCopy);
        else
            paths->obtainArtworkForFileData(self);
    };
    // Lookups block on the network. A save off the main thread waits for its
    // own on its own thread (it writes right after); anyone else gets the
    // answer from the shared pool, never from a thread of its own.
    const bool onMainThread = HLVMainThread::isMainThread();
    if (forSave && !onMainThread)
        lookup();
    else if (!HLVWorkerPool::shared().start(lookup)) {
        if (onMainThread)
            endArtworkRequestUnasked(noWorker());
        else
            lookup();
    }
}

void HLVFileData::OnArtworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    bool loaded = false;
    const bool fileHasPicture = !initialTagMapLoading(&loaded)->Artwork().isNull();
    if (loaded)
        notify(HLVFileDataChangeLoaded);
    std::shared_ptr<HLVTagMap> target;
    bool resume = false;
    bool changed = false; // an answer for a map no longer pending changes nothing
    {
        Lock lock(_lock);
        for (qsizetype i = 0; i < _artworkSearches.size(); ++i) {
            if (_artworkSearches.at(i).searchCopy == tagMap) {
                target = _artworkSearches.at(i).target.lock();
                _artworkFailure = _artworkSearches.at(i).paths->LastFailure();
                _artworkSearches.removeAt(i);
                break;
            }
        }
        if (target && tagMap && !tagMap->ArtworkPath()) {
            // Nothing found: the user's own choice (a picture, or none) stays;
            // otherwise the file keeps its own picture, if it has one.
            target->setArtworkAttempted(tagMap->ArtworkAttempted());
            const int state = target->ArtworkState();
            if (state != HLVArtworkStateChosen && state != HLVArtworkStateRemove) {
                target->setArtworkPath(std::nullopt);
                target->setArtworkState(fileHasPicture ? HLVArtworkStateInFile : HLVArtworkStateNone);
            }
        } else if (target && tagMap) {
            changed = target->ArtworkPath() != tagMap->ArtworkPath() || target->ArtworkState() != tagMap->ArtworkState()
                || target->ArtworkAttempted() != tagMap->ArtworkAttempted();
            target->setArtworkAttempted(tagMap->ArtworkAttempted());
            target->setArtworkPath(tagMap->ArtworkPath());
            target->setArtworkState(tagMap->ArtworkState());
            // A second answer bringing the same, or one for a candidate not
            // shown, must not make a save writing meanwhile leave the file modified.
            if (changed && target == _virtualTagMap)
                ++_pendingGeneration;
        }
        if (_artworkSearches.isEmpty())
            _activeTagMapArtworkSearch = false;
        resume = _obtainingArtwork.exchange(false);
    }
    auto self = shared_from_this();
    finishArtworkAnswer(resume, [self, resume, changed] {
        const bool owed = self->_artworkAnswerOwed.exchange(false);
        if (!resume || owed) {
            // A save already wrote what this answer brought, or it brought
            // nothing the pending map did not hold (nothing found, a second
            // search for it, or one for a candidate no longer shown).
            self->_artworkAnswerSaved = resume || !changed;
            self->notify(HLVFileDataChangeArtwork);
        }
    });
}

void HLVFileData::OnArtworkPathsObtainedForFileData(const std::shared_ptr<HLVFileData>&)
{
    bool resume = false;
    {
        Lock lock(_lock);
        resume = _obtainingArtwork.exchange(false);
    }
    auto self = shared_from_this();
    finishArtworkAnswer(resume, [self, resume] {
        bool found = false;
        {
            Lock lock(self->_lock);
            const auto& pending = self->_virtualTagMap;
            found = pending && pending->ArtworkPath() && pending->ArtworkState() == HLVArtworkStateFound
                && !self->_artworkFailure;
        }
        const bool owed = self->_artworkAnswerOwed.exchange(false);
        if (!resume || owed) {
            // A save already wrote what this answer brought, or it found
            // nothing (the pending changes stay as they were).
            self->_artworkAnswerSaved = resume || !found;
            self->notify(HLVFileDataChangeArtwork);
        }
    });
    Lock lock(_lock);
    _artworkPaths.reset();
}

bool HLVFileData::removeArtwork()
{
    return HLVTagLib::removeArtworkImageFromFileAtPath(FilePath());
}

