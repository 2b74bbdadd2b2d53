#include "HLVExpandingView.h"
#include "HLVExpandingViewDelegate.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

HLVExpandingView::HLVExpandingView(const QString& title, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("expandingView"));

    _box = new QFrame(this);
    _box->setObjectName(QStringLiteral("box"));
    _box->setFrameShape(QFrame::NoFrame);

    auto* header = new QWidget(_box);
    header->setObjectName(QStringLiteral("header"));
    header->setFixedHeight(static_cast<int>(headerHeight));
    auto* headerLayout = new QGridLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setHorizontalSpacing(4);

    // The backing button lies under the whole header, so a click anywhere on it toggles the section.
    _backingButton = new QPushButton(header);
    _backingButton->setObjectName(QStringLiteral("backingButton"));
    _backingButton->setFlat(true);
    _backingButton->setFocusPolicy(Qt::NoFocus);
    _backingButton->setCursor(Qt::PointingHandCursor);
    _backingButton->setMinimumHeight(static_cast<int>(headerHeight));
    _backingButton->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"));

    _disclosureButton = new QToolButton(header);
    _disclosureButton->setObjectName(QStringLiteral("disclosureButton"));
    _disclosureButton->setCheckable(true);
    _disclosureButton->setAutoRaise(true);
    _disclosureButton->setStyleSheet(QStringLiteral("QToolButton { border: none; }"));
    _disclosureButton->setToolTip(tr("Show or hide this section"));
    showDisclosureState(false);

    _titleTextField = new QLabel(title, header);
    _titleTextField->setObjectName(QStringLiteral("titleTextField"));
    _titleTextField->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont titleFont = _titleTextField->font();
    titleFont.setBold(true);
    _titleTextField->setFont(titleFont);

    headerLayout->addWidget(_backingButton, 0, 0, 1, 3);
    headerLayout->addWidget(_disclosureButton, 0, 0, Qt::AlignVCenter);
    headerLayout->addWidget(_titleTextField, 0, 1, Qt::AlignVCenter);
    headerLayout->setColumnMinimumWidth(0, 24);
    headerLayout->setColumnStretch(2, 1);

    auto* containerHolder = new QWidget(_box);
    _containerHolderLayout = new QVBoxLayout(containerHolder);
    _containerView = new QWidget(containerHolder);
    _containerView->setObjectName(QStringLiteral("containerView"));
    _containerHolderLayout->addWidget(_containerView);
    applyContainerMargins();

    auto* boxLayout = new QVBoxLayout(_box);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(0);
    boxLayout->addWidget(header);
    boxLayout->addWidget(containerHolder, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_box);

    connect(_disclosureButton, &QToolButton::clicked, this, &HLVExpandingView::disclosureButtonClicked);
    connect(_backingButton, &QPushButton::clicked, this, &HLVExpandingView::backingButtonClicked);
    connect(_disclosureButton, &QToolButton::toggled, this, &HLVExpandingView::showDisclosureState);
}

void HLVExpandingView::setContentView(QWidget* content)
{
    auto* layout = _containerView->layout();
    if (!layout) {
        layout = new QVBoxLayout(_containerView);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    layout->addWidget(content);
}

void HLVExpandingView::showEvent(QShowEvent* event)
{
    initialize();
    QWidget::showEvent(event);
}

void HLVExpandingView::initialize()
{
    if (_isInitialized)
        return;
    _isInitialized = true;
    _cvTopConstant = _containerTopMargin;
    _cvBottomConstant = _containerBottomMargin;
    if (!_hasExpandedHeight) {
        _expandedHeight = _containerView->sizeHint().height();
        _hasExpandedHeight = true;
    }
    tellDelegate(headerHeight, -(_expandedHeight + _cvTopConstant + _cvBottomConstant));
    _containerView->hide();
    setSectionHeight(headerHeight);
    setContainerTopMargin(0);
    setContainerBottomMargin(0);
    _isExpanded = false;
    showDisclosureState(false);
}

double HLVExpandingView::calculatedHeight() const
{
    return _expandedHeight + headerHeight + _cvTopConstant + _cvBottomConstant;
}

void HLVExpandingView::expand()
{
    initialize();
    // Expanding an open section again would make the form grow twice.
    if (_isExpanded)
        return;
    tellDelegate(calculatedHeight(), _expandedHeight + _cvTopConstant + _cvBottomConstant);
    _containerView->show();
    _isExpanded = true;
    showDisclosureState(true);
    animateTo(calculatedHeight(), _cvTopConstant, _cvBottomConstant, false);
}

void HLVExpandingView::collapse()
{
    initialize();
    if (!_isExpanded)
        return;
    tellDelegate(headerHeight, -(_expandedHeight + _cvTopConstant + _cvBottomConstant));
    _isExpanded = false;
    showDisclosureState(false);
    animateTo(headerHeight, 0, 0, true);
}

void HLVExpandingView::disclosureButtonClicked()
{
    if (_disclosureButton->isChecked())
        expand();
    else
        collapse();
}

void HLVExpandingView::backingButtonClicked()
{
    _disclosureButton->setChecked(!_disclosureButton->isChecked());
    disclosureButtonClicked();
}

void HLVExpandingView::setContainerViewHeight(double height)
{
    if (_hasExpandedHeight && height == _expandedHeight)
        return;
    const double delta = height - _expandedHeight;
    _expandedHeight = height;
    _hasExpandedHeight = true;
    if (!_isExpanded)
        return;
    tellDelegate(calculatedHeight(), delta);
    animateTo(calculatedHeight(), _cvTopConstant, _cvBottomConstant, false);
}

void HLVExpandingView::tellDelegate(double size, double delta)
{
    if (!_delegate)
        return;
    if (delta < 0)
        _delegate->expandingViewDidCollapseToSize(this, size, delta);
    else
        _delegate->expandingViewDidExpandToSize(this, size, delta);
}

void HLVExpandingView::animateTo(double height, double topMargin, double bottomMargin, bool hideContainerAtEnd)
{
    if (_animation)
        _animation->stop();
    if (_animationDuration <= 0) {
        setSectionHeight(height);
        setContainerTopMargin(topMargin);
        setContainerBottomMargin(bottomMargin);
        if (hideContainerAtEnd)
            _containerView->hide();
        return;
    }
    auto* group = new QParallelAnimationGroup(this);
    const std::pair<const char*, double> targets[] = {
        {"sectionHeight", height}, {"containerTopMargin", topMargin}, {"containerBottomMargin", bottomMargin}};
    for (const auto& [property, value] : targets) {
        auto* animation = new QPropertyAnimation(this, property, group);
        animation->setDuration(_animationDuration);
        animation->setEndValue(value);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        group->addAnimation(animation);
    }
    if (hideContainerAtEnd)
        connect(group, &QAbstractAnimation::finished, _containerView, &QWidget::hide);
    _animation = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void HLVExpandingView::setSectionHeight(double height)
{
    _sectionHeight = height;
    setFixedHeight(static_cast<int>(std::lround(height)));
}

void HLVExpandingView::setContainerTopMargin(double margin)
{
    _containerTopMargin = margin;
    applyContainerMargins();
}

void HLVExpandingView::setContainerBottomMargin(double margin)
{
    _containerBottomMargin = margin;
    applyContainerMargins();
}

void HLVExpandingView::applyContainerMargins()
{
    _containerHolderLayout->setContentsMargins(8, static_cast<int>(std::lround(_containerTopMargin)), 8,
                                               static_cast<int>(std::lround(_containerBottomMargin)));
}

void HLVExpandingView::showDisclosureState(bool expanded)
{
    if (_disclosureButton->isChecked() != expanded)
        _disclosureButton->setChecked(expanded);
    _disclosureButton->setArrowType(expanded ? Qt::DownArrow : Qt::RightArrow);
}
