#include "frmmain.h"
#include "romlist.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    RomList roms;
    frmMain window(roms);
    window.show();
    return app.exec();
}
