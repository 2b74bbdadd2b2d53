#include "HLVMatchesEditorViewController.h"
#include "HLVMatchesEditorDelegate.h"
#include "HLVIconButton.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {

QString segmentedToolTip()
{
    return QCoreApplication::translate("HLVMatchesEditorViewController", "View next/previous match");
}

QToolButton* segmentButton(QWidget* parent, const QString& name, const QString& icon, const QString& fallbackText)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIconSize(QSize(14, 14));
    button->setFocusPolicy(Qt::TabFocus);
    // The segments share the control's tool tip, as one control would.
    HLVIconButton::setIcon(button, icon, fallbackText, segmentedToolTip());
    return button;
}

} // namespace

HLVMatchesEditorViewController::HLVMatchesEditorViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("matchesEditor"));

    _matchesSegmentedControl = new QWidget(this);
    _matchesSegmentedControl->setObjectName(QStringLiteral("matchesSegmentedControl"));
    _matchesSegmentedControl->setToolTip(segmentedToolTip());
    auto* segments = new QHBoxLayout(_matchesSegmentedControl);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    _previousButton = segmentButton(_matchesSegmentedControl, QStringLiteral("previousMatchButton"),
                                    QStringLiteral(":/images/MatchPrevious.svg"), QStringLiteral("<"));
    _nextButton = segmentButton(_matchesSegmentedControl, QStringLiteral("nextMatchButton"),
                                QStringLiteral(":/images/MatchNext.svg"), QStringLiteral(">"));
    segments->addWidget(_previousButton);
    segments->addWidget(_nextButton);

    _matchesTextField = new QLabel(this);
    _matchesTextField->setObjectName(QStringLiteral("matchesTextField"));
    _matchesTextField->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(8);
    layout->addWidget(_matchesSegmentedControl);
    layout->addWidget(_matchesTextField, 1);

    connect(_previousButton, &QToolButton::clicked, this, [this] { matchesSegmentedControlSelected(PreviousSegment); });
    connect(_nextButton, &QToolButton::clicked, this, [this] { matchesSegmentedControlSelected(NextSegment); });

    updateMatchesView();
}

void HLVMatchesEditorViewController::displayMatchesWithMatchCount(unsigned long matchCount, unsigned long currentMatch)
{
    _matchCount = matchCount;
    _currentMatch = currentMatch;
    updateMatchesView();
}

void HLVMatchesEditorViewController::updateMatchesView()
{
    const unsigned long c = _matchCount;
    const unsigned long n = _currentMatch;
    if (c < 2) {
        _matchesTextField->setText(tr("Match found! Displaying match %1 of %2.").arg(n).arg(c));
        _previousButton->setEnabled(false);
        _nextButton->setEnabled(false);
        return;
    }
    _matchesTextField->setText(tr("Multiple matches found! Displaying match %1 of %2.").arg(n).arg(c));
    if (n < c) {
        _previousButton->setEnabled(n != 1);
        _nextButton->setEnabled(true);
    } else {
        _previousButton->setEnabled(true);
        _nextButton->setEnabled(false);
    }
}

void HLVMatchesEditorViewController::matchesSegmentedControlSelected(int segment)
{
    const bool next = segment == NextSegment;
    if ((next && _currentMatch >= _matchCount) || (!next && _currentMatch <= 1))
        return;
    _currentMatch += next ? 1 : -1;
    updateMatchesView();
    if (_delegate)
        _delegate->matchesEditorMatchSelectionUpdated(this, _currentMatch);
}
