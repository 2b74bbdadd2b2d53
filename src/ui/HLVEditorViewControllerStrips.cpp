// The editor's part in the file manager's batches: their progress and
// failures (through the batch presenter), showing the files again when one
// ends, and the strip for stepping through a file's candidate releases.
#include "HLVEditorViewController.h"

#include "HLVBatchProgressPresenter.h"
#include "HLVEditorViewDelegate.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVStripPlaceholder.h"
#include "HLVTagEditorViewController.h"

#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>

// --- the file manager's notices ---------------------------------------------------------

void HLVEditorViewController::fileOperationDidStart(int operation)
{
    updateControlBarButtons();
    const bool several = !_editorFileData && !_editorFileArray.isEmpty();
    if (_batchProgress->batchStarted(operation, filesShownCount(), several, _saveCount))
        downloadTagsCloseButtonSelected();
}

void HLVEditorViewController::fileOperationDidFinish(int operation)
{
    updateControlBarButtons();
    _batchProgress->batchFinished(operation);
    if (operation == HLVFileOperationSaving || operation == HLVFileOperationArtwork
        || operation == HLVFileOperationIdentifying || operation == HLVFileOperationRenaming)
        showFilesAgain();
}

void HLVEditorViewController::recordsChanged(const HLVRecordChanges& changes)
{
    int counted = 0;
    bool shownChanged = false;
    for (const HLVRecordChanges::Notice& notice : changes.notices()) {
        const bool tags = _batchProgress->isCountingTags();
        if (!_batchProgress->noteFileChange(notice.record, notice.code))
            continue;
        ++counted;
        // The single file shown gets its candidates as they arrive.
        if (tags && notice.record == _editorFileData)
            displayEditorForFileData(notice.record);
    }
    // The progress moves once per batch of notices.
    _batchProgress->advance(counted);
    if (_editorFileData) {
        shownChanged = changes.contains(_editorFileData.get());
    } else {
        // A save of thousands of shown files brings a few of them a turn.
        shownChanged = std::ranges::any_of(changes.records(),
                                           [this](const auto& record) { return _editorFiles.contains(record.get()); });
    }
    // A late answer (an artwork lookup ending after its save) can change whether
    // a shown file has anything to save.
    if (shownChanged)
        updateControlBarButtons();
}

void HLVEditorViewController::onFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    HLVRecordChanges changes;
    changes.append(fileData, code);
    recordsChanged(changes);
}

bool HLVEditorViewController::isStatusViewVisible() const
{
    return _batchProgress->isVisible();
}

HLVStatusEditorViewController* HLVEditorViewController::statusEditorViewController() const
{
    return _batchProgress->strip();
}

// --- the matches strip ------------------------------------------------------------------

void HLVEditorViewController::scrollEditorToTop()
{
    _editorScrollView->verticalScrollBar()->setValue(0);
}

void HLVEditorViewController::displayMatchesViewForFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData || !fileData->hasReleases())
        return;
    const qsizetype count = fileData->Releases().size();
    const qsizetype current = fileData->selectedRelease();
    if (current < 0) {
        hideMatchesView();
        return;
    }
    displayMatchesViewWithMatchCount(static_cast<unsigned long>(count), static_cast<unsigned long>(current));
}

void HLVEditorViewController::displayMatchesViewWithMatchCount(unsigned long matchCount, unsigned long currentMatch)
{
    if (!_matchesEditorViewController) {
        _matchesEditorViewController = new HLVMatchesEditorViewController;
        _matchesEditorViewController->setObjectName(QStringLiteral("matchesEditorViewController"));
        _matchesEditorViewController->setDelegate(this);
    }
    _matchesEditorViewController->displayMatchesWithMatchCount(matchCount, currentMatch + 1);
    if (_matchesViewVisible)
        return;
    _matchesPlaceholderView->insert(_matchesEditorViewController);
    const int height = _matchesEditorViewController->sizeHint().height();
    QPointer<HLVMatchesEditorViewController> strip = _matchesEditorViewController;
    _matchesPlaceholderView->slideTo(height, _stripDuration, [this, strip] {
        if (!_matchesPlaceholderView->holds(strip))
            return; // hidden again meanwhile
        scrollEditorToTop();
        _matchesViewVisible = true;
    });
}

void HLVEditorViewController::hideMatchesView()
{
    if (_matchesPlaceholderView->holds(_matchesEditorViewController))
        _matchesPlaceholderView->take(_matchesEditorViewController, this);
    _matchesPlaceholderView->slideTo(0, 0);
    scrollEditorToTop();
    _matchesViewVisible = false;
}

void HLVEditorViewController::matchesEditorMatchSelectionUpdated(HLVMatchesEditorViewController* editor,
                                                                 unsigned long match)
{
    (void)editor;
    if (!_editorFileData || match < 1)
        return;
    if (static_cast<unsigned long>(_editorFileData->Releases().size()) < match)
        return;
    if (!_editorFileData->selectRelease(static_cast<qsizetype>(match - 1)))
        return;
    _tagEditorViewController->displayFileData(_editorFileData);
    _editorFileData->forceIsModified();
    if (_fileManager)
        _fileManager->fileWasModified(_editorFileData);
    if (_delegate)
        _delegate->editorViewFileModified(this);
    updateControlBarButtons();
}
