#include "HLVEditorViewController.h"

#include "HLVEditorViewDelegate.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVHoverButton.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVSelectionCommands.h"
#include "HLVStatusEditorViewController.h"
#include "HLVTagEditorViewController.h"

#include <QCheckBox>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const char* const kDisplayDownloadHelpKey = "CRDisplayDownloadHelp";

// The popover's states in the preferences.
enum DownloadHelp { DownloadHelpNeverShown = 0, DownloadHelpOncePerRun = 1, DownloadHelpNever = 2 };

bool isLongOperation(int operation)
{
    return operation == HLVFileOperationSaving || operation == HLVFileOperationArtwork
        || operation == HLVFileOperationIdentifying || operation == HLVFileOperationRenaming;
}

} // namespace

HLVEditorViewController::HLVEditorViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("editorViewController"));
    _tagEditorViewController = new HLVTagEditorViewController;
    _tagEditorViewController->setObjectName(QStringLiteral("tagEditorViewController"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildControlBar();
    layout->addWidget(_tagButton->parentWidget());

    for (QWidget** placeholder : {&_statusPlaceholderView, &_matchesPlaceholderView}) {
        *placeholder = new QWidget(this);
        auto* placeholderLayout = new QVBoxLayout(*placeholder);
        placeholderLayout->setContentsMargins(0, 0, 0, 0);
        (*placeholder)->setMaximumHeight(0);
        (*placeholder)->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(*placeholder);
    }
    _statusPlaceholderView->setObjectName(QStringLiteral("statusPlaceholderView"));
    _matchesPlaceholderView->setObjectName(QStringLiteral("matchesPlaceholderView"));

    _editorScrollView = new QScrollArea(this);
    _editorScrollView->setObjectName(QStringLiteral("editorScrollView"));
    _editorScrollView->setFrameShape(QFrame::NoFrame);
    // The editor is as wide as the scroll view and grows with it; it scrolls vertically.
    _editorScrollView->setWidgetResizable(true);
    _editorScrollView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    _editorScrollView->setWidget(_tagEditorViewController);
    layout->addWidget(_editorScrollView, 1);

    buildPopover();
}

HLVEditorViewController::~HLVEditorViewController()
{
    // No notice may reach a half-destroyed editor.
    if (_bridge)
        _bridge->disconnect(this);
    _bridge.reset();
    _tagEditorViewController->stopTrackPreview();
}

void HLVEditorViewController::buildControlBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("controlBar"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 6, 8, 6);

    auto makeButton = [bar](const QString& name, const QString& text) {
        auto* button = new HLVHoverButton(bar);
        button->setObjectName(name);
        button->setText(text);
        button->setFlat(true);
        button->setHoverCursor(Qt::PointingHandCursor);
        return button;
    };
    _tagButton = makeButton(QStringLiteral("tagButton"), QString());
    _tagTextButton = makeButton(QStringLiteral("tagTextButton"), tr("Download Tags"));
    _saveChangesButton = makeButton(QStringLiteral("saveChangesButton"), QString());
    _saveChangesTextButton = makeButton(QStringLiteral("saveChangesTextButton"), tr("Save Changes"));
    // Without an SVG engine the icon buttons keep a short text instead.
    if (!_tagButton->setImageWithHover(QStringLiteral("DownloadTags")))
        _tagButton->setText(QStringLiteral("\u2193"));
    if (!_saveChangesButton->setImageWithHover(QStringLiteral("SaveChanges")))
        _saveChangesButton->setText(QStringLiteral("\u2713"));

    // As the interface file would: tool tips, and each text lights up with its icon.
    for (HLVHoverButton* button : {_tagButton, _tagTextButton})
        button->setToolTip(QStringLiteral("Download tags"));
    for (HLVHoverButton* button : {_saveChangesButton, _saveChangesTextButton})
        button->setToolTip(QStringLiteral("Save changes"));
    _tagTextButton->setLinkedButton(_tagButton);
    _saveChangesTextButton->setLinkedButton(_saveChangesButton);
    for (HLVHoverButton* button : {_tagButton, _tagTextButton, _saveChangesButton, _saveChangesTextButton})
        button->setAccessibleName(button->toolTip());

    connect(_tagButton, &QPushButton::clicked, this, &HLVEditorViewController::tagButtonPressed);
    connect(_tagTextButton, &QPushButton::clicked, this, &HLVEditorViewController::tagButtonPressed);
    connect(_saveChangesButton, &QPushButton::clicked, this, &HLVEditorViewController::saveChangesButtonSelected);
    connect(_saveChangesTextButton, &QPushButton::clicked, this,
            &HLVEditorViewController::saveChangesButtonSelected);

    _detagButton = new QToolButton(bar);
    _detagButton->setObjectName(QStringLiteral("detagButton"));
    _detagButton->setText(tr("Remove Tags"));
    _detagButton->setToolTip(tr("Remove all tags"));
    _detagButton->setAutoRaise(true);
    connect(_detagButton, &QToolButton::clicked, this, &HLVEditorViewController::detagButtonPressed);
    _undoChangesButton = new QToolButton(bar);
    _undoChangesButton->setObjectName(QStringLiteral("undoChangesButton"));
    _undoChangesButton->setText(tr("Undo"));
    _undoChangesButton->setToolTip(tr("Undo changes"));
    _undoChangesButton->setAutoRaise(true);
    connect(_undoChangesButton, &QToolButton::clicked, this, &HLVEditorViewController::undoChangesButtonSelected);

    _editingFilesCountLabel = new QLabel(bar);
    _editingFilesCountLabel->setObjectName(QStringLiteral("editingFilesCountLabel"));

    row->addWidget(_tagButton);
    row->addWidget(_tagTextButton);
    row->addSpacing(12);
    row->addWidget(_saveChangesButton);
    row->addWidget(_saveChangesTextButton);
    row->addStretch(1);
    row->addWidget(_editingFilesCountLabel);
    row->addStretch(1);
    row->addWidget(_detagButton);
    row->addWidget(_undoChangesButton);
    disableControlBarButtons();
}

void HLVEditorViewController::buildPopover()
{
    _downloadTagsPopoverBox = new QFrame(this);
    _downloadTagsPopoverBox->setObjectName(QStringLiteral("downloadTagsPopoverBox"));
    _downloadTagsPopoverBox->setFrameShape(QFrame::StyledPanel);
    _downloadTagsPopoverBox->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(_downloadTagsPopoverBox);
    auto* text = new QLabel(tr("Download Tags looks up the selected files online by their sound and "
                               "fills in the missing tags. Nothing is written until you save."),
                            _downloadTagsPopoverBox);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* row = new QHBoxLayout;
    _downloadTagsHideButton = new QCheckBox(tr("Don't show this again"), _downloadTagsPopoverBox);
    _downloadTagsHideButton->setObjectName(QStringLiteral("downloadTagsHideButton"));
    _downloadTagsCloseButton = new QPushButton(tr("Close"), _downloadTagsPopoverBox);
    _downloadTagsCloseButton->setObjectName(QStringLiteral("downloadTagsCloseButton"));
    row->addWidget(_downloadTagsHideButton);
    row->addStretch(1);
    row->addWidget(_downloadTagsCloseButton);
    layout->addLayout(row);
    connect(_downloadTagsHideButton, &QCheckBox::toggled, this,
            &HLVEditorViewController::downloadTagsHideButtonSelected);
    connect(_downloadTagsCloseButton, &QPushButton::clicked, this,
            &HLVEditorViewController::downloadTagsCloseButtonSelected);
    _popoverOpacity = new QGraphicsOpacityEffect(_downloadTagsPopoverBox);
    _popoverOpacity->setOpacity(0);
    _downloadTagsPopoverBox->setGraphicsEffect(_popoverOpacity);
    _downloadTagsPopoverBox->hide();
}

void HLVEditorViewController::placePopover()
{
    if (!_downloadTagsPopoverBox)
        return;
    // Just below the download command, pointing at it.
    const int width = qMin(320, qMax(200, this->width() - 16));
    _downloadTagsPopoverBox->setFixedWidth(width);
    _downloadTagsPopoverBox->adjustSize();
    const QWidget* bar = _tagButton->parentWidget();
    _downloadTagsPopoverBox->move(8, bar->geometry().bottom() + 4);
    _downloadTagsPopoverBox->raise();
}

void HLVEditorViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placePopover();
}

void HLVEditorViewController::setAnimationDurations(int stripMilliseconds, int fadeMilliseconds)
{
    _stripDuration = qMax(0, stripMilliseconds);
    _fadeDuration = qMax(0, fadeMilliseconds);
    _tagEditorViewController->setAnimationDuration(_stripDuration);
}

void HLVEditorViewController::setDelegate(HLVEditorViewDelegate* delegate)
{
    _delegate = delegate;
    if (_bridge)
        _bridge->disconnect(this);
    _bridge.reset();
    _fileManager = nullptr;
    if (!delegate)
        return;
    _fileManager = delegate->editorViewFileManagerSource();
    _editorFileArray.clear();
    _editorFiles.clear();
    _fileDialogWindow = delegate->windowToDisplayEditorViewDialogs();
    if (_fileManager) {
        _bridge = HLVFileManagerBridge::forManager(_fileManager);
        connect(_bridge.get(), &HLVFileManagerBridge::operationStarted, this,
                &HLVEditorViewController::fileOperationDidStart);
        connect(_bridge.get(), &HLVFileManagerBridge::operationFinished, this,
                &HLVEditorViewController::fileOperationDidFinish);
        connect(_bridge.get(), &HLVFileManagerBridge::recordsChanged, this, &HLVEditorViewController::recordsChanged);
    }
    _tagEditorViewController->setDelegate(this);
    updateControlBarButtons();
}

// --- what is shown ----------------------------------------------------------------------

void HLVEditorViewController::showEditingCount(qsizetype count)
{
    _editingFilesCountLabel->setText(count == 1 ? QStringLiteral("Editing 1 File")
                                                : QStringLiteral("Editing %1 Files").arg(count));
}

qsizetype HLVEditorViewController::filesShownCount() const
{
    return _editorFileData ? 1 : _editorFileArray.size();
}

void HLVEditorViewController::displayEditorForFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    _editorFileArray.clear();
    _editorFiles.clear();
    _editorFileData = fileData;
    if (!fileData)
        return;
    updateControlBarButtons();
    _tagEditorViewController->displayFileData(fileData);
    showEditingCount(1);
    const bool severalCandidates = fileData->releaseCount() > 1;
    QMetaObject::invokeMethod(
        this,
        [this, fileData, severalCandidates] {
            if (_editorFileData != fileData)
                return; // something else is shown by now
            if (severalCandidates)
                displayMatchesViewForFileData(fileData);
            else
                hideMatchesView();
        },
        Qt::QueuedConnection);
    displayDownloadTagsPopover();
}

void HLVEditorViewController::displayEditorForIndexSet(const QList<int>& rows,
                                                       const QList<std::shared_ptr<HLVFileData>>& files)
{
    QList<std::shared_ptr<HLVFileData>> selected;
    for (int row : rows) {
        if (row >= 0 && row < files.size() && files.at(row))
            selected.append(files.at(row));
    }
    // The same modified files again: keep what the user is looking at.
    if (!_editorFileArray.isEmpty() && _editorFileArray.size() == rows.size()
        && selected.size() == rows.size()) {
        QSet<const HLVFileData*> shown;
        shown.reserve(_editorFileArray.size());
        for (const auto& file : std::as_const(_editorFileArray))
            shown.insert(file.get());
        const bool same = std::all_of(selected.cbegin(), selected.cend(), [&shown](const auto& file) {
            return shown.contains(file.get()) && file->IsModified();
        });
        if (same)
            return;
    }
    _editorFileData.reset();
    _editorFileArray = selected;
    _editorFiles.clear();
    for (const auto& file : selected)
        _editorFiles.insert(file.get());
    updateControlBarButtons();
    if (_editorFileArray.isEmpty())
        return;
    _tagEditorViewController->displayFileDataSet(_editorFileArray);
    showEditingCount(_editorFileArray.size());
    QMetaObject::invokeMethod(this, &HLVEditorViewController::hideMatchesView, Qt::QueuedConnection);
    displayDownloadTagsPopover();
}

void HLVEditorViewController::refreshEditorForCurrentFileArray()
{
    updateControlBarButtons();
    if (_editorFileArray.isEmpty())
        return;
    _tagEditorViewController->displayFileDataSet(_editorFileArray);
    showEditingCount(_editorFileArray.size());
    hideMatchesView();
}

void HLVEditorViewController::showFilesAgain()
{
    if (_editorFileData)
        _tagEditorViewController->displayFileData(_editorFileData);
    else if (!_editorFileArray.isEmpty())
        _tagEditorViewController->displayFileDataSet(_editorFileArray);
}

// --- the help popover -------------------------------------------------------------------

void HLVEditorViewController::displayDownloadTagsPopover()
{
    if (!_firstRun)
        return;
    _firstRun = false;
    QSettings settings;
    const int state = settings.value(QLatin1String(kDisplayDownloadHelpKey), DownloadHelpNeverShown).toInt();
    if (state == DownloadHelpNeverShown) {
        settings.setValue(QLatin1String(kDisplayDownloadHelpKey), int(DownloadHelpOncePerRun));
        settings.sync();
    } else if (state != DownloadHelpOncePerRun) {
        removePopover();
        return;
    }
    if (!_downloadTagsPopoverBox)
        return;
    placePopover();
    _popoverOpacity->setOpacity(0);
    _downloadTagsPopoverBox->show();
    fadePopover(1, false);
}

void HLVEditorViewController::fadePopover(double to, bool removeAfter)
{
    if (!_downloadTagsPopoverBox)
        return;
    auto finish = [this, to, removeAfter] {
        _popoverOpacity->setOpacity(to);
        if (removeAfter)
            removePopover();
    };
    if (_fadeDuration == 0) {
        finish();
        return;
    }
    auto* fade = new QPropertyAnimation(_popoverOpacity, "opacity", _downloadTagsPopoverBox);
    fade->setDuration(_fadeDuration);
    fade->setStartValue(_popoverOpacity->opacity());
    fade->setEndValue(to);
    connect(fade, &QPropertyAnimation::finished, this, finish);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void HLVEditorViewController::removePopover()
{
    if (!_downloadTagsPopoverBox)
        return;
    _downloadTagsPopoverBox->hide();
    _downloadTagsPopoverBox->deleteLater();
    _downloadTagsPopoverBox = nullptr;
}

void HLVEditorViewController::downloadTagsCloseButtonSelected()
{
    if (_downloadTagsPopoverBox && _downloadTagsPopoverBox->isVisible())
        fadePopover(0, true);
}

void HLVEditorViewController::downloadTagsHideButtonSelected()
{
    if (!_downloadTagsHideButton)
        return;
    QSettings settings;
    settings.setValue(QLatin1String(kDisplayDownloadHelpKey),
                      _downloadTagsHideButton->isChecked() ? int(DownloadHelpNever) : int(DownloadHelpOncePerRun));
    settings.sync();
}

// --- commands ---------------------------------------------------------------------------

void HLVEditorViewController::tagButtonPressed()
{
    downloadTags();
}

void HLVEditorViewController::downloadTags()
{
    _tagEditorViewController->confirmChanges();
    if (!_fileManager)
        return;
    if (_editorFileData)
        _fileManager->identifyFile(_editorFileData);
    else if (!_editorFileArray.isEmpty())
        _fileManager->identifyFiles(_editorFileArray);
}

void HLVEditorViewController::detagButtonPressed()
{
    if (!_editorFileData && _editorFileArray.isEmpty())
        return;
    if (_detagAlert && _detagAlert->isVisible())
        return; // already asking
    auto* box = new QMessageBox(_fileDialogWindow ? _fileDialogWindow.data() : window());
    box->setObjectName(QStringLiteral("detagAlert"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setText(QStringLiteral("Remove all tags?"));
    box->setInformativeText(QStringLiteral("This will remove all tags from the selected file(s). Once saved, the "
                                           "changes will not be reversable."));
    box->setIconPixmap(QPixmap(QStringLiteral(":/images/DetagAlertImage.png")));
    // One role for both keeps the documented order: "Cancel" first.
    QAbstractButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::AcceptRole);
    QAbstractButton* remove = box->addButton(QStringLiteral("Remove Tags"), QMessageBox::AcceptRole);
    box->setDefaultButton(qobject_cast<QPushButton*>(cancel));
    box->setEscapeButton(cancel);
    // The files shown when asked are the ones the answer acts on.
    const std::shared_ptr<HLVFileData> single = _editorFileData;
    const QList<std::shared_ptr<HLVFileData>> several = _editorFileArray;
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, single, several](QAbstractButton* button) {
        if (button != remove)
            return;
        if (single) {
            detagFileData(single);
            if (_editorFileData == single)
                displayEditorForFileData(single);
        } else {
            // As many files as were selected: on a worker.
            HLVSelectionCommands::removeTags(this, several, _fileManager, [this, several] {
                if (std::ranges::equal(_editorFileArray, several))
                    refreshEditorForCurrentFileArray();
            });
        }
    });
    _detagAlert = box;
    box->open();
}

void HLVEditorViewController::detagFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (!fileData)
        return;
    fileData->removeTags();
    if (_fileManager)
        _fileManager->fileWasModified(fileData);
}

void HLVEditorViewController::saveChangesButtonSelected()
{
    saveChanges();
}

void HLVEditorViewController::saveChanges()
{
    performSave();
}

void HLVEditorViewController::performSave()
{
    _tagEditorViewController->confirmChanges();
    if (!_fileManager)
        return;
    if (_editorFileData) {
        if (_editorFileData->IsModified())
            _fileManager->saveFile(_editorFileData);
        return;
    }
    QList<std::shared_ptr<HLVFileData>> modified;
    for (const auto& file : std::as_const(_editorFileArray)) {
        if (file->IsModified())
            modified.append(file);
    }
    if (modified.isEmpty())
        return;
    _saveCount = static_cast<unsigned long>(modified.size());
    _fileManager->saveFilesInUnmanagedArray(modified);
}

void HLVEditorViewController::undoChangesButtonSelected()
{
    undoChanges();
}

void HLVEditorViewController::undoChanges()
{
    _tagEditorViewController->confirmChanges();
    if (_editorFileData) {
        _editorFileData->undoChanges();
        displayEditorForFileData(_editorFileData);
    } else {
        for (const auto& file : std::as_const(_editorFileArray))
            file->undoChanges();
        refreshEditorForCurrentFileArray();
    }
    if (_delegate)
        _delegate->editorViewFileWasSaved(this);
}

void HLVEditorViewController::stopTrackPreview()
{
    _tagEditorViewController->stopTrackPreview();
}

// --- the control bar --------------------------------------------------------------------

void HLVEditorViewController::updateControlBarButtons()
{
    if (_fileManager && isLongOperation(_fileManager->currentOperation()))
        disableControlBarButtons();
    else
        enableControlBarButtons();
}

void HLVEditorViewController::disableControlBarButtons()
{
    for (HLVHoverButton* button : {_tagButton, _tagTextButton, _saveChangesButton, _saveChangesTextButton})
        button->setEnabled(false);
}

void HLVEditorViewController::enableControlBarButtons()
{
    _tagButton->setEnabled(true);
    _tagTextButton->setEnabled(true);
    updateSaveButtonEnabled();
}

void HLVEditorViewController::updateSaveButtonEnabled()
{
    const bool enabled = _editorFileData ? _editorFileData->IsModified()
                                         : HLVFileData::areAnyFilesModified(_editorFileArray);
    _saveChangesButton->setEnabled(enabled);
    _saveChangesTextButton->setEnabled(enabled);
}

// --- the file manager's notices ---------------------------------------------------------

void HLVEditorViewController::fileOperationDidStart(int operation)
{
    if (!isLongOperation(operation))
        return;
    disableControlBarButtons();
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
    if (!isLongOperation(operation))
        return;
    enableControlBarButtons();
    switch (operation) {
    case HLVFileOperationSaving:
        _savingFiles = false;
        if (!_editorFileArray.isEmpty())
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
    if (shownChanged && _fileManager && !isLongOperation(_fileManager->currentOperation()))
        updateSaveButtonEnabled();
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
    _statusEditorViewController->cancelButton()->setToolTip(QStringLiteral("Cancel"));
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
    displayStatusViewWithMessage(QStringLiteral("Saving file"), double(_saveCount));
}

void HLVEditorViewController::displayArtworkDownloadProgress()
{
    downloadTagsCloseButtonSelected();
    _downloadingArtwork = true;
    if (filesShownCount() > 0)
        displayStatusViewWithMessage(QStringLiteral("Obtaining artwork for file"), double(filesShownCount()));
}

void HLVEditorViewController::displayTagDownloadProgress()
{
    downloadTagsCloseButtonSelected();
    _downloadingTags = true;
    if (filesShownCount() > 0)
        displayStatusViewWithMessage(QStringLiteral("Obtaining tag information for file"), double(filesShownCount()));
}

void HLVEditorViewController::displayFileRenameProgress()
{
    downloadTagsCloseButtonSelected();
    _renamingFiles = true;
    if (filesShownCount() > 0)
        displayStatusViewWithMessage(QStringLiteral("Renaming file"), double(filesShownCount()));
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
    const QString files = _failures.size() == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(_failures.size());
    const QString verb = operation == HLVFileOperationSaving ? QStringLiteral("saved")
        : operation == HLVFileOperationRenaming              ? QStringLiteral("renamed")
                                                             : QStringLiteral("identified");
    const QString message = operation == HLVFileOperationArtwork ? QStringLiteral("No artwork for %1").arg(files)
                                                                 : QStringLiteral("%1 could not be %2").arg(files, verb);
    displayStatusViewWithMessage(message, 0);
    _showsFailureSummary = true;
    _statusEditorViewController->statusProgressIndicator()->hide();
    _statusEditorViewController->statusLabel()->setText(message);
    _statusEditorViewController->setToolTip(_failures.join(QLatin1Char('\n')));
    _statusEditorViewController->statusLabel()->setToolTip(_statusEditorViewController->toolTip());
    _statusEditorViewController->cancelButton()->setToolTip(QStringLiteral("Dismiss"));
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

// --- the tag editor's questions and news ------------------------------------------------

QWidget* HLVEditorViewController::windowToDisplayTagEditorDialogs()
{
    return _fileDialogWindow ? _fileDialogWindow.data() : window();
}

HLVFileManager* HLVEditorViewController::tagEditorFileManagerSource()
{
    return _fileManager;
}

void HLVEditorViewController::tagEditorFileWasModified(HLVTagEditorViewController* editor)
{
    (void)editor;
    if (_fileManager) {
        if (_editorFileData)
            _fileManager->fileWasModified(_editorFileData);
        else
            _fileManager->filesWereModified(_editorFileArray);
    }
    if (_delegate)
        _delegate->editorViewFileModified(this);
    updateControlBarButtons();
}
