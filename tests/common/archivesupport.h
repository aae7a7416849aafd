#pragma once
// Archives the tests write themselves, with libarchive's writer.

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTest>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

// The bytes of a member named name: random by the name's last part (readers
// may turn "\\" into "/"), or zeros past 1 MiB so that a large member packs small.
inline QByteArray memberBytes(const QString &name, qint64 size = 40000)
{
    if (size > (1 << 20))
        return QByteArray(qsizetype(size), '\0');
    QRandomGenerator random(quint32(qHash(name.mid(std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\')) + 1))));
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

// Writes an archive at path in libarchive's format ("zip", "7zip") with the
// writer's options ("zip:compression=store"). Each member holds
// memberBytes(name, size); a name ending in "/" is a folder, and one in links
// a symbolic link. A passphrase encrypts the members.
inline void writeArchive(const QString &path, const QString &format, const QString &options, const QStringList &members,
                         const QStringList &links = {}, qint64 size = 40000, const QString &passphrase = {})
{
    const std::unique_ptr<archive, int (*)(archive *)> writer(archive_write_new(), archive_write_free);
    archive *a = writer.get();
    QCOMPARE(archive_write_set_format_by_name(a, format.toUtf8().constData()), ARCHIVE_OK);
    if (!options.isEmpty())
        QCOMPARE(archive_write_set_options(a, options.toUtf8().constData()), ARCHIVE_OK);
    if (!passphrase.isEmpty())
        QCOMPARE(archive_write_set_passphrase(a, passphrase.toUtf8().constData()), ARCHIVE_OK);
    QCOMPARE(archive_write_open_filename(a, QFile::encodeName(path).constData()), ARCHIVE_OK);
    for (const QString &name : members) {
        const std::unique_ptr<archive_entry, void (*)(archive_entry *)> owner(archive_entry_new(), archive_entry_free);
        archive_entry *entry = owner.get();
        archive_entry_set_pathname_utf8(entry, name.toUtf8().constData());
        archive_entry_set_perm(entry, 0644);
        const QByteArray bytes = name.endsWith(u'/') || links.contains(name) ? QByteArray() : memberBytes(name, size);
        archive_entry_set_filetype(entry, name.endsWith(u'/') ? AE_IFDIR : links.contains(name) ? AE_IFLNK : AE_IFREG);
        if (links.contains(name))
            archive_entry_set_symlink(entry, "/etc/passwd");
        archive_entry_set_size(entry, bytes.size());
        QCOMPARE(archive_write_header(a, entry), ARCHIVE_OK);
        QCOMPARE(archive_write_data(a, bytes.constData(), size_t(bytes.size())), la_ssize_t(bytes.size()));
    }
    QCOMPARE(archive_write_close(a), ARCHIVE_OK);
}
