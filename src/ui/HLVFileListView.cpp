#include "HLVFileListView.h"

void HLVFileListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    // Past QListView's own, which lays out again; the rows keep their places.
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}
