#include "HLVTestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <unistd.h>

namespace HLVTestEnvironment {

void prepare()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Cadrelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Cadrelle"));
    QStandardPaths::setTestModeEnabled(true);
    static QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

} // namespace HLVTestEnvironment
