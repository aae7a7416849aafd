#include "frmmain.h"
#include "romlist.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Where the settings live: the dialogs' folders, whether rows show titles.
    QCoreApplication::setOrganizationName(QStringLiteral("TamblinVX Lofter"));
    QCoreApplication::setApplicationName(QStringLiteral("TamblinVX Lofter"));
    // Desktops match the window to its entry and icon by this name (on Wayland the only way).
    QGuiApplication::setDesktopFileName(QStringLiteral(TVX_APP_ID));
    RomList roms;
    frmMain window(roms);
    window.show();
    return app.exec();
}
