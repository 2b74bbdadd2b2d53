#pragma once

#include <QMainWindow>
#include <QStringList>

class QTableWidget;

// A plain window listing the given files with the tags read from each.
class HLVTagListWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit HLVTagListWindow(QWidget* parent = nullptr);

    void showFiles(const QStringList& paths);
    QTableWidget* table() const { return _table; }

private:
    QTableWidget* _table;
};
