#include "HLVRenameTrackWindowController.h"
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
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

HLVRenameTrackWindowController::HLVRenameTrackWindowController(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HLVRenameTrackWindowController"));
    setWindowTitle(QStringLiteral("Rename Files"));
    setWindowModality(Qt::WindowModal);
    _preview = new HLVViewJobs(this);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Name the selected files from their tags:"), this);
    layout->addWidget(intro);

    auto* pattern = new QHBoxLayout;
    auto makePopUp = [this, pattern](const QString& name) {
        auto* popUp = new QComboBox(this);
        popUp->setObjectName(name);
        popUp->addItem(noFieldTitle());
        for (int identifier = HLVFileNameStructure::AlbumName; identifier <= HLVFileNameStructure::Year; ++identifier)
            popUp->addItem(HLVFileNameStructure::stringValueForIdentifier(identifier));
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
    example->addRow(QStringLiteral("Example:"), exampleTextField);
    layout->addLayout(example);

    _previewList = new QTreeWidget(this);
    _previewList->setObjectName(QStringLiteral("renamePreviewList"));
    _previewList->setColumnCount(2);
    _previewList->setHeaderLabels({QStringLiteral("Current Name"), QStringLiteral("New Name")});
    _previewList->setRootIsDecorated(false);
    _previewList->setSelectionMode(QAbstractItemView::NoSelection);
    _previewList->header()->setSectionResizeMode(QHeaderView::Stretch);
    _previewList->setMinimumHeight(140);
    layout->addWidget(_previewList, 1);

    auto* buttons = new QDialogButtonBox(this);
    auto* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    applyButton = buttons->addButton(QStringLiteral("Apply"), QDialogButtonBox::AcceptRole);
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
    return QStringLiteral("(No Field)");
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
    QSet<QString> claimed;  // targets of earlier files
    QSet<QString> vacated;  // paths earlier files move away from
    for (const auto& record : files) {
        Outcome outcome;
        outcome.currentName = record->FileName();
        const auto target = structure.isEmpty() ? std::nullopt : record->renamedFilePathUsingStructure(structure);
        if (!target) {
            outcome.leftAlone = QStringLiteral("Left alone: the tags give no name");
        } else if (*target == record->FilePath()) {
            outcome.leftAlone = QStringLiteral("Left alone: already so named");
        } else if (claimed.contains(*target) || (QFileInfo::exists(*target) && !vacated.contains(*target))) {
            outcome.leftAlone = QStringLiteral("Left alone: %1 is taken").arg(QFileInfo(*target).fileName());
        } else {
            outcome.newName = QFileInfo(*target).fileName();
            claimed.insert(*target);
            vacated.insert(record->FilePath());
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
    exampleTextField->setText(_fileNameStructure.stringValue() + QLatin1Char('.') + extension);
    applyButton->setEnabled(!_fileNameStructure.isEmpty());
    const std::pair<QComboBox*, QString> popUps[] = {
        {popUpButtonA, _fileNameStructure.firstComponentString()},
        {popUpButtonB, _fileNameStructure.middleComponentString()},
        {popUpButtonC, _fileNameStructure.lastComponentString()},
    };
    for (const auto& [popUp, name] : popUps) {
        const int item = popUp->findText(name, Qt::MatchExactly);
        popUp->setCurrentIndex(item >= 0 ? item : 0);
    }

    // The names come from the files' tags and the disk: worked out on a worker.
    _previewList->clear();
    if (_selectedFiles.isEmpty()) {
        _preview->cancel();
        return;
    }
    auto* waiting = new QTreeWidgetItem(_previewList, {QStringLiteral("Reading tags\u2026"), QString()});
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
    const int identifier = HLVFileNameStructure::identifierForStringValue(sender->currentText());
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
