#pragma once

#include "HLVFileData.h"
#include "HLVFileNameStructure.h"

#include <QDialog>
#include <QList>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

// The rename dialog: up to three tag fields joined by " - ", an example of the
// pattern, and the selected files with the names they would get, where those
// that would be left alone say why. Applying stores the pattern and accepts;
// the caller runs the renames.
class HLVRenameTrackWindowController : public QDialog
{
    Q_OBJECT
public:
    explicit HLVRenameTrackWindowController(QWidget* parent = nullptr);

    HLVFileNameStructure fileNameStructure() const { return _fileNameStructure; }
    void setFileNameStructure(const std::optional<HLVFileNameStructure>& structure);
    QList<std::shared_ptr<HLVFileData>> selectedFiles() const { return _selectedFiles; }
    void setSelectedFiles(const QList<std::shared_ptr<HLVFileData>>& files);

    // The title of the pop-up entry that stands for no field, and of each field.
    static QString noFieldTitle();
    static QString fieldTitle(int identifier);

    // What a rename with the structure would do to each file, in order, in
    // words (HLVRenamingPlan decides). Reads tags and looks at the disk: never
    // on the main thread.
    struct Outcome
    {
        QString currentName;
        QString newName;   // empty when left alone
        QString leftAlone; // why the file keeps its name; empty when renamed
    };
    static QList<Outcome> outcomes(const QList<std::shared_ptr<HLVFileData>>& files,
                                   const HLVFileNameStructure& structure);

    void updateControls();
    // The preview's outcomes are still being worked out on a worker.
    bool isPreviewPending() const;
    void fileStructureModified(QComboBox* sender);
    void apply();

private:
    HLVFileNameStructure _fileNameStructure;
    QComboBox* popUpButtonA = nullptr;
    QComboBox* popUpButtonB = nullptr;
    QComboBox* popUpButtonC = nullptr;
    QLabel* exampleTextField = nullptr;
    QTreeWidget* _previewList = nullptr;
    QPushButton* applyButton = nullptr;
    QList<std::shared_ptr<HLVFileData>> _selectedFiles;
    class HLVViewJobs* _preview = nullptr;

    void showOutcomes(const QList<Outcome>& outcomes);
};
