#include "HLVFileData.h"
#include "HLVFileNameStructure.h"
#include "HLVReleaseCandidates.h"
#include "HLVRenamingPlan.h"
#include "HLVTagMapMerge.h"
#include "HLVTagLib.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <condition_variable>

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
        Lock lock(_lock);
        _FilePath = path;
        _FileName = QFileInfo(path).fileName();
    }
    _identificationState = HLVIdentificationNone;
    _modified = false;
}

namespace {

// Lets setDelegate() wait until no call to the old delegate is running, without
// any lock held during the call itself.
std::mutex delegateGate;
std::condition_variable delegateCallEnded;

} // namespace

void HLVFileData::setDelegate(HLVFileDataDelegate* delegate)
{
    std::unique_lock gate(delegateGate);
    _delegate = delegate;
    delegateCallEnded.wait(gate, [this] { return _delegateCalls == 0; });
}

void HLVFileData::resignDelegate(HLVFileDataDelegate* delegate)
{
    std::unique_lock gate(delegateGate);
    if (_delegate != delegate)
        return;
    _delegate = nullptr;
    delegateCallEnded.wait(gate, [this] { return _delegateCalls == 0; });
}

HLVFileDataDelegate* HLVFileData::delegate() const
{
    std::lock_guard gate(delegateGate);
    return _delegate;
}

void HLVFileData::notify(int code)
{
    HLVFileDataDelegate* delegate = nullptr;
    {
        std::lock_guard gate(delegateGate);
        delegate = _delegate;
        if (!delegate)
            return;
        ++_delegateCalls;
    }
    delegate->OnFileDataModified(shared_from_this(), code);
    {
        std::lock_guard gate(delegateGate);
        --_delegateCalls;
    }
    delegateCallEnded.notify_all();
}

QString HLVFileData::FileName() const
{
    Lock lock(_lock);
    return _FileName;
}

QString HLVFileData::FilePath() const
{
    Lock lock(_lock);
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

std::optional<HLVFailure> HLVFileData::LastArtworkFailure() const
{
    Lock lock(_lock);
    return _artworkFailure;
}

void HLVFileData::setArtworkFailure(const std::optional<HLVFailure>& failure)
{
    Lock lock(_lock);
    _artworkFailure = failure;
}

// --- initial tags ---------------------------------------------------------------

namespace {

// The record keeps what its file's picture is, not its bytes: a save leaves
// the picture in the file, and a view that shows it reads it (readOwnArtwork).
// So the memory of many records does not grow with their covers.
std::shared_ptr<HLVTagMap> withoutPictureBytes(const std::shared_ptr<HLVTagMap>& map)
{
    if (map && map->Artwork().hasPictureData())
        map->setArtwork(map->Artwork().withoutPictureData());
    return map;
}

} // namespace

std::shared_ptr<HLVTagMap> HLVFileData::initialTagMapLoading(bool* loaded)
{
    {
        Lock lock(_lock);
        if (_initialTagMap)
            return _initialTagMap;
    }
    // Read without the lock: a slow disk must not hold up readers of the record.
    bool readable = false;
    HLVFailure failure;
    HLVFileDetails details;
    auto map = withoutPictureBytes(HLVTagLib::loadTagsFromFileAtPath(FilePath(), &readable, &failure,
                                                                     _readsDetails ? &details : nullptr));
    Lock lock(_lock);
    if (!_initialTagMap) {
        _initialTagMap = map;
        _isUnreadable = !readable;
        if (!readable && !failure.message.isEmpty())
            _lastFailure = failure;
        _details = readable && _readsDetails ? std::optional(std::move(details)) : std::nullopt;
        _listingTagMap.reset(); // the loaded map serves lists from now on
        *loaded = true;
    }
    return _initialTagMap;
}

void HLVFileData::loadID3Tags()
{
    bool readable = false;
    HLVFailure failure;
    HLVFileDetails details;
    auto map = withoutPictureBytes(HLVTagLib::loadTagsFromFileAtPath(FilePath(), &readable, &failure,
                                                                     _readsDetails ? &details : nullptr));
    {
        Lock lock(_lock);
        _initialTagMap = map;
        _isUnreadable = !readable;
        if (!readable && !failure.message.isEmpty())
            _lastFailure = failure;
        _details = readable && _readsDetails ? std::optional(std::move(details)) : std::nullopt;
        _listingTagMap.reset();
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

HLVArtwork HLVFileData::readOwnArtwork()
{
    const HLVArtwork kept = InitialTagMap()->Artwork();
    if (kept.isNull() || kept.hasPictureData())
        return kept;
    return HLVTagLib::loadTagsFromFileAtPath(FilePath())->Artwork();
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

void HLVFileData::completeVirtualTagMap(const std::function<bool(HLVTagMap&)>& edit)
{
    Lock lock(_lock);
    if (_virtualTagMap && edit(*_virtualTagMap))
        ++_pendingGeneration;
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
    bool readable = false;
    HLVFileDetails details;
    auto map = HLVTagLib::loadTagsFromFileAtPath(FilePath(), &readable, nullptr, _readsDetails ? &details : nullptr);
    keepListing(*map, readable && _readsDetails ? std::optional(std::move(details)) : std::nullopt);
    return map;
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

qsizetype HLVFileData::releaseCount() const
{
    Lock lock(_lock);
    return _releases ? _releases->size() : 0;
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
    // A file that cannot be written has nothing to save, whatever was asked of it.
    if (_saved || _isReadOnly || _isUnreadable)
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
    // A file that cannot be written keeps nothing to save.
    if (canBeEdited()) {
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

std::shared_ptr<HLVTagMap> HLVFileData::removeTagsTagMap(HLVCompilationFlag compilation)
{
    auto map = std::make_shared<HLVTagMap>();
    const std::optional<QString> empty = QString(QLatin1String(""));
    for (const HLVTagField& field : HLVTagField::all()) {
        if (field.key == QLatin1String("Compilation") && compilation == HLVCompilationFlag::Keep)
            continue;
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

void HLVFileData::removeTags(HLVCompilationFlag compilation)
{
    setVirtualTagMapInternal(removeTagsTagMap(compilation));
    setReleases(nullptr);
    _identificationState = HLVIdentificationNone;
    forceIsModified();
}

void HLVFileData::chooseArtwork(const HLVArtwork& picture, const QString& path)
{
    editVirtualTagMap([&](HLVTagMap& map) {
        map.setArtwork(picture);
        map.setArtworkPath(path);
        map.setArtworkState(HLVArtworkStateChosen);
        map.setArtworkAttempted(true);
    });
    forceIsModified();
}

void HLVFileData::chooseNoArtwork()
{
    editVirtualTagMap([](HLVTagMap& map) {
        map.setArtwork(HLVArtwork());
        map.setArtworkPath(std::nullopt);
        map.setArtworkState(HLVArtworkStateRemove);
        map.setArtworkAttempted(true);
    });
    forceIsModified();
}

HLVArtwork HLVFileData::currentArtwork()
{
    return TagMap()->Artwork();
}

HLVArtwork HLVFileData::readCurrentArtwork()
{
    const HLVArtwork current = currentArtwork();
    if (current.isNull() || current.hasPictureData())
        return current;
    return readOwnArtwork();
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
    {
        // This attempt's outcome replaces an earlier rename's.
        Lock lock(_lock);
        if (_lastFailure && _lastFailure->kind == HLVFailure::Kind::RenameFailed)
            _lastFailure.reset();
    }
    if (const std::optional<QString> newPath = renamedFilePathUsingStructure(structure)) {
        const QString oldPath = FilePath();
        const QFileInfo target(*newPath);
        if (*newPath == oldPath) {
            // already so named
        } else if (HLVRenamingPlan::isTaken(*newPath, oldPath)) {
            // Anything already there is left alone.
            setLastFailure(HLVFailure::make(HLVFailure::Kind::RenameFailed,
                                            QStringLiteral("a file named \u201c%1\u201d is already there")
                                                .arg(target.fileName())));
        } else {
            QFile file(oldPath);
            if (file.rename(*newPath)) {
                Lock lock(_lock);
                _FilePath = *newPath;
                _FileName = target.fileName();
            } else {
                setLastFailure(HLVFailure::make(HLVFailure::Kind::RenameFailed,
                                                QStringLiteral("the file could not be renamed (%1)").arg(file.errorString())));
            }
        }
    }
    notify(HLVFileDataChangeRenamed);
}
