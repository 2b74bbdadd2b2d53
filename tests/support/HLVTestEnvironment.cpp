#include "HLVTestEnvironment.h"
#include "HLVDataRequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A test that quits (a file manager's shutdown()) refuses the process's web
// requests; the next test starts with them open, as a new program would.
class RequestsOpenForEachTest : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo&) override { HLVDataRequest::refuseRequests(false); }
};

} // namespace

namespace HLVTestEnvironment {

void prepare()
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new RequestsOpenForEachTest);
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
