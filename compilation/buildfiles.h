#pragma once

#include <QString>

// The files of a build, by the bare names the build and its script use in the
// start folder.
namespace BuildFiles {

// The emulator image every compilation starts with.
inline const QString EmulatorImage = QStringLiteral("tamblinvx.gba");
// The game menu the build writes.
inline const QString Menu = QStringLiteral("menu.txt");
// The join script the build writes and starts.
inline const QString Script = QStringLiteral("TamLof.bat");

} // namespace BuildFiles
