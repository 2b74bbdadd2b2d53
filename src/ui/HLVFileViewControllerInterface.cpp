// The file list's widgets and how they are laid out and wired.

#include "HLVFileViewController.h"
#include "HLVViewJobs.h"
#include "HLVFileListModel.h"
#include "HLVFileListView.h"
#include "HLVFileSearchProxyModel.h"
#include "HLVFileView.h"
#include "HLVFileViewTableCell.h"
#include "HLVGlyphIcon.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QScrollBar>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

// The images live in a static library: register them before first use.
static void initFileListResources()
{
    Q_INIT_RESOURCE(file_list);
}

namespace {

QToolButton* makeButton(QWidget* parent, const QString& objectName, const QString& image, const QString& toolTip)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIcon(HLVGlyphIcon::load(QStringLiteral(":/images/%1.png").arg(image)));
    button->setIconSize(QSize(18, 18));
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

void HLVFileViewController::buildInterface()
{
    initFileListResources();
    _fileView = new HLVFileView(this, this);
    _fileView->setObjectName(QStringLiteral("fileView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(_fileView);

    auto* layout = new QVBoxLayout(_fileView);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    _addButton = makeButton(_fileView, QStringLiteral("addButton"), QStringLiteral("FileListAdd"), tr("Add files"));
    _addFolderButton = makeButton(_fileView, QStringLiteral("addFolderButton"), QStringLiteral("FileListAddFolder"),
                                  tr("Add folder"));
    _removeButton = makeButton(_fileView, QStringLiteral("removeButton"), QStringLiteral("FileListRemove"),
                               tr("Remove selection"));
    _filterButton = makeButton(_fileView, QStringLiteral("filterButton"), QStringLiteral("FileListFilter"),
                               tr("Filter displayed files"));
    _removeButton->setEnabled(false);
    buttons->addWidget(_addButton);
    buttons->addWidget(_addFolderButton);
    buttons->addWidget(_removeButton);
    buttons->addStretch(1);
    buttons->addWidget(_filterButton);
    layout->addLayout(buttons);
    connect(_addButton, &QToolButton::clicked, this, &HLVFileViewController::addFilesWithDialog);
    connect(_addFolderButton, &QToolButton::clicked, this, &HLVFileViewController::addFolderWithDialog);
    connect(_removeButton, &QToolButton::clicked, this, &HLVFileViewController::removeSelectedFiles);

    _filterMenu = new QMenu(tr("Filter"), this);
    _filterMenu->setObjectName(QStringLiteral("filterMenu"));
    auto* group = new QActionGroup(_filterMenu);
    const std::pair<const char*, void (HLVFileViewController::*)()> filters[] = {
        {QT_TR_NOOP("All Files"), &HLVFileViewController::changeFilterToAll},
        {QT_TR_NOOP("Untagged Files"), &HLVFileViewController::changeFilterToNoTags},
        {QT_TR_NOOP("Partially Tagged Files"), &HLVFileViewController::changeFilterToPartial},
        {QT_TR_NOOP("Modified Files"), &HLVFileViewController::changeFilterToModified},
    };
    for (const auto& [title, slot] : filters) {
        QAction* item = _filterMenu->addAction(tr(title));
        item->setCheckable(true);
        group->addAction(item);
        connect(item, &QAction::triggered, this, slot);
        _filterItems.append(item);
    }
    _filterItems.first()->setChecked(true);
    connect(_filterButton, &QToolButton::clicked, this, [this] {
        // The menu opens with its last item under the pointer, as a pop-up menu does.
        const QSize size = _filterMenu->sizeHint();
        const QPoint corner = _filterButton->mapToGlobal(QPoint(_filterButton->width() - size.width(), _filterButton->height()));
        _filterMenu->popup(corner);
    });
    enableFilterMenu(false);

    _searchField = new QLineEdit(_fileView);
    _searchField->setObjectName(QStringLiteral("searchField"));
    _searchField->setPlaceholderText(tr("Search name, artist, album, title"));
    _searchField->setClearButtonEnabled(true);
    _searchField->setToolTip(tr("Show only files whose name, artist, album or title contains this text"));
    layout->addWidget(_searchField);

    _model = new HLVFileListModel(this);
    _proxy = new HLVFileSearchProxyModel(this);
    _proxy->setSourceModel(_model);
    _tableView = new HLVFileListView(_fileView);
    _tableView->setObjectName(QStringLiteral("fileTableView"));
    _tableView->setModel(_proxy);
    _tableView->setAccessibleName(tr("Files"));
    _tableView->setItemDelegateForColumn(HLVFileListModel::NameColumn, new HLVFileViewTableCell(_tableView));
    _tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // F2 or a double click edits a tag cell; Tab goes on to the next one.
    _tableView->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
    _tableView->setContextMenuPolicy(Qt::CustomContextMenu);
    _tableView->setAlternatingRowColors(true);
    _tableView->restoreColumns();
    connect(_model, &HLVFileListModel::cellEdited, this, &HLVFileViewController::applyCellEdit);
    // The rows in sight are read first, wherever the list is scrolled or sorted to.
    connect(_tableView->verticalScrollBar(), &QScrollBar::valueChanged, this, &HLVFileViewController::prioritizeVisibleRows);
    connect(_proxy, &QAbstractItemModel::layoutChanged, this, &HLVFileViewController::prioritizeVisibleRows);
    _tableView->setVisible(false);
    layout->addWidget(_tableView, 1);
    connect(_tableView, &QTableView::customContextMenuRequested, this, &HLVFileViewController::showContextMenu);
    connect(_tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &HLVFileViewController::tableViewSelectionDidChange);

    _emptyListLabel = new QLabel(tr("Drop music files or folders here,\nor add them with the buttons above."),
                                 _fileView);
    _emptyListLabel->setObjectName(QStringLiteral("emptyListLabel"));
    _emptyListLabel->setAlignment(Qt::AlignCenter);
    _emptyListLabel->setWordWrap(true);
    _emptyListLabel->setEnabled(false);
    layout->addWidget(_emptyListLabel, 1);

    _progressStrip = new QFrame(_fileView);
    _progressStrip->setObjectName(QStringLiteral("progressStrip"));
    _progressStrip->setFrameShape(QFrame::StyledPanel);
    auto* strip = new QHBoxLayout(_progressStrip);
    strip->setContentsMargins(6, 3, 6, 3);
    _progressIndicator = new QProgressBar(_progressStrip);
    _progressIndicator->setObjectName(QStringLiteral("progressIndicator"));
    _progressIndicator->setRange(0, 1);
    _progressIndicator->setTextVisible(false);
    _progressIndicator->setFixedSize(48, 10);
    _progressLabel = new QLabel(tr("Complete"), _progressStrip);
    _progressLabel->setObjectName(QStringLiteral("progressLabel"));
    _cancelButton = new QPushButton(tr("Cancel"), _progressStrip);
    _cancelButton->setObjectName(QStringLiteral("cancelButton"));
    _cancelButton->setVisible(false);
    strip->addWidget(_progressIndicator);
    strip->addWidget(_progressLabel, 1);
    strip->addWidget(_cancelButton);
    _progressStrip->setVisible(false);
    layout->addWidget(_progressStrip);
    connect(_cancelButton, &QPushButton::clicked, this, [this] {
        if (_fileManager) {
            _fileManager->stopRenaming();
            _fileManager->cancelFilter();
        }
        changeFilterToAll();
    });

    _fileCountLabel = new QLabel(tr("No Files Added"), _fileView);
    _fileCountLabel->setObjectName(QStringLiteral("fileCountLabel"));
    _fileCountLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(_fileCountLabel);

    // Typing narrows the rows after a short pause; the selection is reported
    // afresh for the rows left.
    _searchPause = new QTimer(this);
    _searchPause->setSingleShot(true);
    _searchPause->setInterval(150);
    connect(_searchPause, &QTimer::timeout, this, &HLVFileViewController::applySearch);
    connect(_searchField, &QLineEdit::textChanged, _searchPause, qOverload<>(&QTimer::start));
    _searchTexts = new HLVViewJobs(this);
    _columnReads = new HLVViewJobs(this);

    setTabOrder(_addButton, _addFolderButton);
    setTabOrder(_addFolderButton, _removeButton);
    setTabOrder(_removeButton, _filterButton);
    setTabOrder(_filterButton, _searchField);
    setTabOrder(_searchField, _tableView);
}
