#pragma once

#include <QWidget>

class HLVMatchesEditorDelegate;
class QLabel;
class QToolButton;

// The strip over the editor that says how many candidate releases a file has
// and steps through them with a previous/next pair of buttons.
class HLVMatchesEditorViewController : public QWidget
{
    Q_OBJECT
public:
    enum Segment { PreviousSegment = 0, NextSegment = 1 };

    explicit HLVMatchesEditorViewController(QWidget* parent = nullptr);

    void displayMatchesWithMatchCount(unsigned long matchCount, unsigned long currentMatch);
    void matchesSegmentedControlSelected(int segment);
    void updateMatchesView();

    unsigned long matchCount() const { return _matchCount; }
    unsigned long currentMatch() const { return _currentMatch; }
    HLVMatchesEditorDelegate* delegate() const { return _delegate; }
    void setDelegate(HLVMatchesEditorDelegate* delegate) { _delegate = delegate; }

    QWidget* matchesSegmentedControl() const { return _matchesSegmentedControl; }
    QLabel* matchesTextField() const { return _matchesTextField; }
    QToolButton* previousMatchButton() const { return _previousButton; }
    QToolButton* nextMatchButton() const { return _nextButton; }

private:
    QWidget* _matchesSegmentedControl;
    QToolButton* _previousButton;
    QToolButton* _nextButton;
    QLabel* _matchesTextField;
    unsigned long _matchCount = 0;
    unsigned long _currentMatch = 0;
    HLVMatchesEditorDelegate* _delegate = nullptr;
};
