#include "HLVCadrelleWindow.h"

#include "HLVFileManager.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace {
const QString geometryPreference = QStringLiteral("MainWindowGeometry");
}

HLVCadrelleWindow::HLVCadrelleWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("HLVCadrelleWindow"));
    setWindowTitle(QStringLiteral("Cadrelle"));
    setMinimumSize(760, 520);
    resize(1040, 700);
}

QString HLVCadrelleWindow::terminationMessage() const
{
    const int operation = _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
    QString message;
    if (operation == HLVFileOperationSaving)
        message = QStringLiteral("Save in progress!");
    else if (operation == HLVFileOperationArtwork || operation == HLVFileOperationIdentifying
             || operation == HLVFileOperationRenaming)
        message = QStringLiteral("Tagging in progress!");
    else if (_fileManager && !_fileManager->ModifiedFileDataArray().isEmpty())
        message = QStringLiteral("Unsaved changes");
    return message;
}

void HLVCadrelleWindow::requestTermination()
{
    const QString message = terminationMessage();
    if (message.isEmpty()) {
        _isTerminating = true;
        close();
        return;
    }
    createAlertWithMessageText(message)->open();
}

QMessageBox* HLVCadrelleWindow::createAlertWithMessageText(const QString& messageText)
{
    auto* alert = new QMessageBox(this);
    alert->setObjectName(QStringLiteral("terminationAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setText(messageText);
    alert->setInformativeText(QStringLiteral("If you close the application now, any unsaved changes will be lost."));
    alert->setIconPixmap(QPixmap(QStringLiteral(":/images/SaveFileAlertImage.png")).scaled(64, 64, Qt::KeepAspectRatio,
                                                                                           Qt::SmoothTransformation));
    QPushButton* goBack = alert->addButton(QStringLiteral("Go Back"), QMessageBox::RejectRole);
    QPushButton* closeButton = alert->addButton(QStringLiteral("Close Cadrelle"), QMessageBox::DestructiveRole);
    alert->setDefaultButton(goBack);
    alert->setEscapeButton(goBack);
    connect(alert, &QMessageBox::buttonClicked, this, [this, closeButton](QAbstractButton* button) {
        if (button != closeButton)
            return;
        _isTerminating = true;
        // After the alert has gone, so the window is not closed from inside its sheet.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
    return alert;
}

void HLVCadrelleWindow::closeEvent(QCloseEvent* event)
{
    if (!_isTerminating) {
        const QString message = terminationMessage();
        if (!message.isEmpty()) {
            event->ignore();
            createAlertWithMessageText(message)->open();
            return;
        }
        _isTerminating = true;
    }
    saveGeometryPreference();
    // Its own windows (about, preferences) go with it, or the application would
    // stay open behind them.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() && child->isVisible())
            child->close();
    }
    QMainWindow::closeEvent(event);
}

void HLVCadrelleWindow::saveGeometryPreference() const
{
    QSettings().setValue(geometryPreference, saveGeometry());
}

void HLVCadrelleWindow::restoreGeometryPreference()
{
    const QByteArray geometry = QSettings().value(geometryPreference).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}
