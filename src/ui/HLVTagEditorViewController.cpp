// The tag editor: showing one file or several, typing, and the file manager's
// notices.

#include "HLVTagEditorViewController.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVTagEditorDelegate.h"
#include "HLVTagField.h"
#include "HLVTagTextField.h"

#include <QCheckBox>
#include <QToolButton>

namespace {

const HLVTagField& compilationField()
{
    return *HLVTagField::withKey(QStringLiteral("Compilation"));
}

// A value as its field shows it: absent and 0 both show as the empty text.
QString shownText(const HLVTagField& field, const HLVTagMap* map)
{
    if (!map)
        return QString();
    if (field.numeric) {
        const std::optional<int> number = field.number(*map);
        return number && *number != 0 ? QString::number(*number) : QString();
    }
    return field.text(*map).value_or(QString());
}

// The pending value as text, absent when the map does not change the field.
std::optional<QString> pendingText(const HLVTagField& field, const HLVTagMap* map)
{
    if (!map)
        return std::nullopt;
    if (field.numeric) {
        const std::optional<int> number = field.number(*map);
        return number ? std::optional<QString>(QString::number(*number)) : std::nullopt;
    }
    return field.text(*map);
}

} // namespace

void HLVTagEditorViewController::setDelegate(HLVTagEditorDelegate* delegate)
{
    _delegate = delegate;
    delete _bridge;
    _bridge = nullptr;
    _fileManager = nullptr;
    if (!delegate)
        return;
    _fileDialogWindow = delegate->windowToDisplayTagEditorDialogs();
    _fileManager = delegate->tagEditorFileManagerSource();
    if (!_fileManager)
        return;
    _bridge = new HLVFileManagerBridge(_fileManager, this);
    connect(_bridge, &HLVFileManagerBridge::operationStarted, this, &HLVTagEditorViewController::fileOperationDidStart);
    connect(_bridge, &HLVFileManagerBridge::operationFinished, this, &HLVTagEditorViewController::fileOperationDidFinish);
    connect(_bridge, &HLVFileManagerBridge::fileChanged, this, &HLVTagEditorViewController::fileDataWasModified);
}

QList<std::shared_ptr<HLVFileData>> HLVTagEditorViewController::filesShown() const
{
    if (_tagFileData)
        return {_tagFileData};
    return _tagFileArray;
}

int HLVTagEditorViewController::currentOperation() const
{
    return _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
}

// --- showing files ------------------------------------------------------------------------

void HLVTagEditorViewController::displayFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (fileData != _tagFileData)
        stopTrackPreview();
    _tagFileData = fileData;
    _tagFileArray.clear();
    _hasNotifiedOfModification = false;
    // A fetch or lookup for what was shown before no longer holds the indicator.
    _artworkIsDownloading = false;
    ++_artworkFetch;
    if (!fileData)
        return;
    const std::shared_ptr<HLVTagMap> map = fileData->TagMap();
    if (!map)
        return;
    showValuesOfFile(fileData);

    showArtworkTitle(tr("No artwork"));
    for (QToolButton* button : {_removeArtworkButton, _restoreArtworkButton, _downloadArtworkButton})
        button->setEnabled(false);

    bool fetching = false;
    if (map->ArtworkPath() && map->ArtworkState() == HLVArtworkStateFound) {
        loadArtworkFromFileData(fileData);
        fetching = true;
        showArtworkTitle(QString());
    } else if (map->ArtworkAttempted()) {
        const int operation = currentOperation();
        _downloadArtworkButton->setEnabled(operation != HLVFileOperationSaving && operation != HLVFileOperationArtwork
                                           && operation != HLVFileOperationIdentifying
                                           && operation != HLVFileOperationRenaming);
    } else {
        _artworkIsDownloading = true;
        setShowArtworkLoading(true);
        fileData->obtainArtworkPathForActiveTagMap();
    }

    QImage image;
    if (fileData->hasReleases()) {
        if (const auto pending = fileData->existingVirtualTagMap())
            image = pending->Artwork().image();
    } else {
        image = map->Artwork().image();
    }
    if (!image.isNull())
        showArtworkImage(image);
    else if (fetching)
        showArtworkTitle(QString());
    if (map->ArtworkState() == HLVArtworkStateChosen)
        _restoreArtworkButton->setEnabled(true);

    setShowArtworkLoading(false);
    _playTrackBox->show();
    updatePreviewAvailability();
    _customTagEditorViewController->setActiveFilePath(fileData->FilePath());
    HLVCustomTagValueArray copies;
    if (map->CustomTagValues()) {
        // The list edits its rows in place; keep the record's values out of its reach.
        for (const auto& value : *map->CustomTagValues())
            copies.append(std::make_shared<HLVCustomTagValue>(*value));
    }
    _customTagEditorViewController->setCustomTagValues(copies);
}

void HLVTagEditorViewController::showValuesOfFile(const std::shared_ptr<HLVFileData>& fileData)
{
    const auto map = fileData->TagMap();
    const auto initial = fileData->InitialTagMap();
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        HLVTagTextField* field = _textFields.at(i);
        const HLVTagField& tagField = *_tagFields.at(i);
        field->setPlaceholderText(QString());
        if (tagField.numeric)
            field->setNumberValueOrEmpty(tagField.number(*map));
        else
            field->setStringValueOrEmpty(tagField.text(*map));
        field->setSavedValues({shownText(tagField, initial.get())}, true);
    }
    _compilationButton->setChecked(map->Compilation().value_or(0) != 0);
    _compilation = _compilationButton->isChecked();
    _savedCompilations = {initial && initial->Compilation().value_or(0) != 0};
    _compilationShowsPendingValue = true;
    updateCompilationMark();
}

void HLVTagEditorViewController::displayFileDataSet(const QList<std::shared_ptr<HLVFileData>>& files)
{
    _tagFileData = nullptr;
    _tagFileArray = files;
    _tagFileArray.removeAll(nullptr);
    stopTrackPreview();
    _artworkIsDownloading = false;
    ++_artworkFetch;
    setShowArtworkLoading(false);
    _hasNotifiedOfModification = false;
    if (_tagFileArray.isEmpty())
        return;
    showValuesOfFiles(_tagFileArray);

    showArtworkTitle(tr("Multiple artwork"));
    const int operation = currentOperation();
    _downloadArtworkButton->setEnabled(operation != HLVFileOperationSaving && operation != HLVFileOperationArtwork
                                       && operation != HLVFileOperationIdentifying);
    _removeArtworkButton->setEnabled(true);
    _restoreArtworkButton->setEnabled(true);
    _playTrackBox->hide();
    showCommonCustomTagValues(_tagFileArray);
}

void HLVTagEditorViewController::showValuesOfFiles(const QList<std::shared_ptr<HLVFileData>>& files)
{
    QList<std::shared_ptr<HLVTagMap>> pendings;
    QList<std::shared_ptr<const HLVTagMap>> initials;
    for (const auto& file : files) {
        // Only what is pending counts; a file without changes has none to share.
        pendings.append(file->existingVirtualTagMap());
        initials.append(file->InitialTagMap());
    }
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        HLVTagTextField* field = _textFields.at(i);
        const HLVTagField& tagField = *_tagFields.at(i);
        std::optional<QString> shared = pendingText(tagField, pendings.constFirst().get());
        for (qsizetype f = 1; shared && f < pendings.size(); ++f) {
            if (pendingText(tagField, pendings.at(f).get()) != shared)
                shared.reset();
        }
        if (tagField.numeric)
            field->setNumberValueOrEmpty(shared ? std::optional<int>(shared->toInt()) : std::nullopt);
        else
            field->setStringValueOrEmpty(shared);
        QStringList saved;
        bool savedAlike = true;
        for (const auto& initial : std::as_const(initials)) {
            saved.append(shownText(tagField, initial.get()));
            savedAlike = savedAlike && saved.constLast() == saved.constFirst();
        }
        // An empty field over files that differ leaves each file's value alone.
        field->setPlaceholderText(!shared && !savedAlike ? tr("Multiple values") : QString());
        field->setSavedValues(saved, shared.has_value());
    }

    std::optional<bool> sharedCompilation;
    bool compilationAlike = true;
    _savedCompilations.clear();
    for (qsizetype f = 0; f < files.size(); ++f) {
        std::optional<bool> flag;
        if (pendings.at(f) && pendings.at(f)->Compilation())
            flag = *pendings.at(f)->Compilation() != 0;
        if (f == 0)
            sharedCompilation = flag;
        else if (flag != sharedCompilation)
            compilationAlike = false;
        _savedCompilations.append(initials.at(f) && initials.at(f)->Compilation().value_or(0) != 0);
    }
    _compilationButton->setChecked(compilationAlike && sharedCompilation.value_or(false));
    _compilation = _compilationButton->isChecked();
    _compilationShowsPendingValue = compilationAlike && sharedCompilation.has_value();
    updateCompilationMark();
}

void HLVTagEditorViewController::refreshSavedValues()
{
    // After a save the files' saved values are what the fields compare with.
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (files.isEmpty())
        return;
    QList<std::shared_ptr<const HLVTagMap>> initials;
    for (const auto& file : files)
        initials.append(file->InitialTagMap());
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        const HLVTagField& tagField = *_tagFields.at(i);
        QStringList saved;
        for (const auto& initial : std::as_const(initials))
            saved.append(shownText(tagField, initial.get()));
        HLVTagTextField* field = _textFields.at(i);
        field->setSavedValues(saved, field->showsPendingValue());
    }
    _savedCompilations.clear();
    for (const auto& initial : std::as_const(initials))
        _savedCompilations.append(initial && initial->Compilation().value_or(0) != 0);
    updateCompilationMark();
}

void HLVTagEditorViewController::updateCompilationMark()
{
    const bool checked = _compilationButton->isChecked();
    const bool writes = _compilationShowsPendingValue || checked != _compilation;
    bool changed = false;
    for (bool saved : std::as_const(_savedCompilations))
        changed = changed || saved != checked;
    QFont shownFont = _compilationButton->font();
    shownFont.setBold(writes && changed);
    _compilationButton->setFont(shownFont);
}

// --- typing ----------------------------------------------------------------------------------

void HLVTagEditorViewController::noteFirstModification(bool tellManager)
{
    if (_hasNotifiedOfModification)
        return;
    _hasNotifiedOfModification = true;
    for (const auto& file : filesShown())
        file->forceIsModified();
    if (tellManager)
        tellFileManager();
}

void HLVTagEditorViewController::tellFileManager()
{
    if (!_fileManager)
        return;
    if (_tagFileData)
        _fileManager->fileWasModified(_tagFileData);
    else if (!_tagFileArray.isEmpty())
        _fileManager->filesWereModified(_tagFileArray);
}

void HLVTagEditorViewController::tellDelegateOfModification()
{
    if (_delegate)
        _delegate->tagEditorFileWasModified(this);
}

void HLVTagEditorViewController::controlTextDidChange(HLVTagTextField* field)
{
    field->forceWasEdited();
    if (filesShown().isEmpty() || _hasNotifiedOfModification)
        return;
    noteFirstModification(true);
    tellDelegateOfModification();
}

void HLVTagEditorViewController::controlTextDidEndEditing(HLVTagTextField* field)
{
    const HLVTagField* tagField = tagFieldFor(field);
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (tagField && !files.isEmpty()) {
        if (field->WasEdited()) {
            for (const auto& file : files) {
                if (tagField->numeric)
                    file->setVirtualTagNumber(*tagField, field->numberValueOrEmpty());
                else
                    file->setVirtualTagText(*tagField, field->stringValueOrEmpty());
                // Also after a save that left the editor as it was: the edit must count.
                file->forceIsModified();
            }
        }
        // One file: the manager hears of it even when nothing was edited.
        if (_tagFileData || field->WasEdited())
            tellFileManager();
    }
    field->textDidEndEditing();
}

void HLVTagEditorViewController::confirmChanges()
{
    // The field the user is still typing in, first in table order: a "ForcedCommit".
    for (HLVTagTextField* field : std::as_const(_textFields)) {
        if (!field->DidFinishEditing()) {
            controlTextDidEndEditing(field);
            return;
        }
    }
}

void HLVTagEditorViewController::compilationButtonStateChanged()
{
    const int value = _compilationButton->isChecked() ? 1 : 0;
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    for (const auto& file : files) {
        file->setVirtualTagNumber(compilationField(), value);
        file->forceIsModified();
    }
    updateCompilationMark();
    if (!files.isEmpty())
        tellDelegateOfModification();
}

// --- the file manager's notices ------------------------------------------------------------

void HLVTagEditorViewController::fileOperationDidStart(int operation)
{
    _loadArtworkButton->setEnabled(false);
    if (operation == HLVFileOperationArtwork && _tagFileData)
        setShowArtworkLoading(true);
    if (operation >= HLVFileOperationSaving && operation <= HLVFileOperationRenaming)
        _downloadArtworkButton->setEnabled(false);
}

void HLVTagEditorViewController::fileOperationDidFinish(int operation)
{
    _loadArtworkButton->setEnabled(true);
    _downloadArtworkButton->setEnabled(true);
    // A stopped lookup answers nothing; the indicator must not spin on.
    if (operation == HLVFileOperationArtwork)
        setShowArtworkLoading(false);
}

void HLVTagEditorViewController::fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    if (!fileData)
        return;
    if (code == HLVFileDataChangeSaved && filesShown().contains(fileData)) {
        // What the fields compare with changed, and the next edit is a new modification.
        refreshSavedValues();
        _hasNotifiedOfModification = false;
    }
    if (fileData == _tagFileData)
        updateDisplayForFileData(fileData, code);
}

void HLVTagEditorViewController::updateDisplayForFileData(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    if (code == HLVFileManagerChangeIdentified) {
        displayFileData(fileData);
        return;
    }
    if (code != HLVFileDataChangeArtwork)
        return;
    const auto pending = fileData->existingVirtualTagMap();
    if (pending && pending->ArtworkPath() && pending->ArtworkState() == HLVArtworkStateFound) {
        const QString path = *pending->ArtworkPath();
        fileData->editVirtualTagMap([&](HLVTagMap& map) {
            if (map.ArtworkPath() == path && map.ArtworkState() == HLVArtworkStateFound)
                map.setArtworkState(HLVArtworkStateNone);
        });
        showArtworkTitle(QString());
        loadArtworkFromFileData(fileData);
        return;
    }
    _artworkIsDownloading = false;
    setShowArtworkLoading(false);
    // Nothing new found: the file keeps its own picture, if it has one.
    QImage image = pending ? pending->Artwork().image() : QImage();
    if (image.isNull())
        image = fileData->TagMap()->Artwork().image();
    if (!image.isNull()) {
        showArtworkImage(image);
    } else {
        showArtworkTitle(tr("No artwork"));
            _removeArtworkButton->setEnabled(false);
    }
}

HLVTagTextField* HLVTagEditorViewController::textFieldForKey(const QString& key) const
{
    for (qsizetype i = 0; i < _tagFields.size(); ++i) {
        if (_tagFields.at(i)->key == key)
            return _textFields.at(i);
    }
    return nullptr;
}

const HLVTagField* HLVTagEditorViewController::tagFieldFor(const HLVTagTextField* field) const
{
    const qsizetype index = _textFields.indexOf(const_cast<HLVTagTextField*>(field));
    return index < 0 ? nullptr : _tagFields.at(index);
}
