// From clicks on the window to the finished image, with the file dialog's
// answers scripted, the real build and the real batrun.
#include "testsupport.h"
#include "windowsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>

#include <optional>

namespace {

QByteArray nesFile(char fill, int size)
{
    return QByteArray("NES\x1a\x01\x01", 6) + QByteArray(10, '\0') + QByteArray(size, fill);
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void clickThroughToTheImage();
    void failedBuildIsReportedAndKeepsTheList();

private:
    QString romPath(const QString &name) const { return work->filePath("my roms/" + name); }
    void chooseOutput(const QString &path)
    {
        f->window.cdOpen().scriptNextAnswer(QStringList{path});
        f->click("cmdSave");
    }

    QString savedDir;
    std::optional<QTemporaryDir> work;
    std::optional<WindowFixture> f;
};

void TestEndToEnd::init()
{
    savedDir = QDir::currentPath();
    work.emplace();
    QVERIFY(QDir(work->path()).mkdir("start"));
    QVERIFY(QDir(work->path()).mkdir("my roms"));
    writeFile(work->filePath("start/tamblinvx.gba"), QByteArray(70000, 'G'));
    // The window takes its start directory from the current one.
    QDir::setCurrent(work->filePath("start"));
    f.emplace();
    QVERIFY(f->showActive());
}

void TestEndToEnd::cleanup()
{
    f.reset();
    QDir::setCurrent(savedDir);
    work.reset();
}

void TestEndToEnd::clickThroughToTheImage()
{
    const QByteArray a = nesFile('a', 40000), b = nesFile('b', 24576), c = nesFile('c', 8192);
    writeFile(romPath("Alpha.nes"), a);
    writeFile(romPath("Beta (E).nes"), b);
    writeFile(romPath("Gamma+1.nes"), c);

    f->addFiles({romPath("Alpha.nes"), romPath("Beta (E).nes"), romPath("Gamma+1.nes")});
    QCOMPARE(f->lbRoms()->count(), 3);

    f->clickRow(0);
    f->typeInto("txtMenuTitle", "First Game");
    QTest::mouseClick(f->window.chkOptions(0), Qt::LeftButton);
    QTest::mouseClick(f->window.chkOptions(5), Qt::LeftButton);
    f->typeInto("txtMem", "4096");

    f->clickRow(2);
    QTest::mouseClick(f->window.chkOptions(4), Qt::LeftButton);
    f->typeInto("txtSprite", "12");
    f->click("cmdUpList"); // Gamma moves above Beta

    f->clickRow(2);
    f->click("cmdRemoveRom"); // Beta goes
    QCOMPARE(f->rowTexts(), QStringList({"Alpha.nes", "Gamma+1.nes"}));

    const QString output = romPath("out image.gba");
    chooseOutput(output);
    QCOMPARE(f->text("txtOutputFile")->text(), output);
    f->click("cmdOutput");

    const QByteArray menu = "# Generated with TamblinVX Lofter by Veskin\r\n\r\n"
                            "First Game|33|4096\r\n"
                            "Gamma+1|16|12\r\n"
                            "\r\n# Generated with TamblinVx Lofter by Veskin\r\n\r\n";
    QCOMPARE(readAll(work->filePath("start/menu.txt")), menu);
    const QByteArray expected = QByteArray(70000, 'G') + menu + a + c;
    QCOMPARE(waitForContent(output, expected), expected);
}

void TestEndToEnd::failedBuildIsReportedAndKeepsTheList()
{
    // A directory named "menu.txt" cannot be written, not even by root.
    QVERIFY(QDir(work->filePath("start")).mkdir("menu.txt"));
    f->addFiles({romPath("x.nes"), romPath("y.nes")});
    f->clickRow(1);
    f->typeInto("txtMenuTitle", "Why");
    chooseOutput(work->filePath("out.gba"));

    QString report;
    whenModalOpens<QMessageBox>([&](QMessageBox *box) {
        report = box->text();
        box->accept();
    });
    f->click("cmdOutput");
    QCOMPARE(report, QStringLiteral("Error %1: %2 (menu.txt)").arg(EISDIR).arg(qt_error_string(EISDIR)));
    QCOMPARE(f->rowTexts(), QStringList({"x.nes", "y.nes"}));
    QCOMPARE(f->lbRoms()->currentRow(), 1);
    QCOMPARE(f->text("txtMenuTitle")->text(), QString("Why"));
    QCOMPARE(f->roms.upperBound(), 2);
    QCOMPARE(f->roms.at(1).MenuTitle, QString("Why"));
    QVERIFY(f->window.isVisible());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
