#include "HLVCustomTagCellView.h"
#include "HLVCustomTagCellViewDelegate.h"
#include "HLVCustomTagValue.h"
#include "HLVIconButton.h"
#include "HLVKnownTagDetail.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QToolButton>

namespace {

constexpr int identifierWidth = 64;

bool readsAsNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    bool ok = false;
    QLocale::c().toDouble(trimmed, &ok);
    if (!ok)
        QLocale().toDouble(trimmed, &ok);
    return ok;
}

// Sets a flag for the duration of a change the row makes itself.
class ProgrammaticChange
{
public:
    explicit ProgrammaticChange(bool& flag) : _flag(flag), _previous(flag) { _flag = true; }
    ~ProgrammaticChange() { _flag = _previous; }
    ProgrammaticChange(const ProgrammaticChange&) = delete;
    ProgrammaticChange& operator=(const ProgrammaticChange&) = delete;

private:
    bool& _flag;
    bool _previous;
};

} // namespace

HLVCustomTagCellView::HLVCustomTagCellView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("customTagCell"));
    setFixedHeight(rowHeight);

    _removeButton = new QToolButton(this);
    _removeButton->setObjectName(QStringLiteral("removeButton"));
    _removeButton->setIconSize(QSize(14, 14));
    _removeButton->setAutoRaise(true);
    HLVIconButton::setIcon(_removeButton, QStringLiteral(":/images/CustomTagRemove.svg"), QStringLiteral("-"),
                           tr("Remove this tag"));

    _identifierLabel = new QLabel(this);
    _identifierLabel->setObjectName(QStringLiteral("identifierLabel"));
    _identifierLabel->setFixedWidth(identifierWidth);
    _identifierLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    _identifierTextField = new QLineEdit(this);
    _identifierTextField->setObjectName(QStringLiteral("identifierTextField"));
    _identifierTextField->setFixedWidth(identifierWidth);
    _identifierTextField->setAccessibleName(tr("Tag identifier"));

    _valueTextField = new QLineEdit(this);
    _valueTextField->setObjectName(QStringLiteral("valueTextField"));
    _valueTextField->setAccessibleName(tr("Tag value"));

    _hintLabel = new QLabel(tr("Type a four-character identifier to add a tag"), this);
    _hintLabel->setObjectName(QStringLiteral("hintLabel"));
    _hintLabel->setForegroundRole(QPalette::PlaceholderText);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 3, 2, 3);
    layout->setSpacing(6);
    layout->addWidget(_removeButton);
    layout->addWidget(_identifierLabel);
    layout->addWidget(_identifierTextField);
    layout->addWidget(_valueTextField, 1);
    layout->addWidget(_hintLabel, 1);
    // Takes the free space only when neither stretching field is shown (edit mode), so the
    // identifier fields stay at the left.
    layout->addStretch(0);

    connect(_removeButton, &QToolButton::clicked, this, &HLVCustomTagCellView::removeButtonClicked);
    connect(_identifierTextField, &QLineEdit::textChanged, this, &HLVCustomTagCellView::tagIdentifierDidChange);
    connect(_valueTextField, &QLineEdit::textChanged, this, &HLVCustomTagCellView::tagValueDidChange);

    showMode();
}

QColor HLVCustomTagCellView::errorColor()
{
    return QColor::fromRgbF(1.0f, 2.0f / 3.0f, 2.0f / 3.0f, 1.0f);
}

QColor HLVCustomTagCellView::normalColor() const
{
    return QPalette().color(QPalette::Base);
}

void HLVCustomTagCellView::setFieldBackground(QLineEdit* field, const QColor& color)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, color);
    field->setPalette(palette);
}

void HLVCustomTagCellView::setCustomTagValue(const std::shared_ptr<HLVCustomTagValue>& value,
                                             const std::shared_ptr<const HLVKnownTagDetail>& knownTagDetail)
{
    // Rows are reused, so a former entry row becomes an ordinary one here.
    _isEntryCell = false;
    _isTagValueModified = false;
    setTagIdentifier(value ? value->identifier() : QString());
    setTagValue(value ? value->value().value_or(QString()) : QString());
    setKnownTagDetail(knownTagDetail);
    showMode();
}

void HLVCustomTagCellView::setIsEntryCell()
{
    _isEntryCell = true;
    _isTagValueModified = false;
    setTagIdentifier(QString());
    setTagValue(QString());
    setKnownTagDetail(nullptr);
    showMode();
}

void HLVCustomTagCellView::setTagIdentifier(const QString& identifier)
{
    ProgrammaticChange change(_programmaticModification);
    ++_identifierGeneration;
    _tagIdentifier = identifier;
    _identifierLabel->setText(identifier);
    _identifierTextField->setText(identifier);
    setFieldBackground(_identifierTextField, normalColor());
}

void HLVCustomTagCellView::setTagValue(const QString& value)
{
    ProgrammaticChange change(_programmaticModification);
    _tagValue = value;
    _valueTextField->setText(value);
    setFieldBackground(_valueTextField, normalColor());
}

void HLVCustomTagCellView::setKnownTagDetail(const std::shared_ptr<const HLVKnownTagDetail>& knownTagDetail)
{
    _knownTagDetail = knownTagDetail;
    const bool editable = !knownTagDetail || knownTagDetail->allowEdit();
    _valueTextField->setEnabled(editable);
    _valueTextField->setToolTip(editable ? QString() : tr("This tag is not edited here"));
}

void HLVCustomTagCellView::setIsInEditMode(bool editMode)
{
    _isInEditMode = editMode;
    showMode();
}

void HLVCustomTagCellView::showMode()
{
    _identifierLabel->setVisible(!_isInEditMode);
    _valueTextField->setVisible(!_isInEditMode);
    _identifierTextField->setVisible(_isInEditMode);
    _hintLabel->setVisible(_isInEditMode && _isEntryCell);
    _removeButton->setVisible(_isInEditMode && !_isEntryCell);
    // In edit mode the entry row keeps the button's place, so all identifier fields line up.
    QSizePolicy policy = _removeButton->sizePolicy();
    policy.setRetainSizeWhenHidden(_isInEditMode);
    _removeButton->setSizePolicy(policy);
}

void HLVCustomTagCellView::removeButtonClicked()
{
    // A copy: the owner reloads the rows, and so this row's identifier, while handling it.
    const QString identifier = _tagIdentifier;
    if (_delegate)
        _delegate->removeCustomTagSelected(identifier);
}

void HLVCustomTagCellView::tagIdentifierDidChange()
{
    if (_programmaticModification)
        return;
    const QString text = _identifierTextField->text();
    if (text.size() > 4) {
        ProgrammaticChange change(_programmaticModification);
        _identifierTextField->setText(text.left(4));
        return;
    }
    const QString identifier = text.trimmed().remove(QLatin1Char(' '));
    if (identifier == _tagIdentifier) {
        setFieldBackground(_identifierTextField, normalColor());
        return;
    }
    if (identifier.size() != 4) {
        setFieldBackground(_identifierTextField, errorColor());
        return;
    }
    const unsigned generation = _identifierGeneration;
    const QString oldIdentifier = _tagIdentifier;
    const bool allowed = !_delegate || _delegate->allowToUpdateIdentifierFrom(oldIdentifier, identifier);
    // The owner answers no after applying an accepted change itself and
    // reloading this row; only a refusal that left the row as it was is an error.
    if (generation != _identifierGeneration)
        return;
    if (allowed)
        setTagIdentifier(identifier);
    else
        setFieldBackground(_identifierTextField, errorColor());
}

void HLVCustomTagCellView::tagValueDidChange()
{
    const QString text = _valueTextField->text();
    const bool numeric = _knownTagDetail && _knownTagDetail->knownTagType() == 2;
    const bool invalid = !text.isEmpty() && numeric && !readsAsNumber(text);
    setFieldBackground(_valueTextField, invalid ? errorColor() : normalColor());
    if (_programmaticModification)
        return;
    _isTagValueModified = true;
    _tagValue = text;
    const QString identifier = _tagIdentifier;
    if (_delegate)
        _delegate->customTagWithIdentifierValueUpdated(identifier, text);
}
