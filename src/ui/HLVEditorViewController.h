#pragma once

#include "HLVMatchesEditorDelegate.h"
#include "HLVTagEditorDelegate.h"

#include <QCheckBox>
#include <QFrame>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class HLVBatchProgressPresenter;
class HLVEditorViewDelegate;
class HLVFileData;
class HLVFileManager;
class HLVFileManagerBridge;
class HLVRecordChanges;
class HLVHoverButton;
class HLVMatchesEditorViewController;
class HLVStatusEditorViewController;
class HLVStripPlaceholder;
class HLVTagEditorViewController;
class HLVWindowActions;
class QGraphicsOpacityEffect;
class QLabel;
class QScrollArea;
class QToolButton;

// The editing area of the main window: the tag editor for the selected file or
// files, the control bar (download tags, save changes, remove tags, undo: the
// window's shared commands), the one-time help popover for downloading, the
// progress strip of a long batch (HLVBatchProgressPresenter) and the strip for
// stepping through candidate releases. Commands go to the file manager; its
// notices arrive through a bridge on the main thread.
class HLVEditorViewController : public QWidget,
                                public HLVTagEditorDelegate,
                                public HLVMatchesEditorDelegate
{
    Q_OBJECT
public:
    explicit HLVEditorViewController(QWidget* parent = nullptr);
    ~HLVEditorViewController() override;

    // Takes the file manager and the dialog window from the delegate and listens
    // to the manager. The delegate and its file manager must outlive the editor.
    void setDelegate(HLVEditorViewDelegate* delegate);
    HLVEditorViewDelegate* delegate() const { return _delegate; }

    void displayEditorForFileData(const std::shared_ptr<HLVFileData>& fileData);
    // rows: the selected rows (ascending) of files, the list the user sees.
    void displayEditorForIndexSet(const QList<int>& rows, const QList<std::shared_ptr<HLVFileData>>& files);
    void refreshEditorForCurrentFileArray();
    void displayDownloadTagsPopover();

    void displayMatchesViewForFileData(const std::shared_ptr<HLVFileData>& fileData);
    // currentMatch counts from 0.
    void displayMatchesViewWithMatchCount(unsigned long matchCount, unsigned long currentMatch);
    void hideMatchesView();

    // Commands.
    void tagButtonPressed();
    void downloadTags();
    void downloadTagsCloseButtonSelected();
    void downloadTagsHideButtonSelected();
    // Asks first (window-modal); the answer removes the tags of the files shown.
    void detagButtonPressed();
    void saveChangesButtonSelected();
    void saveChanges();
    void performSave();
    void undoChangesButtonSelected();
    void undoChanges();
    void stopTrackPreview();

    // Enables the control bar's buttons (and the menus sharing their
    // commands) by the one rule (HLVCommandState).
    void updateControlBarButtons();
    // The control bar's commands: the window's shared ones once the delegate
    // gives them, else the editor's own.
    HLVWindowActions* windowActions() const { return _actions; }

    // The file manager's notices (through the bridge, on the main thread).
    void fileOperationDidStart(int operation);
    void fileOperationDidFinish(int operation);
    void onFileDataModified(const std::shared_ptr<HLVFileData>& fileData, int code);
    void recordsChanged(const HLVRecordChanges& changes);

    QWidget* windowToDisplayTagEditorDialogs() override;
    HLVFileManager* tagEditorFileManagerSource() override;
    void tagEditorFileWasModified(HLVTagEditorViewController* editor) override;
    void matchesEditorMatchSelectionUpdated(HLVMatchesEditorViewController* editor, unsigned long match) override;

    // Milliseconds of the strips' slides (0.25 s) and the popover's fades
    // (0.5 s); zero applies at once, with the same end state.
    void setAnimationDurations(int stripMilliseconds, int fadeMilliseconds);

    const std::shared_ptr<HLVFileData>& editorFileData() const { return _editorFileData; }
    const QList<std::shared_ptr<HLVFileData>>& editorFileArray() const { return _editorFileArray; }
    unsigned long saveCount() const { return _saveCount; }
    bool isStatusViewVisible() const;
    bool isMatchesViewVisible() const { return _matchesViewVisible; }
    // Null until first used.
    HLVStatusEditorViewController* statusEditorViewController() const;
    HLVMatchesEditorViewController* matchesEditorViewController() const { return _matchesEditorViewController; }
    HLVTagEditorViewController* tagEditorViewController() const { return _tagEditorViewController; }
    QLabel* editingFilesCountLabel() const { return _editingFilesCountLabel; }
    HLVHoverButton* tagButton() const { return _tagButton; }
    HLVHoverButton* tagTextButton() const { return _tagTextButton; }
    HLVHoverButton* saveChangesButton() const { return _saveChangesButton; }
    HLVHoverButton* saveChangesTextButton() const { return _saveChangesTextButton; }
    QToolButton* detagButton() const { return _detagButton; }
    QToolButton* undoChangesButton() const { return _undoChangesButton; }
    // Null once the popover has been removed for this run.
    QFrame* downloadTagsPopoverBox() const { return _downloadTagsPopoverBox; }
    QCheckBox* downloadTagsHideButton() const { return _downloadTagsHideButton; }
    QPushButton* downloadTagsCloseButton() const { return _downloadTagsCloseButton; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControlBar();
    void makeOwnActions();
    void useActions(HLVWindowActions* actions);
    void buildPopover();
    void placePopover();
    // Hides the control bar's labels that do not fit the width.
    void fitControlBar(int width);
    void removePopover();
    void fadePopover(double to, bool removeAfter);
    void showFilesAgain();
    void showEditingCount(qsizetype count);
    qsizetype filesShownCount() const;
    void scrollEditorToTop();

    HLVEditorViewDelegate* _delegate = nullptr;
    QPointer<QWidget> _fileDialogWindow;
    HLVFileManager* _fileManager = nullptr;
    std::shared_ptr<HLVFileManagerBridge> _bridge;
    std::shared_ptr<HLVFileData> _editorFileData;
    QList<std::shared_ptr<HLVFileData>> _editorFileArray;
    QSet<const HLVFileData*> _editorFiles; // the records of _editorFileArray

    HLVTagEditorViewController* _tagEditorViewController = nullptr;
    HLVBatchProgressPresenter* _batchProgress = nullptr;
    HLVMatchesEditorViewController* _matchesEditorViewController = nullptr;
    QScrollArea* _editorScrollView = nullptr;
    HLVStripPlaceholder* _statusPlaceholderView = nullptr;
    HLVStripPlaceholder* _matchesPlaceholderView = nullptr;
    QLabel* _editingFilesCountLabel = nullptr;
    HLVHoverButton* _tagButton = nullptr;
    HLVHoverButton* _tagTextButton = nullptr;
    HLVHoverButton* _saveChangesButton = nullptr;
    HLVHoverButton* _saveChangesTextButton = nullptr;
    QToolButton* _detagButton = nullptr;
    QToolButton* _undoChangesButton = nullptr;
    QPointer<QFrame> _downloadTagsPopoverBox;
    QPointer<QPushButton> _downloadTagsCloseButton;
    QPointer<QCheckBox> _downloadTagsHideButton;
    QGraphicsOpacityEffect* _popoverOpacity = nullptr;
    QPointer<QMessageBox> _detagAlert;
    HLVWindowActions* _ownActions = nullptr;
    HLVWindowActions* _actions = nullptr;

    bool _matchesViewVisible = false;
    bool _firstRun = true;
    unsigned long _saveCount = 0;
    int _stripDuration = 250;
    int _fadeDuration = 500;
};
