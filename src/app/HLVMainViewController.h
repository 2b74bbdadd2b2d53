#pragma once

#include <QWidget>

class QSplitter;
class QStackedWidget;

// The main window's content: the file list on the left and, on the right, the
// introduction or the editor, in a splitter whose position is remembered.
class HLVMainViewController : public QWidget
{
    Q_OBJECT
public:
    explicit HLVMainViewController(QWidget* parent = nullptr);

    QWidget* LeftPanel() const { return _leftPanel; }
    QStackedWidget* RightPanel() const { return _rightPanel; }
    QSplitter* splitter() const { return _splitter; }

    void setLeftView(QWidget* view);
    // Shows the view in the right panel, adding it the first time.
    void showRightView(QWidget* view);
    QWidget* rightView() const;

    void saveState() const;
    void restoreState();

private:
    QSplitter* _splitter = nullptr;
    QWidget* _leftPanel = nullptr;
    QStackedWidget* _rightPanel = nullptr;
};
