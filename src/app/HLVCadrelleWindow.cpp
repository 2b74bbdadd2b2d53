#include "HLVCadrelleWindow.h"

#include "HLVFileManager.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>

namespace {
const QString geometryPreference = QStringLiteral("MainWindowGeometry");
}

HLVCadrelleWindow::HLVCadrelleWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("HLVCadrelleWindow"));
    setWindowTitle(QStringLiteral("Cadrelle"));
    // Both panels at their least, so nothing of the editor is cut.
    setMinimumSize(860, 520);
    resize(1040, 700);
}

QString HLVCadrelleWindow::terminationMessage() const
{
    const int operation = _fileManager ? _fileManager->currentOperation() : HLVFileOperationNone;
    QString message;
    if (operation == HLVFileOperationSaving)
        message = tr("Save in progress!");
    else if (operation == HLVFileOperationArtwork || operation == HLVFileOperationIdentifying
             || operation == HLVFileOperationRenaming)
        message = tr("Tagging in progress!");
    else if (_fileManager && !_fileManager->ModifiedFileDataArray().isEmpty())
        message = tr("Unsaved changes");
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
    alert->setInformativeText(tr("If you close the application now, any unsaved changes will be lost."));
    alert->setIconPixmap(QPixmap(QStringLiteral(":/images/SaveFileAlertImage.png")).scaled(64, 64, Qt::KeepAspectRatio,
                                                                                           Qt::SmoothTransformation));
    QPushButton* goBack = alert->addButton(tr("Go Back"), QMessageBox::RejectRole);
    QPushButton* closeButton = alert->addButton(tr("Close Cadrelle"), QMessageBox::DestructiveRole);
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
        // Asked already: the open question is the answer to this request too.
        if (auto* asking = findChild<QMessageBox*>(QStringLiteral("terminationAlert")); asking && asking->isVisible()) {
            event->ignore();
            asking->raise();
            asking->activateWindow();
            return;
        }
        const QString message = terminationMessage();
        if (!message.isEmpty()) {
            event->ignore();
            createAlertWithMessageText(message)->open();
            return;
        }
        _isTerminating = true;
    }
    if (finishingSaves()) {
        event->ignore();
        return;
    }
    if (_finishingTimer)
        _finishingTimer->stop();
    saveGeometryPreference();
    // Its own windows (about, preferences) go with it, or the application would
    // stay open behind them.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() && child->isVisible())
            child->close();
    }
    QMainWindow::closeEvent(event);
}

bool HLVCadrelleWindow::finishingSaves()
{
    if (!_fileManager)
        return false;
    // Lookups, queued work and listings end now; a file being written is
    // finished, or it would be left half written until the next start.
    if (!_finishingTimer)
        _fileManager->shutdown();
    const int writing = _fileManager->writesUnderWay();
    if (writing == 0)
        return false;
    statusBar()->showMessage(writing == 1 ? tr("Finishing %n save", nullptr, writing)
                                          : tr("Finishing %n saves", nullptr, writing));
    if (!_finishingTimer) {
        _finishingTimer = new QTimer(this);
        _finishingTimer->setObjectName(QStringLiteral("finishingSavesTimer"));
        _finishingTimer->setInterval(100);
        connect(_finishingTimer, &QTimer::timeout, this, &QWidget::close);
        _finishingTimer->start();
    }
    return true;
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
    // Never taller or wider than the screen it opens on (a large scale factor
    // or a small screen), though never below the least size it can work at.
    if (const QScreen* screen = this->screen()) {
        const QSize room = screen->availableGeometry().size();
        const QSize fitted = size().boundedTo(room).expandedTo(minimumSize());
        if (fitted != size())
            resize(fitted);
    }
}
