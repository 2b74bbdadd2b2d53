#include "HLVTagTextField.h"
#include "HLVStrings.h"

#include <QFocusEvent>

HLVTagTextField::HLVTagTextField(QWidget* parent)
    : QLineEdit(parent)
{
    connect(this, &QLineEdit::textEdited, this, [this] {
        textDidChange();
        emit textDidChangeByUser(this);
    });
    connect(this, &QLineEdit::returnPressed, this, &HLVTagTextField::endEditingByUser);
    connect(this, &QLineEdit::textChanged, this, &HLVTagTextField::updateChangeMark);
}

void HLVTagTextField::setTagValue(const QString& value)
{
    _TagValue = value;
    _lastModifiction = value;
    _edited = false;
    setText(value);
    updateChangeMark();
}

void HLVTagTextField::textDidChange()
{
    _isInEditing = true;
}

void HLVTagTextField::textDidEndEditing()
{
    _isInEditing = false;
    _lastModifiction = text();
}

void HLVTagTextField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // A context menu or another window taking the focus does not end the typing.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        endEditingByUser();
}

void HLVTagTextField::endEditingByUser()
{
    // Only typing ends: leaving a field the user did not change reports nothing.
    if (_isInEditing)
        emit textDidEndEditingByUser(this);
}

void HLVTagTextField::setStringValueOrEmpty(const std::optional<QString>& value)
{
    setTagValue(HLVStrings::nonNilString(value));
}

void HLVTagTextField::setNumberValueOrEmpty(const std::optional<int>& value)
{
    setTagValue(value && *value != 0 ? QString::number(*value) : QString());
}

QString HLVTagTextField::stringValueOrEmpty() const
{
    const QString shown = text();
    return HLVStrings::isNilOrEmpty(shown) ? QString(QLatin1String("")) : shown;
}

int HLVTagTextField::numberValueOrEmpty() const
{
    bool ok = false;
    const int value = text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void HLVTagTextField::setSavedValues(const QStringList& savedTexts, bool showsPendingValue)
{
    QStringList distinct;
    for (const QString& text : savedTexts) {
        if (!distinct.contains(text))
            distinct.append(text);
    }
    setDistinctSavedValues(distinct, savedTexts.size(), showsPendingValue);
}

void HLVTagTextField::setDistinctSavedValues(const QStringList& distinctTexts, qsizetype fileCount,
                                             bool showsPendingValue)
{
    _savedTexts.clear();
    // Texts that show alike count once.
    for (const QString& text : distinctTexts) {
        const QString comparable = comparableText(text);
        if (!_savedTexts.contains(comparable))
            _savedTexts.append(comparable);
    }
    _savedFileCount = fileCount;
    _showsPendingValue = showsPendingValue;
    updateChangeMark();
}

QString HLVTagTextField::comparableText(const QString& shown) const
{
    if (_numeric) {
        bool ok = false;
        const int value = shown.trimmed().toInt(&ok);
        return ok && value != 0 ? QString::number(value) : QString();
    }
    return HLVStrings::isNilOrEmpty(shown) ? QString() : shown;
}

void HLVTagTextField::updateChangeMark()
{
    // What a save would write: the shown value, once typed or when it is the
    // pending value of every file shown.
    const bool writes = _showsPendingValue || WasEdited();
    const QString shown = comparableText(text());
    // The saved texts are distinct: two or more differ from each other.
    const bool savedAlike = _savedTexts.size() <= 1;
    const bool changed = !savedAlike || (!_savedTexts.isEmpty() && _savedTexts.constFirst() != shown);
    _changedFromSaved = writes && changed;

    QFont shownFont = font();
    shownFont.setBold(_changedFromSaved);
    setFont(shownFont);
    if (!_changedFromSaved) {
        setToolTip(QString());
    } else if (!savedAlike) {
        setToolTip(tr("Saved values differ between the files"));
    } else {
        const QString saved = _savedTexts.constFirst();
        if (!saved.isEmpty())
            setToolTip(tr("Saved value: %1").arg(saved));
        else
            setToolTip(_savedFileCount > 1 ? tr("Not set in the saved files") : tr("Not set in the saved file"));
    }
}
