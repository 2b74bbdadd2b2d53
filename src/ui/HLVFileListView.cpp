#include "HLVFileListView.h"
#include "HLVFileListModel.h"
#include "HLVFileViewTableCell.h"

#include <QAction>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSettings>
#include <QTimer>

const QString HLVFileListView::columnsPreference = QStringLiteral("FileListColumns");

HLVFileListView::HLVFileListView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setShowGrid(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideMiddle);
    verticalHeader()->setVisible(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(HLVFileViewTableCell::RowHeight);
    QHeaderView* header = horizontalHeader();
    header->setObjectName(QStringLiteral("fileTableHeader"));
    header->setAccessibleName(tr("File list columns"));
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false); // the name stretches (stretchName)
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            [this](const QPoint& position) { columnMenu()->popup(horizontalHeader()->viewport()->mapToGlobal(position)); });

    _saveTimer = new QTimer(this);
    _saveTimer->setSingleShot(true);
    _saveTimer->setInterval(500); // a dragged column's widths, written once
    connect(_saveTimer, &QTimer::timeout, this, &HLVFileListView::saveColumns);
    connect(header, &QHeaderView::sectionResized, this, &HLVFileListView::scheduleSave);
    connect(header, &QHeaderView::sectionMoved, this, &HLVFileListView::scheduleSave);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &HLVFileListView::scheduleSave);
}

HLVFileListView::~HLVFileListView()
{
    if (_saveTimer->isActive())
        saveColumns();
}

void HLVFileListView::setSelectionModel(QItemSelectionModel* selectionModel)
{
    QTableView::setSelectionModel(selectionModel);
    // At every paint a header asks whether each column is wholly selected, and
    // the answer walks every row: with thousands of rows selected that was most
    // of a keystroke's time. Whole rows are what is selected here, so the header
    // gets a selection of its own that stays empty.
    QItemSelectionModel* earlier = std::exchange(_headerSelection, new QItemSelectionModel(model(), this));
    horizontalHeader()->setSelectionModel(_headerSelection);
    delete earlier;
}

void HLVFileListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    // Past the table's own: the rows keep their places, so none is laid out anew.
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void HLVFileListView::showDefaultColumns()
{
    QHeaderView* header = horizontalHeader();
    for (int column = 0; column < HLVFileListModel::ColumnCount; ++column) {
        header->moveSection(header->visualIndex(column), column);
        const bool shown = column == HLVFileListModel::NameColumn || column == HLVFileListModel::TitleColumn
            || column == HLVFileListModel::ArtistColumn || column == HLVFileListModel::AlbumColumn
            || column == HLVFileListModel::TrackColumn;
        header->setSectionHidden(column, !shown);
    }
    for (int column : {HLVFileListModel::TitleColumn, HLVFileListModel::ArtistColumn, HLVFileListModel::AlbumColumn})
        header->resizeSection(column, 92);
    header->resizeSection(HLVFileListModel::TrackColumn, 44);
    header->setSortIndicator(HLVFileListModel::NameColumn, Qt::AscendingOrder);
}

void HLVFileListView::stretchName()
{
    // The name takes the room the tag columns leave, so it is elided only when the pane is narrow.
    QHeaderView* header = horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(HLVFileListModel::NameColumn, QHeaderView::Stretch);
}

void HLVFileListView::restoreColumns()
{
    _restoring = true;
    QHeaderView* header = horizontalHeader();
    const QByteArray state = QSettings().value(columnsPreference).toByteArray();
    if (state.isEmpty() || !header->restoreState(state) || header->count() != HLVFileListModel::ColumnCount)
        showDefaultColumns();
    header->setSectionHidden(HLVFileListModel::NameColumn, false); // the row's own cell always shows
    stretchName(); // a state saved when the last column stretched
    setSortingEnabled(true); // sorts by the header's indicator
    _restoring = false;
}

void HLVFileListView::scheduleSave()
{
    if (!_restoring)
        _saveTimer->start();
}

void HLVFileListView::saveColumns()
{
    _saveTimer->stop();
    QSettings().setValue(columnsPreference, horizontalHeader()->saveState());
}

QMenu* HLVFileListView::columnMenu()
{
    if (!_columnMenu) {
        _columnMenu = new QMenu(this);
        _columnMenu->setObjectName(QStringLiteral("columnMenu"));
        _columnMenu->setAccessibleName(tr("Shown columns"));
    }
    _columnMenu->clear();
    QHeaderView* header = horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        QAction* item = _columnMenu->addAction(HLVFileListModel::columnTitle(column));
        item->setObjectName(QStringLiteral("column%1").arg(column));
        item->setCheckable(true);
        item->setChecked(!header->isSectionHidden(column));
        item->setEnabled(column != HLVFileListModel::NameColumn);
        connect(item, &QAction::toggled, this, [this, column](bool shown) {
            QHeaderView* header = horizontalHeader();
            header->setSectionHidden(column, !shown);
            if (shown && header->sectionSize(column) < 30)
                header->resizeSection(column, 100);
            saveColumns();
        });
    }
    return _columnMenu;
}
