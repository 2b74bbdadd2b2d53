#include "HLVRenameTrackWindowController.h"
#include "HLVRenamingPlan.h"
#include "HLVTagValueParser.h"
#include "HLVViewJobs.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

HLVRenameTrackWindowController::HLVRenameTrackWindowController(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HLVRenameTrackWindowController"));
    setWindowTitle(tr("Rename Files"));
    setWindowModality(Qt::WindowModal);
    _preview = new HLVViewJobs(this);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("Name the selected files from their tags:"), this);
    layout->addWidget(intro);

    auto* pattern = new QHBoxLayout;
    auto makePopUp = [this, pattern](const QString& name) {
        auto* popUp = new QComboBox(this);
        popUp->setObjectName(name);
        popUp->setAccessibleName(tr("Name part"));
        // The field's identifier goes with each entry, whatever the entry reads.
        popUp->addItem(noFieldTitle(), int(HLVFileNameStructure::None));
        for (int identifier = HLVFileNameStructure::AlbumName; identifier <= HLVFileNameStructure::Year; ++identifier)
            popUp->addItem(fieldTitle(identifier), identifier);
        connect(popUp, &QComboBox::activated, this, [this, popUp] { fileStructureModified(popUp); });
        pattern->addWidget(popUp, 1);
        return popUp;
    };
    popUpButtonA = makePopUp(QStringLiteral("popUpButtonA"));
    pattern->addWidget(new QLabel(QStringLiteral("-"), this));
    popUpButtonB = makePopUp(QStringLiteral("popUpButtonB"));
    pattern->addWidget(new QLabel(QStringLiteral("-"), this));
    popUpButtonC = makePopUp(QStringLiteral("popUpButtonC"));
    layout->addLayout(pattern);

    auto* example = new QFormLayout;
    exampleTextField = new QLabel(this);
    exampleTextField->setObjectName(QStringLiteral("exampleTextField"));
    exampleTextField->setTextInteractionFlags(Qt::TextSelectableByMouse);
    example->addRow(tr("Example:"), exampleTextField);
    layout->addLayout(example);

    _previewList = new QTreeWidget(this);
    _previewList->setObjectName(QStringLiteral("renamePreviewList"));
    _previewList->setColumnCount(2);
    _previewList->setHeaderLabels({tr("Current Name"), tr("New Name")});
    _previewList->setRootIsDecorated(false);
    _previewList->setSelectionMode(QAbstractItemView::NoSelection);
    _previewList->header()->setSectionResizeMode(QHeaderView::Stretch);
    _previewList->setMinimumHeight(140);
    layout->addWidget(_previewList, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto* cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    applyButton = buttons->addButton(tr("Apply"), QDialogButtonBox::AcceptRole);
    applyButton->setObjectName(QStringLiteral("applyButton"));
    applyButton->setDefault(true);
    connect(applyButton, &QPushButton::clicked, this, &HLVRenameTrackWindowController::apply);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 360);

    _fileNameStructure = HLVFileNameStructure::storedStructure();
    updateControls();
}

QString HLVRenameTrackWindowController::noFieldTitle()
{
    return tr("(No Field)");
}

QString HLVRenameTrackWindowController::fieldTitle(int identifier)
{
    switch (identifier) {
    case HLVFileNameStructure::AlbumName: return tr("Album Name");
    case HLVFileNameStructure::Artist: return tr("Artist");
    case HLVFileNameStructure::Composer: return tr("Composer");
    case HLVFileNameStructure::DiscNumber: return tr("Disc Number");
    case HLVFileNameStructure::DiscTotal: return tr("Disc Total");
    case HLVFileNameStructure::Genre: return tr("Genre");
    case HLVFileNameStructure::Grouping: return tr("Grouping");
    case HLVFileNameStructure::Title: return tr("Title");
    case HLVFileNameStructure::TrackNumber: return tr("Track Number");
    case HLVFileNameStructure::TrackTotal: return tr("Track Total");
    case HLVFileNameStructure::Year: return tr("Year");
    default: return noFieldTitle();
    }
}

void HLVRenameTrackWindowController::setFileNameStructure(const std::optional<HLVFileNameStructure>& structure)
{
    _fileNameStructure = structure.value_or(HLVFileNameStructure());
    updateControls();
}

void HLVRenameTrackWindowController::setSelectedFiles(const QList<std::shared_ptr<HLVFileData>>& files)
{
    _selectedFiles = files;
    updateControls();
}

QList<HLVRenameTrackWindowController::Outcome>
HLVRenameTrackWindowController::outcomes(const QList<std::shared_ptr<HLVFileData>>& files,
                                         const HLVFileNameStructure& structure)
{
    QList<Outcome> result;
    for (const HLVRenamingPlan::Step& step : HLVRenamingPlan::plan(files, structure)) {
        Outcome outcome;
        outcome.currentName = QFileInfo(step.from).fileName();
        switch (step.outcome) {
        case HLVRenamingPlan::Outcome::NoName:
            outcome.leftAlone = tr("Left alone: the tags give no name");
            break;
        case HLVRenamingPlan::Outcome::AlreadyNamed:
            outcome.leftAlone = tr("Left alone: already so named");
            break;
        case HLVRenamingPlan::Outcome::Taken:
            outcome.leftAlone = tr("Left alone: %1 is taken").arg(QFileInfo(*step.target).fileName());
            break;
        case HLVRenamingPlan::Outcome::Rename:
            outcome.newName = QFileInfo(*step.target).fileName();
            break;
        }
        result.append(outcome);
    }
    return result;
}

void HLVRenameTrackWindowController::updateControls()
{
    QString extension = _selectedFiles.isEmpty() ? QString()
                                                 : HLVTagValueParser::pathExtension(_selectedFiles.first()->FilePath());
    if (extension.isEmpty())
        extension = QStringLiteral("m4a");
    QStringList parts;
    for (int identifier : {_fileNameStructure.firstComponent(), _fileNameStructure.middleComponent(),
                           _fileNameStructure.lastComponent()}) {
        if (identifier != HLVFileNameStructure::None)
            parts.append(fieldTitle(identifier));
    }
    exampleTextField->setText(parts.join(QStringLiteral(" - ")) + QLatin1Char('.') + extension);
    applyButton->setEnabled(!_fileNameStructure.isEmpty());
    const std::pair<QComboBox*, int> popUps[] = {
        {popUpButtonA, _fileNameStructure.firstComponent()},
        {popUpButtonB, _fileNameStructure.middleComponent()},
        {popUpButtonC, _fileNameStructure.lastComponent()},
    };
    for (const auto& [popUp, identifier] : popUps) {
        const int item = popUp->findData(identifier);
        popUp->setCurrentIndex(item >= 0 ? item : 0);
    }

    // The names come from the files' tags and the disk: worked out on a worker.
    _previewList->clear();
    if (_selectedFiles.isEmpty()) {
        _preview->cancel();
        return;
    }
    auto* waiting = new QTreeWidgetItem(_previewList, {tr("Reading tags\u2026"), QString()});
    waiting->setForeground(0, palette().color(QPalette::Disabled, QPalette::Text));
    const QList<std::shared_ptr<HLVFileData>> files = _selectedFiles;
    const HLVFileNameStructure structure = _fileNameStructure;
    _preview->start([this, files, structure](const std::atomic<bool>&) -> HLVViewJobs::Apply {
        const QList<Outcome> planned = outcomes(files, structure);
        return [this, planned] { showOutcomes(planned); };
    });
}

bool HLVRenameTrackWindowController::isPreviewPending() const
{
    return _preview->isBusy();
}

void HLVRenameTrackWindowController::showOutcomes(const QList<Outcome>& planned)
{
    _previewList->clear();
    const QColor aside = palette().color(QPalette::Disabled, QPalette::Text);
    for (const Outcome& outcome : planned) {
        auto* row = new QTreeWidgetItem(_previewList, {outcome.currentName,
                                                       outcome.leftAlone.isEmpty() ? outcome.newName : outcome.leftAlone});
        if (!outcome.leftAlone.isEmpty()) {
            QFont font = row->font(1);
            font.setItalic(true);
            row->setFont(1, font);
            row->setForeground(1, aside);
        }
    }
}

void HLVRenameTrackWindowController::fileStructureModified(QComboBox* sender)
{
    const int identifier = sender->currentData().toInt();
    if (sender == popUpButtonA)
        _fileNameStructure.setFirstComponent(identifier);
    else if (sender == popUpButtonB)
        _fileNameStructure.setMiddleComponent(identifier);
    else if (sender == popUpButtonC)
        _fileNameStructure.setLastComponent(identifier);
    updateControls();
}

void HLVRenameTrackWindowController::apply()
{
    HLVFileNameStructure::storeStructure(_fileNameStructure);
    accept();
}
