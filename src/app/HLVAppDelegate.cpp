#include "HLVAppDelegate.h"

#include "HLVAboutWindowController.h"
#include "HLVArtworkFolder.h"
#include "HLVCadrelleWindow.h"
#include "HLVDataRequest.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVViewJobs.h"
#include "HLVFileViewController.h"
#include "HLVIntroductionViewController.h"
#include "HLVMainViewController.h"
#include "HLVMakerPages.h"
#include "HLVPreferencesWindowController.h"
#include "HLVTagEditorViewController.h"
#include "HLVWorkerPool.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
    // Views' jobs and commands use the records and the manager.
    HLVViewJobs::pool().waitForDone();
    // The widgets (the file list and editor among them) go before the panel
    // and the manager they refer to.
    delete _aboutWindowController;
    delete _window;
    _editorPanel.reset();
    _bridge.reset();
    _fileManager.reset();
    // Lookups whose requests were just refused end in moments; a save's write
    // is bounded by the disk.
    HLVWorkerPool::shared().waitForDone(std::chrono::seconds(2));
}

void HLVAppDelegate::awakeFromNib()
{
    _fileManager = std::make_unique<HLVFileManager>();
    _bridge = HLVFileManagerBridge::forManager(_fileManager.get());
    connect(_bridge.get(), &HLVFileManagerBridge::operationStarted, this, &HLVAppDelegate::fileOperationDidStart);
    connect(_bridge.get(), &HLVFileManagerBridge::operationFinished, this, &HLVAppDelegate::fileOperationDidFinish);
    // A file turning modified or saved anywhere (a save, a lookup, a command of
    // the list) changes what the menus offer.
    connect(_bridge.get(), &HLVFileManagerBridge::recordsChanged, this, &HLVAppDelegate::updateCommandState);
    connect(_bridge.get(), &HLVFileManagerBridge::listsChanged, this, &HLVAppDelegate::updateCommandState);
    _window = new HLVCadrelleWindow;
    _window->setAttribute(Qt::WA_DeleteOnClose, false);
    _window->setFileManager(_fileManager.get());
    _reconnectTimer = new QTimer(this);
    _reconnectTimer->setObjectName(QStringLiteral("reconnectTimer"));
    _reconnectTimer->setSingleShot(true);
    connect(_reconnectTimer, &QTimer::timeout, this, &HLVAppDelegate::checkConnection);
    _actions = new HLVWindowActions(this);
    _actions->setInputsSource([this] { return commandInputs(); });
    buildMenus();
    updateCommandState();
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
    QMenu* file = bar->addMenu(tr("&File"));
    file->addActions({_actions->addFiles, _actions->addFolder});
    file->addSeparator();
    file->addActions({_actions->save, _actions->revert, _actions->downloadTags, _actions->removeTags});
    file->addSeparator();
    file->addActions({_actions->selectAll, _actions->rename, _actions->syncArtwork, _actions->removeSelection});
    file->addSeparator();
    QAction* quit = addMenuItem(file, QStringLiteral("QuitMenuItem"), tr("Quit Cadrelle"), nullptr);
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

    QMenu* edit = bar->addMenu(tr("&Edit"));
    edit->addAction(_actions->find);
    edit->addSeparator();
    QAction* preferences = addMenuItem(edit, QStringLiteral("PreferencesMenuItem"), tr("Preferences…"),
                                       &HLVAppDelegate::preferencesMenuItemSelected, QKeySequence::Preferences);
    preferences->setMenuRole(QAction::PreferencesRole);

    QMenu* view = bar->addMenu(tr("&View"));
    view->addActions(_actions->filters());

    QMenu* help = bar->addMenu(tr("&Help"));
    _UserGuideMenuItem = addMenuItem(help, QStringLiteral("UserGuideMenuItem"), tr("User Guide"),
                                     &HLVAppDelegate::userGuideMenuItemSelected, QKeySequence::HelpContents);
    _ContactSupportMenuItem = addMenuItem(help, QStringLiteral("ContactSupportMenuItem"),
                                          tr("Contact Support"),
                                          &HLVAppDelegate::contactSupportMenuItemSelected);
    _CheckForUpdatesMenuItem = addMenuItem(help, QStringLiteral("CheckForUpdatesMenuItem"),
                                           tr("Check for Updates…"),
                                           &HLVAppDelegate::checkForUpdatesMenuItemSelected);
    help->addSeparator();
    _AboutMenuItem = addMenuItem(help, QStringLiteral("AboutMenuItem"), tr("About Cadrelle"),
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
    // What the shared commands run; the list's context menu and the editor's
    // buttons hold the same actions.
    connect(_actions->addFiles, &QAction::triggered, _fileViewController, &HLVFileViewController::addFilesWithDialog);
    connect(_actions->addFolder, &QAction::triggered, _fileViewController, &HLVFileViewController::addFolderWithDialog);
    connect(_actions->selectAll, &QAction::triggered, _fileViewController, &HLVFileViewController::selectAllFiles);
    connect(_actions->save, &QAction::triggered, this, &HLVAppDelegate::saveSelectionMenuItemSelected);
    connect(_actions->revert, &QAction::triggered, this, &HLVAppDelegate::revertSelectionMenuItemSelected);
    connect(_actions->downloadTags, &QAction::triggered, this, [this] {
        if (_editorPanel && updateCommandState().downloadTags)
            _editorPanel->downloadTags();
    });
    connect(_actions->removeTags, &QAction::triggered, _fileViewController,
            &HLVFileViewController::removeTagsFromSelection);
    connect(_actions->find, &QAction::triggered, this, [this] {
        if (auto* search = _fileViewController->findChild<QLineEdit*>(QStringLiteral("searchField"))) {
            search->setFocus(Qt::ShortcutFocusReason);
            search->selectAll();
        }
    });
    connect(_actions->syncArtwork, &QAction::triggered, _fileViewController, &HLVFileViewController::syncArtwork);
    connect(_actions->rename, &QAction::triggered, _fileViewController, &HLVFileViewController::renameSelectedFiles);
    connect(_actions->removeSelection, &QAction::triggered, _fileViewController,
            &HLVFileViewController::removeSelectedFiles);
    connect(_actions->filterAll, &QAction::triggered, _fileViewController, &HLVFileViewController::changeFilterToAll);
    connect(_actions->filterUntagged, &QAction::triggered, _fileViewController,
            &HLVFileViewController::changeFilterToNoTags);
    connect(_actions->filterPartiallyTagged, &QAction::triggered, _fileViewController,
            &HLVFileViewController::changeFilterToPartial);
    connect(_actions->filterModified, &QAction::triggered, _fileViewController,
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
    HLVArtworkFolder::remove();
}

QAction* HLVAppDelegate::menuItem(const QString& objectName) const
{
    if (QAction* shared = _actions->findChild<QAction*>(objectName, Qt::FindDirectChildrenOnly))
        return shared;
    return _window ? _window->menuBar()->findChild<QAction*>(objectName) : nullptr;
}

// --- command state ---------------------------------------------------------------------

HLVCommandState::Inputs HLVAppDelegate::commandInputs() const
{
    HLVCommandState::Inputs inputs;
    // Every notice comes here: nothing in it may copy the selection or a list.
    HLVCommandState::describeSelection(inputs, _indexSet.size(), [this](qsizetype i) {
        const int row = _indexSet[i];
        return row >= 0 && row < _fileDataArray.size() ? _fileDataArray[row] : nullptr;
    });
    inputs.operation = _fileManager->currentOperation();
    inputs.added = _fileManager->fileListSize(HLVFileList::All);
    // The manager's list, not the table: the table reloads after the notices.
    inputs.listed = _fileViewController ? _fileManager->fileListSize(_fileViewController->dataSource()) : 0;
    return inputs;
}

HLVCommandState HLVAppDelegate::updateCommandState()
{
    // Notices reach this controller on the main thread already (through the bridge).
    return _actions->refresh();
}

void HLVAppDelegate::fileOperationDidStart(int)
{
    updateCommandState();
}

void HLVAppDelegate::fileOperationDidFinish(int)
{
    updateCommandState();
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
    updateCommandState();

    if (rows.isEmpty()) {
        if (!_introductionViewController)
            return; // reported while the list is being connected, before the right panel exists
        _introductionViewController->introductionForFiles(!_fileManager->FileDataArray().isEmpty());
        if (_editorPanel)
            _editorPanel->stopTrackPreview();
        switchToIntroduction();
        return;
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
    updateCommandState();
    QAction* checked = _actions->filterAll;
    if (list == HLVFileList::Untagged)
        checked = _actions->filterUntagged;
    else if (list == HLVFileList::PartiallyTagged)
        checked = _actions->filterPartiallyTagged;
    else if (list == HLVFileList::Modified)
        checked = _actions->filterModified;
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
    updateCommandState();
    _fileViewController->refreshView();
}

void HLVAppDelegate::editorViewFileWasSaved()
{
    updateCommandState();
    _fileViewController->refreshView();
}

// --- commands --------------------------------------------------------------------------

void HLVAppDelegate::saveSelectionMenuItemSelected()
{
    if (_editorPanel && updateCommandState().save)
        _editorPanel->saveChanges();
}

void HLVAppDelegate::revertSelectionMenuItemSelected()
{
    if (_editorPanel && updateCommandState().revert)
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
    openInBrowser(HLVMakerPages::userGuideAddress());
}

void HLVAppDelegate::contactSupportMenuItemSelected()
{
    openInBrowser(HLVMakerPages::supportAddress());
}
