#pragma once

#include "HLVCustomTagEditorViewDelegate.h"
#include "HLVExpandingViewDelegate.h"
#include "HLVFailure.h"
#include "HLVHoverButtonDelegate.h"
#include "HLVSelectionSummary.h"

#include <QImage>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class HLVArtwork;
class HLVArtworkWindowController;
class HLVCustomTagEditorViewController;
class HLVExpandingView;
class HLVFileData;
class HLVFileDetailsView;
class HLVFileManager;
class HLVFileManagerBridge;
class HLVRecordChanges;
class HLVViewJobs;
class HLVHoverButton;
class HLVTagEditorDelegate;
class HLVTagTextField;
struct HLVTagField;
class QAbstractAnimation;
class QAction;
class QAudioOutput;
class QCheckBox;
class QLabel;
class QMediaPlayer;
class QMimeData;
class QProgressBar;
class QToolButton;

// The form in which the user edits the tags of one file or of several at once:
// the thirteen tag fields, the compilation box, the artwork well with its
// commands, the preview of the track and the custom tags. Every edit goes into
// the pending changes of the files shown (never straight to disk) and the file
// manager is told; saving is the owner's business. The manager's notices reach
// it on the main thread through a bridge; pictures found on the web are fetched
// on a worker.
class HLVTagEditorViewController : public QWidget,
                                   public HLVHoverButtonDelegate,
                                   public HLVCustomTagEditorViewDelegate,
                                   public HLVExpandingViewDelegate
{
    Q_OBJECT
public:
    explicit HLVTagEditorViewController(QWidget* parent = nullptr);
    ~HLVTagEditorViewController() override;

    // Takes the file manager from the delegate and listens to it. The delegate
    // and its file manager must outlive the editor.
    void setDelegate(HLVTagEditorDelegate* delegate);
    HLVTagEditorDelegate* delegate() const { return _delegate; }

    void displayFileData(const std::shared_ptr<HLVFileData>& fileData);
    void displayFileDataSet(const QList<std::shared_ptr<HLVFileData>>& files);
    const std::shared_ptr<HLVFileData>& displayedFileData() const { return _tagFileData; }
    const QList<std::shared_ptr<HLVFileData>>& displayedFileDataSet() const { return _tagFileArray; }

    // The user typed in a field / ended typing in it (or a forced commit did).
    void controlTextDidChange(HLVTagTextField* field);
    void controlTextDidEndEditing(HLVTagTextField* field);
    // Commits the field still being typed in, if any; called before every command.
    void confirmChanges();

    void compilationButtonStateChanged();
    void downloadArtworkButtonPressed();
    // Opens the open panel over the delegate's window; the choice goes to loadArtworkFromPath.
    void loadArtworkButtonPressed();
    void restoreArtworkButtonPressed();
    void removeArtworkButtonPressed();
    void viewArtworkButtonPressed();
    void playTrackButtonPressed();
    void stopTrackPreview();

    // Reads the picture and makes it the chosen artwork of the file or files
    // shown; false (nothing changed) when it cannot be read.
    bool loadArtworkFromPath(const QString& path, HLVFailure* failure = nullptr);
    // Fetches the picture at the pending ArtworkPath on a worker and shows it.
    void loadArtworkFromFileData(const std::shared_ptr<HLVFileData>& fileData);
    void setShowArtworkLoading(bool show);

    // The file manager's notices (through the bridge, on the main thread).
    void fileOperationDidStart(int operation);
    void fileOperationDidFinish(int operation);
    void fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code);
    void recordsChanged(const HLVRecordChanges& changes);
    void updateDisplayForFileData(const std::shared_ptr<HLVFileData>& fileData, int code);

    void customTagEditorViewTagValueModified(HLVCustomTagEditorViewController* editor,
                                             const std::shared_ptr<HLVCustomTagValue>& value) override;
    void customTagEditorViewTagWithIdentifierAdded(HLVCustomTagEditorViewController* editor,
                                                   const QString& identifier) override;
    void customTagEditorViewTagWithIdentifierRemoved(HLVCustomTagEditorViewController* editor,
                                                     const QString& identifier) override;
    static void modifyTagWithIdentifier(const QString& identifier, const std::optional<QString>& value,
                                        const std::shared_ptr<HLVFileData>& fileData);
    static void addTagWithIdentifier(const QString& identifier, const std::shared_ptr<HLVFileData>& fileData);
    static void removeTagWithIdentifier(const QString& identifier, const std::shared_ptr<HLVFileData>& fileData);
    void expandingViewDidExpandToSize(HLVExpandingView* view, double size, double delta) override;
    void expandingViewDidCollapseToSize(HLVExpandingView* view, double size, double delta) override;

    // Drops of picture files onto the well.
    static QStringList acceptedPBoardTypes();
    static QStringList acceptedExtensionTypes();
    bool draggingEntered(const QMimeData* data) const;
    bool performDragOperation(const QMimeData* data);
    bool hoverButtonDraggingEntered(HLVHoverButton* button, const QMimeData* data) override;
    bool hoverButtonPerformDragOperation(HLVHoverButton* button, const QMimeData* data) override;

    // Whether the artwork well's Copy or Paste action can act now (false for any other action).
    bool validateMenuItem(const QAction* item) const;
    void copyImage();
    // Stores the clipboard's picture as a JPEG in this process's artwork
    // folder (HLVArtworkFolder) and loads it.
    bool pasteImage(HLVFailure* failure = nullptr);

    // Why the preview cannot play; empty when it can, as far as is known
    // before the first preview starts the media back end.
    QString previewUnavailableReason() const { return _previewUnavailableReason; }
    bool isPlayingPreview() const { return _isPreviewing; }
    QMediaPlayer* audioPlayer() const { return _audioPlayer; }

    // Milliseconds for the custom section and the form's growth; zero applies at once.
    void setAnimationDuration(int milliseconds);

    HLVTagTextField* textFieldForKey(const QString& key) const;
    const QList<HLVTagTextField*>& textFields() const { return _textFields; }
    QCheckBox* compilationButton() const { return _compilationButton; }
    // Why the files shown cannot be changed; hidden when they can.
    QLabel* readOnlyReasonLabel() const { return _readOnlyReasonLabel; }
    HLVHoverButton* viewArtworkButton() const { return _viewArtworkButton; }
    QToolButton* downloadArtworkButton() const { return _downloadArtworkButton; }
    QToolButton* loadArtworkButton() const { return _loadArtworkButton; }
    QToolButton* restoreArtworkButton() const { return _restoreArtworkButton; }
    QToolButton* removeArtworkButton() const { return _removeArtworkButton; }
    QProgressBar* artworkProgressIndicator() const { return _artworkProgressIndicator; }
    HLVHoverButton* playTrackButton() const { return _playTrackButton; }
    HLVHoverButton* playTrackIconButton() const { return _playTrackIconButton; }
    QWidget* playTrackBox() const { return _playTrackBox; }
    HLVCustomTagEditorViewController* customTagEditorViewController() const { return _customTagEditorViewController; }
    HLVExpandingView* customTagsSection() const { return _customTagsSection; }
    HLVFileDetailsView* fileDetailsView() const { return _fileDetailsView; }
    HLVArtworkWindowController* artworkWindowController() const { return _artworkWindowController; }
    // The picture the well shows (null when it shows a title) and its title.
    const QImage& artworkImage() const { return _artworkImage; }
    // The tags of the file or files shown are still being read or summed up
    // on a worker; the fields are disabled meanwhile.
    bool isWorking() const;
    QString artworkTitle() const;
    bool isArtworkLoading() const;

private:
    void buildForm();
    void awakeFromNib();
    QList<std::shared_ptr<HLVFileData>> filesShown() const;
    const HLVTagField* tagFieldFor(const HLVTagTextField* field) const;
    void showValuesOfFile(const std::shared_ptr<HLVFileData>& fileData);
    void summarizeShownFiles(bool sameFiles);
    void applySummary(const HLVSelectionSummary& summary);
    void setWorking(bool working);
    // Fields read-only, with the reason above them, when no file shown can be written.
    void showEditability();
    void refreshSavedValues();
    void showSavedValues();
    void updateCompilationMark();
    void noteFirstModification(bool tellFileManager);
    void tellFileManager();
    void tellDelegateOfModification();
    void applyCustomTagChange(const std::function<void(const std::shared_ptr<HLVFileData>&)>& change);
    int currentOperation() const;
    void growBy(double delta);

    // The artwork well.
    void showArtworkImage(const QImage& image);
    // A picture in memory at once; the file's own read and scaled on a worker.
    void showArtworkOf(const std::shared_ptr<HLVFileData>& fileData, const HLVArtwork& artwork);
    // The full picture the well shows a thumbnail of (read on a worker), then what.
    void withFullArtwork(const std::function<void(const QImage&)>& use);
    void showArtworkTitle(const QString& title);
    void applyChosenArtwork(const QImage& image, const QString& path);
    bool initialTagsHaveArtwork(const std::shared_ptr<HLVFileData>& fileData) const;
    // What an empty number field over files that differ shows.
    static QString differingNumbersText();
    void artworkFetchFinished(const std::shared_ptr<HLVFileData>& fileData, const QImage& image,
                              const std::optional<QString>& album, quint64 fetch);
    QString droppedImagePath(const QMimeData* data) const;
    void showArtworkContextMenu(const QPoint& position);

    // The preview.
    void updatePreviewAvailability();
    void ensureAudioPlayer();
    void showPreviewPlaying(bool playing);
    // Says in an alert why the track the user asked to hear does not play.
    void alertPreviewFailure(const QString& reason);

    QList<HLVTagTextField*> _textFields;
    QList<const HLVTagField*> _tagFields; // what each text field edits
    QCheckBox* _compilationButton = nullptr;
    QLabel* _readOnlyReasonLabel = nullptr;
    HLVHoverButton* _playTrackButton = nullptr;
    HLVHoverButton* _playTrackIconButton = nullptr;
    QToolButton* _downloadArtworkButton = nullptr;
    QToolButton* _loadArtworkButton = nullptr;
    QToolButton* _restoreArtworkButton = nullptr;
    QToolButton* _removeArtworkButton = nullptr;
    HLVHoverButton* _viewArtworkButton = nullptr;
    QProgressBar* _artworkProgressIndicator = nullptr;
    QWidget* _playTrackBox = nullptr;
    HLVExpandingView* _customTagsSection = nullptr;
    HLVCustomTagEditorViewController* _customTagEditorViewController = nullptr;
    HLVFileDetailsView* _fileDetailsView = nullptr;
    QAction* _copyAction = nullptr;
    QAction* _pasteAction = nullptr;
    QPointer<QAbstractAnimation> _growth;
    int _animationDuration = 250;

    bool _compilation = false;
    // What the files shown have saved, kept per record so a save refreshes
    // only the records it wrote.
    HLVSelectionSummary::SavedByRecord _savedByRecord;
    QList<QHash<QString, int>> _savedCounts; // per field: saved text -> files
    int _savedCompilationsOn = 0;
    QSet<const HLVFileData*> _shownRecords;
    QSet<const HLVFileData*> _savedSinceShown;
    quint64 _displayGeneration = 0;
    HLVViewJobs* _loadJob = nullptr;
    HLVViewJobs* _summaryJob = nullptr;
    HLVViewJobs* _pictureJob = nullptr;
    std::shared_ptr<HLVFileData> _thumbnailOf; // the well shows a thumbnail of this file's own picture
    bool _compilationShowsPendingValue = false;
    bool _hasNotifiedOfModification = false;
    bool _artworkIsDownloading = false;
    quint64 _artworkFetch = 0; // the latest fetch; older answers only update their file
    QImage _artworkImage;
    QString _artworkTitle;
    QPointer<QWidget> _fileDialogWindow;
    HLVFileManager* _fileManager = nullptr;
    std::shared_ptr<HLVFileManagerBridge> _bridge;
    std::shared_ptr<HLVFileData> _tagFileData;
    QList<std::shared_ptr<HLVFileData>> _tagFileArray;
    HLVArtworkWindowController* _artworkWindowController = nullptr;
    QMediaPlayer* _audioPlayer = nullptr;
    QAudioOutput* _audioOutput = nullptr;
    bool _isPreviewing = false;
    QString _previewUnavailableReason;
    QString _previewFailure; // found when a preview was first asked for
    HLVTagEditorDelegate* _delegate = nullptr;
};
