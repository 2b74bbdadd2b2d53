#include "HLVTagEditorViewController.h"
#include "HLVArtworkWindowController.h"
#include "HLVCustomTagEditorViewController.h"
#include "HLVExpandingView.h"
#include "HLVFileData.h"
#include "HLVFileManager.h"
#include "HLVFileManagerBridge.h"
#include "HLVHoverButton.h"
#include "HLVIconButton.h"
#include "HLVTagEditorDelegate.h"
#include "HLVTagField.h"
#include "HLVTagTextField.h"

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

const HLVTagField& compilationField()
{
    return *HLVTagField::withKey(QStringLiteral("Compilation"));
}

// A value as its field shows it: absent and 0 both show as the empty text.
QString shownText(const HLVTagField& field, const HLVTagMap* map)
{
    if (!map)
        return QString();
    if (field.numeric) {
        const std::optional<int> number = field.number(*map);
        return number && *number != 0 ? QString::number(*number) : QString();
    }
    return field.text(*map).value_or(QString());
}

// The pending value as text, absent when the map does not change the field.
std::optional<QString> pendingText(const HLVTagField& field, const HLVTagMap* map)
{
    if (!map)
        return std::nullopt;
    if (field.numeric) {
        const std::optional<int> number = field.number(*map);
        return number ? std::optional<QString>(QString::number(*number)) : std::nullopt;
    }
    return field.text(*map);
}

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
    buildForm();
    awakeFromNib();
}

HLVTagEditorViewController::~HLVTagEditorViewController()
{
    stopTrackPreview();
    // The children outlive this part of the object (QWidget deletes them
    // later): nothing they report may reach it any more.
    delete _bridge;
    _bridge = nullptr;
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
    auto numberRow = [&](std::initializer_list<int> indexes) {
        auto* line = new QHBoxLayout;
        line->setSpacing(6);
        bool first = true;
        for (int i : indexes) {
            HLVTagTextField* field = _textFields.at(i);
            field->setFixedWidth(i == 5 ? 64 : 48);
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
        _textFields.at(i)->setFixedWidth(48);
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

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(12);
    layout->addLayout(top);
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
    _copyAction->setShortcut(QKeySequence::Copy);
    _pasteAction = new QAction(tr("Paste"), _viewArtworkButton);
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

void HLVTagEditorViewController::setDelegate(HLVTagEditorDelegate* delegate)
{
    _delegate = delegate;
    delete _bridge;
    _bridge = nullptr;
    _fileManager = nullptr;
    if (!delegate)
        return;
    _fileDialogWindow = delegate->windowToDisplayTagEditorDialogs();
    _fileManager = delegate->tagEditorFileManagerSource();
    if (!_fileManager)
        return;
    _bridge = new HLVFileManagerBridge(_fileManager, this);
    connect(_bridge, &HLVFileManagerBridge::operationStarted, this, &HLVTagEditorViewController::fileOperationDidStart);
    connect(_bridge, &HLVFileManagerBridge::operationFinished, this, &HLVTagEditorViewController::fileOperationDidFinish);
    connect(_bridge, &HLVFileManagerBridge::fileChanged, this, &HLVTagEditorViewController::fileDataWasModified);
}

void HLVTagEditorViewController::setAnimationDuration(int milliseconds)
{
    _animationDuration = milliseconds;
    _customTagsSection->setAnimationDuration(milliseconds);
}

HLVTagTextField* HLVTagEditorViewController::textFieldForKey(const QString& key) const
{
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        if (key == QLatin1String(fieldLooks[i].key))
            return _textFields.at(i);
    }
    return nullptr;
}

const HLVTagField* HLVTagEditorViewController::tagFieldFor(const HLVTagTextField* field) const
{
    const qsizetype index = _textFields.indexOf(const_cast<HLVTagTextField*>(field));
    return index < 0 ? nullptr : HLVTagField::withKey(QLatin1String(fieldLooks[index].key));
}

QList<std::shared_ptr<HLVFileData>> HLVTagEditorViewController::filesShown() const
{
    if (_tagFileData)
        return {_tagFileData};
    return _tagFileArray;
}

int HLVTagEditorViewController::currentOperation() const
{
    return _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
}

// --- showing files ------------------------------------------------------------------------

void HLVTagEditorViewController::displayFileData(const std::shared_ptr<HLVFileData>& fileData)
{
    if (fileData != _tagFileData)
        stopTrackPreview();
    _tagFileData = fileData;
    _tagFileArray.clear();
    _hasNotifiedOfModification = false;
    // A fetch or lookup for what was shown before no longer holds the indicator.
    _artworkIsDownloading = false;
    ++_artworkFetch;
    if (!fileData)
        return;
    const std::shared_ptr<HLVTagMap> map = fileData->TagMap();
    if (!map)
        return;
    showValuesOfFile(fileData);

    showArtworkTitle(tr("No artwork"));
    for (QToolButton* button : {_removeArtworkButton, _restoreArtworkButton, _downloadArtworkButton})
        button->setEnabled(false);

    bool fetching = false;
    if (map->ArtworkPath() && map->ArtworkState() == HLVArtworkStateFound) {
        loadArtworkFromFileData(fileData);
        fetching = true;
        showArtworkTitle(QString());
    } else if (map->ArtworkAttempted()) {
        const int operation = currentOperation();
        _downloadArtworkButton->setEnabled(operation != HLVFileOperationSaving && operation != HLVFileOperationArtwork
                                           && operation != HLVFileOperationIdentifying
                                           && operation != HLVFileOperationRenaming);
    } else {
        _artworkIsDownloading = true;
        setShowArtworkLoading(true);
        fileData->obtainArtworkPathForActiveTagMap();
    }

    QImage image;
    if (fileData->hasReleases()) {
        if (const auto pending = fileData->existingVirtualTagMap())
            image = pending->Artwork().image();
    } else {
        image = map->Artwork().image();
    }
    if (!image.isNull())
        showArtworkImage(image);
    else if (fetching)
        showArtworkTitle(QString());
    if (map->ArtworkState() == HLVArtworkStateChosen)
        _restoreArtworkButton->setEnabled(true);

    setShowArtworkLoading(false);
    _playTrackBox->show();
    updatePreviewAvailability();
    _customTagEditorViewController->setActiveFilePath(fileData->FilePath());
    HLVCustomTagValueArray copies;
    if (map->CustomTagValues()) {
        // The list edits its rows in place; keep the record's values out of its reach.
        for (const auto& value : *map->CustomTagValues())
            copies.append(std::make_shared<HLVCustomTagValue>(*value));
    }
    _customTagEditorViewController->setCustomTagValues(copies);
}

void HLVTagEditorViewController::showValuesOfFile(const std::shared_ptr<HLVFileData>& fileData)
{
    const auto map = fileData->TagMap();
    const auto initial = fileData->InitialTagMap();
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        HLVTagTextField* field = _textFields.at(i);
        const HLVTagField& tagField = *HLVTagField::withKey(QLatin1String(fieldLooks[i].key));
        field->setPlaceholderText(QString());
        if (tagField.numeric)
            field->setNumberValueOrEmpty(tagField.number(*map));
        else
            field->setStringValueOrEmpty(tagField.text(*map));
        field->setSavedValues({shownText(tagField, initial.get())}, true);
    }
    _compilationButton->setChecked(map->Compilation().value_or(0) != 0);
    _compilation = _compilationButton->isChecked();
    _savedCompilations = {initial && initial->Compilation().value_or(0) != 0};
    _compilationShowsPendingValue = true;
    updateCompilationMark();
}

void HLVTagEditorViewController::displayFileDataSet(const QList<std::shared_ptr<HLVFileData>>& files)
{
    _tagFileData = nullptr;
    _tagFileArray = files;
    _tagFileArray.removeAll(nullptr);
    stopTrackPreview();
    _artworkIsDownloading = false;
    ++_artworkFetch;
    setShowArtworkLoading(false);
    _hasNotifiedOfModification = false;
    if (_tagFileArray.isEmpty())
        return;
    showValuesOfFiles(_tagFileArray);

    showArtworkTitle(tr("Multiple artwork"));
    const int operation = currentOperation();
    _downloadArtworkButton->setEnabled(operation != HLVFileOperationSaving && operation != HLVFileOperationArtwork
                                       && operation != HLVFileOperationIdentifying);
    _removeArtworkButton->setEnabled(true);
    _restoreArtworkButton->setEnabled(true);
    _playTrackBox->hide();
    showCommonCustomTagValues(_tagFileArray);
}

void HLVTagEditorViewController::showValuesOfFiles(const QList<std::shared_ptr<HLVFileData>>& files)
{
    QList<std::shared_ptr<HLVTagMap>> pendings;
    QList<std::shared_ptr<const HLVTagMap>> initials;
    for (const auto& file : files) {
        // Only what is pending counts; a file without changes has none to share.
        pendings.append(file->existingVirtualTagMap());
        initials.append(file->InitialTagMap());
    }
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        HLVTagTextField* field = _textFields.at(i);
        const HLVTagField& tagField = *HLVTagField::withKey(QLatin1String(fieldLooks[i].key));
        std::optional<QString> shared = pendingText(tagField, pendings.constFirst().get());
        for (qsizetype f = 1; shared && f < pendings.size(); ++f) {
            if (pendingText(tagField, pendings.at(f).get()) != shared)
                shared.reset();
        }
        if (tagField.numeric)
            field->setNumberValueOrEmpty(shared ? std::optional<int>(shared->toInt()) : std::nullopt);
        else
            field->setStringValueOrEmpty(shared);
        QStringList saved;
        bool savedAlike = true;
        for (const auto& initial : std::as_const(initials)) {
            saved.append(shownText(tagField, initial.get()));
            savedAlike = savedAlike && saved.constLast() == saved.constFirst();
        }
        // An empty field over files that differ leaves each file's value alone.
        field->setPlaceholderText(!shared && !savedAlike ? tr("Multiple values") : QString());
        field->setSavedValues(saved, shared.has_value());
    }

    std::optional<bool> sharedCompilation;
    bool compilationAlike = true;
    _savedCompilations.clear();
    for (qsizetype f = 0; f < files.size(); ++f) {
        std::optional<bool> flag;
        if (pendings.at(f) && pendings.at(f)->Compilation())
            flag = *pendings.at(f)->Compilation() != 0;
        if (f == 0)
            sharedCompilation = flag;
        else if (flag != sharedCompilation)
            compilationAlike = false;
        _savedCompilations.append(initials.at(f) && initials.at(f)->Compilation().value_or(0) != 0);
    }
    _compilationButton->setChecked(compilationAlike && sharedCompilation.value_or(false));
    _compilation = _compilationButton->isChecked();
    _compilationShowsPendingValue = compilationAlike && sharedCompilation.has_value();
    updateCompilationMark();
}

void HLVTagEditorViewController::showCommonCustomTagValues(const QList<std::shared_ptr<HLVFileData>>& files)
{
    HLVCustomTagValueArray common;
    const auto first = files.constFirst()->TagMap();
    if (first->CustomTagValues()) {
        for (const auto& value : *first->CustomTagValues())
            common.append(std::make_shared<HLVCustomTagValue>(*value));
    }
    for (qsizetype f = 1; f < files.size() && !common.isEmpty(); ++f) {
        const auto map = files.at(f)->TagMap();
        if (!map->CustomTagValues() || map->CustomTagValues()->isEmpty()) {
            common.clear();
            break;
        }
        for (qsizetype i = common.size() - 1; i >= 0; --i) {
            const auto theirs = HLVCustomTagValue::customTagValueWithIdentifier(common.at(i)->identifier(),
                                                                                *map->CustomTagValues());
            if (!theirs)
                common.removeAt(i);
            else if (theirs->value() != common.at(i)->value())
                common.at(i)->setValue(QString(QLatin1String("")));
        }
    }
    _customTagEditorViewController->setActiveFilePath(files.constFirst()->FilePath());
    _customTagEditorViewController->setCustomTagValues(common);
}

void HLVTagEditorViewController::refreshSavedValues()
{
    // After a save the files' saved values are what the fields compare with.
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (files.isEmpty())
        return;
    QList<std::shared_ptr<const HLVTagMap>> initials;
    for (const auto& file : files)
        initials.append(file->InitialTagMap());
    for (qsizetype i = 0; i < _textFields.size(); ++i) {
        const HLVTagField& tagField = *HLVTagField::withKey(QLatin1String(fieldLooks[i].key));
        QStringList saved;
        for (const auto& initial : std::as_const(initials))
            saved.append(shownText(tagField, initial.get()));
        HLVTagTextField* field = _textFields.at(i);
        field->setSavedValues(saved, field->showsPendingValue());
    }
    _savedCompilations.clear();
    for (const auto& initial : std::as_const(initials))
        _savedCompilations.append(initial && initial->Compilation().value_or(0) != 0);
    updateCompilationMark();
}

void HLVTagEditorViewController::updateCompilationMark()
{
    const bool checked = _compilationButton->isChecked();
    const bool writes = _compilationShowsPendingValue || checked != _compilation;
    bool changed = false;
    for (bool saved : std::as_const(_savedCompilations))
        changed = changed || saved != checked;
    QFont shownFont = _compilationButton->font();
    shownFont.setBold(writes && changed);
    _compilationButton->setFont(shownFont);
}

// --- typing ----------------------------------------------------------------------------------

void HLVTagEditorViewController::noteFirstModification(bool tellManager)
{
    if (_hasNotifiedOfModification)
        return;
    _hasNotifiedOfModification = true;
    for (const auto& file : filesShown())
        file->forceIsModified();
    if (tellManager)
        tellFileManager();
}

void HLVTagEditorViewController::tellFileManager()
{
    if (!_fileManager)
        return;
    if (_tagFileData)
        _fileManager->fileWasModified(_tagFileData);
    else if (!_tagFileArray.isEmpty())
        _fileManager->filesWereModified(_tagFileArray);
}

void HLVTagEditorViewController::tellDelegateOfModification()
{
    if (_delegate)
        _delegate->tagEditorFileWasModified(this);
}

void HLVTagEditorViewController::controlTextDidChange(HLVTagTextField* field)
{
    field->forceWasEdited();
    if (filesShown().isEmpty() || _hasNotifiedOfModification)
        return;
    noteFirstModification(true);
    tellDelegateOfModification();
}

void HLVTagEditorViewController::controlTextDidEndEditing(HLVTagTextField* field)
{
    const HLVTagField* tagField = tagFieldFor(field);
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (tagField && !files.isEmpty()) {
        if (field->WasEdited()) {
            for (const auto& file : files) {
                if (tagField->numeric)
                    file->setVirtualTagNumber(*tagField, field->numberValueOrEmpty());
                else
                    file->setVirtualTagText(*tagField, field->stringValueOrEmpty());
                // Also after a save that left the editor as it was: the edit must count.
                file->forceIsModified();
            }
        }
        // One file: the manager hears of it even when nothing was edited.
        if (_tagFileData || field->WasEdited())
            tellFileManager();
    }
    field->textDidEndEditing();
}

void HLVTagEditorViewController::confirmChanges()
{
    // The field the user is still typing in, first in table order: a "ForcedCommit".
    for (HLVTagTextField* field : std::as_const(_textFields)) {
        if (!field->DidFinishEditing()) {
            controlTextDidEndEditing(field);
            return;
        }
    }
}

void HLVTagEditorViewController::compilationButtonStateChanged()
{
    const int value = _compilationButton->isChecked() ? 1 : 0;
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    for (const auto& file : files) {
        file->setVirtualTagNumber(compilationField(), value);
        file->forceIsModified();
    }
    updateCompilationMark();
    if (!files.isEmpty())
        tellDelegateOfModification();
}

// --- the file manager's notices ------------------------------------------------------------

void HLVTagEditorViewController::fileOperationDidStart(int operation)
{
    _loadArtworkButton->setEnabled(false);
    if (operation == HLVFileOperationArtwork && _tagFileData)
        setShowArtworkLoading(true);
    if (operation >= HLVFileOperationSaving && operation <= HLVFileOperationRenaming)
        _downloadArtworkButton->setEnabled(false);
}

void HLVTagEditorViewController::fileOperationDidFinish(int operation)
{
    _loadArtworkButton->setEnabled(true);
    _downloadArtworkButton->setEnabled(true);
    // A stopped lookup answers nothing; the indicator must not spin on.
    if (operation == HLVFileOperationArtwork)
        setShowArtworkLoading(false);
}

void HLVTagEditorViewController::fileDataWasModified(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    if (!fileData)
        return;
    if (code == HLVFileDataChangeSaved && filesShown().contains(fileData)) {
        // What the fields compare with changed, and the next edit is a new modification.
        refreshSavedValues();
        _hasNotifiedOfModification = false;
    }
    if (fileData == _tagFileData)
        updateDisplayForFileData(fileData, code);
}

void HLVTagEditorViewController::updateDisplayForFileData(const std::shared_ptr<HLVFileData>& fileData, int code)
{
    if (code == HLVFileManagerChangeIdentified) {
        displayFileData(fileData);
        return;
    }
    if (code != HLVFileDataChangeArtwork)
        return;
    const auto pending = fileData->existingVirtualTagMap();
    if (pending && pending->ArtworkPath() && pending->ArtworkState() == HLVArtworkStateFound) {
        const QString path = *pending->ArtworkPath();
        fileData->editVirtualTagMap([&](HLVTagMap& map) {
            if (map.ArtworkPath() == path && map.ArtworkState() == HLVArtworkStateFound)
                map.setArtworkState(HLVArtworkStateNone);
        });
        showArtworkTitle(QString());
        loadArtworkFromFileData(fileData);
        return;
    }
    _artworkIsDownloading = false;
    setShowArtworkLoading(false);
    // Nothing new found: the file keeps its own picture, if it has one.
    QImage image = pending ? pending->Artwork().image() : QImage();
    if (image.isNull())
        image = fileData->TagMap()->Artwork().image();
    if (!image.isNull()) {
        showArtworkImage(image);
    } else {
        showArtworkTitle(tr("No artwork"));
            _removeArtworkButton->setEnabled(false);
    }
}

// --- custom tags ---------------------------------------------------------------------------------

void HLVTagEditorViewController::applyCustomTagChange(const std::function<void(const std::shared_ptr<HLVFileData>&)>& change)
{
    const QList<std::shared_ptr<HLVFileData>> files = filesShown();
    if (files.isEmpty())
        return;
    for (const auto& file : files)
        change(file);
    tellFileManager();
    tellDelegateOfModification();
}

void HLVTagEditorViewController::customTagEditorViewTagValueModified(HLVCustomTagEditorViewController*,
                                                                     const std::shared_ptr<HLVCustomTagValue>& value)
{
    if (value)
        applyCustomTagChange([&](const auto& file) { modifyTagWithIdentifier(value->identifier(), value->value(), file); });
}

void HLVTagEditorViewController::customTagEditorViewTagWithIdentifierAdded(HLVCustomTagEditorViewController*,
                                                                           const QString& identifier)
{
    applyCustomTagChange([&](const auto& file) { addTagWithIdentifier(identifier, file); });
}

void HLVTagEditorViewController::customTagEditorViewTagWithIdentifierRemoved(HLVCustomTagEditorViewController*,
                                                                             const QString& identifier)
{
    applyCustomTagChange([&](const auto& file) { removeTagWithIdentifier(identifier, file); });
}

namespace {

// The pending custom value with that identifier is replaced (never changed in
// place: the record's copies share their elements); one is appended when missing.
void replaceCustomTagValue(HLVTagMap& map, const QString& identifier,
                           const std::function<std::shared_ptr<HLVCustomTagValue>(const HLVCustomTagValue*)>& make)
{
    auto& values = map.CustomTagValues();
    if (!values)
        values = HLVCustomTagValueArray();
    for (auto& element : *values) {
        if (element && element->identifier().compare(identifier, Qt::CaseInsensitive) == 0) {
            element = make(element.get());
            return;
        }
    }
    values->append(make(nullptr));
}

} // namespace

void HLVTagEditorViewController::modifyTagWithIdentifier(const QString& identifier, const std::optional<QString>& value,
                                                         const std::shared_ptr<HLVFileData>& fileData)
{
    fileData->forceIsModified();
    fileData->editVirtualTagMap([&](HLVTagMap& map) {
        replaceCustomTagValue(map, identifier, [&](const HLVCustomTagValue* existing) {
            return std::make_shared<HLVCustomTagValue>(existing ? existing->identifier() : identifier, value,
                                                       existing && existing->isMarkedForRemoval());
        });
    });
}

void HLVTagEditorViewController::addTagWithIdentifier(const QString& identifier,
                                                      const std::shared_ptr<HLVFileData>& fileData)
{
    fileData->forceIsModified();
    std::optional<QString> initialText;
    if (const auto initial = fileData->InitialTagMap(); initial && initial->CustomTagValues()) {
        if (const auto found = HLVCustomTagValue::customTagValueWithIdentifier(identifier, *initial->CustomTagValues()))
            initialText = found->value();
    }
    fileData->editVirtualTagMap([&](HLVTagMap& map) {
        replaceCustomTagValue(map, identifier, [&](const HLVCustomTagValue* existing) {
            if (existing)
                return std::make_shared<HLVCustomTagValue>(existing->identifier(), existing->value(), false);
            return std::make_shared<HLVCustomTagValue>(identifier, initialText.value_or(QString(QLatin1String(""))));
        });
    });
}

void HLVTagEditorViewController::removeTagWithIdentifier(const QString& identifier,
                                                         const std::shared_ptr<HLVFileData>& fileData)
{
    fileData->forceIsModified();
    fileData->editVirtualTagMap([&](HLVTagMap& map) {
        replaceCustomTagValue(map, identifier, [&](const HLVCustomTagValue* existing) {
            return std::make_shared<HLVCustomTagValue>(existing ? existing->identifier() : identifier,
                                                       QString(QLatin1String("")), true);
        });
    });
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
