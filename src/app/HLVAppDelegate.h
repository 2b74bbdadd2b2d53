#pragma once

#include "HLVAboutWindowController.h"
#include "HLVAcoustIDIdentifier.h"
#include "HLVCadrelleWindow.h"
#include "HLVCommandState.h"
#include "HLVEditorPanel.h"
#include "HLVFileViewControllerDelegate.h"
#include "HLVWindowActions.h"

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <optional>

class HLVFileData;
class HLVFileManager;
class HLVFileManagerBridge;
class HLVFileViewController;
class HLVIntroductionViewController;
class HLVMainViewController;
class QAction;
class QUrl;
class QLabel;
class QMenu;
class QMessageBox;
class QTimer;

// The application's controller: it makes the file manager and the main window
// with its two panels, owns the menu commands and decides when each is
// enabled, checks in the background whether the web services answer, offers
// the update check, the about window and the user guide, and removes the
// pasted artwork at exit.
class HLVAppDelegate : public QObject,
                       public HLVFileViewControllerDelegate,
                       public HLVEditorPanelOwner,
                       public HLVAcoustIDIdentifierDelegate
{
    Q_OBJECT
public:
    explicit HLVAppDelegate(QObject* parent = nullptr);
    ~HLVAppDelegate() override;

    // Shows the window; checks the connection unless told not to (tests).
    void applicationDidFinishLaunching(bool checkConnection = true);
    // Files and folders named on the command line.
    void addPaths(const QStringList& paths);
    // Stops the file manager's work and removes the pasted artwork.
    void applicationWillTerminate();

    HLVCadrelleWindow* window() const { return _window; }
    HLVFileManager* fileManager() const { return _fileManager.get(); }
    HLVMainViewController* mainViewController() const { return _mainViewController; }
    HLVFileViewController* fileViewController() const { return _fileViewController; }
    HLVIntroductionViewController* introductionViewController() const { return _introductionViewController; }
    HLVEditorPanel* editorPanel() const { return _editorPanel.get(); }
    HLVAboutWindowController* aboutWindowController() const { return _aboutWindowController; }
    // Menu items by object name ("SaveSelectionMenuItem").
    QAction* menuItem(const QString& objectName) const;

    // Menu commands.
    void saveSelectionMenuItemSelected();
    void revertSelectionMenuItemSelected();
    void aboutMenuItemSelected();
    void preferencesMenuItemSelected();
    void userGuideMenuItemSelected();
    void contactSupportMenuItemSelected();
    void checkForUpdatesMenuItemSelected();
    // Hands the address to the desktop's browser; an alert shows it when that fails.
    void openInBrowser(const QUrl& address);
    // The update check's answer, as an alert over the window.
    // failure: why the check could not tell; empty when it could.
    QMessageBox* showUpdateAlert(bool updateAvailable, const QString& failure = QString());

    // Right panel.
    void switchToIntroduction();
    void switchToEditor();

    // Connection check.
    void checkConnection();
    int connectionAttemptCount() const { return _connectionAttemptCount; }
    QTimer* reconnectTimer() const { return _reconnectTimer; }
    QLabel* serverStatusTextField() const { return _serverStatusTextField; }
    QLabel* serverStatusImageView() const { return _serverStatusImageView; }
    // Seconds before the re-check after attempt n (1 to 4); absent from the fifth on.
    static std::optional<int> reconnectDelayAfterAttempt(int attempt);

    // File manager notices (on the main thread, through the bridge).
    void fileOperationDidStart(int operation);
    void fileOperationDidFinish(int operation);

    // HLVFileViewControllerDelegate
    QWidget* windowToDisplayFileViewDialogs() override;
    HLVFileManager* fileViewFileManagerSource() override;
    void performSaveForCurrentSelection(HLVFileViewController* fileView) override;
    HLVWindowActions* fileViewWindowActions() override { return _actions; }
    void fileViewSelectionChanged(HLVFileViewController* fileView, const QList<int>& rows,
                                  const QList<std::shared_ptr<HLVFileData>>& shown) override;
    void fileViewDataSourceChanged(HLVFileViewController* fileView, HLVFileList list) override;

    // HLVEditorPanelOwner
    QWidget* windowToDisplayEditorViewDialogs() override;
    HLVFileManager* editorViewFileManagerSource() override;
    void editorViewFileModified() override;
    void editorViewFileWasSaved() override;
    HLVWindowActions* editorViewWindowActions() override { return _actions; }

    // Quitting takes from anywhere in the program, a dialog over the window included.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // HLVAcoustIDIdentifierDelegate (any thread)
    void OnFingerprintIdentifiedWithRecordingMBID(const std::optional<QString>& recordingMBID,
                                                  const std::optional<QString>& recordingTitle,
                                                  const std::optional<QString>& artistMBID,
                                                  const std::optional<HLVFailure>& failure) override;

private:
    void awakeFromNib();
    void buildMenus();
    QAction* addMenuItem(QMenu* menu, const QString& objectName, const QString& text, void (HLVAppDelegate::*slot)(),
                         const QKeySequence& shortcut = QKeySequence());
    HLVCommandState::Inputs commandInputs() const;
    void completeStartup();
    // Sets every command from the one rule (HLVCommandState); answers it.
    HLVCommandState updateCommandState();

    void artistLookupFinished(bool found);
    void acoustIDLookupFinished(bool reachable, const std::optional<HLVFailure>& failure);
    void showConnectionStatus(const QString& text, const QString& image, const QString& toolTip);
    void warnOfNoConnection();
    void warnOfPartialConnection();
    QMessageBox* showAlert(const QString& objectName, const QString& message, const QString& informative);
    void attemptRecconnect();

    std::unique_ptr<HLVFileManager> _fileManager;
    std::shared_ptr<HLVFileManagerBridge> _bridge;
    QPointer<HLVCadrelleWindow> _window;
    HLVMainViewController* _mainViewController = nullptr;
    HLVFileViewController* _fileViewController = nullptr;
    HLVIntroductionViewController* _introductionViewController = nullptr;
    std::unique_ptr<HLVEditorPanel> _editorPanel;
    QPointer<HLVAboutWindowController> _aboutWindowController;

    QList<int> _indexSet;
    QList<std::shared_ptr<HLVFileData>> _fileDataArray;

    std::shared_ptr<HLVAcoustIDIdentifier> _acoustIDIdentifier;
    QTimer* _reconnectTimer = nullptr;
    bool _alertOfConnectionStatus = true;
    int _connectionAttemptCount = 0;
    QLabel* _serverStatusTextField = nullptr;
    QLabel* _serverStatusImageView = nullptr;
    QThreadPool _backgroundPool; // connection and update checks; waited for on destruction

    HLVWindowActions* _actions = nullptr; // the commands on files, shared with the list and the editor
    QAction* _QuitMenuItem = nullptr;
    QAction* _AboutMenuItem = nullptr;
    QAction* _UserGuideMenuItem = nullptr;
    QAction* _ContactSupportMenuItem = nullptr;
    QAction* _CheckForUpdatesMenuItem = nullptr;
};
