#pragma once

#include <QList>
#include <QString>

#include <functional>

// The most bytes one ROM may unpack to. Counted as the bytes come: what an
// archive says about a member's size is never trusted.
inline constexpr qint64 UnpackLimit = qint64(64) << 20;

// Whether path names an archive that ROMs are unpacked from: ".zip" or ".7z", case ignored.
bool isRomArchive(const QString &path);

// A ".nes" file inside an archive.
struct ArchiveMember
{
    QString storedName; // as the archive names it, folders included
    QString fileName;   // the name it is unpacked under
    int entry = 0;      // its place among all the archive's entries
    // Once unpacked: the SHA-1 of its bytes, in hex, and their number.
    QString hash;
    qint64 size = -1;

    bool operator==(const ArchiveMember &) const = default;
};

// The name a member is unpacked under: the last part of its stored name,
// without a drive; where that cannot be a file name on Windows or here, the
// archive's own name with ".nes".
QString memberFileName(const QString &storedName, const QString &archivePath);

// Asked between blocks of unpacked bytes; false cancels the unpack.
using KeepGoing = std::function<bool()>;

// An archive of NES ROMs and the cache folder it unpacks them into, each ROM
// as cacheFolder/<hash>/<fileName>: written whole under a temporary name and
// renamed, and only when that file is not there already. What an unpack
// learns is noted in cacheFolder/archives/, so that adding the same archive
// again, unchanged, reads no more than its note. Every failure raises an
// AppError that names the archive and says why.
class RomArchive
{
public:
    // Lists the ".nes" members, in the archive's order; links and folders do
    // not count. An archive that holds none is refused.
    RomArchive(QString path, QString cacheFolder);

    const QString &path() const { return m_path; }
    const QList<ArchiveMember> &members() const { return m_members; }

    // Unpacks the members at these indices of members(), in the archive's
    // order, and returns each one's file in the cache. The bytes go to disk a
    // block at a time, never a whole member into memory. A member over
    // UnpackLimit is refused as it is read; keepGoing saying no raises
    // AppError::dialogCancelled. Either way the
    // members before it are whole in the cache and the failing one is absent.
    QStringList unpack(const QList<qsizetype> &chosen, const KeepGoing &keepGoing);

private:
    bool readNote();
    void writeNote() const;
    QString cacheFile(const ArchiveMember &member) const;
    bool inCache(const ArchiveMember &member) const;

    QString m_path;
    QString m_cacheFolder;
    QString m_noteFile;
    QList<ArchiveMember> m_members;
};
