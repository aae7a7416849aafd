// write_windows_script CODEPAGE STARTDIR OUTPUT ROM...
// Writes "menu.txt" and "TamLof.bat" into the current directory as the build
// does on Windows, so that a Windows command interpreter can run the script here.

#include "apperror.h"
#include "buildscript.h"
#include "menufile.h"
#include "romlist.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s CODEPAGE STARTDIR OUTPUT ROM...\n", argv[0]);
        return 2;
    }
    try {
        RomList roms(u'\\');
        for (int i = 4; i < argc; ++i)
            roms.AddRom(QString::fromLocal8Bit(argv[i]));
        const ScriptForm form = ScriptForm::windowsIn(unsigned(std::atoi(argv[1])));
        const QByteArray script =
                buildScriptBytes(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), roms, form);
        WriteMenuFile(roms);
        WriteBuildScript(script);
    } catch (const AppError &error) {
        std::fprintf(stderr, "Error %d: %s\n", error.number(), error.what());
        return 1;
    }
    return 0;
}
