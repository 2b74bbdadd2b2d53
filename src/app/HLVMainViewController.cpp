#include "HLVMainViewController.h"

#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {
const QString splitterPreference = QStringLiteral("MainWindowSplitter");
}

HLVMainViewController::HLVMainViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("HLVMainViewController"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    _splitter = new QSplitter(Qt::Horizontal, this);
    _splitter->setObjectName(QStringLiteral("mainSplitter"));
    _splitter->setChildrenCollapsible(false);
    layout->addWidget(_splitter);
    _leftPanel = new QWidget(_splitter);
    _leftPanel->setObjectName(QStringLiteral("LeftPanel"));
    _leftPanel->setMinimumWidth(240);
    auto* leftLayout = new QVBoxLayout(_leftPanel);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    _rightPanel = new QStackedWidget(_splitter);
    _rightPanel->setObjectName(QStringLiteral("RightPanel"));
    // The editor's form with its fixed-width number fields beside the artwork well.
    _rightPanel->setMinimumWidth(600);
    _splitter->addWidget(_leftPanel);
    _splitter->addWidget(_rightPanel);
    _splitter->setStretchFactor(0, 0);
    _splitter->setStretchFactor(1, 1);
    _splitter->setSizes({480, 620}); // room for the list's default columns
}

void HLVMainViewController::setLeftView(QWidget* view)
{
    _leftPanel->layout()->addWidget(view);
}

void HLVMainViewController::showRightView(QWidget* view)
{
    if (_rightPanel->indexOf(view) < 0)
        _rightPanel->addWidget(view);
    _rightPanel->setCurrentWidget(view);
}

QWidget* HLVMainViewController::rightView() const
{
    return _rightPanel->currentWidget();
}

void HLVMainViewController::saveState() const
{
    QSettings().setValue(splitterPreference, _splitter->saveState());
}

void HLVMainViewController::restoreState()
{
    const QByteArray state = QSettings().value(splitterPreference).toByteArray();
    if (!state.isEmpty())
        _splitter->restoreState(state);
}
