// The tag editor's form: its fields and buttons, their looks and order, and
// its height following the custom tag section.

#include "HLVTagEditorViewController.h"
#include "HLVArtworkWindowController.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVFileDetailsView.h"
#include "HLVFileManagerBridge.h"
#include "HLVHoverButton.h"
#include "HLVIconButton.h"
#include "HLVTagField.h"
#include "HLVTagTextField.h"
#include "HLVViewJobs.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

// The fields in the order of the field table, which is also the order in which
// a forced commit looks for a field still being typed in.
struct FieldLook
{
    const char* key;
    const char* objectName;
    const char* label;
};
constexpr FieldLook fieldLooks[] = {
    {"TrackName", "trackTitleTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Title")},
    {"ArtistName", "artistNameTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Artist")},
    {"AlbumName", "albumNameTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Album")},
    {"AlbumArtist", "albumArtistTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Album Artist")},
    {"Genre", "genreTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Genre")},
    {"ReleaseYear", "yearTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Year")},
    {"TrackNumber", "trackNumberTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Track")},
    {"TrackTotal", "trackTotalTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "of")},
    {"DiscNumber", "discNumberTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Disc")},
    {"DiscTotal", "discTotalTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "of")},
    {"Composer", "composerTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Composer")},
    {"Grouping", "groupingTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Grouping")},
    {"Comment", "commentTextField", QT_TRANSLATE_NOOP("HLVTagEditorViewController", "Comment")},
};

QToolButton* artworkCommandButton(QWidget* parent, const QString& name, const QString& image,
                                  const QString& fallbackText, const QString& toolTip)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    HLVIconButton::setIcon(button, QStringLiteral(":/images/%1.svg").arg(image), fallbackText, toolTip);
    return button;
}

} // namespace

HLVTagEditorViewController::HLVTagEditorViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tagEditor"));
    _loadJob = new HLVViewJobs(this);
    _summaryJob = new HLVViewJobs(this);
    _pictureJob = new HLVViewJobs(this);
    buildForm();
    awakeFromNib();
}

HLVTagEditorViewController::~HLVTagEditorViewController()
{
    stopTrackPreview();
    // The children outlive this part of the object (QWidget deletes them
    // later): nothing they report may reach it any more.
    if (_bridge)
        _bridge->disconnect(this);
    _bridge.reset();
    // Jobs still running are cancelled and waited for before the form goes.
    delete _loadJob;
    _loadJob = nullptr;
    delete _summaryJob;
    _summaryJob = nullptr;
    delete _pictureJob;
    _pictureJob = nullptr;
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
    _customTagEditorViewController->setDelegate(nullptr);
    _customTagsSection->setDelegate(nullptr);
    _viewArtworkButton->setDelegate(nullptr);
}

void HLVTagEditorViewController::buildForm()
{
    auto* form = new QGridLayout;
    form->setHorizontalSpacing(8);
    form->setVerticalSpacing(6);
    form->setColumnStretch(1, 1);

    auto addLabel = [this](const char* text, QWidget* buddy) {
        auto* label = new QLabel(tr(text), this);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(buddy);
        return label;
    };
    for (const FieldLook& look : fieldLooks) {
        auto* field = new HLVTagTextField(this);
        field->setObjectName(QLatin1String(look.objectName));
        field->setNumeric(HLVTagField::withKey(QLatin1String(look.key))->numeric);
        field->setAccessibleName(tr(look.label));
        _textFields.append(field);
        _tagFields.append(HLVTagField::withKey(QLatin1String(look.key)));
        connect(field, &HLVTagTextField::textDidChangeByUser, this, &HLVTagEditorViewController::controlTextDidChange);
        connect(field, &HLVTagTextField::textDidEndEditingByUser, this,
                &HLVTagEditorViewController::controlTextDidEndEditing);
    }
    // Title, artist, album, album artist and genre: one row each.
    int row = 0;
    for (int i = 0; i < 5; ++i, ++row) {
        form->addWidget(addLabel(fieldLooks[i].label, _textFields.at(i)), row, 0);
        form->addWidget(_textFields.at(i), row, 1);
    }
    // Year; then track and disc, each "n of total".
    // Wide enough for a number, and for the short placeholder over files that differ.
    auto numberWidth = [this](HLVTagTextField* field, int minimum) {
        return std::max(minimum, field->fontMetrics().horizontalAdvance(differingNumbersText()) + 18);
    };
    auto numberRow = [&](std::initializer_list<int> indexes) {
        auto* line = new QHBoxLayout;
        line->setSpacing(6);
        bool first = true;
        for (int i : indexes) {
            HLVTagTextField* field = _textFields.at(i);
            field->setFixedWidth(numberWidth(field, i == 5 ? 64 : 48));
            field->setAlignment(Qt::AlignRight);
            if (!first)
                line->addWidget(addLabel(fieldLooks[i].label, field));
            line->addWidget(field);
            first = false;
        }
        line->addStretch(1);
        return line;
    };
    form->addWidget(addLabel(fieldLooks[5].label, _textFields.at(5)), row, 0);
    form->addLayout(numberRow({5}), row++, 1);
    form->addWidget(addLabel(fieldLooks[6].label, _textFields.at(6)), row, 0);
    auto* trackAndDisc = numberRow({6, 7});
    trackAndDisc->insertSpacing(trackAndDisc->count() - 1, 16);
    trackAndDisc->insertWidget(trackAndDisc->count() - 1, addLabel(fieldLooks[8].label, _textFields.at(8)));
    trackAndDisc->insertWidget(trackAndDisc->count() - 1, _textFields.at(8));
    trackAndDisc->insertWidget(trackAndDisc->count() - 1, addLabel(fieldLooks[9].label, _textFields.at(9)));
    trackAndDisc->insertWidget(trackAndDisc->count() - 1, _textFields.at(9));
    for (int i : {8, 9}) {
        _textFields.at(i)->setFixedWidth(numberWidth(_textFields.at(i), 48));
        _textFields.at(i)->setAlignment(Qt::AlignRight);
    }
    form->addLayout(trackAndDisc, row++, 1);
    for (int i = 10; i < 13; ++i, ++row) {
        form->addWidget(addLabel(fieldLooks[i].label, _textFields.at(i)), row, 0);
        form->addWidget(_textFields.at(i), row, 1);
    }
    _compilationButton = new QCheckBox(tr("Compilation"), this);
    _compilationButton->setObjectName(QStringLiteral("compilationButton"));
    connect(_compilationButton, &QCheckBox::clicked, this, &HLVTagEditorViewController::compilationButtonStateChanged);
    form->addWidget(_compilationButton, row++, 1);

    // The artwork well, its commands, the loading indicator and the preview.
    _viewArtworkButton = new HLVHoverButton(this);
    _viewArtworkButton->setObjectName(QStringLiteral("viewArtworkButton"));
    _viewArtworkButton->setFixedSize(168, 168);
    _viewArtworkButton->setIconSize(QSize(160, 160));
    _viewArtworkButton->setFlat(false);
    _viewArtworkButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(_viewArtworkButton, &QWidget::customContextMenuRequested, this,
            &HLVTagEditorViewController::showArtworkContextMenu);
    connect(_viewArtworkButton, &QPushButton::clicked, this, &HLVTagEditorViewController::viewArtworkButtonPressed);

    _downloadArtworkButton = artworkCommandButton(this, QStringLiteral("downloadArtworkButton"),
                                                  QStringLiteral("ArtworkDownload"), tr("Get"), QString());
    _loadArtworkButton = artworkCommandButton(this, QStringLiteral("loadArtworkButton"),
                                              QStringLiteral("ArtworkLoad"), tr("Load"), QString());
    _restoreArtworkButton = artworkCommandButton(this, QStringLiteral("restoreArtworkButton"),
                                                 QStringLiteral("ArtworkRestore"), tr("Undo"), QString());
    _removeArtworkButton = artworkCommandButton(this, QStringLiteral("removeArtworkButton"),
                                                QStringLiteral("ArtworkRemove"), tr("Remove"), QString());
    connect(_downloadArtworkButton, &QToolButton::clicked, this, &HLVTagEditorViewController::downloadArtworkButtonPressed);
    connect(_loadArtworkButton, &QToolButton::clicked, this, &HLVTagEditorViewController::loadArtworkButtonPressed);
    connect(_restoreArtworkButton, &QToolButton::clicked, this, &HLVTagEditorViewController::restoreArtworkButtonPressed);
    connect(_removeArtworkButton, &QToolButton::clicked, this, &HLVTagEditorViewController::removeArtworkButtonPressed);
    auto* commands = new QHBoxLayout;
    commands->setSpacing(2);
    commands->addStretch(1);
    for (QToolButton* button : {_downloadArtworkButton, _loadArtworkButton, _restoreArtworkButton, _removeArtworkButton})
        commands->addWidget(button);
    commands->addStretch(1);

    _artworkProgressIndicator = new QProgressBar(this);
    _artworkProgressIndicator->setObjectName(QStringLiteral("artworkProgressIndicator"));
    _artworkProgressIndicator->setRange(0, 0); // busy
    _artworkProgressIndicator->setTextVisible(false);
    _artworkProgressIndicator->setFixedSize(120, 8);
    QSizePolicy keepRoom = _artworkProgressIndicator->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    _artworkProgressIndicator->setSizePolicy(keepRoom);
    _artworkProgressIndicator->hide();

    _playTrackBox = new QWidget(this);
    _playTrackBox->setObjectName(QStringLiteral("playTrackBox"));
    _playTrackIconButton = new HLVHoverButton(_playTrackBox);
    _playTrackIconButton->setObjectName(QStringLiteral("playTrackIconButton"));
    _playTrackIconButton->setIconSize(QSize(24, 24));
    if (!_playTrackIconButton->setImageWithHover(QStringLiteral("PlayButton")))
        _playTrackIconButton->setText(QStringLiteral("\u25B6"));
    _playTrackButton = new HLVHoverButton(_playTrackBox);
    _playTrackButton->setObjectName(QStringLiteral("playTrackButton"));
    _playTrackButton->setText(tr("Play Track"));
    for (HLVHoverButton* button : {_playTrackIconButton, _playTrackButton})
        connect(button, &QPushButton::clicked, this, &HLVTagEditorViewController::playTrackButtonPressed);
    auto* play = new QHBoxLayout(_playTrackBox);
    play->setContentsMargins(0, 0, 0, 0);
    play->setSpacing(0);
    play->addStretch(1);
    play->addWidget(_playTrackIconButton);
    play->addWidget(_playTrackButton);
    play->addStretch(1);

    auto* well = new QVBoxLayout;
    well->setSpacing(4);
    well->addWidget(_viewArtworkButton, 0, Qt::AlignHCenter);
    well->addLayout(commands);
    well->addWidget(_artworkProgressIndicator, 0, Qt::AlignHCenter);
    well->addWidget(_playTrackBox);
    well->addStretch(1);

    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addLayout(form, 1);
    top->addLayout(well);

    _customTagEditorViewController = new HLVCustomTagEditorViewController(this);
    _customTagEditorViewController->setDelegate(this);
    _customTagsSection = new HLVExpandingView(tr("Custom Tags"), this);
    _customTagsSection->setObjectName(QStringLiteral("customTagsSection"));
    _customTagsSection->setContentView(_customTagEditorViewController);
    _customTagEditorViewController->setExpandingView(_customTagsSection);

    _readOnlyReasonLabel = new QLabel(this);
    _readOnlyReasonLabel->setObjectName(QStringLiteral("readOnlyReasonLabel"));
    _readOnlyReasonLabel->setWordWrap(true);
    _readOnlyReasonLabel->setForegroundRole(QPalette::PlaceholderText);
    _readOnlyReasonLabel->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addWidget(_readOnlyReasonLabel);
    layout->addLayout(top);
    _fileDetailsView = new HLVFileDetailsView(this);
    layout->addWidget(_fileDetailsView);
    layout->addWidget(_customTagsSection);
    layout->addStretch(1);

    // Tab goes down the fields in table order, then to the check box.
    for (qsizetype i = 1; i < _textFields.size(); ++i)
        setTabOrder(_textFields.at(i - 1), _textFields.at(i));
    setTabOrder(_textFields.constLast(), _compilationButton);

    _artworkWindowController = new HLVArtworkWindowController(this);
}

void HLVTagEditorViewController::awakeFromNib()
{
    _downloadArtworkButton->setToolTip(tr("Download artwork"));
    _loadArtworkButton->setToolTip(tr("Load artwork from file"));
    _restoreArtworkButton->setToolTip(tr("Undo unsaved changes to artwork"));
    _removeArtworkButton->setToolTip(tr("Remove artwork"));
    _viewArtworkButton->setToolTip(tr("Click to view larger"));
    for (QToolButton* button : {_downloadArtworkButton, _loadArtworkButton, _restoreArtworkButton, _removeArtworkButton})
        button->setAccessibleName(button->toolTip());
    _playTrackButton->setLinkedButton(_playTrackIconButton);
    _viewArtworkButton->setDelegate(this);
    _viewArtworkButton->setHoverCursor(Qt::PointingHandCursor);
    _viewArtworkButton->setAcceptDrops(true);

    _copyAction = new QAction(tr("Copy"), _viewArtworkButton);
    _copyAction->setObjectName(QStringLiteral("copyArtworkAction"));
    _copyAction->setShortcut(QKeySequence::Copy);
    _pasteAction = new QAction(tr("Paste"), _viewArtworkButton);
    _pasteAction->setObjectName(QStringLiteral("pasteArtworkAction"));
    _pasteAction->setShortcut(QKeySequence::Paste);
    for (QAction* action : {_copyAction, _pasteAction}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        _viewArtworkButton->addAction(action);
    }
    connect(_copyAction, &QAction::triggered, this, [this] {
        if (validateMenuItem(_copyAction))
            copyImage();
    });
    connect(_pasteAction, &QAction::triggered, this, [this] {
        if (validateMenuItem(_pasteAction))
            pasteImage();
    });

    showArtworkTitle(QString());
    for (QToolButton* button : {_downloadArtworkButton, _restoreArtworkButton, _removeArtworkButton})
        button->setEnabled(false);
    _customTagsSection->setDelegate(this);
    _customTagsSection->initialize();
    updatePreviewAvailability();
}

void HLVTagEditorViewController::setAnimationDuration(int milliseconds)
{
    _animationDuration = milliseconds;
    _customTagsSection->setAnimationDuration(milliseconds);
}

void HLVTagEditorViewController::expandingViewDidExpandToSize(HLVExpandingView*, double, double delta)
{
    growBy(delta);
}

void HLVTagEditorViewController::expandingViewDidCollapseToSize(HLVExpandingView*, double, double delta)
{
    growBy(delta);
}

void HLVTagEditorViewController::growBy(double delta)
{
    updateGeometry();
    // Inside a layout the form follows the section by itself; on its own (a
    // scroll view's document) it changes its height, keeping its width.
    if (!isVisible() || (parentWidget() && parentWidget()->layout()))
        return;
    if (_growth)
        _growth->stop();
    const QSize target(width(), std::max(minimumSizeHint().height(), height() + static_cast<int>(std::lround(delta))));
    if (_animationDuration <= 0) {
        resize(target);
        return;
    }
    auto* animation = new QPropertyAnimation(this, "size", this);
    animation->setDuration(_animationDuration);
    animation->setEndValue(target);
    _growth = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}
