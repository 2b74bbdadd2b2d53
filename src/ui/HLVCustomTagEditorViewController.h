#pragma once

#include "HLVCustomTagCellViewDelegate.h"
#include "HLVCustomTagValue.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <optional>

class HLVCustomTagCellView;
class HLVCustomTagEditorViewDelegate;
class HLVExpandingView;
class QPushButton;
class QSpacerItem;
class QVBoxLayout;

// The list of a file's custom tags under the standard fields. In normal mode
// each row shows an identifier and its editable value; in edit mode the user
// types new identifiers, renames and removes tags. It changes no file: it keeps
// a working list (removed tags are only marked) and reports every change to
// its delegate. Its content height goes to the collapsible section around it.
class HLVCustomTagEditorViewController : public QWidget, public HLVCustomTagCellViewDelegate
{
    Q_OBJECT
public:
    static constexpr double rowHeight = 35;
    static constexpr double buttonHeight = 29;
    static constexpr double buttonTopMargin = 8;

    explicit HLVCustomTagEditorViewController(QWidget* parent = nullptr);

    // The section whose content height follows the rows; not owned.
    void setExpandingView(HLVExpandingView* expandingView);
    HLVExpandingView* expandingView() const { return _expandingView; }

    void setIsInEditMode(bool editMode);
    bool isInEditMode() const { return _isInEditMode; }
    // The file shown (the first of several): new identifiers read their text from it,
    // and its extension picks the catalogue.
    void setActiveFilePath(const std::optional<QString>& path) { _activeFilePath = path; }
    const std::optional<QString>& activeFilePath() const { return _activeFilePath; }
    // Keeps a copy of the list; removed tags stay in it, marked for removal.
    void setCustomTagValues(const HLVCustomTagValueArray& values);
    const HLVCustomTagValueArray& customTagValues() const { return _customTagValues; }

    void addRemoveCustomTagButtonClicked();
    // Rebuilds the shown rows from the working list and sizes the list.
    int numberOfRowsInTableView();
    HLVCustomTagCellView* tableViewViewForRow(int row);
    void reloadData();
    bool doesIdentifierExist(const QString& identifier) const;
    double contentHeight() const { return _contentHeight; }
    // The row view shown at a row, or null past the last row.
    HLVCustomTagCellView* cellAtRow(int row) const;

    HLVCustomTagEditorViewDelegate* delegate() const { return _delegate; }
    void setDelegate(HLVCustomTagEditorViewDelegate* delegate) { _delegate = delegate; }

    QPushButton* addRemoveCustomTagButton() const { return _addRemoveCustomTagButton; }
    QWidget* tableView() const { return _tableView; }

    bool allowToUpdateIdentifierFrom(const QString& oldIdentifier, const QString& newIdentifier) override;
    void removeCustomTagSelected(const QString& identifier) override;
    void customTagWithIdentifierValueUpdated(const QString& identifier, const QString& value) override;

private:
    void awakeFromNib();
    std::optional<QString> fileExtension() const;
    // Adds the row's value, filled in from the active file once read on a worker.
    void appendValueFromActiveFile(const QString& identifier);
    void focusEntryRow();
    void focusRowWithIdentifier(const QString& identifier);

    QPointer<HLVExpandingView> _expandingView;
    QPushButton* _addRemoveCustomTagButton = nullptr;
    QWidget* _tableView = nullptr;
    QVBoxLayout* _tableLayout = nullptr;
    QSpacerItem* _buttonTopSpacer = nullptr;
    QList<HLVCustomTagCellView*> _cells;
    int _shownRows = 0;
    double _contentHeight = 0;

    HLVCustomTagValueArray _customTagValuesToDisplay;
    bool _initialized = false;
    bool _isInEditMode = false;
    HLVCustomTagEditorViewDelegate* _delegate = nullptr;
    std::optional<QString> _activeFilePath;
    HLVCustomTagValueArray _customTagValues;
};
