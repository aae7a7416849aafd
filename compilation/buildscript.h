#pragma once

#include <QByteArray>
#include <QString>

class RomList;

// Whether path holds a double quote or a control character, which no script
// line can carry safely.
bool hasUnsafeCharacter(const QString &path);

// How "TamLof.bat" spells a path for the interpreter that runs it: the
// Windows one reads the console's code page, doubles "%" inside quotes and
// takes only "\" between folders; batrun reads the local file-name encoding.
struct ScriptForm
{
    bool windows = false;
    unsigned codePage = 0; // Windows form only

    static ScriptForm windowsIn(unsigned codePage) { return {true, codePage}; }
    static ScriptForm batrun() { return {}; }
};

// The bytes of "TamLof.bat": change to startDir, join the emulator image and
// the menu into the output, then append every game's ROM file in list order.
// Refuses, with an invalid-argument error, a path the form's encoding cannot hold.
QByteArray buildScriptBytes(const QString &startDir, const QString &outputPath, const RomList &roms,
                            const ScriptForm &form);

// Writes script as "TamLof.bat" into startDir.
void WriteBuildScript(const QString &startDir, const QByteArray &script);
