#include "HLVStripPlaceholder.h"

#include <QPropertyAnimation>
#include <QVBoxLayout>

HLVStripPlaceholder::HLVStripPlaceholder(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setMaximumHeight(0);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void HLVStripPlaceholder::insert(QWidget* strip)
{
    if (!holds(strip))
        layout()->addWidget(strip);
    strip->show();
}

void HLVStripPlaceholder::take(QWidget* strip, QWidget* newParent)
{
    layout()->removeWidget(strip);
    strip->hide();
    strip->setParent(newParent);
    strip->hide();
}

void HLVStripPlaceholder::slideTo(int height, int duration, std::function<void()> done)
{
    for (QPropertyAnimation* running : findChildren<QPropertyAnimation*>(Qt::FindDirectChildrenOnly))
        running->stop();
    if (duration <= 0) {
        setMaximumHeight(height);
        setMinimumHeight(height);
        if (done)
            done();
        return;
    }
    setMinimumHeight(0);
    auto* slide = new QPropertyAnimation(this, "maximumHeight", this);
    slide->setDuration(duration);
    slide->setStartValue(maximumHeight() > 10000 ? this->height() : maximumHeight());
    slide->setEndValue(height);
    connect(slide, &QPropertyAnimation::finished, this, [this, height, done] {
        setMinimumHeight(height);
        if (done)
            done();
    });
    slide->start(QAbstractAnimation::DeleteWhenStopped);
}
