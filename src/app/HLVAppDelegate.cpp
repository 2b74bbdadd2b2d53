#include "HLVAppDelegate.h"

#include "HLVAboutWindowController.h"
#include "HLVCadrelleWindow.h"
#include "HLVDataRequest.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVFileViewController.h"
#include "HLVIntroductionViewController.h"
#include "HLVMainViewController.h"
#include "HLVMakerPages.h"
#include "HLVPreferencesWindowController.h"
#include "HLVTagEditorViewController.h"
#include "HLVWorkerPool.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

HLVAppDelegate::HLVAppDelegate(QObject* parent)
    : QObject(parent)
{
    _backgroundPool.setMaxThreadCount(2);
    awakeFromNib();
}

HLVAppDelegate::~HLVAppDelegate()
{
    if (_acoustIDIdentifier)
        _acoustIDIdentifier->setDelegate(nullptr);
    _fileManager->shutdown();
    _backgroundPool.waitForDone();
    // The widgets (the file list and editor among them) go before the panel
    // and the manager they refer to.
    delete _aboutWindowController;
    delete _window;
    _editorPanel.reset();
    delete _bridge;
    _bridge = nullptr;
    _fileManager.reset();
    // Lookups whose requests were just refused end in moments; a save's write
    // is bounded by the disk.
    HLVWorkerPool::shared().waitForDone(std::chrono::seconds(2));
}

void HLVAppDelegate::awakeFromNib()
{
    _fileManager = std::make_unique<HLVFileManager>();
    _bridge = new HLVFileManagerBridge(_fileManager.get(), this);
    connect(_bridge, &HLVFileManagerBridge::operationStarted, this, &HLVAppDelegate::fileOperationDidStart);
    connect(_bridge, &HLVFileManagerBridge::operationFinished, this, &HLVAppDelegate::fileOperationDidFinish);
    _window = new HLVCadrelleWindow;
    _window->setAttribute(Qt::WA_DeleteOnClose, false);
    _window->setFileManager(_fileManager.get());
    _reconnectTimer = new QTimer(this);
    _reconnectTimer->setObjectName(QStringLiteral("reconnectTimer"));
    _reconnectTimer->setSingleShot(true);
    connect(_reconnectTimer, &QTimer::timeout, this, &HLVAppDelegate::checkConnection);
    buildMenus();
    for (QAction* item : {_SelectAllFilesMenuItem, _RenameSelectionMenuItem, _RemoveSelectionMenuItem,
                          _SyncArtworkMenuItem, _SaveSelectionMenuItem, _RevertSelectionMenuItem})
        menuItemSetEnabled(item, false);
    enableFilterMenu(false);
}

QAction* HLVAppDelegate::addMenuItem(QMenu* menu, const QString& objectName, const QString& text,
                                     void (HLVAppDelegate::*slot)(), const QKeySequence& shortcut)
{
    QAction* item = menu->addAction(text);
    item->setObjectName(objectName);
    item->setShortcut(shortcut);
    if (slot)
        connect(item, &QAction::triggered, this, slot);
    return item;
}

void HLVAppDelegate::buildMenus()
{
    QMenuBar* bar = _window->menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    _AddFilesMenuItem = addMenuItem(file, QStringLiteral("AddFilesMenuItem"), QStringLiteral("Add Files…"), nullptr,
                                    QKeySequence::Open);
    _AddFolderMenuItem = addMenuItem(file, QStringLiteral("AddFolderMenuItem"), QStringLiteral("Add Folder…"), nullptr,
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    file->addSeparator();
    _SaveSelectionMenuItem = addMenuItem(file, QStringLiteral("SaveSelectionMenuItem"), QStringLiteral("Save Selection"),
                                         &HLVAppDelegate::saveSelectionMenuItemSelected, QKeySequence::Save);
    _RevertSelectionMenuItem = addMenuItem(file, QStringLiteral("RevertSelectionMenuItem"),
                                           QStringLiteral("Revert Selection"),
                                           &HLVAppDelegate::revertSelectionMenuItemSelected);
    file->addSeparator();
    _RenameSelectionMenuItem = addMenuItem(file, QStringLiteral("RenameSelectionMenuItem"),
                                           QStringLiteral("Rename Selection…"), nullptr,
                                           QKeySequence(Qt::CTRL | Qt::Key_R));
    _SyncArtworkMenuItem = addMenuItem(file, QStringLiteral("SyncArtworkMenuItem"), QStringLiteral("Sync Artwork…"),
                                       nullptr);
    _RemoveSelectionMenuItem = addMenuItem(file, QStringLiteral("RemoveSelectionMenuItem"),
                                           QStringLiteral("Remove Selection"), nullptr,
                                           QKeySequence(Qt::CTRL | Qt::Key_Backspace));
    file->addSeparator();
    QAction* quit = addMenuItem(file, QStringLiteral("QuitMenuItem"), QStringLiteral("Quit Cadrelle"), nullptr);
    // Ctrl+Q whatever the platform's own list says (some give none), from any of our windows.
    QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    if (!quitKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_Q)))
        quitKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcuts(quitKeys);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    quit->setMenuRole(QAction::QuitRole);
    // Quitting closes the window, which asks first when work would be lost.
    connect(quit, &QAction::triggered, _window, &QWidget::close);
    _QuitMenuItem = quit;

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    _SelectAllFilesMenuItem = addMenuItem(edit, QStringLiteral("SelectAllFilesMenuItem"),
                                          QStringLiteral("Select All Files"), nullptr,
                                          QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    edit->addSeparator();
    QAction* preferences = addMenuItem(edit, QStringLiteral("PreferencesMenuItem"), QStringLiteral("Preferences…"),
                                       &HLVAppDelegate::preferencesMenuItemSelected, QKeySequence::Preferences);
    preferences->setMenuRole(QAction::PreferencesRole);

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    auto* filters = new QActionGroup(this);
    filters->setExclusive(true);
    _FilterAllFilesMenuItem = addMenuItem(view, QStringLiteral("FilterAllFilesMenuItem"), QStringLiteral("All Files"),
                                          nullptr, QKeySequence(Qt::CTRL | Qt::Key_1));
    _FilterUntaggedFilesMenuItem = addMenuItem(view, QStringLiteral("FilterUntaggedFilesMenuItem"),
                                               QStringLiteral("Untagged Files"), nullptr,
                                               QKeySequence(Qt::CTRL | Qt::Key_2));
    _FilterPartiallyTaggedFilesMenuItem = addMenuItem(view, QStringLiteral("FilterPartiallyTaggedFilesMenuItem"),
                                                      QStringLiteral("Partially Tagged Files"), nullptr,
                                                      QKeySequence(Qt::CTRL | Qt::Key_3));
    _FilterModifiedFilesMenuItem = addMenuItem(view, QStringLiteral("FilterModifiedFilesMenuItem"),
                                               QStringLiteral("Modified Files"), nullptr,
                                               QKeySequence(Qt::CTRL | Qt::Key_4));
    for (QAction* item : {_FilterAllFilesMenuItem, _FilterUntaggedFilesMenuItem, _FilterPartiallyTaggedFilesMenuItem,
                          _FilterModifiedFilesMenuItem}) {
        item->setCheckable(true);
        filters->addAction(item);
    }
    _FilterAllFilesMenuItem->setChecked(true);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    _UserGuideMenuItem = addMenuItem(help, QStringLiteral("UserGuideMenuItem"), QStringLiteral("User Guide"),
                                     &HLVAppDelegate::userGuideMenuItemSelected, QKeySequence::HelpContents);
    _ContactSupportMenuItem = addMenuItem(help, QStringLiteral("ContactSupportMenuItem"),
                                          QStringLiteral("Contact Support"),
                                          &HLVAppDelegate::contactSupportMenuItemSelected);
    _CheckForUpdatesMenuItem = addMenuItem(help, QStringLiteral("CheckForUpdatesMenuItem"),
                                           QStringLiteral("Check for Updates…"),
                                           &HLVAppDelegate::checkForUpdatesMenuItemSelected);
    help->addSeparator();
    _AboutMenuItem = addMenuItem(help, QStringLiteral("AboutMenuItem"), QStringLiteral("About Cadrelle"),
                                 &HLVAppDelegate::aboutMenuItemSelected);
    _AboutMenuItem->setMenuRole(QAction::AboutRole);

    // The connection status, at the foot of the window.
    auto* status = new QWidget;
    auto* statusLayout = new QHBoxLayout(status);
    statusLayout->setContentsMargins(6, 0, 6, 0);
    _serverStatusImageView = new QLabel(status);
    _serverStatusImageView->setObjectName(QStringLiteral("ServerStatusImageView"));
    _serverStatusImageView->setFixedSize(12, 12);
    _serverStatusTextField = new QLabel(status);
    _serverStatusTextField->setObjectName(QStringLiteral("ServerStatusTextField"));
    statusLayout->addWidget(_serverStatusImageView);
    statusLayout->addWidget(_serverStatusTextField);
    _window->statusBar()->addPermanentWidget(status);
}

void HLVAppDelegate::applicationDidFinishLaunching(bool checkConnection)
{
    HLVDataRequest::refuseRequests(false);
    _alertOfConnectionStatus = true;
    _connectionAttemptCount = 0;
    if (checkConnection)
        this->checkConnection();
    completeStartup();
    connect(qApp, &QCoreApplication::aboutToQuit, this, &HLVAppDelegate::applicationWillTerminate,
            Qt::UniqueConnection);
    qApp->removeEventFilter(this);
    qApp->installEventFilter(this);
    _window->show();
}

bool HLVAppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    // A dialog over the window (an alert, the rename sheet, a file dialog) keeps
    // the menu's shortcut from firing; the key then reaches the dialog, and is
    // taken here instead.
    if (event->type() == QEvent::KeyPress && _window && _QuitMenuItem) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        if (_QuitMenuItem->shortcuts().contains(pressed)) {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
            _window->close();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void HLVAppDelegate::completeStartup()
{
    _mainViewController = new HLVMainViewController(_window);
    _window->setCentralWidget(_mainViewController);
    _fileViewController = new HLVFileViewController(_mainViewController->LeftPanel());
    _mainViewController->setLeftView(_fileViewController);
    _fileViewController->setDelegate(this);
    // The file list's own commands are the menu's commands.
    connect(_AddFilesMenuItem, &QAction::triggered, _fileViewController, &HLVFileViewController::addFilesWithDialog);
    connect(_AddFolderMenuItem, &QAction::triggered, _fileViewController, &HLVFileViewController::addFolderWithDialog);
    connect(_SelectAllFilesMenuItem, &QAction::triggered, _fileViewController, &HLVFileViewController::selectAllFiles);
    connect(_SyncArtworkMenuItem, &QAction::triggered, _fileViewController, &HLVFileViewController::syncArtwork);
    connect(_RenameSelectionMenuItem, &QAction::triggered, _fileViewController,
            &HLVFileViewController::renameSelectedFiles);
    connect(_RemoveSelectionMenuItem, &QAction::triggered, _fileViewController,
            &HLVFileViewController::removeSelectedFiles);
    connect(_FilterAllFilesMenuItem, &QAction::triggered, _fileViewController, &HLVFileViewController::changeFilterToAll);
    connect(_FilterUntaggedFilesMenuItem, &QAction::triggered, _fileViewController,
            &HLVFileViewController::changeFilterToNoTags);
    connect(_FilterPartiallyTaggedFilesMenuItem, &QAction::triggered, _fileViewController,
            &HLVFileViewController::changeFilterToPartial);
    connect(_FilterModifiedFilesMenuItem, &QAction::triggered, _fileViewController,
            &HLVFileViewController::changeFilterToModified);

    _introductionViewController = new HLVIntroductionViewController(_mainViewController->RightPanel());
    _introductionViewController->introductionForFiles(!_fileManager->FileDataArray().isEmpty());
    switchToIntroduction();
    _window->restoreGeometryPreference();
    _mainViewController->restoreState();
}

void HLVAppDelegate::addPaths(const QStringList& paths)
{
    QStringList absolute;
    for (const QString& path : paths)
        absolute.append(QFileInfo(path).absoluteFilePath());
    if (!absolute.isEmpty() && _fileViewController)
        _fileViewController->addFilesAndFoldersAtPaths(absolute);
}

void HLVAppDelegate::applicationWillTerminate()
{
    if (_mainViewController)
        _mainViewController->saveState();
    if (_editorPanel)
        _editorPanel->stopTrackPreview();
    // Slow services must not keep the program open: waiting lookups end now
    // (the manager refuses the requests once no save can start writing).
    _fileManager->shutdown();
    QDir artwork(HLVTagEditorViewController::artworkFolderPath());
    if (artwork.exists())
        artwork.removeRecursively();
}

QAction* HLVAppDelegate::menuItem(const QString& objectName) const
{
    return _window ? _window->menuBar()->findChild<QAction*>(objectName) : nullptr;
}

// --- menu state ------------------------------------------------------------------------

void HLVAppDelegate::menuItemSetEnabled(QAction* item, bool enabled)
{
    // Notices reach this controller on the main thread already (through the bridge).
    if (item)
        item->setEnabled(enabled);
}

void HLVAppDelegate::enableFilterMenu(bool enabled)
{
    for (QAction* item : {_FilterAllFilesMenuItem, _FilterUntaggedFilesMenuItem, _FilterPartiallyTaggedFilesMenuItem,
                          _FilterModifiedFilesMenuItem})
        menuItemSetEnabled(item, enabled);
}

bool HLVAppDelegate::editingOperationRunning() const
{
    const int operation = _fileManager->currentOperation();
    return operation == HLVFileOperationSaving || operation == HLVFileOperationArtwork
        || operation == HLVFileOperationIdentifying || operation == HLVFileOperationRenaming;
}

void HLVAppDelegate::fileOperationDidStart(int operation)
{
    menuItemSetEnabled(_AddFilesMenuItem, false);
    menuItemSetEnabled(_AddFolderMenuItem, false);
    if (operation != HLVFileOperationAdding) {
        menuItemSetEnabled(_SaveSelectionMenuItem, false);
        menuItemSetEnabled(_RevertSelectionMenuItem, false);
        if (operation == HLVFileOperationNone)
            return;
    }
    menuItemSetEnabled(_RemoveSelectionMenuItem, false);
    menuItemSetEnabled(_RenameSelectionMenuItem, false);
    menuItemSetEnabled(_SyncArtworkMenuItem, false);
    if (operation >= HLVFileOperationSaving && operation <= HLVFileOperationFiltering)
        enableFilterMenu(false);
    if (operation == HLVFileOperationRemoving)
        menuItemSetEnabled(_SelectAllFilesMenuItem, false);
}

void HLVAppDelegate::fileOperationDidFinish(int operation)
{
    menuItemSetEnabled(_AddFilesMenuItem, true);
    menuItemSetEnabled(_AddFolderMenuItem, true);
    if (!_indexSet.isEmpty()) {
        menuItemSetEnabled(_RemoveSelectionMenuItem, true);
        menuItemSetEnabled(_RenameSelectionMenuItem, true);
        menuItemSetEnabled(_SyncArtworkMenuItem, true);
    }
    if (operation == HLVFileOperationAdding || operation == HLVFileOperationRemoving
        || operation == HLVFileOperationRenaming)
        // The manager's list, not the table: the list reloads after this notice.
        menuItemSetEnabled(_SelectAllFilesMenuItem,
                           _fileViewController && !_fileManager->fileList(_fileViewController->dataSource()).isEmpty());
    if (operation >= HLVFileOperationAdding && operation <= HLVFileOperationRenaming)
        enableFilterMenu(!_fileManager->FileDataArray().isEmpty());
}

// --- the file list ---------------------------------------------------------------------

QWidget* HLVAppDelegate::windowToDisplayFileViewDialogs()
{
    return _window;
}

HLVFileManager* HLVAppDelegate::fileViewFileManagerSource()
{
    return _fileManager.get();
}

void HLVAppDelegate::performSaveForCurrentSelection(HLVFileViewController*)
{
    if (_editorPanel)
        _editorPanel->saveChanges();
}

void HLVAppDelegate::fileViewSelectionChanged(HLVFileViewController*, const QList<int>& rows,
                                              const QList<std::shared_ptr<HLVFileData>>& shown)
{
    _indexSet = rows;
    _fileDataArray = shown;
    bool anyModified = false;
    for (int row : rows)
        anyModified = anyModified || (row >= 0 && row < shown.size() && shown[row]->IsModified());
    menuItemSetEnabled(_SaveSelectionMenuItem, anyModified);
    menuItemSetEnabled(_RevertSelectionMenuItem, false);

    if (rows.isEmpty()) {
        if (!_introductionViewController)
            return; // reported while the list is being connected, before the right panel exists
        _introductionViewController->introductionForFiles(!_fileManager->FileDataArray().isEmpty());
        if (_editorPanel)
            _editorPanel->stopTrackPreview();
        menuItemSetEnabled(_RemoveSelectionMenuItem, false);
        menuItemSetEnabled(_RenameSelectionMenuItem, false);
        menuItemSetEnabled(_SyncArtworkMenuItem, false);
        switchToIntroduction();
        return;
    }
    if (!_fileManager->isOperationRunning()) {
        menuItemSetEnabled(_RemoveSelectionMenuItem, true);
        // Renaming is offered with the other commands on a selection; otherwise it would
        // wait for the next operation to finish.
        menuItemSetEnabled(_RenameSelectionMenuItem, true);
        menuItemSetEnabled(_SyncArtworkMenuItem, true);
    }
    if (!_editorPanel)
        _editorPanel = HLVEditorPanel::create(this, _mainViewController->RightPanel());
    if (rows.size() == 1 && rows.first() >= 0 && rows.first() < shown.size())
        _editorPanel->displayEditorForFileData(shown[rows.first()]);
    else
        _editorPanel->displayEditorForIndexSet(rows, shown);
    switchToEditor();
}

void HLVAppDelegate::fileViewDataSourceChanged(HLVFileViewController*, HLVFileList list)
{
    menuItemSetEnabled(_SelectAllFilesMenuItem, !_fileManager->fileList(list).isEmpty());
    QAction* checked = _FilterAllFilesMenuItem;
    if (list == HLVFileList::Untagged)
        checked = _FilterUntaggedFilesMenuItem;
    else if (list == HLVFileList::PartiallyTagged)
        checked = _FilterPartiallyTaggedFilesMenuItem;
    else if (list == HLVFileList::Modified)
        checked = _FilterModifiedFilesMenuItem;
    checked->setChecked(true);
}

void HLVAppDelegate::switchToIntroduction()
{
    _mainViewController->showRightView(_introductionViewController);
}

void HLVAppDelegate::switchToEditor()
{
    if (_editorPanel)
        _mainViewController->showRightView(_editorPanel->view());
}

// --- the editor ------------------------------------------------------------------------

QWidget* HLVAppDelegate::windowToDisplayEditorViewDialogs()
{
    return _window;
}

HLVFileManager* HLVAppDelegate::editorViewFileManagerSource()
{
    return _fileManager.get();
}

void HLVAppDelegate::editorViewFileModified()
{
    if (!editingOperationRunning()) {
        menuItemSetEnabled(_SaveSelectionMenuItem, true);
        menuItemSetEnabled(_RevertSelectionMenuItem, true);
    }
    _fileViewController->refreshView();
}

void HLVAppDelegate::editorViewFileWasSaved()
{
    menuItemSetEnabled(_SaveSelectionMenuItem, false);
    menuItemSetEnabled(_RevertSelectionMenuItem, false);
    _fileViewController->refreshView();
}

// --- commands --------------------------------------------------------------------------

void HLVAppDelegate::saveSelectionMenuItemSelected()
{
    if (_editorPanel && !editingOperationRunning())
        _editorPanel->saveChanges();
}

void HLVAppDelegate::revertSelectionMenuItemSelected()
{
    if (_editorPanel)
        _editorPanel->undoChanges();
}

void HLVAppDelegate::aboutMenuItemSelected()
{
    if (!_aboutWindowController)
        _aboutWindowController = new HLVAboutWindowController(_window);
    _aboutWindowController->show();
    _aboutWindowController->raise();
}

void HLVAppDelegate::preferencesMenuItemSelected()
{
    auto* preferences = new HLVPreferencesWindowController(_window);
    preferences->setAttribute(Qt::WA_DeleteOnClose);
    preferences->setWindowModality(Qt::WindowModal);
    preferences->open();
}

void HLVAppDelegate::userGuideMenuItemSelected()
{
    QDesktopServices::openUrl(HLVMakerPages::userGuideAddress());
}

void HLVAppDelegate::contactSupportMenuItemSelected()
{
    QDesktopServices::openUrl(HLVMakerPages::supportAddress());
}
