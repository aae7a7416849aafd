#pragma once

#include <QDir>
#include <QString>

// The files of a build, by the bare names its script uses in the start folder.
namespace BuildFiles {

// The emulator image every compilation starts with.
inline const QString EmulatorImage = QStringLiteral("tamblinvx.gba");
// The game menu the build writes.
inline const QString Menu = QStringLiteral("menu.txt");
// The join script the build writes and starts.
inline const QString Script = QStringLiteral("TamLof.bat");

// The file name in startDir, spelled as the platform spells paths: how the
// build itself reaches it, whatever directory is current.
inline QString inStartFolder(const QString &startDir, const QString &name)
{
    return QDir::toNativeSeparators(QDir(startDir).filePath(name));
}

} // namespace BuildFiles
