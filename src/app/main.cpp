#include "HLVAppDelegate.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#ifndef CADRELLE_VERSION
#define CADRELLE_VERSION "0"
#endif

// cadrelle [PATH...]: the tag editor, with the files and folders given added at start.
int main(int argc, char* argv[])
{
    // Answered before the window system is touched, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("cadrelle %s\n", CADRELLE_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: cadrelle [PATH...]\n"
                        "Opens the tag editor; files and folders given are added to its list.\n"
                        "The command line tool is cadrelle-cli.\n");
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Cadrelle"));
    QApplication::setApplicationName(QStringLiteral("Cadrelle"));
    QApplication::setApplicationVersion(QStringLiteral(CADRELLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("cadrelle"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/Cadrelle.svg")));

    QStringList paths = QApplication::arguments();
    paths.removeFirst();

    HLVAppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    delegate.addPaths(paths);
    return app.exec();
}
