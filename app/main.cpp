#include "errorreport.h"
#include "frmmain.h"
#include "romlist.h"
#include "startfolder.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Where the settings live: the dialogs' folders, whether rows show titles.
    QCoreApplication::setOrganizationName(QStringLiteral("TamblinVX Lofter"));
    QCoreApplication::setApplicationName(QStringLiteral("TamblinVX Lofter"));
    // Desktops match the window to its entry and icon by this name (on Wayland the only way).
    QGuiApplication::setDesktopFileName(QStringLiteral(TVX_APP_ID));
    // Before the window: its start-up reads the current folder.
    try {
        enterStartFolder(QCoreApplication::arguments());
    } catch (const AppError &error) {
        ErrorReport().show(nullptr, error);
        return EXIT_FAILURE;
    }
    RomList roms;
    frmMain window(roms);
    window.show();
    return app.exec();
}
