#include "HLVEditorPanel.h"

#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVTagEditorDelegate.h"
#include "HLVTagEditorViewController.h"

#include <QPointer>

namespace {

// The tag editor form on its own: it edits, this panel saves and undoes.
class HLVTagEditorPanel final : public HLVEditorPanel, public HLVTagEditorDelegate
{
public:
    HLVTagEditorPanel(HLVEditorPanelOwner* owner, QWidget* parent)
        : _owner(owner)
        , _editor(new HLVTagEditorViewController(parent))
    {
        _editor->setDelegate(this);
    }

    ~HLVTagEditorPanel() override
    {
        if (_editor)
            _editor->setDelegate(nullptr);
    }

    QWidget* view() const override { return _editor; }

    void displayEditorForFileData(const std::shared_ptr<HLVFileData>& fileData) override
    {
        _editor->displayFileData(fileData);
    }

    void displayEditorForIndexSet(const QList<int>& rows, const QList<std::shared_ptr<HLVFileData>>& shown) override
    {
        QList<std::shared_ptr<HLVFileData>> files;
        for (int row : rows) {
            if (row >= 0 && row < shown.size())
                files.append(shown[row]);
        }
        _editor->displayFileDataSet(files);
    }

    void stopTrackPreview() override { _editor->stopTrackPreview(); }

    void saveChanges() override
    {
        _editor->confirmChanges();
        const auto files = filesShown();
        if (files.isEmpty())
            return;
        _owner->editorViewFileManagerSource()->saveFiles(files);
        _owner->editorViewFileWasSaved();
    }

    void undoChanges() override
    {
        _editor->confirmChanges();
        const auto files = filesShown();
        for (const auto& file : files)
            file->undoChanges();
        if (files.size() == 1)
            _editor->displayFileData(files.first());
        else if (!files.isEmpty())
            _editor->displayFileDataSet(files);
        _owner->editorViewFileWasSaved();
    }

    QWidget* windowToDisplayTagEditorDialogs() override { return _owner->windowToDisplayEditorViewDialogs(); }
    HLVFileManager* tagEditorFileManagerSource() override { return _owner->editorViewFileManagerSource(); }
    void tagEditorFileWasModified(HLVTagEditorViewController*) override
    {
        const auto files = filesShown();
        if (files.size() == 1)
            _owner->editorViewFileManagerSource()->fileWasModified(files.first());
        else if (!files.isEmpty())
            _owner->editorViewFileManagerSource()->filesWereModified(files);
        _owner->editorViewFileModified();
    }

private:
    QList<std::shared_ptr<HLVFileData>> filesShown() const
    {
        if (_editor->displayedFileData())
            return {_editor->displayedFileData()};
        return _editor->displayedFileDataSet();
    }

    HLVEditorPanelOwner* _owner;
    QPointer<HLVTagEditorViewController> _editor;
};

} // namespace

std::unique_ptr<HLVEditorPanel> HLVEditorPanel::create(HLVEditorPanelOwner* owner, QWidget* parent)
{
    return std::make_unique<HLVTagEditorPanel>(owner, parent);
}
