#pragma once

#include "romarchive.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Where ROMs unpacked from archives are kept: "roms" in the program's cache
// folder, which can be deleted at any time.
QString romCacheFolder();

// One game that a file dialog's answer adds: its ROM file, with the native
// folder separator, and the archive that file was unpacked from (empty for a
// plain file).
struct RomSource
{
    QString romPath;
    QString archive;

    bool operator==(const RomSource &) const = default;
};

// Picks among an archive's several ".nes" members: the indices of the chosen
// ones in members(), none to add nothing from that archive.
using ChooseMembers = std::function<QList<qsizetype>(const RomArchive &archive)>;
// Told which item of the answer is being worked on, between blocks of
// unpacked bytes too; false cancels.
using AnswerProgress = std::function<bool(qsizetype item)>;

// Hands add each game of a file dialog's answer, in the answer's order: a
// plain file as it is; an archive's one ".nes" member, or the ones choose
// picks among several, once unpacked into cacheFolder. Raises at the first
// archive that cannot be read, and AppError::dialogCancelled when progress
// says so; the games before that have been handed on.
void unpackAnswer(const QStringList &answer, const QString &cacheFolder, const ChooseMembers &choose,
                  const AnswerProgress &progress, const std::function<void(const RomSource &)> &add);
