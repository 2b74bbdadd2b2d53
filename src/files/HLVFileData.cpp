#include "HLVFileData.h"
#include "HLVArtworkPaths.h"
#include "HLVCustomTagIdentifierString.h"
#include "HLVFileNameStructure.h"
#include "HLVMainThread.h"
#include "HLVRecordingReleasesGroup.h"
#include "HLVTagLib.h"

#include <QDir>
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
    {
        Lock lock(_lock);
        _FilePath = url.toLocalFile();
        if (_FilePath.isEmpty())
            _FilePath = QUrl::fromPercentEncoding(url.path().toUtf8());
        _FileName = QFileInfo(_FilePath).fileName();
    }
    _identificationState = HLVIdentificationNone;
    _modified = false;
}

void HLVFileData::notify(int code)
{
    if (HLVFileDataDelegate* delegate = _delegate.load())
        delegate->OnFileDataModified(shared_from_this(), code);
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

// --- initial tags ---------------------------------------------------------------

std::shared_ptr<HLVTagMap> HLVFileData::loadLocked(bool* loaded)
{
    if (!_initialTagMap) {
        bool readable = false;
        _initialTagMap = HLVTagLib::loadTagsFromFileAtPath(_FilePath, &readable);
        _isUnreadable = !readable;
        *loaded = true;
    }
    return _initialTagMap;
}

void HLVFileData::loadID3Tags()
{
    {
        Lock lock(_lock);
        bool readable = false;
        _initialTagMap = HLVTagLib::loadTagsFromFileAtPath(_FilePath, &readable);
        _isUnreadable = !readable;
    }
    notify(HLVFileDataChangeLoaded);
}

std::shared_ptr<HLVTagMap> HLVFileData::InitialTagMap()
{
    bool loaded = false;
    std::shared_ptr<HLVTagMap> initial;
    {
        Lock lock(_lock);
        initial = loadLocked(&loaded);
    }
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
    return virtualTagMapLocked();
}

std::shared_ptr<HLVTagMap> HLVFileData::existingVirtualTagMap() const
{
    Lock lock(_lock);
    return _virtualTagMap;
}

void HLVFileData::setVirtualTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
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
    Lock lock(_lock);
    edit(*virtualTagMapLocked());
    ++_pendingGeneration;
}

// --- merged view ----------------------------------------------------------------------

static HLVCustomTagValueArray mergeCustomTagValues(const HLVTagMap& initial, const HLVTagMap& pending)
{
    HLVCustomTagValueArray values;
    QStringList seen;
    if (pending.CustomTagValues()) {
        for (const auto& value : *pending.CustomTagValues()) {
            values.append(value);
            seen.append(value->identifier());
        }
    }
    if (initial.CustomTagValues()) {
        for (const auto& value : *initial.CustomTagValues()) {
            if (!seen.contains(value->identifier()))
                values.append(value);
        }
    }
    return values;
}

std::shared_ptr<HLVTagMap> HLVFileData::mergedTagMap(const HLVTagMap& initial, const HLVTagMap* pending)
{
    auto merged = std::make_shared<HLVTagMap>(initial);
    if (!pending)
        return merged;
    auto take = [](auto& target, const auto& pendingValue) {
        if (pendingValue)
            target = pendingValue;
    };
    HLVTagMap& m = *merged;
    auto v = m.TrackName(); take(v, pending->TrackName()); m.setTrackName(v);
    v = m.ArtistName(); take(v, pending->ArtistName()); m.setArtistName(v);
    v = m.AlbumName(); take(v, pending->AlbumName()); m.setAlbumName(v);
    v = m.AlbumArtist(); take(v, pending->AlbumArtist()); m.setAlbumArtist(v);
    v = m.Genre(); take(v, pending->Genre()); m.setGenre(v);
    auto n = m.ReleaseYear(); take(n, pending->ReleaseYear()); m.setReleaseYear(n);
    n = m.TrackNumber(); take(n, pending->TrackNumber()); m.setTrackNumber(n);
    n = m.TrackTotal(); take(n, pending->TrackTotal()); m.setTrackTotal(n);
    n = m.DiscNumber(); take(n, pending->DiscNumber()); m.setDiscNumber(n);
    n = m.DiscTotal(); take(n, pending->DiscTotal()); m.setDiscTotal(n);
    v = m.Composer(); take(v, pending->Composer()); m.setComposer(v);
    v = m.Grouping(); take(v, pending->Grouping()); m.setGrouping(v);
    v = m.Comment(); take(v, pending->Comment()); m.setComment(v);
    n = m.Compilation(); take(n, pending->Compilation()); m.setCompilation(n);

    // A changed picture reaches the merged map only as a path; state 4 without
    // a path means the file is to have none.
    m.setArtwork(pending->Artwork());
    m.setArtworkPath(pending->ArtworkPath());
    if (!pending->ArtworkPath() && pending->ArtworkState() != HLVArtworkStateRemove)
        m.setArtwork(initial.Artwork());
    m.setArtworkAttempted(pending->ArtworkAttempted());
    m.setArtworkState(pending->ArtworkState());
    m.setCustomTagValues(mergeCustomTagValues(initial, *pending));
    m.setCustomTagIdentifierString(pending->CustomTagIdentifierString() ? pending->CustomTagIdentifierString()
                                                                        : initial.CustomTagIdentifierString());
    return merged;
}

std::shared_ptr<HLVTagMap> HLVFileData::TagMap()
{
    bool loaded = false;
    std::shared_ptr<HLVTagMap> merged;
    {
        Lock lock(_lock);
        auto initial = loadLocked(&loaded);
        merged = mergedTagMap(*initial, _virtualTagMap.get());
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
            return mergedTagMap(*_initialTagMap, _virtualTagMap.get());
    }
    return HLVTagLib::loadTagsFromFileAtPath(FilePath());
}

HLVCustomTagValueArray HLVFileData::determineCustomTagValuesLocked() const
{
    static const HLVTagMap empty;
    return mergeCustomTagValues(_initialTagMap ? *_initialTagMap : empty, _virtualTagMap ? *_virtualTagMap : empty);
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
    return _releases.value_or(QList<std::shared_ptr<HLVTagMap>>());
}

bool HLVFileData::hasReleases() const
{
    Lock lock(_lock);
    return _releases && !_releases->isEmpty();
}

static std::optional<int> nonZero(int value)
{
    return value ? std::optional<int>(value) : std::nullopt;
}

void HLVFileData::setReleases(const std::shared_ptr<HLVRecordingReleasesGroup>& group)
{
    std::shared_ptr<HLVTagMap> first;
    {
        Lock lock(_lock);
        if (!group) {
            _releases.reset();
            return;
        }
        _releases = QList<std::shared_ptr<HLVTagMap>>();
        std::optional<QString> album;
        if (_initialTagMap && _initialTagMap->AlbumName())
            album = _initialTagMap->AlbumName()->toLower();
        for (const auto& release : group->RecordingReleases()) {
            auto map = std::make_shared<HLVTagMap>();
            map->setAlbumArtist(release->IsCompilation() ? std::optional<QString>(QString(""))
                                                         : group->ArtistName());
            map->setAlbumName(release->ReleaseTitle());
            map->setArtistName(group->ArtistName());
            map->setArtworkState(HLVArtworkStateFound);
            map->setGenre(release->ReleaseGenre());
            map->setDiscNumber(nonZero(release->DiscPosition()));
            map->setDiscTotal(nonZero(release->DiscCount()));
            map->setTrackNumber(nonZero(release->TrackPosition()));
            map->setTrackTotal(nonZero(release->TrackCount()));
            map->setReleaseMBID(release->ReleaseID());
            const QString year = release->ReleaseYear().value_or(QString());
            if (year.size() >= 4)
                map->setReleaseYear(year.left(4).toInt());
            map->setTrackName(release->TrackName() ? release->TrackName() : group->TrackName());
            map->setArtworkAttempted(false);
            if (album && map->AlbumName() && map->AlbumName()->toLower() == *album)
                _releases->prepend(map);
            else
                _releases->append(map);
        }
        if (_releases->isEmpty())
            return;
        first = _releases->first();
    }
    _modified = true;
    setVirtualTagMap(first);
}

// --- state ---------------------------------------------------------------------------------

bool HLVFileData::isModifiedLocked() const
{
    if (_saved)
        return false;
    if (!_virtualTagMap)
        return _modified;
    if (_modified)
        return true;
    const HLVTagMap& p = *_virtualTagMap;
    if (p.TrackName() || p.ArtistName() || p.AlbumName() || p.AlbumArtist() || p.Genre() || p.ReleaseYear()
        || p.TrackNumber() || p.TrackTotal() || p.DiscNumber() || p.DiscTotal() || p.Composer() || p.Grouping()
        || p.Comment() || p.Compilation())
        return true;
    return p.ArtworkState() != HLVArtworkStateNone && p.ArtworkState() != HLVArtworkStateInFile;
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
    setVirtualTagMap(nullptr);
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
    map->setAlbumArtist(empty);
    map->setAlbumName(empty);
    map->setArtistName(empty);
    map->setArtworkPath(empty);
    map->setComment(empty);
    map->setComposer(empty);
    map->setGenre(empty);
    map->setGrouping(empty);
    map->setTrackName(empty);
    map->setDiscNumber(0);
    map->setDiscTotal(0);
    map->setReleaseYear(0);
    map->setTrackNumber(0);
    map->setTrackTotal(0);
    map->setArtworkState(HLVArtworkStateRemove);
    map->setArtworkAttempted(true);
    return map;
}

void HLVFileData::removeTags()
{
    setVirtualTagMap(removeTagsTagMap());
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

// A copy the writer can use while the pending map goes on changing.
static std::shared_ptr<HLVTagMap> detachedCopy(const HLVTagMap& map)
{
    auto copy = std::make_shared<HLVTagMap>(map);
    if (copy->CustomTagValues()) {
        for (auto& value : *copy->CustomTagValues())
            value = std::make_shared<HLVCustomTagValue>(*value);
    }
    return copy;
}

void HLVFileData::saveID3Tags()
{
    enum class Action { NothingToSave, AwaitArtwork, Write } action = Action::NothingToSave;
    std::shared_ptr<HLVTagMap> snapshot;
    std::shared_ptr<HLVTagMap> initial;
    QString path;
    quint64 generation = 0;
    {
        Lock lock(_lock);
        if (_virtualTagMap && isModifiedLocked()) {
            _isSaving = true;
            if (!_virtualTagMap->ArtworkAttempted()) {
                _obtainingArtwork = true;
                action = Action::AwaitArtwork;
            } else {
                if (_virtualTagMap->CustomTagValues()) {
                    HLVCustomTagIdentifierString list;
                    for (const auto& value : *_virtualTagMap->CustomTagValues()) {
                        if (!value->isMarkedForRemoval())
                            list.addTagIdentifier(value->identifier());
                    }
                    if (_initialTagMap && _initialTagMap->CustomTagValues()) {
                        for (const auto& value : *_initialTagMap->CustomTagValues()) {
                            if (!value->isMarkedForRemoval())
                                list.addTagIdentifier(value->identifier());
                        }
                    }
                    _virtualTagMap->setCustomTagIdentifierString(list.stringValue());
                }
                bool loaded = false;
                initial = loadLocked(&loaded);
                snapshot = detachedCopy(*_virtualTagMap);
                generation = _pendingGeneration;
                path = _FilePath;
                action = Action::Write;
            }
        }
    }
    switch (action) {
    case Action::NothingToSave:
        notify(HLVFileDataChangeNotSaved);
        return;
    case Action::AwaitArtwork:
        obtainArtworkPathForActiveTagMap(); // the answer resumes the save
        return;
    case Action::Write:
        break;
    }

    HLVFailure failure;
    const bool written = HLVTagLib::saveTagsToFileAtPath(path, snapshot.get(), &failure);
    setLastFailure(written ? std::nullopt : std::optional<HLVFailure>(failure));
    if (written) {
        {
            Lock lock(_lock);
            auto baseline = mergedTagMap(*initial, snapshot.get());
            if (baseline->CustomTagValues()) {
                baseline->CustomTagValues()->removeIf(
                    [](const std::shared_ptr<HLVCustomTagValue>& v) { return v->isMarkedForRemoval(); });
            }
            _initialTagMap = baseline;
            _modified = false;
            // Edits made while the file was being written are still pending.
            _saved = generation == _pendingGeneration;
        }
        notify(HLVFileDataChangeSaved);
    } else {
        notify(HLVFileDataChangeNotSaved);
    }
    _isSaving = false;
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
        self->saveID3Tags();
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
    auto paths = std::make_shared<HLVArtworkPaths>();
    paths->setDelegate(weak_from_this());
    std::shared_ptr<HLVTagMap> searchCopy;
    bool tagMapRoad = false;
    {
        Lock lock(_lock);
        _artworkPaths = paths;
        auto pending = virtualTagMapLocked();
        tagMapRoad = _releases && !_releases->isEmpty();
        _activeTagMapArtworkSearch = tagMapRoad;
        if (tagMapRoad) {
            // The search writes its map from a worker; it gets a copy of its own
            // and the answer is copied back into the pending map.
            _artworkSearchTarget = pending;
            searchCopy = std::make_shared<HLVTagMap>(*pending);
        }
    }
    if (tagMapRoad)
        paths->obtainArtworkForTagMap(searchCopy);
    else
        paths->obtainArtworkForFileData(shared_from_this());
}

void HLVFileData::OnArtworkPathsObtainedForTagMap(const std::shared_ptr<HLVTagMap>& tagMap)
{
    {
        Lock lock(_lock);
        if (tagMap && _artworkSearchTarget && _artworkSearchTarget == _virtualTagMap) {
            _virtualTagMap->setArtworkAttempted(tagMap->ArtworkAttempted());
            _virtualTagMap->setArtworkPath(tagMap->ArtworkPath());
            _virtualTagMap->setArtworkState(tagMap->ArtworkState());
            ++_pendingGeneration;
        }
        _artworkSearchTarget.reset();
    }
    const bool resume = _obtainingArtwork.exchange(false);
    auto self = shared_from_this();
    finishArtworkAnswer(resume, [self, resume] {
        {
            Lock lock(self->_lock);
            auto pending = self->virtualTagMapLocked();
            // Nothing found for the release: its picture is to be none.
            if (!pending->ArtworkPath())
                pending->setArtworkState(HLVArtworkStateRemove);
        }
        if (!resume)
            self->notify(HLVFileDataChangeArtwork);
    });
    Lock lock(_lock);
    if ((_releases && !_releases->isEmpty() && _virtualTagMap == _releases->last()) || _activeTagMapArtworkSearch) {
        _artworkPaths.reset();
        _activeTagMapArtworkSearch = false;
    }
}

void HLVFileData::OnArtworkPathsObtainedForFileData(const std::shared_ptr<HLVFileData>&)
{
    const bool resume = _obtainingArtwork.exchange(false);
    auto self = shared_from_this();
    finishArtworkAnswer(resume, [self, resume] {
        {
            Lock lock(self->_lock);
            auto pending = self->virtualTagMapLocked();
            if (!pending->ArtworkPath() && self->_initialTagMap && self->_initialTagMap->Artwork().isNull())
                pending->setArtworkState(HLVArtworkStateNone);
        }
        if (!resume)
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
    const auto tags = InitialTagMap();
    auto number = [](const std::optional<int>& n) -> std::optional<QString> {
        if (!n || *n == 0)
            return std::nullopt;
        return QString::number(*n);
    };
    switch (identifier) {
    case HLVFileNameStructure::AlbumName: return tags->AlbumName();
    case HLVFileNameStructure::Artist: return tags->ArtistName();
    case HLVFileNameStructure::Composer: return tags->Composer();
    case HLVFileNameStructure::DiscNumber: return number(tags->DiscNumber());
    case HLVFileNameStructure::DiscTotal: return number(tags->DiscTotal());
    case HLVFileNameStructure::Genre: return tags->Genre();
    case HLVFileNameStructure::Grouping: return tags->Grouping();
    case HLVFileNameStructure::Title: return tags->TrackName();
    case HLVFileNameStructure::TrackNumber: return number(tags->TrackNumber());
    case HLVFileNameStructure::TrackTotal: return number(tags->TrackTotal());
    case HLVFileNameStructure::Year: return number(tags->ReleaseYear());
    default: return std::nullopt;
    }
}

std::optional<QString> HLVFileData::createFileNameUsingStructure(const std::optional<HLVFileNameStructure>& structure)
{
    if (!structure || structure->isEmpty())
        return std::nullopt;
    QString text;
    const int components[] = {structure->firstComponent(), structure->middleComponent(), structure->lastComponent()};
    for (int component : components) {
        if (!component)
            continue;
        const auto value = valueForFileNameStructureIdentifier(component);
        if (!value || value->isEmpty())
            continue;
        if (!text.isEmpty())
            text += QLatin1String(" - ");
        text += *value;
    }
    if (text.isEmpty())
        return std::nullopt;
    return text.trimmed();
}

std::optional<QString> HLVFileData::renamedFilePathUsingStructure(const std::optional<HLVFileNameStructure>& structure)
{
    std::optional<QString> name = createFileNameUsingStructure(structure);
    if (!name)
        return std::nullopt;
    static const QString forbidden = QStringLiteral("/\\?%*|\"<>:");
    name->removeIf([](QChar c) { return forbidden.contains(c); });
    // A name of nothing but dots would point at the folder or its parent.
    if (name->isEmpty() || *name == QLatin1String(".") || *name == QLatin1String(".."))
        return std::nullopt;
    const QFileInfo info(FilePath());
    const QString extension = info.suffix();
    const QString newName = extension.isEmpty() ? *name : *name + QLatin1Char('.') + extension;
    return info.dir().filePath(newName);
}

void HLVFileData::renameFileUsingStructure(const std::optional<HLVFileNameStructure>& structure)
{
    if (const std::optional<QString> newPath = renamedFilePathUsingStructure(structure)) {
        const QString oldPath = FilePath();
        // Anything already there, this very file included, is left alone.
        if (!QFileInfo::exists(*newPath) && !QFileInfo(*newPath).isSymLink()) {
            if (QFile::rename(oldPath, *newPath)) {
                Lock lock(_lock);
                _FilePath = *newPath;
                _FileName = QFileInfo(*newPath).fileName();
            }
        }
    }
    notify(HLVFileDataChangeRenamed);
}
