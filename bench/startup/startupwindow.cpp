// The program's own start-up, as app/main.cpp does it, ending once the
// window is shown and the event loop is idle.
#include "frmmain.h"
#include "romlist.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    RomList roms;
    frmMain window(roms);
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
