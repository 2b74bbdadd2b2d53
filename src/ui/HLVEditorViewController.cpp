#include "HLVEditorViewController.h"
#include "HLVCommandState.h"

#include "HLVEditorViewDelegate.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVHoverButton.h"
#include "HLVMatchesEditorViewController.h"
#include "HLVSelectionCommands.h"
#include "HLVStatusEditorViewController.h"
#include "HLVTagEditorViewController.h"
#include "HLVWindowActions.h"

#include <QCheckBox>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QToolButton>
#include <QAction>
#include <QVBoxLayout>

namespace {

const char* const kDisplayDownloadHelpKey = "CRDisplayDownloadHelp";

// The popover's states in the preferences.
enum DownloadHelp { DownloadHelpNeverShown = 0, DownloadHelpOncePerRun = 1, DownloadHelpNever = 2 };

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
        button->setToolTip(tr("Download tags"));
    for (HLVHoverButton* button : {_saveChangesButton, _saveChangesTextButton})
        button->setToolTip(tr("Save changes"));
    _tagTextButton->setLinkedButton(_tagButton);
    _saveChangesTextButton->setLinkedButton(_saveChangesButton);
    for (HLVHoverButton* button : {_tagButton, _tagTextButton, _saveChangesButton, _saveChangesTextButton})
        button->setAccessibleName(button->toolTip());


    _detagButton = new QToolButton(bar);
    _detagButton->setObjectName(QStringLiteral("detagButton"));
    _detagButton->setText(tr("Remove Tags"));
    _detagButton->setToolTip(tr("Remove all tags"));
    _detagButton->setAutoRaise(true);
    // The editor's Remove Tags clears the compilation flag too, unlike the
    // list's: it shares only when it is offered.
    connect(_detagButton, &QToolButton::clicked, this, &HLVEditorViewController::detagButtonPressed);
    _undoChangesButton = new QToolButton(bar);
    _undoChangesButton->setObjectName(QStringLiteral("undoChangesButton"));
    _undoChangesButton->setText(tr("Undo"));
    _undoChangesButton->setToolTip(tr("Undo changes"));
    _undoChangesButton->setAutoRaise(true);

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
    makeOwnActions();
    useActions(_ownActions);
}

void HLVEditorViewController::makeOwnActions()
{
    _ownActions = new HLVWindowActions(this);
    _ownActions->setInputsSource([this] {
        HLVCommandState::Inputs inputs;
        HLVCommandState::describeSelection(inputs, _editorFileData ? QList{_editorFileData} : _editorFileArray);
        inputs.operation = _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
        return inputs;
    });
    connect(_ownActions->downloadTags, &QAction::triggered, this, &HLVEditorViewController::tagButtonPressed);
    connect(_ownActions->save, &QAction::triggered, this, &HLVEditorViewController::saveChangesButtonSelected);
    connect(_ownActions->revert, &QAction::triggered, this, &HLVEditorViewController::undoChangesButtonSelected);
}

void HLVEditorViewController::useActions(HLVWindowActions* actions)
{
    if (_actions == actions)
        return;
    auto buttonsOf = [this](HLVWindowActions* set) -> std::vector<std::pair<QAbstractButton*, QAction*>> {
        return {{_tagButton, set->downloadTags},   {_tagTextButton, set->downloadTags},
                {_saveChangesButton, set->save},   {_saveChangesTextButton, set->save},
                {_undoChangesButton, set->revert}, {_detagButton, set->removeTags}};
    };
    if (_actions) {
        for (const auto& [button, action] : buttonsOf(_actions)) {
            disconnect(action, nullptr, button, nullptr);
            disconnect(button, nullptr, action, nullptr);
        }
    }
    for (const auto& [button, action] : buttonsOf(actions))
        HLVWindowActions::bindButton(button, action, button != _detagButton);
    _actions = actions;
    updateControlBarButtons();
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
    fitControlBar(event->size().width());
    placePopover();
}

void HLVEditorViewController::fitControlBar(int width)
{
    // Narrow: the labels next to the icons go first, then the count, so that
    // no label is ever cut (the icons keep their tool tips).
    auto* bar = _tagButton->parentWidget();
    const QMargins margins = bar->layout()->contentsMargins();
    const int spacing = std::max(0, bar->layout()->spacing());
    auto widthOf = [spacing](std::initializer_list<QWidget*> widgets) {
        int sum = 0;
        for (QWidget* widget : widgets)
            sum += widget->sizeHint().width() + spacing;
        return sum;
    };
    const int icons = margins.left() + margins.right() + 12
        + widthOf({_tagButton, _saveChangesButton, _detagButton, _undoChangesButton});
    const int labels = widthOf({_tagTextButton, _saveChangesTextButton});
    const int count = widthOf({_editingFilesCountLabel});
    _tagTextButton->setVisible(icons + labels + count <= width);
    _saveChangesTextButton->setVisible(icons + labels + count <= width);
    _editingFilesCountLabel->setVisible(icons + count <= width);
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
    if (!delegate) {
        useActions(_ownActions);
        return;
    }
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
        // A command of the list (Remove Tags, Sync Artwork) may change what the files shown offer.
        connect(_bridge.get(), &HLVFileManagerBridge::listsChanged, this,
                &HLVEditorViewController::updateControlBarButtons);
    }
    _tagEditorViewController->setDelegate(this);
    HLVWindowActions* shared = delegate->editorViewWindowActions();
    useActions(shared ? shared : _ownActions);
    updateControlBarButtons();
}

// --- what is shown ----------------------------------------------------------------------

void HLVEditorViewController::showEditingCount(qsizetype count)
{
    _editingFilesCountLabel->setText(count == 1 ? tr("Editing %n File", nullptr, int(count))
                                                : tr("Editing %n Files", nullptr, int(count)));
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
    box->setText(tr("Remove all tags?"));
    box->setInformativeText(tr("This will remove all tags from the selected file(s). Once saved, the "
                               "changes will not be reversable."));
    box->setIconPixmap(QPixmap(QStringLiteral(":/images/DetagAlertImage.png")));
    // One role for both keeps the documented order: "Cancel" first.
    QAbstractButton* cancel = box->addButton(tr("Cancel"), QMessageBox::AcceptRole);
    QAbstractButton* remove = box->addButton(tr("Remove Tags"), QMessageBox::AcceptRole);
    box->setDefaultButton(qobject_cast<QPushButton*>(cancel));
    box->setEscapeButton(cancel);
    // The files shown when asked are the ones the answer acts on.
    const std::shared_ptr<HLVFileData> single = _editorFileData;
    const QList<std::shared_ptr<HLVFileData>> several = _editorFileArray;
    connect(box, &QMessageBox::buttonClicked, this, [this, remove, single, several](QAbstractButton* button) {
        if (button != remove)
            return;
        // The editor's Remove Tags clears the compilation flag too; the files
        // are read first, so on a worker.
        const QList<std::shared_ptr<HLVFileData>> files = single ? QList{single} : several;
        HLVSelectionCommands::removeTags(this, files, _fileManager, HLVCompilationFlag::Clear, [this, single, several] {
            if (single && _editorFileData == single)
                displayEditorForFileData(single);
            else if (!single && std::ranges::equal(_editorFileArray, several))
                refreshEditorForCurrentFileArray();
        });
    });
    _detagAlert = box;
    box->open();
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
    _actions->refresh();
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
