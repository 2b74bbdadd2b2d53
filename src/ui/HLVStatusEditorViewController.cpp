#include "HLVStatusEditorViewController.h"
#include "HLVStatusEditorDelegate.h"
#include "HLVIconButton.h"
#include "HLVThreadSanitizer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <memory>

HLVStatusEditorViewController::HLVStatusEditorViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("statusEditor"));

    _statusLabel = new QLabel(this);
    _statusLabel->setObjectName(QStringLiteral("statusLabel"));

    _statusProgressIndicator = new QProgressBar(this);
    _statusProgressIndicator->setObjectName(QStringLiteral("statusProgressIndicator"));
    _statusProgressIndicator->setTextVisible(false);
    _statusProgressIndicator->setMinimumWidth(120);

    _cancelButton = new QToolButton(this);
    _cancelButton->setObjectName(QStringLiteral("cancelButton"));
    _cancelButton->setIconSize(QSize(14, 14));
    HLVIconButton::setIcon(_cancelButton, QStringLiteral(":/images/StatusCancel.svg"), QStringLiteral("x"),
                           QStringLiteral("Cancel"));
    connect(_cancelButton, &QToolButton::clicked, this, &HLVStatusEditorViewController::cancelButtonSelected);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(8);
    layout->addWidget(_statusLabel, 1);
    layout->addWidget(_statusProgressIndicator, 1);
    layout->addWidget(_cancelButton);

    resetStatusProgress();
}

HLVStatusEditorViewController::Snapshot HLVStatusEditorViewController::snapshot() const
{
    std::lock_guard lock(_valuesMutex);
    return {_statusMessage, _CurrentValue, _TargetValue};
}

double HLVStatusEditorViewController::CurrentValue() const
{
    std::lock_guard lock(_valuesMutex);
    return _CurrentValue;
}

double HLVStatusEditorViewController::TargetValue() const
{
    std::lock_guard lock(_valuesMutex);
    return _TargetValue;
}

void HLVStatusEditorViewController::displayStatus(const QString& message, double targetValue)
{
    {
        std::lock_guard lock(_valuesMutex);
        _statusMessage = message;
    }
    setTargetValue(targetValue);
    setCurrentValue(0);
}

void HLVStatusEditorViewController::setCurrentValue(double value)
{
    Snapshot values;
    {
        std::lock_guard lock(_valuesMutex);
        _CurrentValue = std::min(value, _TargetValue);
        values = {_statusMessage, _CurrentValue, _TargetValue};
    }
    showProgressOnMainThread(values);
}

void HLVStatusEditorViewController::setTargetValue(double value)
{
    Snapshot values;
    {
        std::lock_guard lock(_valuesMutex);
        _TargetValue = std::max(value, _CurrentValue);
        values = {_statusMessage, _CurrentValue, _TargetValue};
    }
    showProgressOnMainThread(values);
}

void HLVStatusEditorViewController::showProgressOnMainThread(const Snapshot& values)
{
    if (QThread::currentThread() == thread()) {
        showProgress(values);
        return;
    }
    // Queued with this strip as the context, so a late update for a destroyed strip is dropped.
    auto handed = std::make_shared<const Snapshot>(values);
    HLVThreadSanitizer::handOver(handed.get());
    QMetaObject::invokeMethod(
        this,
        [this, handed] {
            HLVThreadSanitizer::takeOver(handed.get());
            showProgress(*handed);
        },
        Qt::QueuedConnection);
}

void HLVStatusEditorViewController::showProgress(const Snapshot& values)
{
    // A negative value counts as nothing done yet, so no percentage is taken of a zero target.
    if (values.current <= 0 || values.current >= values.target)
        resetStatusProgress();
    else
        showCount(values);
}

void HLVStatusEditorViewController::updateStatusProgressIndicator()
{
    const Snapshot values = snapshot();
    if (values.current > 0 && values.target > 0)
        showCount(values);
}

void HLVStatusEditorViewController::showCount(const Snapshot& values)
{
    _statusLabel->setText(tr("%1 %2 of %3.")
                              .arg(values.message)
                              .arg(values.current, 0, 'f', 0)
                              .arg(values.target, 0, 'f', 0));
    _statusProgressIndicator->setRange(0, 100);
    _statusProgressIndicator->setValue(static_cast<int>(std::lround(values.current / values.target * 100)));
}

void HLVStatusEditorViewController::resetStatusProgress()
{
    _statusLabel->setText(tr("Processing..."));
    // An empty range is Qt's busy indicator.
    _statusProgressIndicator->setRange(0, 0);
    _cancelButton->setEnabled(true);
}

void HLVStatusEditorViewController::cancelButtonSelected()
{
    _cancelButton->setEnabled(false);
    if (_delegate)
        _delegate->statusEditorCancelOperationWasSelected(this);
}
