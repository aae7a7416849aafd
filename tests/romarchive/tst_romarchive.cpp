// Archives written by the tests, unpacked into a cache folder of their own.
#include "archivesupport.h"
#include "romarchive.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <numeric>

namespace {

// What happens to an archive once written, or to its unpack.
enum class Trouble { None, Truncated, Encrypted, NotAnArchive, Cancelled };

void spoil(const QString &path, Trouble trouble)
{
    QFile file(path);
    if (trouble == Trouble::Truncated)
        QVERIFY(file.resize(file.size() / 2));
    if (trouble == Trouble::NotAnArchive)
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Not an archive.\n") > 0);
}

// Every file under folder, by its path below it.
QStringList filesUnder(const QString &folder)
{
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

Q_DECLARE_METATYPE(Trouble)

class TestRomArchive : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> work;
    QString cacheDir;
    const KeepGoing always = [] { return true; };

    QString path(const QString &name) const { return work->filePath(name); }

private slots:
    void init()
    {
        work.emplace();
        cacheDir = path("cache");
    }

    void unpack_data()
    {
        QTest::addColumn<QString>("format");     // the writer's format and options
        QTest::addColumn<QStringList>("stored"); // the members' names, in the archive's order
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<qint64>("size"); // of each member
        QTest::addColumn<Trouble>("trouble");
        QTest::addColumn<QStringList>("listed"); // the ROMs, by stored name
        QTest::addColumn<QStringList>("files");  // the name each is unpacked under
        QTest::addColumn<QString>("error");      // the report, %1 the archive
        const QString zip = "zip:compression=deflate", lzma2 = "7zip:compression=lzma2";
        const QStringList a = {"Alpha.nes"}, no;
        const qint64 small = 100, rom = 40000;
        const QString truncated = "The archive %1 is truncated: it ends before its last member does.";
        // clang-format off
        QTest::newRow("zip, stored") << "zip:compression=store" << a << no << rom << Trouble::None << a << a << "";
        QTest::newRow("zip, several, in order")
            << zip << QStringList{"b/Beta (E).nes", "notes.txt", "Folder.nes/", "link.nes", "a/Alpha.NES"} << QStringList{"link.nes"}
            << rom << Trouble::None << QStringList{"b/Beta (E).nes", "a/Alpha.NES"} << QStringList{"Beta (E).nes", "Alpha.NES"} << "";
        QTest::newRow("7z, LZMA") << "7zip:compression=lzma1" << a << no << rom << Trouble::None << a << a << "";
        QTest::newRow("7z, LZMA2, several") << lzma2 << QStringList{"One.nes", "Two.nes"} << no << rom << Trouble::None
            << QStringList{"One.nes", "Two.nes"} << QStringList{"One.nes", "Two.nes"} << "";
        QTest::newRow("no ROM") << zip << QStringList{"readme.txt", "link.nes"} << QStringList{"link.nes"} << small
            << Trouble::None << no << no << "The archive %1 holds no \".nes\" file.";
        QTest::newRow("zip truncated") << zip << a << no << rom << Trouble::Truncated << no << no << truncated;
        QTest::newRow("7z truncated") << lzma2 << a << no << rom << Trouble::Truncated << no << no << truncated;
        QTest::newRow("encrypted") << "zip:encryption=zipcrypt" << a << no << small << Trouble::Encrypted << no << no
            << "The archive %1 is encrypted; TamblinVX Lofter reads archives without a password only.";
        QTest::newRow("not an archive") << zip << a << no << small << Trouble::NotAnArchive << no << no
            << "%1 is not an archive that TamblinVX Lofter reads (.zip or .7z).";
        QTest::newRow("names with folders and drives")
            << zip << QStringList{"../../x.nes", "/abs/y.nes", R"(C:\z.nes)", "D:w.nes"} << no << small << Trouble::None
            << QStringList{"../../x.nes", "/abs/y.nes", "C:/z.nes", "D:w.nes"} << QStringList{"x.nes", "y.nes", "z.nes", "w.nes"} << "";
        QTest::newRow("names Windows cannot hold")
            << zip << QStringList{"CON.nes", "What?.nes", QString(252, u'n') + ".nes"} << no << small << Trouble::None
            << QStringList{"CON.nes", "What?.nes", QString(252, u'n') + ".nes"} << QStringList(3, "archive.nes") << "";
        QTest::newRow("over the limit") << zip << a << no << UnpackLimit + 1 << Trouble::None << no << no
            << "The member \"Alpha.nes\" of the archive %1 unpacks to more than 64 MiB, more than any NES ROM.";
        QTest::newRow("at the limit") << zip << a << no << UnpackLimit << Trouble::None << a << a << "";
        QTest::newRow("cancelled") << lzma2 << QStringList{"One.nes", "Two.nes"} << no << rom << Trouble::Cancelled << no << no
            << "Cancel was selected.";
        // clang-format on
    }
    void unpack()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, links);
        QFETCH(qint64, size);
        QFETCH(Trouble, trouble);
        QFETCH(QStringList, files);
        QFETCH(QString, error);
        const QString archive = path("archive.zip");
        writeArchive(archive, format.section(u':', 0, 0), format, stored, links, size,
                     trouble == Trouble::Encrypted ? "secret" : "");
        spoil(archive, trouble);
        if (QTest::currentTestFailed())
            return;
        QStringList listed, unpacked;
        QString report;
        int blocks = 0; // the cancel comes after the first one
        try {
            RomArchive unpacker(archive, cacheDir);
            for (const ArchiveMember &member : unpacker.members())
                listed << member.storedName;
            QList<qsizetype> all(listed.size());
            std::iota(all.begin(), all.end(), 0);
            unpacked = unpacker.unpack(all, [&] { return trouble != Trouble::Cancelled || blocks++ < 2; });
        } catch (const AppError &e) {
            report = e.text();
        }
        QCOMPARE(report, error.isEmpty() ? error : error.arg(QDir::toNativeSeparators(archive)));
        if (error.isEmpty())
            QTEST(listed, "listed");
        // Each ROM whole in the folder named by its hash; nothing else written but the note.
        QStringList expected;
        for (qsizetype i = 0; i < unpacked.size(); ++i) {
            const QByteArray bytes = memberBytes(listed[i], size);
            expected << QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex() + "/" + files[i];
            QCOMPARE(unpacked[i], cacheDir + "/" + expected.last());
            QVERIFY(readAll(unpacked[i]) == bytes);
        }
        QCOMPARE(unpacked.size(), files.size());
        expected << filesUnder(cacheDir).filter(QRegularExpression("^archives/[0-9a-f]{40}\\.json$"));
        expected.sort();
        QCOMPARE(filesUnder(cacheDir), expected);
        QCOMPARE(filesUnder(work->path()).filter(QRegularExpression("^(?!cache/)")), QStringList{"archive.zip"});
    }

    // A ROM is written into the cache once: adding it again writes nothing.
    void cache_data()
    {
        QTest::addColumn<QString>("second"); // the second add's archive
        QTest::addColumn<bool>("removed");   // the first add's file removed from the cache before it
        QTest::addColumn<bool>("sameFile");  // the second add gives the first add's file
        QTest::addColumn<bool>("written");   // and writes it
        QTest::newRow("the same archive again") << "first.zip" << false << true << false;
        QTest::newRow("the same ROM in another archive") << "other.7z" << false << true << false;
        QTest::newRow("the ROM gone from the cache") << "first.zip" << true << true << true;
        QTest::newRow("the archive rewritten") << "changed" << false << false << true;
    }
    void cache()
    {
        QFETCH(QString, second);
        QFETCH(bool, removed);
        QFETCH(bool, sameFile);
        QFETCH(bool, written);
        writeArchive(path("first.zip"), "zip", {}, {"Game.nes"});
        writeArchive(path("other.7z"), "7zip", {}, {"Other/Game.nes"});
        const QString first = RomArchive(path("first.zip"), cacheDir).unpack({0}, always).first();
        const QDateTime old = QFileInfo(first).lastModified();
        QTest::qSleep(50); // a file written again has a later time
        if (removed)
            QVERIFY(QFile::remove(first));
        const qint64 size = second == "changed" ? 50000 : 40000;
        if (second == "changed") {
            second = "first.zip";
            writeArchive(path(second), "zip", {}, {"Game.nes"}, {}, size);
        }
        const QString again = RomArchive(path(second), cacheDir).unpack({0}, always).first();
        QCOMPARE(again == first, sameFile);
        QCOMPARE(readAll(again), memberBytes("Game.nes", size));
        QCOMPARE(QFileInfo(again).lastModified() != old, written);
    }
};

QTEST_GUILESS_MAIN(TestRomArchive)
#include "tst_romarchive.moc"
