#pragma once

#include "HLVFileData.h"
#include "HLVFileListModel.h"
#include "HLVFileManager.h"
#include "HLVFileSearchProxyModel.h"
#include "HLVRenameTrackWindowController.h"
#include "HLVSelectionCommands.h"

#include <QList>
#include <QFileDialog>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class HLVFileListView;
class HLVFileManagerBridge;
class HLVRecordChanges;
class HLVFileView;
class HLVViewJobs;
class QTimer;
class HLVFileViewControllerDelegate;
class HLVWindowActions;

class QAction;

class QFrame;
class QItemSelection;
class QLabel;
class QLineEdit;
class QTableView;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

// The file list panel: one row per file of the shown list (all, untagged,
// partially tagged or modified, narrowed by the search field), the add, add
// folder, remove and filter buttons, the file count, a progress strip for long
// operations and a context menu with the commands on the selection. It hears
// the file manager through a bridge on the main thread and tells its delegate
// when the selection or the shown list changes.
class HLVFileViewController : public QWidget
{
    Q_OBJECT
public:
    explicit HLVFileViewController(QWidget* parent = nullptr);
    ~HLVFileViewController() override;

    // Connects to the delegate's file manager and shows all files. The
    // delegate and its manager must outlive this controller.
    void setDelegate(HLVFileViewControllerDelegate* delegate);
    HLVFileViewControllerDelegate* delegate() const { return _delegate; }
    HLVFileManager* fileManager() const { return _fileManager; }

    // Filters.
    void changeFilterToAll();
    void changeFilterToNoTags();
    void changeFilterToPartial();
    void changeFilterToModified();
    void enableFilterMenu(bool enabled);
    HLVFileList dataSource() const { return _dataSource; }
    QMenu* filterMenu() const { return _filterMenu; }

    // Display.
    void refreshView();
    void reloadFileTableView();
    void updateFileCountLabel();
    void displayOperationMessage(const QString& message);
    void clearOperationMessage(const QString& message);

    // Adding.
    void addFilesWithDialog();
    void addFolderWithDialog();
    // What the add-folder dialog does with its answer; lists the folder off the main thread.
    void addFolderAtPath(const QString& folder);
    void addFilesAndFoldersAtPaths(const QStringList& paths);
    bool canAddFiles() const;
    QFileDialog* fileDialog() const { return _fileDialog; }

    // Selection and commands.
    void displaySelectionInEditor();
    void selectAllFiles();
    void selectRows(const QList<int>& rows);
    void renameSelectedFiles();
    void removeSelectedFiles();
    void downloadTagsForSelection();
    void saveChangesForSelection();
    void undoChangesForSelection();
    void openSelectionInFileBrowser();
    void removeTagsFromSelection();
    void syncArtwork();
    int dataSourceCount() const;
    QList<int> currentSelection() const { return _currentSelection; }
    QList<std::shared_ptr<HLVFileData>> shownRecords() const;
    // Typed text not applied yet: the pause in typing or the texts' job is pending.
    bool isSearchPending() const;
    QList<std::shared_ptr<HLVFileData>> selectedRecords() const;
    // Sets the context menu's items for a click on a row (-1: the empty area).
    void menuNeedsUpdate(int clickedRow);
    QMenu* contextMenu() const { return _contextMenu; }
    // The commands of the context menu: the window's shared ones once the
    // delegate gives them, else the list's own.
    HLVWindowActions* windowActions() const { return _actions; }
    HLVRenameTrackWindowController* renameTrackWindowController() const { return _renameTrackWindowController; }
    QTableView* tableView() const;
    HLVFileListView* fileTable() const { return _tableView; }
    // Every shown row's tag columns are filled (no read of them is pending).
    bool areColumnsRead() const;

    // File manager notices, on the main thread.
    void fileOperationDidStart(int operation);
    void fileOperationDidFinish(int operation);
    void recordsChanged(const HLVRecordChanges& changes);

signals:
    // The tags of the rows shown were read and their columns filled.
    void columnsReady();

private:
    void buildInterface();
    void buildContextMenu();
    // The commands this list runs by itself when no window shares its own.
    void makeOwnActions();
    void useActions(HLVWindowActions* actions);
    void changeFilter(HLVFileList list, int item);
    void scheduleReload();
    void reload(bool reportSelectionChange);
    void showContextMenu(const QPoint& position);
    void tableViewSelectionDidChange();
    QList<int> selectedRows() const;
    bool operationRunning() const;
    void removeRecords(const QList<std::shared_ptr<HLVFileData>>& records);
    void reportSelection();
    void setTableShown(bool shown);
    // Filters by the search field's text once every record's text is known.
    void applySearch();
    // escapeButton: the index of the button Escape answers.
    void showAlert(const QString& message, const QString& informative, const QStringList& buttons, int escapeButton,
                   const QString& image, std::function<void(int)> answered);
    void applyArtwork(const HLVSelectionCommands::Cover& cover, const QList<std::shared_ptr<HLVFileData>>& records);
    // The tag columns: the shown records' tags read on the read pool, the rows
    // in sight first, once no add is under way (it would share the cores);
    // rows fill as the bridge delivers the records read.
    void scheduleColumnReads();
    void readColumns();
    void recordsLoaded(const QList<std::shared_ptr<HLVFileData>>& records);
    void columnsRead(const HLVFileSearchProxyModel::Texts& texts);
    QPair<int, int> visibleRows() const;
    void prioritizeVisibleRows();
    // An edit in a cell (a source row), applied to the selection when the row is part of it.
    void applyCellEdit(int sourceRow, int column, const QString& text);

    HLVFileViewControllerDelegate* _delegate = nullptr;
    HLVFileManager* _fileManager = nullptr;
    std::shared_ptr<HLVFileManagerBridge> _bridge;
    HLVFileList _dataSource = HLVFileList::All;
    QList<int> _currentSelection;
    std::shared_ptr<HLVFileData> _currentFileData;
    QPointer<QWidget> _fileDialogWindow;
    QPointer<HLVRenameTrackWindowController> _renameTrackWindowController;
    QPointer<QFileDialog> _fileDialog;
    bool _reloadScheduled = false;
    bool _columnReadsScheduled = false;
    int _removalRow = 0; // first selected row when a removal began
    std::optional<int> _requestedRemovalRow; // the same, when this list asked for the removal
    bool _reloading = false;
    bool _tableShown = false;
    // The list the rows were taken from, at which revision: a reload that
    // finds it unchanged leaves the rows alone.
    static constexpr quint64 kNoRevision = ~quint64(0);
    HLVFileList _shownList = HLVFileList::All;
    quint64 _shownRevision = kNoRevision;

    HLVFileListModel* _model = nullptr;
    HLVFileSearchProxyModel* _proxy = nullptr;
    HLVFileView* _fileView = nullptr;
    HLVFileListView* _tableView = nullptr;
    QLabel* _emptyListLabel = nullptr;
    QLineEdit* _searchField = nullptr;
    QTimer* _searchPause = nullptr; // filtering waits for a pause in typing
    HLVViewJobs* _searchTexts = nullptr;
    HLVViewJobs* _columnReads = nullptr;
    QToolButton* _addButton = nullptr;
    QToolButton* _addFolderButton = nullptr;
    QToolButton* _removeButton = nullptr;
    QToolButton* _filterButton = nullptr;
    QMenu* _filterMenu = nullptr;
    QList<QAction*> _filterItems;
    QFrame* _progressStrip = nullptr;
    QLabel* _progressLabel = nullptr;
    QString _operationMessage; // what the strip was put up for
    QProgressBar* _progressIndicator = nullptr;
    QPushButton* _cancelButton = nullptr;
    QLabel* _fileCountLabel = nullptr;

    QMenu* _contextMenu = nullptr;
    HLVWindowActions* _ownActions = nullptr;
    HLVWindowActions* _actions = nullptr;
    QAction* _openInFinderMenuItem = nullptr;
};
