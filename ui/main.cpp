// Scoutwire: the server browser's window.

#include <QApplication>

#include "net/OpenFileLimit.h"
#include "ui/CScoutwireApp.h"

int main(int argc, char** argv) {
    RaiseOpenFileLimit();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tolvane"));
    QApplication::setApplicationName(QStringLiteral("Scoutwire"));
    QApplication::setDesktopFileName(QStringLiteral("scoutwire"));
    CScoutwireApp theApp;
    if (!theApp.InitInstance(QApplication::arguments()))
        return 1;
    return theApp.Run();
}
