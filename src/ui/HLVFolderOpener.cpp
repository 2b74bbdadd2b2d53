#include "HLVFolderOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>

bool HLVFolderOpener::openFolders(const QStringList& folders, QWidget* alertParent)
{
    QStringList failed;
    for (const QString& folder : folders) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
            failed.append(QDir::toNativeSeparators(folder));
    }
    if (failed.isEmpty())
        return true;
    auto* alert = new QMessageBox(alertParent ? alertParent->window() : nullptr);
    alert->setObjectName(QStringLiteral("openFolderAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setIcon(QMessageBox::Warning);
    alert->setText(failed.size() == 1 ? QCoreApplication::translate("HLVFolderOpener", "Could not open the folder")
                                      : QCoreApplication::translate("HLVFolderOpener", "Could not open the folders"));
    alert->setInformativeText(
        QCoreApplication::translate("HLVFolderOpener", "No file manager could be started to show:\n%1")
            .arg(failed.join(QLatin1Char('\n'))));
    alert->setTextInteractionFlags(Qt::TextSelectableByMouse);
    alert->addButton(QCoreApplication::translate("HLVFolderOpener", "Dismiss"), QMessageBox::AcceptRole);
    alert->open();
    return false;
}
