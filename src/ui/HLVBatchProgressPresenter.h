#pragma once

#include "HLVStatusEditorDelegate.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>

class HLVFileData;
class HLVFileManager;
class HLVStatusEditorViewController;
class HLVStripPlaceholder;
class QWidget;

// The editor's progress strip for the long batches (save, artwork, tags,
// rename) and, when one ends with failures, the summary that takes its place
// until dismissed or the next batch. Driven only by batch start and finish
// and the files' notices between them, so the strip goes with every finish
// whatever is shown meanwhile.
class HLVBatchProgressPresenter : public QObject, public HLVStatusEditorDelegate
{
    Q_OBJECT
public:
    // The strip lives in placeholder; parent holds it while it is out.
    HLVBatchProgressPresenter(HLVStripPlaceholder* placeholder, QWidget* parent);

    void setFileManager(HLVFileManager* manager) { _fileManager = manager; }
    void setSlideDuration(int milliseconds) { _slideDuration = milliseconds; }

    // shown: files in the editor; several: more than one of them is shown;
    // saveCount: files of the editor's own save of several. Answers whether
    // the strip now counts this batch.
    bool batchStarted(int operation, qsizetype shown, bool several, unsigned long saveCount);
    void batchFinished(int operation);
    // One file's notice: keeps its failure for the summary; answers whether
    // it is a step of the batch being counted.
    bool noteFileChange(const std::shared_ptr<HLVFileData>& fileData, int code);
    void advance(int steps);

    bool isVisible() const { return _visible; }
    bool isCountingTags() const { return _counting == Counting::Tags; }
    // Null until first shown.
    HLVStatusEditorViewController* strip() const { return _strip; }

    void statusEditorCancelOperationWasSelected(HLVStatusEditorViewController* editor) override;

private:
    enum class Counting { None, Saving, Artwork, Tags, Renaming };

    void display(const QString& message, double target);
    void hide();
    void showFailureSummary(int operation);

    HLVStripPlaceholder* _placeholder;
    QPointer<QWidget> _parent;
    HLVFileManager* _fileManager = nullptr;
    HLVStatusEditorViewController* _strip = nullptr;
    int _slideDuration = 250;
    bool _visible = false;
    bool _showsSummary = false;
    Counting _counting = Counting::None;
    // Failures of the running batch, as "name: reason".
    int _failureOperation = 0;
    QStringList _failures;
};
