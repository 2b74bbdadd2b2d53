#pragma once

#include <QFrame>

class HLVFileViewController;
class QMimeData;

// The file list's panel: takes files and folders dropped on it, while adding is
// possible, and hands their paths to the controller.
class HLVFileView : public QFrame
{
    Q_OBJECT
public:
    explicit HLVFileView(HLVFileViewController* controller, QWidget* parent = nullptr);

    // The local paths a drop carries; empty when it carries none.
    static QStringList localPathsOfDrop(const QMimeData* data);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool canAccept(const QMimeData* data) const;

    HLVFileViewController* _fileViewController; // owns this view
};
