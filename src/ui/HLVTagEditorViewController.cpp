// The tag editor: showing one file or several, typing, and the file manager's
// notices.

#include "HLVTagEditorViewController.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVFileData.h"
#include "HLVFileDetailsView.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVTagEditorDelegate.h"
#include "HLVTagField.h"
#include "HLVTagTextField.h"
#include "HLVViewJobs.h"

#include <QCheckBox>
#include <QLabel>
#include <algorithm>
#include <QToolButton>

namespace {

const HLVTagField& compilationField()
{
    return *HLVTagField::withKey(QStringLiteral("Compilation"));
}

} // namespace

void HLVTagEditorViewController::setDelegate(HLVTagEditorDelegate* delegate)
{
    _delegate = delegate;
    if (_bridge)
        _bridge->disconnect(this);
    _bridge.reset();
    _fileManager = nullptr;
    if (!delegate)
        return;
    _fileDialogWindow = delegate->windowToDisplayTagEditorDialogs();
    _fileManager = delegate->tagEditorFileManagerSource();
    if (!_fileManager)
        return;
    _bridge = HLVFileManagerBridge::forManager(_fileManager);
    connect(_bridge.get(), &HLVFileManagerBridge::operationStarted, this,
            &HLVTagEditorViewController::fileOperationDidStart);
    connect(_bridge.get(), &HLVFileManagerBridge::operationFinished, this,
            &HLVTagEditorViewController::fileOperationDidFinish);
    connect(_bridge.get(), &HLVFileManagerBridge::recordsChanged, this, &HLVTagEditorViewController::recordsChanged);
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
    _fileDetailsView->showFiles(filesShown()); // what the record knows; again once it is read
    _hasNotifiedOfModification = false;
    // A fetch or lookup for what was shown before no longer holds the indicator.
    _artworkIsDownloading = false;
    ++_artworkFetch;
    const quint64 generation = ++_displayGeneration;
    _summaryJob->cancel();
    _loadJob->cancel();
    _shownRecords.clear();
    _savedSinceShown.clear();
    if (!fileData) {
        setWorking(false);
        return;
    }
    _shownRecords.insert(fileData.get());
    if (!fileData->isLoaded()) {
        // The first read of a file's tags happens on a worker; the file is
        // shown once they are in.
        setWorking(true);
        _loadJob->start([this, fileData, generation](const std::atomic<bool>&) -> HLVViewJobs::Apply {
            fileData->InitialTagMap();
            return [this, fileData, generation] {
                if (generation == _displayGeneration)
                    displayFileData(fileData);
            };
        });
        return;
    }
    setWorking(false);
    const std::shared_ptr<HLVTagMap> map = fileData->TagMap();
    if (!map)
        return;
    showValuesOfFile(fileData);
    showEditability();
    if (!fileData->canBeEdited()) {
        // Nothing to look for or load for a file that cannot take it.
        showArtworkTitle(tr("No artwork"));
        for (QToolButton* button : {_removeArtworkButton, _restoreArtworkButton, _downloadArtworkButton})
            button->setEnabled(false);
        _playTrackBox->show();
        updatePreviewAvailability();
        return;
    }

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

    HLVArtwork picture;
    if (fileData->hasReleases()) {
        if (const auto pending = fileData->existingVirtualTagMap())
            picture = pending->Artwork();
    } else {
        picture = map->Artwork();
    }
    if (!picture.isNull())
        showArtworkOf(fileData, picture);
    else if (fetching)
        showArtworkTitle(QString());
    // Only a choice not saved yet can be undone: a saved picture is the file's own.
    if (const auto pending = fileData->existingVirtualTagMap();
        pending && fileData->IsModified() && pending->ArtworkState() == HLVArtworkStateChosen)
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
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        HLVTagTextField* field = _textFields.at(i);
        const HLVTagField& tagField = *_tagFields.at(i);
        field->setPlaceholderText(QString());
        if (tagField.numeric)
            field->setNumberValueOrEmpty(tagField.number(*map));
        else
            field->setStringValueOrEmpty(tagField.text(*map));
    }
    _compilationButton->setChecked(map->Compilation().value_or(0) != 0);
    _compilation = _compilationButton->isChecked();
    _compilationShowsPendingValue = true;
    for (HLVTagTextField* field : std::as_const(_textFields))
        field->setDistinctSavedValues({}, 0, true); // until the saved values are in
    refreshSavedValues();
}

void HLVTagEditorViewController::displayFileDataSet(const QList<std::shared_ptr<HLVFileData>>& files)
{
    QList<std::shared_ptr<HLVFileData>> shown = files;
    shown.removeAll(nullptr);
    const bool sameFiles = !_tagFileData && std::ranges::equal(shown, _tagFileArray);
    _tagFileData = nullptr;
    _tagFileArray = shown;
    // New files are counted at once and summed up once the summary has read them.
    if (!sameFiles)
        _fileDetailsView->showFileCount(_tagFileArray.size());
    stopTrackPreview();
    _artworkIsDownloading = false;
    ++_artworkFetch;
    ++_displayGeneration;
    _loadJob->cancel();
    setShowArtworkLoading(false);
    _hasNotifiedOfModification = false;
    if (!sameFiles) {
        _shownRecords.clear();
        _shownRecords.reserve(_tagFileArray.size());
        for (const auto& file : std::as_const(_tagFileArray))
            _shownRecords.insert(file.get());
        _savedByRecord.clear();
        _savedSinceShown.clear();
    }
    if (_tagFileArray.isEmpty()) {
        _summaryJob->cancel();
        setWorking(false);
        return;
    }
    showArtworkTitle(tr("Multiple artwork"));
    const int operation = currentOperation();
    _downloadArtworkButton->setEnabled(operation != HLVFileOperationSaving && operation != HLVFileOperationArtwork
                                       && operation != HLVFileOperationIdentifying);
    _removeArtworkButton->setEnabled(true);
    _restoreArtworkButton->setEnabled(true);
    _playTrackBox->hide();
    summarizeShownFiles(sameFiles);
}

void HLVTagEditorViewController::summarizeShownFiles(bool sameFiles)
{
    // New files are not shown until their summary is in; the same files keep
    // what they show (and the user may go on typing) until it is replaced.
    if (!sameFiles) {
        setWorking(true);
        for (HLVTagTextField* field : std::as_const(_textFields)) {
            field->setStringValueOrEmpty(std::nullopt);
            field->setDistinctSavedValues({}, 0, false);
        }
        _customTagEditorViewController->setCustomTagValues({});
    }
    const quint64 generation = _displayGeneration;
    const QList<std::shared_ptr<HLVFileData>> files = _tagFileArray;
    const QList<const HLVTagField*> fields = _tagFields;
    const HLVSelectionSummary::SavedByRecord earlier = sameFiles ? _savedByRecord : HLVSelectionSummary::SavedByRecord();
    const QSet<const HLVFileData*> changed = std::exchange(_savedSinceShown, {});
    _summaryJob->start([=, this](const std::atomic<bool>& cancelled) -> HLVViewJobs::Apply {
        std::optional<HLVSelectionSummary> summary = HLVSelectionSummary::of(files, fields, cancelled, earlier, changed);
        if (!summary)
            return {};
        return [this, generation, summary = std::move(*summary)] {
            if (generation == _displayGeneration && !_tagFileData)
                applySummary(summary);
        };
    });
}

void HLVTagEditorViewController::applySummary(const HLVSelectionSummary& summary)
{
    setWorking(false);
    _savedByRecord = summary.saved;
    _savedCounts = summary.savedCounts;
    _savedCompilationsOn = summary.savedCompilationsOn;
    _fileDetailsView->showFiles(_tagFileArray); // every file has been read now
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        HLVTagTextField* field = _textFields.at(i);
        const std::optional<QString>& shared = summary.sharedPending.at(i);
        // What every file holds once its changes are applied; shown only, so
        // that nothing is written for a field the user leaves alone.
        const std::optional<QString>& shown = shared ? shared : summary.sharedShown.at(i);
        // A field the user is typing in keeps the typed text.
        if (field->DidFinishEditing()) {
            if (_tagFields.at(i)->numeric)
                field->setNumberValueOrEmpty(shown ? std::optional<int>(shown->toInt()) : std::nullopt);
            else
                field->setStringValueOrEmpty(shown);
        }
        // An empty field over files that differ leaves each file's value alone.
        // The narrow number fields say it shorter, so that nothing is cut.
        const QString differing = _tagFields.at(i)->numeric ? differingNumbersText() : tr("Multiple values");
        field->setPlaceholderText(!shown ? differing : QString());
        field->setDistinctSavedValues(summary.savedCounts.at(i).keys(), summary.fileCount, shared.has_value());
    }
    _compilationButton->setChecked(summary.pendingCompilationAlike && summary.sharedPendingCompilation.value_or(false));
    _compilation = _compilationButton->isChecked();
    _compilationShowsPendingValue = summary.pendingCompilationAlike && summary.sharedPendingCompilation.has_value();
    updateCompilationMark();
    _customTagEditorViewController->setActiveFilePath(_tagFileArray.constFirst()->FilePath());
    _customTagEditorViewController->setCustomTagValues(summary.commonCustomTagValues);
    // The same picture on every file is shown (the summary read the files).
    if (summary.sharedArtwork) {
        const auto& first = _tagFileArray.constFirst();
        showArtworkOf(first, first->TagMap()->Artwork());
    }
    showEditability();
}

void HLVTagEditorViewController::showEditability()
{
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    qsizetype editable = 0;
    for (const auto& file : files)
        editable += file->canBeEdited() ? 1 : 0;
    QString reason;
    if (files.size() == 1 && editable == 0) {
        const auto& file = files.constFirst();
        const std::optional<HLVFailure> failure = file->LastFailure();
        if (file->IsReadOnly())
            reason = tr("This file is read-only, so its tags cannot be changed.");
        else if (failure && !failure->message.isEmpty())
            reason = tr("The tags of this file cannot be read (%1), so they cannot be changed.").arg(failure->message);
        else
            reason = tr("The tags of this file cannot be read, so they cannot be changed.");
    } else if (!files.isEmpty() && editable < files.size()) {
        const qsizetype locked = files.size() - editable;
        reason = editable == 0 ? tr("None of these files can be changed: they are read-only or cannot be read.")
                               : tr("%n of these files cannot be changed (read-only or unreadable); edits reach "
                                    "the others only.", nullptr, int(locked));
    }
    const bool locked = !files.isEmpty() && editable == 0;
    for (HLVTagTextField* field : std::as_const(_textFields))
        field->setReadOnly(locked);
    _compilationButton->setEnabled(!locked && !isWorking());
    _loadArtworkButton->setEnabled(!locked);
    _readOnlyReasonLabel->setText(reason);
    _readOnlyReasonLabel->setVisible(!reason.isEmpty());
}

bool HLVTagEditorViewController::isWorking() const
{
    return _loadJob->isBusy() || _summaryJob->isBusy();
}

void HLVTagEditorViewController::setWorking(bool working)
{
    for (HLVTagTextField* field : std::as_const(_textFields)) {
        field->setEnabled(!working);
        if (working)
            field->setPlaceholderText(tr("Reading tags\u2026"));
        else if (field->placeholderText() == tr("Reading tags\u2026"))
            field->setPlaceholderText(QString());
    }
    _compilationButton->setEnabled(!working);
}

void HLVTagEditorViewController::refreshSavedValues()
{
    // The single file shown is read already: its saved values are at hand.
    if (!_tagFileData)
        return;
    const HLVSelectionSummary::Saved saved = HLVSelectionSummary::savedOf(_tagFileData, _tagFields);
    _savedByRecord = {{_tagFileData.get(), saved}};
    _savedCounts.clear();
    for (const QString& text : saved.texts)
        _savedCounts.append({{text, 1}});
    _savedCompilationsOn = saved.compilation ? 1 : 0;
    showSavedValues();
}

void HLVTagEditorViewController::showSavedValues()
{
    const qsizetype files = _tagFileData ? 1 : _tagFileArray.size();
    for (qsizetype i = 0; i < _textFields.size() && i < _savedCounts.size(); ++i) {
        HLVTagTextField* field = _textFields.at(i);
        field->setDistinctSavedValues(_savedCounts.at(i).keys(), files, field->showsPendingValue());
    }
    updateCompilationMark();
}

void HLVTagEditorViewController::updateCompilationMark()
{
    const bool checked = _compilationButton->isChecked();
    const bool writes = _compilationShowsPendingValue || checked != _compilation;
    const qsizetype files = _tagFileData ? 1 : _tagFileArray.size();
    const bool changed = checked ? _savedCompilationsOn < files : _savedCompilationsOn > 0;
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
    showEditability();
    // Saved values of the files a save wrote, once per batch (unless the
    // owner has shown the files again already).
    if (!_tagFileArray.isEmpty() && !_savedSinceShown.isEmpty() && !_summaryJob->isBusy())
        summarizeShownFiles(true);
    // A stopped lookup answers nothing; the indicator must not spin on.
    if (operation == HLVFileOperationArtwork)
        setShowArtworkLoading(false);
}

void HLVTagEditorViewController::recordsChanged(const HLVRecordChanges& changes)
{
    for (const HLVRecordChanges::Notice& notice : changes.notices())
        fileDataWasModified(notice.record, notice.code);
}

void HLVTagEditorViewController::fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    if (!fileData || !_shownRecords.contains(fileData.get()))
        return;
    if (code == HLVFileDataChangeSaved) {
        // What the fields compare with changed, and the next edit is a new
        // modification. Several files are summed up again when the save ends.
        _hasNotifiedOfModification = false;
        if (_tagFileData) {
            refreshSavedValues();
            _fileDetailsView->showFiles({_tagFileData}); // its size and tag kinds may have changed
        } else
            _savedSinceShown.insert(fileData.get());
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
    HLVArtwork picture = pending ? pending->Artwork() : HLVArtwork();
    if (picture.isNull())
        picture = fileData->TagMap()->Artwork();
    if (!picture.isNull()) {
        showArtworkOf(fileData, picture);
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

QString HLVTagEditorViewController::differingNumbersText()
{
    return tr("Mixed", "the placeholder of a number field over files whose values differ");
}
