#include "romarchive.h"

#include "apperror.h"
#include "systemcalls.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <tuple>

namespace {

constexpr qsizetype BlockSize = 64 * 1024;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Names Windows keeps for its devices, with or without an extension.
bool isDeviceName(const QString &name)
{
    const QString stem = name.section(u'.', 0, 0).trimmed().toUpper();
    static const QStringList devices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (devices.contains(stem))
        return true;
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
            && stem[3].isDigit();
}

// One rule on every platform, so that an archive unpacks under the same name
// everywhere and no name reaches the build script that it would refuse.
bool isPortableFileName(const QString &name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.size() > 255 || QFile::encodeName(name).size() > 255
        || name.endsWith(u'.') || name.endsWith(u' ') || isDeviceName(name))
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f || QStringView(u"<>:\"/\\|?*").contains(c) || c.isSurrogate();
    });
}

// An archive read through libarchive, entry by entry, from a file it reaches
// through Qt (so any path opens on any platform). Notes whether a read found
// the file's end or a seek went past it: an error after that means the
// archive is cut short.
class Reader
{
public:
    explicit Reader(const QString &path) : m_path(path), m_file(path), m_owner(archive_read_new(), archive_read_free)
    {
        qint64 size = 0;
        if (const int error = unreadableFileError(path, size))
            fail(AppError::fromErrno(error, native(path)));
        if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            fail(AppError::fromErrno(EACCES, native(path)));
        archive_read_support_format_zip(m_archive);
        archive_read_support_format_7zip(m_archive);
        archive_read_set_callback_data(m_archive, this);
        archive_read_set_read_callback(m_archive, read);
        archive_read_set_seek_callback(m_archive, seek);
        archive_read_set_skip_callback(m_archive, skip);
        if (archive_read_open1(m_archive) != ARCHIVE_OK)
            fail(m_readFailed ? AppError::fromErrno(EIO, native(path)) : formatError(NotAnArchive));
    }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // The next entry, nullptr after the last one.
    archive_entry *next()
    {
        archive_entry *entry = nullptr;
        const int result = archive_read_next_header(m_archive, &entry);
        if (result == ARCHIVE_EOF)
            return nullptr;
        // A warning: a name that cannot be converted, which the name rule catches.
        if (result != ARCHIVE_OK && result != ARCHIVE_WARN)
            fail(readError());
        ++m_entry;
        return entry;
    }
    int entry() const { return m_entry; }

    // Writes the current entry's bytes into output, a block at a time,
    // counted against UnpackLimit; returns their SHA-1, in hex, and their number.
    std::pair<QString, qint64> copy(archive_entry *entry, OutputFile &output, const KeepGoing &keepGoing)
    {
        QCryptographicHash sha1(QCryptographicHash::Sha1);
        qint64 size = 0;
        char block[BlockSize];
        for (;;) {
            if (!keepGoing())
                throw AppError::dialogCancelled();
            const la_ssize_t n = archive_read_data(m_archive, block, sizeof block);
            if (n < 0)
                fail(readError());
            if (n == 0)
                break;
            size += n;
            if (size > UnpackLimit)
                fail(AppError(AppError::InvalidFileFormat,
                              QStringLiteral("The member \"%1\" of the archive %2 unpacks to more than %3 MiB, more "
                                             "than any NES ROM.")
                                      .arg(storedName(entry), native(m_path))
                                      .arg(UnpackLimit >> 20)));
            output.write(QByteArrayView(block, n));
            sha1.addData(QByteArrayView(block, n));
        }
        return {QString::fromLatin1(sha1.result().toHex()), size};
    }

    [[noreturn]] void refuseEncrypted() const { fail(formatError(Encrypted)); }

    static QString storedName(archive_entry *entry)
    {
        if (const char *utf8 = archive_entry_pathname_utf8(entry))
            return QString::fromUtf8(utf8);
        const char *name = archive_entry_pathname(entry);
        return name ? QString::fromLocal8Bit(name) : QString();
    }

private:
    enum Reason { NotAnArchive, Truncated, Encrypted, Unsupported, Damaged };

    // What went wrong, from what libarchive says and whether the file ran out.
    AppError readError() const
    {
        if (m_readFailed)
            return AppError::fromErrno(EIO, native(m_path));
        const QString said = QString::fromUtf8(archive_error_string(m_archive));
        if (said.contains(QLatin1String("encrypt"), Qt::CaseInsensitive)
            || said.contains(QLatin1String("passphrase"), Qt::CaseInsensitive))
            return formatError(Encrypted);
        if (m_reachedEnd || headerPastEnd())
            return formatError(Truncated);
        if (said.contains(QLatin1String("unsupported"), Qt::CaseInsensitive)
            || said.contains(QLatin1String("unknown codec"), Qt::CaseInsensitive))
            return formatError(Unsupported, said);
        return formatError(Damaged, said);
    }

    // A 7z archive names where its header lies, at its end; libarchive finds
    // that place gone without a word.
    bool headerPastEnd() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray start = file.read(32);
        if (start.size() < 32 || !start.startsWith("7z\xbc\xaf\x27\x1c"))
            return false;
        const auto number = [&start](int at) { return qFromLittleEndian<quint64>(start.constData() + at); };
        return number(12) > quint64(file.size()) || number(12) + number(20) > quint64(file.size()) - 32;
    }

    AppError formatError(Reason reason, const QString &said = {}) const
    {
        const QString archive = native(m_path);
        QString text;
        switch (reason) {
        case NotAnArchive:
            text = QStringLiteral("%1 is not an archive that TamblinVX Lofter reads (.zip or .7z).").arg(archive);
            break;
        case Truncated:
            text = QStringLiteral("The archive %1 is truncated: it ends before its last member does.").arg(archive);
            break;
        case Encrypted:
            text = QStringLiteral("The archive %1 is encrypted; TamblinVX Lofter reads archives without a password "
                                  "only.")
                           .arg(archive);
            break;
        case Unsupported:
            text = QStringLiteral("The archive %1 is packed with a method TamblinVX Lofter cannot read (%2).")
                           .arg(archive, said);
            break;
        case Damaged:
            text = said.isEmpty() ? QStringLiteral("The archive %1 is damaged.").arg(archive)
                                  : QStringLiteral("The archive %1 is damaged (%2).").arg(archive, said);
            break;
        }
        return AppError(AppError::InvalidFileFormat, text);
    }

    [[noreturn]] static void fail(const AppError &error)
    {
        if (error.number() == AppError::InvalidFileFormat)
            throw error;
        throw error.withText(QStringLiteral("The archive cannot be read: ") + error.text());
    }

    static Reader &self(void *data) { return *static_cast<Reader *>(data); }
    static la_ssize_t read(archive *, void *data, const void **block)
    {
        Reader &r = self(data);
        const qint64 n = r.m_file.read(r.m_block, sizeof r.m_block);
        r.m_readFailed = n < 0;
        r.m_reachedEnd = r.m_reachedEnd || n == 0;
        *block = r.m_block;
        return la_ssize_t(n);
    }
    static la_int64_t seek(archive *, void *data, la_int64_t offset, int whence)
    {
        Reader &r = self(data);
        const qint64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? r.m_file.pos() : r.m_file.size();
        r.m_reachedEnd = r.m_reachedEnd || base + offset > r.m_file.size();
        return base + offset >= 0 && r.m_file.seek(base + offset) ? base + offset : ARCHIVE_FATAL;
    }
    static la_int64_t skip(archive *, void *data, la_int64_t request)
    {
        QFile &file = self(data).m_file;
        const qint64 step = std::min<qint64>(request, std::max<qint64>(0, file.size() - file.pos()));
        return file.seek(file.pos() + step) ? step : 0;
    }

    QString m_path;
    QFile m_file;
    std::unique_ptr<archive, int (*)(archive *)> m_owner;
    archive *m_archive = m_owner.get();
    char m_block[BlockSize];
    bool m_reachedEnd = false;
    bool m_readFailed = false;
    int m_entry = -1;
};

bool isHash(const QString &text)
{
    return text.size() == 40 && std::all_of(text.begin(), text.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
           });
}

bool isRomEntry(archive_entry *entry)
{
    return archive_entry_filetype(entry) == AE_IFREG && !archive_entry_hardlink(entry)
            && Reader::storedName(entry).endsWith(QLatin1String(".nes"), Qt::CaseInsensitive);
}

} // namespace

bool isRomArchive(const QString &path)
{
    return path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive)
            || path.endsWith(QLatin1String(".7z"), Qt::CaseInsensitive);
}

QString memberFileName(const QString &storedName, const QString &archivePath)
{
    QString name = storedName.mid(std::max(storedName.lastIndexOf(u'/'), storedName.lastIndexOf(u'\\')) + 1);
    if (name.size() >= 2 && name[1] == u':' && name[0].isLetter() && name[0].unicode() < 0x80)
        name.remove(0, 2);
    return isPortableFileName(name) ? name : QFileInfo(archivePath).completeBaseName() + QStringLiteral(".nes");
}

RomArchive::RomArchive(QString path, QString cacheFolder)
    : m_path(std::move(path)), m_cacheFolder(std::move(cacheFolder))
{
    // The same file, unchanged since its note was written, holds the same members.
    const QFileInfo file(m_path);
    const QString identity = QStringLiteral("%1\n%2\n%3")
                                     .arg(file.absoluteFilePath())
                                     .arg(file.size())
                                     .arg(file.lastModified().toMSecsSinceEpoch());
    m_noteFile =
            QStringLiteral("%1/archives/%2.json")
                    .arg(m_cacheFolder, QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha1).toHex());
    if (readNote())
        return;
    Reader reader(m_path);
    while (archive_entry *entry = reader.next()) {
        if (!isRomEntry(entry))
            continue;
        if (archive_entry_is_encrypted(entry))
            reader.refuseEncrypted();
        const QString stored = Reader::storedName(entry);
        m_members.append({stored, memberFileName(stored, m_path), reader.entry(), {}, -1});
    }
    if (m_members.isEmpty())
        throw AppError(AppError::InvalidFileFormat,
                       QStringLiteral("The archive %1 holds no \".nes\" file.").arg(native(m_path)));
}

QString RomArchive::cacheFile(const ArchiveMember &member) const
{
    return QStringLiteral("%1/%2/%3").arg(m_cacheFolder, member.hash, member.fileName);
}

bool RomArchive::inCache(const ArchiveMember &member) const
{
    // The folder's name is the hash: the right size there is the right file.
    const QFileInfo file(cacheFile(member));
    return !member.hash.isEmpty() && file.isFile() && file.size() == member.size;
}

QStringList RomArchive::unpack(const QList<qsizetype> &chosen, const KeepGoing &keepGoing)
{
    QList<qsizetype> order = chosen;
    std::sort(order.begin(), order.end());
    QStringList files;
    std::optional<Reader> reader;
    bool learned = false;
    for (const qsizetype index : std::as_const(order)) {
        ArchiveMember &member = m_members[index];
        if (!keepGoing())
            throw AppError::dialogCancelled();
        // Noted and still in the cache: nothing to read.
        if (inCache(member)) {
            files << cacheFile(member);
            continue;
        }
        if (!reader || reader->entry() >= member.entry)
            reader.emplace(m_path);
        archive_entry *entry = nullptr;
        while (reader->entry() < member.entry)
            entry = reader->next();
        if (!entry)
            throw AppError(AppError::InvalidFileFormat,
                           QStringLiteral("The archive %1 has changed while it was read.").arg(native(m_path)));
        // Unpacked beside the cache's folders: where it goes depends on its bytes.
        QDir().mkpath(m_cacheFolder);
        OutputFile output(m_cacheFolder + QStringLiteral("/unpacking.nes"), OutputFile::Flush::Skip);
        std::tie(member.hash, member.size) = reader->copy(entry, output, keepGoing);
        const QString file = cacheFile(member);
        // Already there (from this archive or another): the unpacked copy goes.
        if (!inCache(member)) {
            QDir().mkpath(QFileInfo(file).path());
            output.commitAs(file);
        }
        files << file;
        learned = true;
    }
    if (learned)
        writeNote();
    return files;
}

bool RomArchive::readNote()
{
    QFile file(m_noteFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonArray members = QJsonDocument::fromJson(file.readAll()).object().value(u"members").toArray();
    for (const QJsonValue &value : members) {
        const QJsonObject m = value.toObject();
        const ArchiveMember member{m.value(u"name").toString(), m.value(u"file").toString(),
                                   m.value(u"entry").toInt(-1), m.value(u"sha1").toString(),
                                   qint64(m.value(u"size").toDouble(-1))};
        if (!isPortableFileName(member.fileName) || member.entry < 0 || !(member.hash.isEmpty() || isHash(member.hash)))
            return m_members.clear(), false;
        m_members << member;
    }
    return !m_members.isEmpty();
}

void RomArchive::writeNote() const
{
    QJsonArray members;
    for (const ArchiveMember &m : m_members)
        members.append(QJsonObject{{"name", m.storedName},
                                   {"file", m.fileName},
                                   {"entry", m.entry},
                                   {"sha1", m.hash},
                                   {"size", double(m.size)}});
    // A note that cannot be written costs the next add a read of the archive, nothing more.
    try {
        QDir().mkpath(QFileInfo(m_noteFile).path());
        OutputFile note(m_noteFile, OutputFile::Flush::Skip);
        note.write(QJsonDocument(QJsonObject{{"archive", m_path}, {"members", members}}).toJson());
        note.commit();
    } catch (const AppError &) {
    }
}
