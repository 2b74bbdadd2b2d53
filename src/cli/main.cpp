#include "HLVCommandLine.h"
#include "HLVCommandRunner.h"
#include "HLVServiceConfiguration.h"
#include "HLVTagLib.h"

#include <QCoreApplication>
#include <cstdio>

// cadrelle-cli: the command-line front end. It needs no display: the work runs
// on the core's queues while the main thread turns the event loop.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Cadrelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Cadrelle"));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const HLVCommandLine line = HLVCommandLine::parse(arguments);
    if (line.wantsHelp()) {
        std::fputs(HLVCommandLine::helpText(line.command()).toUtf8().constData(), stdout);
        return 0;
    }
    if (line.wantsVersion()) {
        std::fputs(HLVCommandLine::versionText().toUtf8().constData(), stdout);
        return 0;
    }
    if (!line.error().isEmpty()) {
        const QString text = QStringLiteral("cadrelle-cli: %1\n\n%2").arg(line.error(), HLVCommandLine::helpText(line.command()));
        std::fputs(text.toUtf8().constData(), stderr);
        return 2;
    }
    if (line.acoustIDKey())
        HLVServiceConfiguration::setAcoustIDKeyForSession(*line.acoustIDKey());
    if (line.id3v2Version())
        HLVTagLib::setID3v2Version(*line.id3v2Version());
    HLVCommandRunner runner(line);
    return runner.run();
}
