#include "HLVFileData.h"
#include "HLVArtworkPaths.h"
#include "HLVCustomTagIdentifierString.h"
#include "HLVFileNameStructure.h"
#include "HLVReleaseCandidates.h"
#include "HLVRenamingPlan.h"
#include "HLVTagMapMerge.h"
#include "HLVMainThread.h"
#include "HLVTagLib.h"

#include <QFileInfo>
#include <QThreadPool>
#include <QUrl>

using Lock = std::lock_guard<std::recursive_mutex>;

std::shared_ptr<HLVFileData> HLVFileData::create()
{
    return std::make_shared<HLVFileData>();
}

std::shared_ptr<HLVFileData> HLVFileData::createWithPath(const QString& path)
{
    auto record = create();
    record->setFileWithURL(QUrl::fromLocalFile(path));
    return record;
}

void HLVFileData::setFileWithURL(const QUrl& url)
{
    QString path = url.toLocalFile();
    if (path.isEmpty())
        path = QUrl::fromPercentEncoding(url.path().toUtf8());
    {
        std::lock_guard lock(_pathLock);
        _FilePath = path;
        _FileName = QFileInfo(path).fileName();
    }
    _identificationState = HLVIdentificationNone;
    _modified = false;
}

void HLVFileData::notify(int code)
{
    const auto self = shared_from_this();
    _delegate.forEach([&](HLVFileDataDelegate* delegate) { delegate->OnFileDataModified(self, code); });
}

QString HLVFileData::FileName() const
{
    std::lock_guard lock(_pathLock);
    return _FileName;
}

QString HLVFileData::FilePath() const
{
    std::lock_guard lock(_pathLock);
    return _FilePath;
}

#define HLV_LOCKED_STRING(Name)                                              \
    std::optional<QString> HLVFileData::Name() const                         \
    {                                                                        \
        Lock lock(_lock);                                                    \
        return _##Name;                                                      \
    }                                                                        \
    void HLVFileData::set##Name(const std::optional<QString>& value)         \
    {                                                                        \
        Lock lock(_lock);                                                    \
        _##Name = value;                                                     \
    }
HLV_LOCKED_STRING(ArtistID)
HLV_LOCKED_STRING(ArtistName)
HLV_LOCKED_STRING(TrackMBID)
HLV_LOCKED_STRING(TrackName)
#undef HLV_LOCKED_STRING

std::optional<HLVFailure> HLVFileData::LastFailure() const
{
    Lock lock(_lock);
    return _lastFailure;
}

void HLVFileData::setLastFailure(const std::optional<HLVFailure>& failure)
{
    Lock lock(_lock);
    _lastFailure = failure;
}

// --- initial tags ---------------------------------------------------------------

std::shared_ptr<HLVTagMap> HLVFileData::initialTagMapLoading(bool* loaded)
{
    {
        Lock lock(_lock);
        if (_initialTagMap)
            return _initialTagMap;
    }
    // Read without the lock: a slow disk must not hold up readers of the record.
    bool readable = false;
    auto map = HLVTagLib::loadTagsFromFileAtPath(FilePath(), &readable);
    Lock lock(_lock);
    if (!_initialTagMap) {
        _initialTagMap = map;
        _isUnreadable = !readable;
        *loaded = true;
    }
    return _initialTagMap;
}

void HLVFileData::loadID3Tags()
{
    bool readable = false;
    auto map = HLVTagLib::loadTagsFromFileAtPath(FilePath(), &readable);
    {
        Lock lock(_lock);
        _initialTagMap = map;
        _isUnreadable = !readable;
    }
    notify(HLVFileDataChangeLoaded);
}

std::shared_ptr<const HLVTagMap> HLVFileData::InitialTagMap()
{
    bool loaded = false;
    auto initial = initialTagMapLoading(&loaded);
    if (loaded)
        notify(HLVFileDataChangeLoaded);
    return initial;
}

bool HLVFileData::isLoaded() const
{
    Lock lock(_lock);
    return bool(_initialTagMap);
}

// --- pending changes ---------------------------------------------------------------

std::shared_ptr<HLVTagMap> HLVFileData::virtualTagMapLocked()
{
    if (!_virtualTagMap) {
        _virtualTagMap = std::make_shared<HLVTagMap>();
        _virtualTagMap->setArtworkAttempted(true);
        _virtualTagMap->setArtworkState(HLVArtworkStateInFile);
        if (_initialTagMap)
            _virtualTagMap->setCustomTagIdentifierString(_initialTagMap->CustomTagIdentifierString());
        ++_pendingGeneration;
    }
    return _virtualTagMap;
}

std::shared_ptr<HLVTagMap> HLVFileData::VirtualTagMap()
{
    Lock lock(_lock);
    return std::make_shared<HLVTagMap>(*virtualTagMapLocked());
}

std::shared_ptr<HLVTagMap> HLVFileData::existingVirtualTagMap() const
{
    Lock lock(_lock);
    return _virtualTagMap ? std::make_shared<HLVTagMap>(*_virtualTagMap) : nullptr;
}

void HLVFileData::setVirtualTagMap(const std::shared_ptr<const HLVTagMap>& tagMap)
{
    setVirtualTagMapInternal(tagMap ? std::make_shared<HLVTagMap>(*tagMap) : nullptr);
}

void HLVFileData::setVirtualTagMapInternal(const std::shared_ptr<HLVTagMap>& tagMap)
{
    {
        Lock lock(_lock);
        _virtualTagMap = tagMap;
        ++_pendingGeneration;
    }
    if (!tagMap) {
        _modified = false;
        _filteredTagCount = -1;
        notify(HLVFileDataChangeLoaded);
    }
}

void HLVFileData::editVirtualTagMap(const std::function<void(HLVTagMap&)>& edit)
{
    for (;;) {
        HLVTagMap copy;
        quint64 generation = 0;
        {
            Lock lock(_lock);
            copy = *virtualTagMapLocked();
            generation = _pendingGeneration;
        }
        edit(copy);
        Lock lock(_lock);
        if (generation == _pendingGeneration && _virtualTagMap) {
            // In place: a pending candidate stays the same object as in Releases.
            *_virtualTagMap = copy;
            ++_pendingGeneration;
            return;
        }
    }
}

void HLVFileData::setVirtualTagText(const HLVTagField& field, const std::optional<QString>& value)
{
    if (field.numeric)
        return;
    Lock lock(_lock);
    field.setText(*virtualTagMapLocked(), value);
    ++_pendingGeneration;
}

void HLVFileData::setVirtualTagNumber(const HLVTagField& field, const std::optional<int>& value)
{
    if (!field.numeric)
        return;
    Lock lock(_lock);
    field.setNumber(*virtualTagMapLocked(), value);
    ++_pendingGeneration;
}

bool HLVFileData::selectRelease(qsizetype index)
{
    Lock lock(_lock);
    if (!_releases || index < 0 || index >= _releases->size())
        return false;
    _virtualTagMap = _releases->at(index);
    ++_pendingGeneration;
    return true;
}

qsizetype HLVFileData::selectedRelease() const
{
    Lock lock(_lock);
    return _releases && _virtualTagMap ? _releases->indexOf(_virtualTagMap) : -1;
}

// --- merged view ----------------------------------------------------------------------

std::shared_ptr<HLVTagMap> HLVFileData::mergedTagMap(const HLVTagMap& initial, const HLVTagMap* pending)
{
    return HLVTagMapMerge::merged(initial, pending);
}

std::shared_ptr<HLVTagMap> HLVFileData::TagMap()
{
    bool loaded = false;
    initialTagMapLoading(&loaded);
    std::shared_ptr<HLVTagMap> merged;
    {
        Lock lock(_lock);
        merged = HLVTagMapMerge::merged(*_initialTagMap, _virtualTagMap.get());
    }
    if (loaded)
        notify(HLVFileDataChangeLoaded);
    return merged;
}

std::shared_ptr<HLVTagMap> HLVFileData::TemporaryTagMap()
{
    {
        Lock lock(_lock);
        if (_initialTagMap)
            return HLVTagMapMerge::merged(*_initialTagMap, _virtualTagMap.get());
    }
    return HLVTagLib::loadTagsFromFileAtPath(FilePath());
}

HLVCustomTagValueArray HLVFileData::determineCustomTagValuesLocked() const
{
    static const HLVTagMap empty;
    return HLVTagMapMerge::mergedCustomTagValues(_initialTagMap ? *_initialTagMap : empty,
                                                 _virtualTagMap ? *_virtualTagMap : empty);
}

HLVCustomTagValueArray HLVFileData::determineCustomTagValues()
{
    Lock lock(_lock);
    return determineCustomTagValuesLocked();
}

// --- releases ------------------------------------------------------------------------

QList<std::shared_ptr<HLVTagMap>> HLVFileData::Releases() const
{
    Lock lock(_lock);
    QList<std::shared_ptr<HLVTagMap>> copies;
    if (_releases) {
        for (const auto& release : *_releases)
            copies.append(std::make_shared<HLVTagMap>(*release));
    }
    return copies;
}

bool HLVFileData::hasReleases() const
{
    Lock lock(_lock);
    return _releases && !_releases->isEmpty();
}

void HLVFileData::setReleases(const std::shared_ptr<HLVRecordingReleasesGroup>& group)
{
    if (!group) {
        Lock lock(_lock);
        _releases.reset();
        return;
    }
    std::optional<QString> album;
    {
        Lock lock(_lock);
        if (_initialTagMap)
            album = _initialTagMap->AlbumName();
    }
    const auto candidates = HLVReleaseCandidates::fromGroup(*group, album);
    {
        Lock lock(_lock);
        _releases = candidates;
    }
    if (candidates.isEmpty())
        return;
    _modified = true;
    // The candidate itself becomes the pending map: later edits change it.
    setVirtualTagMapInternal(candidates.first());
}

// --- state ---------------------------------------------------------------------------------

bool HLVFileData::isModifiedLocked() const
{
    if (_saved)
        return false;
    if (!_virtualTagMap)
        return _modified;
    return _modified || HLVTagMapMerge::changesAnything(*_virtualTagMap);
}

bool HLVFileData::IsModified() const
{
    Lock lock(_lock);
    return isModifiedLocked();
}

void HLVFileData::forceIsModified()
{
    if (!_isReadOnly) {
        _filteredTagCount = -1;
        _saved = false;
        _modified = true;
    } else {
        _saved = true;
        _modified = false;
    }
}

bool HLVFileData::RequiresTagging()
{
    const int state = _identificationState;
    if (state == HLVIdentificationIdentified || state == HLVIdentificationFailed)
        return false;
    const auto map = TagMap();
    auto missingText = [](const std::optional<QString>& s) { return !s || s->isEmpty(); };
    auto missingNumber = [](const std::optional<int>& n) { return !n || *n == 0; };
    return missingText(map->TrackName()) || missingText(map->ArtistName()) || missingText(map->AlbumName())
        || missingText(map->AlbumArtist()) || missingText(map->Genre()) || missingNumber(map->ReleaseYear())
        || missingNumber(map->TrackNumber()) || missingNumber(map->TrackTotal()) || missingNumber(map->DiscNumber());
}

void HLVFileData::undoChanges()
{
    setVirtualTagMapInternal(nullptr);
    setReleases(nullptr);
    _identificationState = HLVIdentificationNone;
    Lock lock(_lock);
    if (_initialTagMap && _initialTagMap->CustomTagValues()) {
        for (const auto& value : *_initialTagMap->CustomTagValues())
            value->setIsMarkedForRemoval(false);
    }
}

std::shared_ptr<HLVTagMap> HLVFileData::removeTagsTagMap()
{
    auto map = std::make_shared<HLVTagMap>();
    const std::optional<QString> empty = QString(QLatin1String(""));
    for (const HLVTagField& field : HLVTagField::all()) {
        if (field.key == QLatin1String("Compilation"))
            continue; // the compilation flag stays as it is
        if (field.numeric)
            field.setNumber(*map, 0);
        else
            field.setText(*map, empty);
    }
    map->setArtworkPath(empty);
    map->setArtworkState(HLVArtworkStateRemove);
    map->setArtworkAttempted(true);
    return map;
}

void HLVFileData::removeTags()
{
    setVirtualTagMapInternal(removeTagsTagMap());
    setReleases(nullptr);
    _identificationState = HLVIdentificationNone;
    forceIsModified();
}

bool HLVFileData::areAnyFilesModified(const QList<std::shared_ptr<HLVFileData>>& files)
{
    for (const auto& file : files) {
        if (file && file->IsModified())
            return true;
    }
    return false;
}

bool HLVFileData::areAnyFilesModifiedAtIndexes(const QList<std::shared_ptr<HLVFileData>>& files,
                                               const QList<int>& indexes)
{
    if (files.isEmpty() || indexes.isEmpty())
        return false;
    QList<std::shared_ptr<HLVFileData>> selected;
    for (int index : indexes) {
        if (index >= 0 && index < files.size())
            selected.append(files.at(index));
    }
    return areAnyFilesModified(selected);
}

// --- saving -------------------------------------------------------------------------------

void HLVFileData::saveID3Tags()
{
    save(false);
}

void HLVFileData::save(bool resumed)
{
    enum class Action { NothingToSave, AwaitArtwork, Write } action = Action::NothingToSave;
    std::shared_ptr<HLVTagMap> snapshot;
    std::shared_ptr<HLVTagMap> initial;
    quint64 generation = 0;
    const QString path = FilePath();
    int code = HLVFileDataChangeNotSaved;
    {
        // One writer at a time: a second save starts from what the first left.
        std::unique_lock writer(_writeLock);
        bool loaded = false;
        {
            Lock lock(_lock);
            if (!resumed && _obtainingArtwork) {
                // A save is waiting for artwork; it answers for this request too.
                ++_joinedSaves;
                return;
            }
            if (_virtualTagMap && isModifiedLocked()) {
                _isSaving = true;
                if (!_virtualTagMap->ArtworkAttempted()) {
                    _obtainingArtwork = true;
                    action = Action::AwaitArtwork;
                } else {
                    action = Action::Write;
                }
            }
        }
        if (action == Action::Write) {
            initialTagMapLoading(&loaded);
            Lock lock(_lock);
            if (!_virtualTagMap) {
                action = Action::NothingToSave; // undone while the tags were read
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
                initial = _initialTagMap;
                snapshot = HLVTagMapMerge::detachedCopy(*_virtualTagMap);
                generation = _pendingGeneration;
            }
        }
        if (action == Action::NothingToSave) {
            // Also ends a resumed save whose changes were undone meanwhile.
            _isSaving = false;
        } else if (action == Action::Write) {
            HLVFailure failure;
            const bool written = HLVTagLib::saveTagsToFileAtPath(path, snapshot.get(), &failure);
            if (written) {
                auto baseline = HLVTagMapMerge::merged(*initial, snapshot.get());
                if (baseline->CustomTagValues()) {
                    baseline->CustomTagValues()->removeIf(
                        [](const std::shared_ptr<HLVCustomTagValue>& v) { return v->isMarkedForRemoval(); });
                }
                Lock lock(_lock);
                _initialTagMap = baseline;
                _modified = false;
                // Edits made while the file was being written are still pending.
                _saved = generation == _pendingGeneration;
                _lastFailure.reset();
                code = HLVFileDataChangeSaved;
            } else {
                if (failure.message.isEmpty()) {
                    failure = QFileInfo(path).isWritable()
                        ? HLVFailure::make(HLVFailure::Kind::WriteFailed, QStringLiteral("the tags could not be written"))
                        : HLVFailure::make(HLVFailure::Kind::ReadOnly, QStringLiteral("the file is read-only"));
                }
                setLastFailure(failure);
            }
            _isSaving = false;
        }
    }
    if (action == Action::AwaitArtwork) {
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
    if (HLVMainThread::isMainThread())
        QThreadPool::globalInstance()->start(resume);
    else
        resume();
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
    // Lookups block on the network. A save off the main thread may wait for its
    // own (it writes right after); anyone else gets the answer from a worker.
    auto self = shared_from_this();
    if (forSave && !HLVMainThread::isMainThread()) {
        if (tagMapRoad)
            paths->obtainArtworkForTagMap(searchCopy);
        else
            paths->obtainArtworkForFileData(self);
    } else if (tagMapRoad)
        QThreadPool::globalInstance()->start([paths, searchCopy] { paths->obtainArtworkForTagMap(searchCopy); });
    else
        QThreadPool::globalInstance()->start([paths, self] { paths->obtainArtworkForFileData(self); });
}

void HLVFileData::OnArtworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    bool loaded = false;
    const bool fileHasPicture = !initialTagMapLoading(&loaded)->Artwork().isNull();
    if (loaded)
        notify(HLVFileDataChangeLoaded);
    std::shared_ptr<HLVTagMap> target;
    bool resume = false;
    {
        Lock lock(_lock);
        for (qsizetype i = 0; i < _artworkSearches.size(); ++i) {
            if (_artworkSearches.at(i).searchCopy == tagMap) {
                target = _artworkSearches.at(i).target.lock();
                _artworkSearches.removeAt(i);
                break;
            }
        }
        if (target && tagMap) {
            target->setArtworkAttempted(tagMap->ArtworkAttempted());
            target->setArtworkPath(tagMap->ArtworkPath());
            target->setArtworkState(tagMap->ArtworkState());
            ++_pendingGeneration;
        }
        if (_artworkSearches.isEmpty())
            _activeTagMapArtworkSearch = false;
        resume = _obtainingArtwork.exchange(false);
    }
    auto self = shared_from_this();
    finishArtworkAnswer(resume, [self, target, resume, fileHasPicture] {
        if (target) {
            Lock lock(self->_lock);
            // Nothing found for the release: keep the file's own picture if it
            // has one, else none.
            if (!target->ArtworkPath())
                target->setArtworkState(fileHasPicture ? HLVArtworkStateInFile : HLVArtworkStateRemove);
        }
        const bool owed = self->_artworkAnswerOwed.exchange(false);
        if (!resume || owed)
            self->notify(HLVFileDataChangeArtwork);
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
        {
            Lock lock(self->_lock);
            auto pending = self->virtualTagMapLocked();
            if (!pending->ArtworkPath() && self->_initialTagMap && self->_initialTagMap->Artwork().isNull())
                pending->setArtworkState(HLVArtworkStateNone);
        }
        const bool owed = self->_artworkAnswerOwed.exchange(false);
        if (!resume || owed)
            self->notify(HLVFileDataChangeArtwork);
    });
    Lock lock(_lock);
    _artworkPaths.reset();
}

bool HLVFileData::removeArtwork()
{
    return HLVTagLib::removeArtworkImageFromFileAtPath(FilePath());
}

// --- naming -----------------------------------------------------------------------------------

std::optional<QString> HLVFileData::valueForFileNameStructureIdentifier(int identifier)
{
    return HLVRenamingPlan::valueForIdentifier(*InitialTagMap(), identifier);
}

std::optional<QString> HLVFileData::createFileNameUsingStructure(const std::optional<HLVFileNameStructure>& structure)
{
    if (!structure || structure->isEmpty())
        return std::nullopt;
    return HLVRenamingPlan::fileName(*InitialTagMap(), structure);
}

std::optional<QString> HLVFileData::renamedFilePathUsingStructure(const std::optional<HLVFileNameStructure>& structure)
{
    if (!structure || structure->isEmpty())
        return std::nullopt;
    return HLVRenamingPlan::renamedFilePath(FilePath(), *InitialTagMap(), structure);
}

void HLVFileData::renameFileUsingStructure(const std::optional<HLVFileNameStructure>& structure)
{
    if (const std::optional<QString> newPath = renamedFilePathUsingStructure(structure)) {
        const QString oldPath = FilePath();
        // Anything already there, this very file included, is left alone.
        if (!QFileInfo::exists(*newPath) && !QFileInfo(*newPath).isSymLink()) {
            if (QFile::rename(oldPath, *newPath)) {
                std::lock_guard lock(_pathLock);
                _FilePath = *newPath;
                _FileName = QFileInfo(*newPath).fileName();
            }
        }
    }
    notify(HLVFileDataChangeRenamed);
}
