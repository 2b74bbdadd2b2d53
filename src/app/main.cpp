#include "HLVTagListWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Cadrelle"));
    QApplication::setApplicationName(QStringLiteral("Cadrelle"));

    QStringList paths = QApplication::arguments();
    paths.removeFirst();

    HLVTagListWindow window;
    window.showFiles(paths);
    window.show();
    return app.exec();
}
