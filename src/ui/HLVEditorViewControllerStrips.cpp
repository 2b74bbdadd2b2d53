// The editor's part in the file manager's batches: the progress strip while
// one runs, the summary of its failures when it ends, and the strip for
// stepping through a file's candidate releases.
#include "HLVEditorViewController.h"

#include "HLVEditorViewDelegate.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVStatusEditorViewController.h"
#include "HLVTagEditorViewController.h"

#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <algorithm>

namespace {

bool isLongOperation(int operation)
{
    return operation == HLVFileOperationSaving || operation == HLVFileOperationArtwork
        || operation == HLVFileOperationIdentifying || operation == HLVFileOperationRenaming;
}

} // namespace

// --- the file manager's notices ---------------------------------------------------------

void HLVEditorViewController::fileOperationDidStart(int operation)
{
    updateControlBarButtons();
    if (!isLongOperation(operation))
        return;
    if (_showsFailureSummary)
        hideStatusView(); // the last operation's failures are old news now
    if (operation == HLVFileOperationSaving || operation == HLVFileOperationIdentifying
        || operation == HLVFileOperationRenaming || operation == HLVFileOperationArtwork) {
        _failureOperation = operation;
        _failures.clear();
    }
    switch (operation) {
    case HLVFileOperationSaving:
        if (!_editorFileArray.isEmpty() && !_editorFileData)
            displaySaveProgress();
        break;
    case HLVFileOperationArtwork:
        displayArtworkDownloadProgress();
        break;
    case HLVFileOperationIdentifying:
        displayTagDownloadProgress();
        break;
    case HLVFileOperationRenaming:
        displayFileRenameProgress();
        break;
    default:
        break;
    }
}

void HLVEditorViewController::fileOperationDidFinish(int operation)
{
    updateControlBarButtons();
    if (!isLongOperation(operation))
        return;
    switch (operation) {
    case HLVFileOperationSaving:
        // Whatever is shown now: the strip may have been put up for other files.
        _savingFiles = false;
        hideStatusView();
        break;
    case HLVFileOperationArtwork:
        _downloadingArtwork = false;
        hideStatusView();
        break;
    case HLVFileOperationIdentifying:
        _downloadingTags = false;
        hideStatusView();
        break;
    case HLVFileOperationRenaming:
        _renamingFiles = false;
        hideStatusView();
        break;
    default:
        break;
    }
    showFilesAgain();
    if (operation == _failureOperation) {
        _failureOperation = 0;
        if (!_failures.isEmpty())
            showFailureSummary(operation);
    }
}

void HLVEditorViewController::recordsChanged(const HLVRecordChanges& changes)
{
    int counted = 0;
    bool shownChanged = false;
    for (const HLVRecordChanges::Notice& notice : changes.notices())
        counted += noteFileChange(notice.record, notice.code) ? 1 : 0;
    // The progress moves once per batch of notices.
    if (counted > 0 && _statusEditorViewController)
        _statusEditorViewController->setCurrentValue(_statusEditorViewController->CurrentValue() + counted);
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

bool HLVEditorViewController::noteFileChange(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    if (!fileData)
        return false;
    // Why a file failed, for the summary when the operation ends.
    const bool failed = (_failureOperation == HLVFileOperationSaving && code == HLVFileDataChangeNotSaved)
        || (_failureOperation == HLVFileOperationIdentifying && code == HLVFileManagerChangeIdentificationFailed)
        || (_failureOperation == HLVFileOperationRenaming && code == HLVFileDataChangeRenamed)
        || (_failureOperation == HLVFileOperationArtwork && code == HLVFileDataChangeArtwork);
    if (failed) {
        const std::optional<HLVFailure> failure =
            code == HLVFileDataChangeArtwork ? fileData->LastArtworkFailure() : fileData->LastFailure();
        const bool renameFailed = failure && failure->kind == HLVFailure::Kind::RenameFailed;
        if (failure && (code != HLVFileDataChangeRenamed || renameFailed))
            _failures.append(QStringLiteral("%1: %2").arg(fileData->FileName(), failure->message));
    }

    const bool counts = (_savingFiles && (code == HLVFileDataChangeSaved || code == HLVFileDataChangeNotSaved))
        || (_downloadingArtwork && code == HLVFileDataChangeArtwork)
        || (_renamingFiles && code == HLVFileDataChangeRenamed)
        || (_downloadingTags
            && (code == HLVFileManagerChangeIdentified || code == HLVFileManagerChangeIdentificationFailed
                || code == HLVFileManagerChangeIdentificationNotNeeded));
    if (_downloadingTags && counts && fileData == _editorFileData)
        displayEditorForFileData(fileData);
    return counts;
}

// --- the status strip -------------------------------------------------------------------

void HLVEditorViewController::animateHeight(QWidget* placeholder, int height, int duration,
                                            std::function<void()> done)
{
    // A newer slide replaces one still running.
    for (QPropertyAnimation* running : placeholder->findChildren<QPropertyAnimation*>(Qt::FindDirectChildrenOnly))
        running->stop();
    if (duration == 0) {
        placeholder->setMaximumHeight(height);
        placeholder->setMinimumHeight(height);
        if (done)
            done();
        return;
    }
    placeholder->setMinimumHeight(0);
    auto* slide = new QPropertyAnimation(placeholder, "maximumHeight", placeholder);
    slide->setDuration(duration);
    slide->setStartValue(placeholder->maximumHeight() > 10000 ? placeholder->height() : placeholder->maximumHeight());
    slide->setEndValue(height);
    connect(slide, &QPropertyAnimation::finished, this, [placeholder, height, done] {
        placeholder->setMinimumHeight(height);
        if (done)
            done();
    });
    slide->start(QAbstractAnimation::DeleteWhenStopped);
}

void HLVEditorViewController::displayStatusViewWithMessage(const QString& message, double targetValue)
{
    if (!_statusEditorViewController) {
        _statusEditorViewController = new HLVStatusEditorViewController;
        _statusEditorViewController->setObjectName(QStringLiteral("statusEditorViewController"));
        _statusEditorViewController->setDelegate(this);
    }
    // Back from a failure summary to a running count.
    _showsFailureSummary = false;
    _statusEditorViewController->statusProgressIndicator()->show();
    _statusEditorViewController->cancelButton()->setToolTip(tr("Cancel"));
    _statusEditorViewController->setToolTip(QString());
    _statusEditorViewController->statusLabel()->setToolTip(QString());
    _statusEditorViewController->displayStatus(message, targetValue);
    if (_statusViewVisible)
        return;
    if (_statusEditorViewController->parentWidget() != _statusPlaceholderView)
        _statusPlaceholderView->layout()->addWidget(_statusEditorViewController);
    _statusEditorViewController->show();
    const int height = _statusEditorViewController->sizeHint().height();
    animateHeight(_statusPlaceholderView, height, 0, nullptr);
    _statusViewVisible = true;
}

void HLVEditorViewController::displaySaveProgress()
{
    downloadTagsCloseButtonSelected();
    _savingFiles = true;
    displayStatusViewWithMessage(tr("Saving file"), double(_saveCount));
}

void HLVEditorViewController::displayArtworkDownloadProgress()
{
    downloadTagsCloseButtonSelected();
    _downloadingArtwork = true;
    if (filesShownCount() > 0)
        displayStatusViewWithMessage(tr("Obtaining artwork for file"), double(filesShownCount()));
}

void HLVEditorViewController::displayTagDownloadProgress()
{
    downloadTagsCloseButtonSelected();
    _downloadingTags = true;
    if (filesShownCount() > 0)
        displayStatusViewWithMessage(tr("Obtaining tag information for file"), double(filesShownCount()));
}

void HLVEditorViewController::displayFileRenameProgress()
{
    downloadTagsCloseButtonSelected();
    _renamingFiles = true;
    if (filesShownCount() > 0)
        displayStatusViewWithMessage(tr("Renaming file"), double(filesShownCount()));
}

void HLVEditorViewController::hideStatusView()
{
    if (!_statusViewVisible || !_statusEditorViewController)
        return;
    _statusViewVisible = false;
    _showsFailureSummary = false;
    QPointer<HLVStatusEditorViewController> strip = _statusEditorViewController;
    animateHeight(_statusPlaceholderView, 0, _stripDuration, [this, strip] {
        // A strip shown again meanwhile stays.
        if (strip && !_statusViewVisible) {
            _statusPlaceholderView->layout()->removeWidget(strip);
            strip->hide();
            strip->setParent(this);
            strip->hide();
        }
    });
}

void HLVEditorViewController::showFailureSummary(int operation)
{
    // Rather than vanish, the strip says what went wrong; its tool tip says why.
    // Counted texts go through tr() with the count, so a translation can give
    // its own plural forms; English needs two.
    const int count = int(_failures.size());
    const bool one = count == 1;
    QString message;
    if (operation == HLVFileOperationArtwork)
        message = one ? tr("No artwork for %n file", nullptr, count) : tr("No artwork for %n files", nullptr, count);
    else if (operation == HLVFileOperationSaving)
        message = one ? tr("%n file could not be saved", nullptr, count)
                      : tr("%n files could not be saved", nullptr, count);
    else if (operation == HLVFileOperationRenaming)
        message = one ? tr("%n file could not be renamed", nullptr, count)
                      : tr("%n files could not be renamed", nullptr, count);
    else
        message = one ? tr("%n file could not be identified", nullptr, count)
                      : tr("%n files could not be identified", nullptr, count);
    displayStatusViewWithMessage(message, 0);
    _showsFailureSummary = true;
    _statusEditorViewController->statusProgressIndicator()->hide();
    _statusEditorViewController->statusLabel()->setText(message);
    _statusEditorViewController->setToolTip(_failures.join(QLatin1Char('\n')));
    _statusEditorViewController->statusLabel()->setToolTip(_statusEditorViewController->toolTip());
    _statusEditorViewController->cancelButton()->setToolTip(tr("Dismiss"));
    _statusEditorViewController->cancelButton()->setEnabled(true);
    _failures.clear();
}

void HLVEditorViewController::statusEditorCancelOperationWasSelected(HLVStatusEditorViewController* editor)
{
    (void)editor;
    if (_showsFailureSummary) {
        hideStatusView();
        return;
    }
    if (!_fileManager)
        return;
    if (_downloadingTags)
        _fileManager->stopIdentifying();
    else if (_downloadingArtwork)
        _fileManager->stopObtainingArtwork();
    else if (_savingFiles)
        _fileManager->stopSaving();
    else if (_renamingFiles)
        _fileManager->stopRenaming();
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
    if (_matchesEditorViewController->parentWidget() != _matchesPlaceholderView)
        _matchesPlaceholderView->layout()->addWidget(_matchesEditorViewController);
    _matchesEditorViewController->show();
    const int height = _matchesEditorViewController->sizeHint().height();
    QPointer<HLVMatchesEditorViewController> strip = _matchesEditorViewController;
    animateHeight(_matchesPlaceholderView, height, _stripDuration, [this, strip] {
        if (!strip || strip->parentWidget() != _matchesPlaceholderView)
            return; // hidden again meanwhile
        scrollEditorToTop();
        _matchesViewVisible = true;
    });
}

void HLVEditorViewController::hideMatchesView()
{
    if (_matchesEditorViewController && _matchesEditorViewController->parentWidget() == _matchesPlaceholderView) {
        _matchesPlaceholderView->layout()->removeWidget(_matchesEditorViewController);
        _matchesEditorViewController->hide();
        _matchesEditorViewController->setParent(this);
        _matchesEditorViewController->hide();
    }
    animateHeight(_matchesPlaceholderView, 0, 0, nullptr);
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
