#include "HLVEditorViewController.h"

#include "HLVBatchProgressPresenter.h"
#include "HLVEditorViewDelegate.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVHoverButton.h"
#include "HLVSelectionCommands.h"
#include "HLVStripPlaceholder.h"
#include "HLVTagEditorViewController.h"
#include "HLVWindowActions.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSet>
#include <QVBoxLayout>

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

    _statusPlaceholderView = new HLVStripPlaceholder(this);
    _statusPlaceholderView->setObjectName(QStringLiteral("statusPlaceholderView"));
    layout->addWidget(_statusPlaceholderView);
    _batchProgress = new HLVBatchProgressPresenter(_statusPlaceholderView, this);
    _matchesPlaceholderView = new HLVStripPlaceholder(this);
    _matchesPlaceholderView->setObjectName(QStringLiteral("matchesPlaceholderView"));
    layout->addWidget(_matchesPlaceholderView);

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

void HLVEditorViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitControlBar(event->size().width());
    placePopover();
}

void HLVEditorViewController::setAnimationDurations(int stripMilliseconds, int fadeMilliseconds)
{
    _stripDuration = qMax(0, stripMilliseconds);
    _fadeDuration = qMax(0, fadeMilliseconds);
    _tagEditorViewController->setAnimationDuration(_stripDuration);
    _batchProgress->setSlideDuration(_stripDuration);
}

void HLVEditorViewController::setDelegate(HLVEditorViewDelegate* delegate)
{
    _delegate = delegate;
    if (_bridge)
        _bridge->disconnect(this);
    _bridge.reset();
    _fileManager = nullptr;
    _batchProgress->setFileManager(nullptr);
    if (!delegate) {
        useActions(_ownActions);
        return;
    }
    _fileManager = delegate->editorViewFileManagerSource();
    _batchProgress->setFileManager(_fileManager);
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

// --- what is shown ------------------------------------------------------------------

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

// --- commands -----------------------------------------------------------------------

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

// --- the tag editor's questions and news --------------------------------------------

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
