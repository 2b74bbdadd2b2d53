#include "HLVFileView.h"
#include "HLVFileViewController.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

HLVFileView::HLVFileView(HLVFileViewController* controller, QWidget* parent)
    : QFrame(parent), _fileViewController(controller)
{
    setAcceptDrops(true);
}

QStringList HLVFileView::localPathsOfDrop(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

bool HLVFileView::canAccept(const QMimeData* data) const
{
    return _fileViewController && _fileViewController->canAddFiles() && !localPathsOfDrop(data).isEmpty();
}

void HLVFileView::dragEnterEvent(QDragEnterEvent* event)
{
    dragMoveEvent(event);
}

void HLVFileView::dragMoveEvent(QDragMoveEvent* event)
{
    if (canAccept(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void HLVFileView::dropEvent(QDropEvent* event)
{
    if (!canAccept(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    _fileViewController->addFilesAndFoldersAtPaths(localPathsOfDrop(event->mimeData()));
}
