#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <memory>

class HLVCustomTagCellViewDelegate;
class HLVCustomTagValue;
class HLVKnownTagDetail;
class QLabel;
class QLineEdit;
class QToolButton;

// One row of the custom tag list: in normal mode the identifier and its editable
// value; in edit mode an editable identifier and a remove button, or, on the
// entry row, an empty identifier field with a hint for adding a tag.
class HLVCustomTagCellView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int rowHeight = 35;

    explicit HLVCustomTagCellView(QWidget* parent = nullptr);

    void setCustomTagValue(const std::shared_ptr<HLVCustomTagValue>& value,
                           const std::shared_ptr<const HLVKnownTagDetail>& knownTagDetail);
    // Makes this the empty row for a new tag.
    void setIsEntryCell();
    bool isEntryCell() const { return _isEntryCell; }
    void setTagIdentifier(const QString& identifier);
    void setTagValue(const QString& value);
    void setKnownTagDetail(const std::shared_ptr<const HLVKnownTagDetail>& knownTagDetail);
    void setIsInEditMode(bool editMode);

    void removeButtonClicked();
    void tagIdentifierDidChange();
    void tagValueDidChange();
    static QColor errorColor();
    // The background the fields have when their text is acceptable.
    QColor normalColor() const;

    const QString& tagIdentifier() const { return _tagIdentifier; }
    const QString& tagValue() const { return _tagValue; }
    bool isTagValueModified() const { return _isTagValueModified; }
    bool isInEditMode() const { return _isInEditMode; }
    const std::shared_ptr<const HLVKnownTagDetail>& knownTagDetail() const { return _knownTagDetail; }
    HLVCustomTagCellViewDelegate* delegate() const { return _delegate; }
    void setDelegate(HLVCustomTagCellViewDelegate* delegate) { _delegate = delegate; }

    QToolButton* removeButton() const { return _removeButton; }
    QLineEdit* identifierTextField() const { return _identifierTextField; }
    QLabel* identifierLabel() const { return _identifierLabel; }
    QLineEdit* valueTextField() const { return _valueTextField; }
    QLabel* hintLabel() const { return _hintLabel; }

private:
    void setFieldBackground(QLineEdit* field, const QColor& color);
    void showMode();

    QToolButton* _removeButton;
    QLineEdit* _identifierTextField;
    QLabel* _identifierLabel;
    QLineEdit* _valueTextField;
    QLabel* _hintLabel;

    bool _programmaticModification = false;
    bool _isEntryCell = false;
    bool _isTagValueModified = false;
    bool _isInEditMode = false;
    // Counts how often the owner has set the row's identifier, so a row that the
    // owner reloaded while it was asking about a new identifier keeps its fresh look.
    unsigned _identifierGeneration = 0;
    HLVCustomTagCellViewDelegate* _delegate = nullptr;
    QString _tagIdentifier;
    QString _tagValue;
    std::shared_ptr<const HLVKnownTagDetail> _knownTagDetail;
};
