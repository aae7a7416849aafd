// From clicks on the window to the finished image, with the file dialog's
// answers scripted, the real build and the real batrun.
#include "testsupport.h"
#include "windowsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <optional>

class TestEndToEnd : public QObject
{
    Q_OBJECT

    QString savedDir;
    std::optional<QTemporaryDir> work;
    std::optional<WindowFixture> f;

    QString path(const QString &name) const { return work->filePath(name); }

private slots:
    void init()
    {
        savedDir = QDir::currentPath();
        work.emplace();
        QVERIFY(QDir(work->path()).mkpath("start"));
        QVERIFY(QDir(work->path()).mkpath("my roms"));
        writeFile(path("start/tamblinvx.gba"), QByteArray(70000, 'G'));
        // The window takes its start directory from the current one.
        QDir::setCurrent(path("start"));
        f.emplace();
    }
    void cleanup()
    {
        f.reset();
        QDir::setCurrent(savedDir);
        work.reset();
    }

    void clickThroughToTheImage()
    {
        const QStringList names = {"Alpha.nes", "Beta (E).nes", "Gamma+1.nes"};
        QStringList roms;
        for (const QString &name : names) {
            roms << path("my roms/" + name);
            writeFile(roms.last(), "NES\x1a" + name.toUtf8().repeated(3000));
        }
        const QString output = path("my roms/out image.gba");
        f->play({roms, {output}},
                {click("cmdBrowse"), row(0), keys("txtMenuTitle", {Qt::Key_End, Qt::Key_Backspace}),
                 type("txtMenuTitle", "X"), click("chkOptions_0"), click("chkOptions_5"), type("txtMem", "4096"),
                 row(2), click("chkOptions_4"), type("txtSprite", "12"), click("cmdUpList"), row(2),
                 click("cmdRemoveRom"), click("cmdSave"), click("cmdOutput")});
        QCOMPARE(f->rowTexts(), QStringList({"Alpha.nes", "Gamma+1.nes"}));

        const QByteArray menu = "# Generated with TamblinVX Lofter by Veskin\r\n\r\n"
                                "AlphX|33|4096\r\n"
                                "Gamma+1|16|12\r\n"
                                "\r\n# Generated with TamblinVx Lofter by Veskin\r\n\r\n";
        QCOMPARE(readAll(path("start/menu.txt")), menu);
        const QByteArray expected = QByteArray(70000, 'G') + menu + readAll(roms[0]) + readAll(roms[2]);
        QCOMPARE(waitForContent(output, expected), expected);
    }

    void failedBuildIsReportedAndKeepsTheList()
    {
        // A directory named "menu.txt" cannot be written, not even by root.
        QVERIFY(QDir(path("start")).mkdir("menu.txt"));
        QString report;
        f->window.errorReport().scriptNextAnswer([&](const QString &message) { report = message; });
        f->play({{path("x.nes"), path("y.nes")}, {path("out.gba")}},
                {click("cmdBrowse"), row(1), type("txtMenuTitle", "Why"), click("cmdSave"), click("cmdOutput")});
        QCOMPARE(report, QStringLiteral("Error %1: Is a directory").arg(EISDIR));
        QCOMPARE(f->rowTexts(), QStringList({"x.nes", "y.nes"}));
        QCOMPARE(f->find<QListWidget>("lbRoms")->currentRow(), 1);
        QCOMPARE(f->text("txtMenuTitle"), "yWhy");
        QCOMPARE(f->roms.at(1).MenuTitle, "yWhy");
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
