#include "HLVBatchProgressPresenter.h"

#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVStatusEditorViewController.h"
#include "HLVStripPlaceholder.h"

#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

HLVBatchProgressPresenter::HLVBatchProgressPresenter(HLVStripPlaceholder* placeholder, QWidget* parent)
    : QObject(parent)
    , _placeholder(placeholder)
    , _parent(parent)
{
}

bool HLVBatchProgressPresenter::batchStarted(int operation, qsizetype shown, bool several, unsigned long saveCount)
{
    const bool counted = operation == HLVFileOperationSaving || operation == HLVFileOperationArtwork
        || operation == HLVFileOperationIdentifying || operation == HLVFileOperationRenaming;
    if (!counted)
        return false;
    if (_showsSummary)
        hide(); // the last batch's failures are old news now
    _failureOperation = operation;
    _failures.clear();
    switch (operation) {
    case HLVFileOperationSaving:
        // A single file's save shows no count.
        if (!several)
            return false;
        _counting = Counting::Saving;
        display(tr("Saving file"), double(saveCount));
        return true;
    case HLVFileOperationArtwork:
        _counting = Counting::Artwork;
        if (shown > 0)
            display(tr("Obtaining artwork for file"), double(shown));
        return true;
    case HLVFileOperationIdentifying:
        _counting = Counting::Tags;
        if (shown > 0)
            display(tr("Obtaining tag information for file"), double(shown));
        return true;
    default:
        _counting = Counting::Renaming;
        if (shown > 0)
            display(tr("Renaming file"), double(shown));
        return true;
    }
}

void HLVBatchProgressPresenter::batchFinished(int operation)
{
    if (operation != HLVFileOperationSaving && operation != HLVFileOperationArtwork
        && operation != HLVFileOperationIdentifying && operation != HLVFileOperationRenaming)
        return;
    // Whatever the editor shows now: the strip may have been put up for other files.
    _counting = Counting::None;
    hide();
    if (operation == _failureOperation) {
        _failureOperation = 0;
        if (!_failures.isEmpty())
            showFailureSummary(operation);
    }
}

bool HLVBatchProgressPresenter::noteFileChange(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    if (!fileData)
        return false;
    const bool failed = (_failureOperation == HLVFileOperationSaving && code == HLVFileDataChangeNotSaved)
        || (_failureOperation == HLVFileOperationIdentifying && code == HLVFileManagerChangeIdentificationFailed)
        || (_failureOperation == HLVFileOperationRenaming && code == HLVFileDataChangeRenamed)
        || (_failureOperation == HLVFileOperationArtwork && code == HLVFileDataChangeArtwork);
    if (failed) {
        const std::optional<HLVFailure> failure =
            code == HLVFileDataChangeArtwork ? fileData->LastArtworkFailure() : fileData->LastFailure();
        const bool renameFailed = failure && failure->kind == HLVFailure::Kind::RenameFailed;
        if (failure && (code != HLVFileDataChangeRenamed || renameFailed))
            _failures.append(tr("%1: %2").arg(fileData->FileName(), failure->message));
    }
    switch (_counting) {
    case Counting::Saving:
        return code == HLVFileDataChangeSaved || code == HLVFileDataChangeNotSaved;
    case Counting::Artwork:
        return code == HLVFileDataChangeArtwork;
    case Counting::Renaming:
        return code == HLVFileDataChangeRenamed;
    case Counting::Tags:
        return code == HLVFileManagerChangeIdentified || code == HLVFileManagerChangeIdentificationFailed
            || code == HLVFileManagerChangeIdentificationNotNeeded;
    case Counting::None:
        break;
    }
    return false;
}

void HLVBatchProgressPresenter::advance(int steps)
{
    if (steps > 0 && _strip)
        _strip->setCurrentValue(_strip->CurrentValue() + steps);
}

void HLVBatchProgressPresenter::display(const QString& message, double target)
{
    if (!_strip) {
        _strip = new HLVStatusEditorViewController;
        _strip->setObjectName(QStringLiteral("statusEditorViewController"));
        _strip->setDelegate(this);
    }
    // Back from a failure summary to a running count.
    _showsSummary = false;
    _strip->statusProgressIndicator()->show();
    _strip->cancelButton()->setToolTip(tr("Cancel"));
    _strip->setToolTip(QString());
    _strip->statusLabel()->setToolTip(QString());
    _strip->displayStatus(message, target);
    if (_visible)
        return;
    _placeholder->insert(_strip);
    _placeholder->slideTo(_strip->sizeHint().height(), 0);
    _visible = true;
}

void HLVBatchProgressPresenter::hide()
{
    if (!_visible || !_strip)
        return;
    _visible = false;
    _showsSummary = false;
    QPointer<HLVStatusEditorViewController> strip = _strip;
    _placeholder->slideTo(0, _slideDuration, [this, strip] {
        // A strip shown again meanwhile stays.
        if (strip && !_visible)
            _placeholder->take(strip, _parent);
    });
}

void HLVBatchProgressPresenter::showFailureSummary(int operation)
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
    display(message, 0);
    _showsSummary = true;
    _strip->statusProgressIndicator()->hide();
    _strip->statusLabel()->setText(message);
    _strip->setToolTip(_failures.join(QLatin1Char('\n')));
    _strip->statusLabel()->setToolTip(_strip->toolTip());
    _strip->cancelButton()->setToolTip(tr("Dismiss"));
    _strip->cancelButton()->setEnabled(true);
    _failures.clear();
}

void HLVBatchProgressPresenter::statusEditorCancelOperationWasSelected(HLVStatusEditorViewController*)
{
    if (_showsSummary) {
        hide();
        return;
    }
    if (!_fileManager)
        return;
    switch (_counting) {
    case Counting::Tags: _fileManager->stopIdentifying(); break;
    case Counting::Artwork: _fileManager->stopObtainingArtwork(); break;
    case Counting::Saving: _fileManager->stopSaving(); break;
    case Counting::Renaming: _fileManager->stopRenaming(); break;
    case Counting::None: break;
    }
}
