#include "romcheck.h"

#include "apperror.h"
#include "systemcalls.h"
#include <QFile>

#include <cmath>

namespace {

// NES 2.0 writes a size as a count of units, or, with the count's upper
// nibble all ones, as 2^exponent * (2 * multiplier + 1) bytes.
qint64 romBytes(int lsb, int msb, qint64 unit)
{
    if (msb != 0xf)
        return ((msb << 8) | lsb) * unit;
    // Up to 7 * 2^63 bytes: clamped, since no file can be that large.
    const double bytes = std::ldexp(double((lsb & 3) * 2 + 1), lsb >> 2);
    return bytes >= 0x1p62 ? qint64(1) << 62 : qint64(bytes);
}

QString kib(qint64 bytes)
{
    return QString::number(double(bytes) / 1024, 'g', 12);
}

} // namespace

RomCheck checkRomHeader(QByteArrayView start, qint64 size)
{
    RomCheck check;
    check.size = size;
    if (size == 0 || start.size() < RomHeaderSize || !start.startsWith("NES\x1a")) {
        check.verdict = size == 0 ? RomCheck::Empty : RomCheck::NotARom;
        return check;
    }
    const auto byte = [&](int i) { return int(quint8(start[i])); };
    const bool nes2 = (byte(7) & 0x0c) == 0x08;
    check.mapper = byte(6) >> 4;
    if (nes2) {
        check.mapper |= (byte(7) & 0xf0) | (byte(8) & 0x0f) << 8;
        check.prgBytes = romBytes(byte(4), byte(9) & 0x0f, 16 * 1024);
        check.chrBytes = romBytes(byte(5), byte(9) >> 4, 8 * 1024);
    } else {
        // Old tools wrote their name into bytes 7 to 15; then byte 7 is no mapper.
        if ((byte(12) | byte(13) | byte(14) | byte(15)) == 0)
            check.mapper |= byte(7) & 0xf0;
        check.prgBytes = byte(4) * qint64(16 * 1024);
        check.chrBytes = byte(5) * qint64(8 * 1024);
    }
    const qint64 trainer = (byte(6) & 0x04) ? 512 : 0;
    check.expectedSize = RomHeaderSize + trainer + check.prgBytes + check.chrBytes;
    // NES 2.0 may append ROMs of no stated size: more bytes are allowed there.
    const bool miscRoms = nes2 && (byte(14) & 0x03) != 0;
    if (size < check.expectedSize)
        check.verdict = RomCheck::Short;
    else if (size > check.expectedSize && !miscRoms)
        check.verdict = RomCheck::Overdump;
    return check;
}

RomCheck checkRomFile(const QString &path)
{
    const auto unreadable = [](QString reason) {
        RomCheck check;
        check.verdict = RomCheck::Unreadable;
        if (reason.endsWith(u'.'))
            reason.chop(1);
        check.reason = reason;
        return check;
    };
    // The build's own test first, so that a mark and a refused build give one
    // reason; it also keeps a pipe under a ROM's name from being opened.
    qint64 size = 0;
    if (const int error = unreadableFileError(path, size))
        return unreadable(AppError::fromErrno(error).text());
    QFile file(path);
    const QByteArray start = file.open(QIODevice::ReadOnly) ? file.read(RomHeaderSize) : QByteArray();
    if (start.size() < qMin(size, RomHeaderSize))
        return unreadable(file.errorString());
    return checkRomHeader(start, size);
}

QString romCheckText(const QString &path, const RomCheck &check)
{
    QString about;
    switch (check.verdict) {
    case RomCheck::Good:
        about = QStringLiteral("Mapper %1, PRG %2 KiB, CHR %3 KiB")
                        .arg(QString::number(check.mapper), kib(check.prgBytes), kib(check.chrBytes));
        break;
    case RomCheck::NotARom:
        about = QStringLiteral("Not an NES ROM: the file has no iNES header.");
        break;
    case RomCheck::Empty:
        about = QStringLiteral("Not an NES ROM: the file is empty.");
        break;
    case RomCheck::Short:
        about = QStringLiteral("Too short: the header promises %1 bytes, the file has %2.")
                        .arg(check.expectedSize)
                        .arg(check.size);
        break;
    case RomCheck::Overdump:
        about = QStringLiteral("Overdump: %1 bytes past the %2 bytes the header promises.")
                        .arg(check.size - check.expectedSize)
                        .arg(check.expectedSize);
        break;
    case RomCheck::Unreadable:
        about = QStringLiteral("Cannot be read: %1.").arg(check.reason);
        break;
    }
    return path + u'\n' + about;
}
