// The editor's control bar (download tags, save, remove tags, undo: the
// window's shared commands) and the one-time help popover for downloading.
#include "HLVEditorViewController.h"

#include "HLVCommandState.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVHoverButton.h"
#include "HLVWindowActions.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const kDisplayDownloadHelpKey = "CRDisplayDownloadHelp";

// The popover's states in the preferences.
enum DownloadHelp { DownloadHelpNeverShown = 0, DownloadHelpOncePerRun = 1, DownloadHelpNever = 2 };

} // namespace

void HLVEditorViewController::buildControlBar()
{
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("controlBar"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(8, 6, 8, 6);

    auto makeButton = [bar](const QString& name, const QString& text) {
        auto* button = new HLVHoverButton(bar);
        button->setObjectName(name);
        button->setText(text);
        button->setFlat(true);
        button->setHoverCursor(Qt::PointingHandCursor);
        return button;
    };
    _tagButton = makeButton(QStringLiteral("tagButton"), QString());
    _tagTextButton = makeButton(QStringLiteral("tagTextButton"), tr("Download Tags"));
    _saveChangesButton = makeButton(QStringLiteral("saveChangesButton"), QString());
    _saveChangesTextButton = makeButton(QStringLiteral("saveChangesTextButton"), tr("Save Changes"));
    // Without an SVG engine the icon buttons keep a short text instead.
    if (!_tagButton->setImageWithHover(QStringLiteral("DownloadTags")))
        _tagButton->setText(QStringLiteral("\u2193"));
    if (!_saveChangesButton->setImageWithHover(QStringLiteral("SaveChanges")))
        _saveChangesButton->setText(QStringLiteral("\u2713"));

    // As the interface file would: tool tips, and each text lights up with its icon.
    for (HLVHoverButton* button : {_tagButton, _tagTextButton})
        button->setToolTip(tr("Download tags"));
    for (HLVHoverButton* button : {_saveChangesButton, _saveChangesTextButton})
        button->setToolTip(tr("Save changes"));
    _tagTextButton->setLinkedButton(_tagButton);
    _saveChangesTextButton->setLinkedButton(_saveChangesButton);
    for (HLVHoverButton* button : {_tagButton, _tagTextButton, _saveChangesButton, _saveChangesTextButton})
        button->setAccessibleName(button->toolTip());


    _detagButton = new QToolButton(bar);
    _detagButton->setObjectName(QStringLiteral("detagButton"));
    _detagButton->setText(tr("Remove Tags"));
    _detagButton->setToolTip(tr("Remove all tags"));
    _detagButton->setAutoRaise(true);
    // The editor's Remove Tags clears the compilation flag too, unlike the
    // list's: it shares only when it is offered.
    connect(_detagButton, &QToolButton::clicked, this, &HLVEditorViewController::detagButtonPressed);
    _undoChangesButton = new QToolButton(bar);
    _undoChangesButton->setObjectName(QStringLiteral("undoChangesButton"));
    _undoChangesButton->setText(tr("Undo"));
    _undoChangesButton->setToolTip(tr("Undo changes"));
    _undoChangesButton->setAutoRaise(true);

    _editingFilesCountLabel = new QLabel(bar);
    _editingFilesCountLabel->setObjectName(QStringLiteral("editingFilesCountLabel"));

    row->addWidget(_tagButton);
    row->addWidget(_tagTextButton);
    row->addSpacing(12);
    row->addWidget(_saveChangesButton);
    row->addWidget(_saveChangesTextButton);
    row->addStretch(1);
    row->addWidget(_editingFilesCountLabel);
    row->addStretch(1);
    row->addWidget(_detagButton);
    row->addWidget(_undoChangesButton);
    makeOwnActions();
    useActions(_ownActions);
}

void HLVEditorViewController::makeOwnActions()
{
    _ownActions = new HLVWindowActions(this);
    _ownActions->setInputsSource([this] {
        HLVCommandState::Inputs inputs;
        HLVCommandState::describeSelection(inputs, _editorFileData ? QList{_editorFileData} : _editorFileArray);
        inputs.operation = _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
        return inputs;
    });
    connect(_ownActions->downloadTags, &QAction::triggered, this, &HLVEditorViewController::tagButtonPressed);
    connect(_ownActions->save, &QAction::triggered, this, &HLVEditorViewController::saveChangesButtonSelected);
    connect(_ownActions->revert, &QAction::triggered, this, &HLVEditorViewController::undoChangesButtonSelected);
}

void HLVEditorViewController::useActions(HLVWindowActions* actions)
{
    if (_actions == actions)
        return;
    auto buttonsOf = [this](HLVWindowActions* set) -> std::vector<std::pair<QAbstractButton*, QAction*>> {
        return {{_tagButton, set->downloadTags},   {_tagTextButton, set->downloadTags},
                {_saveChangesButton, set->save},   {_saveChangesTextButton, set->save},
                {_undoChangesButton, set->revert}, {_detagButton, set->removeTags}};
    };
    if (_actions) {
        for (const auto& [button, action] : buttonsOf(_actions)) {
            disconnect(action, nullptr, button, nullptr);
            disconnect(button, nullptr, action, nullptr);
        }
    }
    for (const auto& [button, action] : buttonsOf(actions))
        HLVWindowActions::bindButton(button, action, button != _detagButton);
    _actions = actions;
    updateControlBarButtons();
}

void HLVEditorViewController::fitControlBar(int width)
{
    // Narrow: the labels next to the icons go first, then the count, so that
    // no label is ever cut (the icons keep their tool tips).
    auto* bar = _tagButton->parentWidget();
    const QMargins margins = bar->layout()->contentsMargins();
    const int spacing = std::max(0, bar->layout()->spacing());
    auto widthOf = [spacing](std::initializer_list<QWidget*> widgets) {
        int sum = 0;
        for (QWidget* widget : widgets)
            sum += widget->sizeHint().width() + spacing;
        return sum;
    };
    const int icons = margins.left() + margins.right() + 12
        + widthOf({_tagButton, _saveChangesButton, _detagButton, _undoChangesButton});
    const int labels = widthOf({_tagTextButton, _saveChangesTextButton});
    const int count = widthOf({_editingFilesCountLabel});
    _tagTextButton->setVisible(icons + labels + count <= width);
    _saveChangesTextButton->setVisible(icons + labels + count <= width);
    _editingFilesCountLabel->setVisible(icons + count <= width);
}

void HLVEditorViewController::updateControlBarButtons()
{
    _actions->refresh();
}

// --- the help popover ---------------------------------------------------------------

void HLVEditorViewController::buildPopover()
{
    _downloadTagsPopoverBox = new QFrame(this);
    _downloadTagsPopoverBox->setObjectName(QStringLiteral("downloadTagsPopoverBox"));
    _downloadTagsPopoverBox->setFrameShape(QFrame::StyledPanel);
    _downloadTagsPopoverBox->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(_downloadTagsPopoverBox);
    auto* text = new QLabel(tr("Download Tags looks up the selected files online by their sound and "
                               "fills in the missing tags. Nothing is written until you save."),
                            _downloadTagsPopoverBox);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* row = new QHBoxLayout;
    _downloadTagsHideButton = new QCheckBox(tr("Don't show this again"), _downloadTagsPopoverBox);
    _downloadTagsHideButton->setObjectName(QStringLiteral("downloadTagsHideButton"));
    _downloadTagsCloseButton = new QPushButton(tr("Close"), _downloadTagsPopoverBox);
    _downloadTagsCloseButton->setObjectName(QStringLiteral("downloadTagsCloseButton"));
    row->addWidget(_downloadTagsHideButton);
    row->addStretch(1);
    row->addWidget(_downloadTagsCloseButton);
    layout->addLayout(row);
    connect(_downloadTagsHideButton, &QCheckBox::toggled, this,
            &HLVEditorViewController::downloadTagsHideButtonSelected);
    connect(_downloadTagsCloseButton, &QPushButton::clicked, this,
            &HLVEditorViewController::downloadTagsCloseButtonSelected);
    _popoverOpacity = new QGraphicsOpacityEffect(_downloadTagsPopoverBox);
    _popoverOpacity->setOpacity(0);
    _downloadTagsPopoverBox->setGraphicsEffect(_popoverOpacity);
    _downloadTagsPopoverBox->hide();
}

void HLVEditorViewController::placePopover()
{
    if (!_downloadTagsPopoverBox)
        return;
    // Just below the download command, pointing at it.
    const int width = qMin(320, qMax(200, this->width() - 16));
    _downloadTagsPopoverBox->setFixedWidth(width);
    _downloadTagsPopoverBox->adjustSize();
    const QWidget* bar = _tagButton->parentWidget();
    _downloadTagsPopoverBox->move(8, bar->geometry().bottom() + 4);
    _downloadTagsPopoverBox->raise();
}

void HLVEditorViewController::displayDownloadTagsPopover()
{
    if (!_firstRun)
        return;
    _firstRun = false;
    QSettings settings;
    const int state = settings.value(QLatin1String(kDisplayDownloadHelpKey), DownloadHelpNeverShown).toInt();
    if (state == DownloadHelpNeverShown) {
        settings.setValue(QLatin1String(kDisplayDownloadHelpKey), int(DownloadHelpOncePerRun));
        settings.sync();
    } else if (state != DownloadHelpOncePerRun) {
        removePopover();
        return;
    }
    if (!_downloadTagsPopoverBox)
        return;
    placePopover();
    _popoverOpacity->setOpacity(0);
    _downloadTagsPopoverBox->show();
    fadePopover(1, false);
}

void HLVEditorViewController::fadePopover(double to, bool removeAfter)
{
    if (!_downloadTagsPopoverBox)
        return;
    auto finish = [this, to, removeAfter] {
        _popoverOpacity->setOpacity(to);
        if (removeAfter)
            removePopover();
    };
    if (_fadeDuration == 0) {
        finish();
        return;
    }
    auto* fade = new QPropertyAnimation(_popoverOpacity, "opacity", _downloadTagsPopoverBox);
    fade->setDuration(_fadeDuration);
    fade->setStartValue(_popoverOpacity->opacity());
    fade->setEndValue(to);
    connect(fade, &QPropertyAnimation::finished, this, finish);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void HLVEditorViewController::removePopover()
{
    if (!_downloadTagsPopoverBox)
        return;
    _downloadTagsPopoverBox->hide();
    _downloadTagsPopoverBox->deleteLater();
    _downloadTagsPopoverBox = nullptr;
}

void HLVEditorViewController::downloadTagsCloseButtonSelected()
{
    if (_downloadTagsPopoverBox && _downloadTagsPopoverBox->isVisible())
        fadePopover(0, true);
}

void HLVEditorViewController::downloadTagsHideButtonSelected()
{
    if (!_downloadTagsHideButton)
        return;
    QSettings settings;
    settings.setValue(QLatin1String(kDisplayDownloadHelpKey),
                      _downloadTagsHideButton->isChecked() ? int(DownloadHelpNever) : int(DownloadHelpOncePerRun));
    settings.sync();
}
