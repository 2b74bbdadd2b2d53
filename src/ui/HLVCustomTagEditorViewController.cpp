#include "HLVCustomTagEditorViewController.h"
#include "HLVCustomTagCellView.h"
#include "HLVCustomTagEditorViewDelegate.h"
#include "HLVExpandingView.h"
#include "HLVKnownTagDetail.h"
#include "HLVTagLib.h"
#include "HLVViewJobs.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace {

QString normalModeTitle()
{
    return QCoreApplication::translate("HLVCustomTagEditorViewController", "Add/Remove Custom Tags");
}

QString editModeTitle()
{
    return QCoreApplication::translate("HLVCustomTagEditorViewController", "Confirm");
}

// The file's own list of custom tags: kept like any row, never reported.
bool isIdentifierList(const QString& identifier)
{
    return identifier.toUpper() == QLatin1String("CTIS");
}

} // namespace

HLVCustomTagEditorViewController::HLVCustomTagEditorViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("customTagEditor"));

    _tableView = new QWidget(this);
    _tableView->setObjectName(QStringLiteral("tableView"));
    _tableLayout = new QVBoxLayout(_tableView);
    _tableLayout->setContentsMargins(0, 0, 0, 0);
    _tableLayout->setSpacing(0);
    _tableLayout->addStretch(1);

    _addRemoveCustomTagButton = new QPushButton(normalModeTitle(), this);
    _addRemoveCustomTagButton->setObjectName(QStringLiteral("addRemoveCustomTagButton"));
    _addRemoveCustomTagButton->setFixedHeight(static_cast<int>(buttonHeight));
    connect(_addRemoveCustomTagButton, &QPushButton::clicked, this,
            &HLVCustomTagEditorViewController::addRemoveCustomTagButtonClicked);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->addWidget(_addRemoveCustomTagButton);
    buttonRow->addStretch(1);

    _buttonTopSpacer = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(_tableView);
    layout->addSpacerItem(_buttonTopSpacer);
    layout->addLayout(buttonRow);

    awakeFromNib();
}

void HLVCustomTagEditorViewController::awakeFromNib()
{
    if (_initialized)
        return;
    _initialized = true;
    _customTagValues.clear();
    _customTagValuesToDisplay.clear();
    _isInEditMode = false;
    reloadData();
}

void HLVCustomTagEditorViewController::setExpandingView(HLVExpandingView* expandingView)
{
    _expandingView = expandingView;
    if (_expandingView)
        _expandingView->setContainerViewHeight(_contentHeight);
}

void HLVCustomTagEditorViewController::setIsInEditMode(bool editMode)
{
    _isInEditMode = editMode;
    // The button names the way out of the mode the list is in, whoever switched it.
    _addRemoveCustomTagButton->setText(editMode ? editModeTitle() : normalModeTitle());
    reloadData();
}

void HLVCustomTagEditorViewController::setCustomTagValues(const HLVCustomTagValueArray& values)
{
    _customTagValues = values;
    reloadData();
}

void HLVCustomTagEditorViewController::addRemoveCustomTagButtonClicked()
{
    setIsInEditMode(!_isInEditMode);
    if (_isInEditMode)
        focusEntryRow();
}

int HLVCustomTagEditorViewController::numberOfRowsInTableView()
{
    _customTagValuesToDisplay.clear();
    for (const auto& value : std::as_const(_customTagValues)) {
        if (value && !value->isMarkedForRemoval())
            _customTagValuesToDisplay.append(value);
    }
    std::stable_sort(_customTagValuesToDisplay.begin(), _customTagValuesToDisplay.end(),
                     [](const auto& a, const auto& b) { return a->identifier() < b->identifier(); });
    const int rows = static_cast<int>(_customTagValuesToDisplay.size()) + (_isInEditMode ? 1 : 0);

    const double tableHeight = rows * rowHeight;
    const double margin = rows > 0 ? buttonTopMargin : 0;
    _contentHeight = tableHeight + margin + buttonHeight;
    _tableView->setFixedHeight(static_cast<int>(tableHeight));
    _buttonTopSpacer->changeSize(0, static_cast<int>(margin), QSizePolicy::Minimum, QSizePolicy::Fixed);
    if (auto* owner = layout())
        owner->invalidate();
    setFixedHeight(static_cast<int>(std::lround(_contentHeight)));
    if (_expandingView)
        _expandingView->setContainerViewHeight(_contentHeight);
    return rows;
}

HLVCustomTagCellView* HLVCustomTagEditorViewController::tableViewViewForRow(int row)
{
    // Row views are kept and reused, never deleted here: a reload may run from
    // inside a row's own handler.
    while (_cells.size() <= row) {
        auto* cell = new HLVCustomTagCellView(_tableView);
        _tableLayout->insertWidget(static_cast<int>(_cells.size()), cell);
        _cells.append(cell);
    }
    HLVCustomTagCellView* cell = _cells.at(row);
    if (row < _customTagValuesToDisplay.size()) {
        const auto& value = _customTagValuesToDisplay.at(row);
        cell->setCustomTagValue(value, HLVKnownTagDetail::knownTagDetailForIdentifier(value->identifier(), fileExtension()));
    } else {
        cell->setIsEntryCell();
    }
    cell->setIsInEditMode(_isInEditMode);
    cell->setDelegate(this);
    return cell;
}

void HLVCustomTagEditorViewController::reloadData()
{
    const int rows = numberOfRowsInTableView();
    for (int row = 0; row < rows; ++row)
        tableViewViewForRow(row)->show();
    for (int row = rows; row < _cells.size(); ++row)
        _cells.at(row)->hide();
    _shownRows = rows;
}

HLVCustomTagCellView* HLVCustomTagEditorViewController::cellAtRow(int row) const
{
    return row >= 0 && row < _shownRows ? _cells.at(row) : nullptr;
}

bool HLVCustomTagEditorViewController::doesIdentifierExist(const QString& identifier) const
{
    return std::any_of(_customTagValuesToDisplay.cbegin(), _customTagValuesToDisplay.cend(), [&](const auto& value) {
        return value->identifier().compare(identifier, Qt::CaseInsensitive) == 0;
    });
}

std::optional<QString> HLVCustomTagEditorViewController::fileExtension() const
{
    if (!_activeFilePath)
        return std::nullopt;
    return QFileInfo(*_activeFilePath).suffix();
}

void HLVCustomTagEditorViewController::appendValueFromActiveFile(const QString& identifier)
{
    auto value = std::make_shared<HLVCustomTagValue>(identifier, QString(QLatin1String("")));
    _customTagValues.append(value);
    if (!_activeFilePath)
        return;
    // The file's own text for the new identifier is read off the main thread;
    // it fills the row unless the user typed a value or moved on meanwhile.
    const QString path = *_activeFilePath;
    auto* read = new HLVViewJobs(this);
    read->start([this, read, path, identifier, value](const std::atomic<bool>&) -> HLVViewJobs::Apply {
        const QString text = HLVTagLib::readTagWithIdentifier(identifier, path).value_or(QString());
        return [this, read, path, value, text] {
            read->deleteLater();
            if (text.isEmpty() || _activeFilePath != path || !_customTagValues.contains(value)
                || !value->value().value_or(QString()).isEmpty())
                return;
            value->setValue(text);
            reloadData();
        };
    });
}

void HLVCustomTagEditorViewController::focusRowWithIdentifier(const QString& identifier)
{
    for (int row = 0; HLVCustomTagCellView* cell = cellAtRow(row); ++row) {
        if (!cell->isEntryCell() && cell->tagIdentifier() == identifier) {
            cell->identifierTextField()->setFocus(Qt::OtherFocusReason);
            cell->identifierTextField()->end(false);
            return;
        }
    }
}

void HLVCustomTagEditorViewController::focusEntryRow()
{
    if (HLVCustomTagCellView* entry = cellAtRow(_shownRows - 1); entry && entry->isEntryCell())
        entry->identifierTextField()->setFocus(Qt::OtherFocusReason);
}

bool HLVCustomTagEditorViewController::allowToUpdateIdentifierFrom(const QString& oldIdentifier,
                                                                   const QString& newIdentifier)
{
    if (newIdentifier.isEmpty() || doesIdentifierExist(newIdentifier))
        return false;

    if (oldIdentifier.isEmpty()) {
        appendValueFromActiveFile(newIdentifier);
        if (_delegate && !isIdentifierList(newIdentifier))
            _delegate->customTagEditorViewTagWithIdentifierAdded(this, newIdentifier);
        reloadData();
        // Ready for the next identifier rather than renaming the one just added.
        focusEntryRow();
    } else if (_delegate) {
        const auto found = std::find_if(_customTagValuesToDisplay.cbegin(), _customTagValuesToDisplay.cend(),
                                        [&](const auto& value) { return value->identifier() == oldIdentifier; });
        if (found != _customTagValuesToDisplay.cend()) {
            (*found)->setIsMarkedForRemoval(true);
            _customTagValuesToDisplay.erase(found);
        }
        if (!isIdentifierList(oldIdentifier))
            _delegate->customTagEditorViewTagWithIdentifierRemoved(this, oldIdentifier);
        if (!isIdentifierList(newIdentifier))
            _delegate->customTagEditorViewTagWithIdentifierAdded(this, newIdentifier);
        appendValueFromActiveFile(newIdentifier);
        reloadData();
        // The sorted rows may have moved; keep typing in the renamed one.
        focusRowWithIdentifier(newIdentifier);
    }
    // An accepted change is already applied and the rows reloaded, so the row never sets it itself.
    return false;
}

void HLVCustomTagEditorViewController::removeCustomTagSelected(const QString& identifier)
{
    const auto found = std::find_if(_customTagValuesToDisplay.cbegin(), _customTagValuesToDisplay.cend(),
                                    [&](const auto& value) { return value->identifier() == identifier; });
    if (found == _customTagValuesToDisplay.cend())
        return;
    (*found)->setIsMarkedForRemoval(true);
    _customTagValuesToDisplay.erase(found);
    reloadData();
    if (_delegate && !isIdentifierList(identifier))
        _delegate->customTagEditorViewTagWithIdentifierRemoved(this, identifier);
}

void HLVCustomTagEditorViewController::customTagWithIdentifierValueUpdated(const QString& identifier,
                                                                          const QString& value)
{
    if (identifier.isEmpty())
        return;
    // The working list keeps the typed text, so a reload shows it rather than the old value.
    // The element is replaced, not changed: it may be shared with the maps it was copied from.
    const auto typed = std::make_shared<HLVCustomTagValue>(identifier, value);
    for (HLVCustomTagValueArray* list : {&_customTagValues, &_customTagValuesToDisplay}) {
        for (auto& element : *list) {
            if (element && !element->isMarkedForRemoval() && element->identifier() == identifier) {
                element = typed;
                break;
            }
        }
    }
    if (_delegate)
        _delegate->customTagEditorViewTagValueModified(this, std::make_shared<HLVCustomTagValue>(identifier, value));
}
