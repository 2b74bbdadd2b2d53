#pragma once

#include <QLineEdit>
#include <QStringList>
#include <optional>

// A tag field of the editor. It remembers the value it was given, whether the
// user changed it since, and whether the user is still typing in it; and it
// marks itself (bold, the saved value in its tool tip) when what it shows would
// change the file or files on the next save.
class HLVTagTextField : public QLineEdit
{
    Q_OBJECT
public:
    explicit HLVTagTextField(QWidget* parent = nullptr);

    // Shows the text and remembers it as the given value and the last edit.
    void setTagValue(const QString& value);
    const QString& TagValue() const { return _TagValue; }
    bool IsModified() const { return text() != _TagValue; }
    bool DidFinishEditing() const { return !_isInEditing; }
    bool WasEdited() const { return _edited || text() != _lastModifiction; }
    void forceWasEdited() { _edited = true; }

    // Typing began or went on; the end of it (Return, focus leaving, a forced commit).
    void textDidChange();
    void textDidEndEditing();

    void setStringValueOrEmpty(const std::optional<QString>& value);
    // Absent and 0 both show as the empty text.
    void setNumberValueOrEmpty(const std::optional<int>& value);
    // The shown text, or the empty text when it holds spaces only.
    QString stringValueOrEmpty() const;
    // The text's integer value; 0 when the text is empty or not a number.
    int numberValueOrEmpty() const;

    // Whether the field holds a number (track, year…): decides how values compare.
    void setNumeric(bool numeric) { _numeric = numeric; }
    bool isNumeric() const { return _numeric; }
    // The values saved in the file or files shown, as this field would show
    // them, and whether the shown value is what a save would write to all of
    // them (not so for several files whose values differ, until the user types).
    void setSavedValues(const QStringList& savedTexts, bool showsPendingValue);
    // The same for many files: the different saved texts and how many files there are.
    void setDistinctSavedValues(const QStringList& distinctTexts, qsizetype fileCount, bool showsPendingValue);
    bool showsPendingValue() const { return _showsPendingValue; }
    // The field would change a saved value: it is drawn bold.
    bool IsChangedFromSaved() const { return _changedFromSaved; }

signals:
    // The user typed (not a change made by the program).
    void textDidChangeByUser(HLVTagTextField* field);
    // Typing ended by Return or by the focus leaving the field.
    void textDidEndEditingByUser(HLVTagTextField* field);

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void endEditingByUser();
    QString comparableText(const QString& text) const;
    void updateChangeMark();

    bool _isInEditing = false;
    QString _lastModifiction;
    bool _edited = false;
    QString _TagValue;

    bool _numeric = false;
    QStringList _savedTexts; // as they compare, each once
    qsizetype _savedFileCount = 0;
    bool _showsPendingValue = false;
    bool _changedFromSaved = false;
};
