#pragma once

#include <QListView>

// The file list's view. Its rows are all one height, so a row whose text
// changed is painted again without laying out every row anew, which
// QListView does on each change and which costs a save of thousands of
// selected files that many passes over all of them.
class HLVFileListView : public QListView
{
    Q_OBJECT
public:
    using QListView::QListView;

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
};
