#pragma once

#include <QTableView>

class QItemSelectionModel;
class QMenu;
class QTimer;

// The file list's table: the file's own row cell first, then the tag columns
// the user chose from the header's context menu. Which columns show, their
// widths, their order and the sort column are remembered between runs. Rows
// are all one height, the name column takes the width the others leave, and
// cells elide long texts in the middle.
class HLVFileListView : public QTableView
{
    Q_OBJECT
public:
    explicit HLVFileListView(QWidget* parent = nullptr);
    ~HLVFileListView() override;

    // After setModel: the remembered columns and sort, or the defaults
    // (name, title, artist, album and track, sorted by name).
    void restoreColumns();
    // Writes the columns' state to the preferences now (it is also written
    // shortly after each change and when the view goes).
    void saveColumns();
    // The header's menu of columns, built each time it opens.
    QMenu* columnMenu();

    static const QString columnsPreference;

    void setSelectionModel(QItemSelectionModel* selectionModel) override;

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    void showDefaultColumns();
    void stretchName();
    void scheduleSave();

    QMenu* _columnMenu = nullptr;
    QItemSelectionModel* _headerSelection = nullptr;
    QTimer* _saveTimer = nullptr;
    bool _restoring = false;
};
