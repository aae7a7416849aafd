#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// What a ROM file's header says about it: an NES ROM (iNES or NES 2.0) whose
// size matches its header, or why the file is not one the emulator can run.
struct RomCheck
{
    enum Verdict { Good, NotARom, Empty, Short, Overdump, Unreadable };

    Verdict verdict = Good;
    int mapper = 0;
    qint64 prgBytes = 0;
    qint64 chrBytes = 0;
    qint64 expectedSize = 0; // the header, a trainer and the PRG and CHR ROMs
    qint64 size = 0;
    QString reason; // Unreadable: the system's text

    bool operator==(const RomCheck &) const = default;
};

// The bytes of a file the check reads: its header.
inline constexpr qint64 RomHeaderSize = 16;

// Checks a file from its first RomHeaderSize bytes (fewer in a shorter file)
// and its size.
RomCheck checkRomHeader(QByteArrayView start, qint64 size);

// Reads the start and the size of the file at path and checks them. Only a
// regular file is opened: opening a pipe would wait for a writer.
RomCheck checkRomFile(const QString &path);

// What a row's tooltip says: the full path, then the mapper and the ROM
// sizes, or what is wrong with the file.
QString romCheckText(const QString &path, const RomCheck &check);
