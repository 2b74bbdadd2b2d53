#include "HLVEditorPanel.h"

#include "HLVEditorViewController.h"
#include "HLVEditorViewDelegate.h"
#include "HLVFileData.h"

#include <QPointer>

namespace {

// The editing area: the editor controller with its control bar, matches and
// status strips around the tag editor form.
class HLVEditorControllerPanel final : public HLVEditorPanel, public HLVEditorViewDelegate
{
public:
    HLVEditorControllerPanel(HLVEditorPanelOwner* owner, QWidget* parent)
        : _owner(owner)
        , _editor(new HLVEditorViewController(parent))
    {
        _editor->setDelegate(this);
    }

    ~HLVEditorControllerPanel() override
    {
        if (_editor)
            _editor->setDelegate(nullptr);
    }

    QWidget* view() const override { return _editor; }

    void displayEditorForFileData(const std::shared_ptr<HLVFileData>& fileData) override
    {
        _editor->displayEditorForFileData(fileData);
    }

    void displayEditorForIndexSet(const QList<int>& rows, const QList<std::shared_ptr<HLVFileData>>& shown) override
    {
        _editor->displayEditorForIndexSet(rows, shown);
    }

    void stopTrackPreview() override { _editor->stopTrackPreview(); }
    void saveChanges() override { _editor->saveChanges(); }
    void undoChanges() override { _editor->undoChanges(); }
    void downloadTags() override { _editor->downloadTags(); }

    QWidget* windowToDisplayEditorViewDialogs() override { return _owner->windowToDisplayEditorViewDialogs(); }
    HLVFileManager* editorViewFileManagerSource() override { return _owner->editorViewFileManagerSource(); }
    void editorViewFileWasSaved(HLVEditorViewController*) override { _owner->editorViewFileWasSaved(); }
    void editorViewFileModified(HLVEditorViewController*) override { _owner->editorViewFileModified(); }
    HLVWindowActions* editorViewWindowActions() override { return _owner->editorViewWindowActions(); }

private:
    HLVEditorPanelOwner* _owner;
    QPointer<HLVEditorViewController> _editor;
};

} // namespace

std::unique_ptr<HLVEditorPanel> HLVEditorPanel::create(HLVEditorPanelOwner* owner, QWidget* parent)
{
    return std::make_unique<HLVEditorControllerPanel>(owner, parent);
}
