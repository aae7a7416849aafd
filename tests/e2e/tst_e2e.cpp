// From clicks on the window to the finished image, with the real file dialog
// scripted, the real build and the real batrun.
#include "commondialog.h"
#include "frmmain.h"
#include "romlist.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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
    template <class T>
    T *control(const char *name) { return window->findChild<T *>(name); }
    void click(const char *button) { QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton); }
    void selectRow(int row);
    void typeInto(const char *box, const QString &text);
    void addRoms(const QStringList &names);

    QString savedDir;
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<RomList> roms;
    std::unique_ptr<frmMain> window;
};

void TestEndToEnd::init()
{
    savedDir = QDir::currentPath();
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(work->path()).mkdir("start"));
    QVERIFY(QDir(work->path()).mkdir("my roms"));
    writeFile(work->filePath("start/tamblinvx.gba"), QByteArray(70000, 'G'));
    // The window takes its start directory from the current one.
    QDir::setCurrent(work->filePath("start"));
    roms = std::make_unique<RomList>();
    window = std::make_unique<frmMain>(*roms);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestEndToEnd::cleanup()
{
    window.reset();
    roms.reset();
    QDir::setCurrent(savedDir);
    work.reset();
}

void TestEndToEnd::selectRow(int row)
{
    auto *list = control<QListWidget>("lbRoms");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

void TestEndToEnd::typeInto(const char *box, const QString &text)
{
    auto *edit = control<QLineEdit>(box);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void TestEndToEnd::addRoms(const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths << work->filePath("my roms/" + name);
    window->cdOpen().scriptNextAnswer(paths);
    click("cmdBrowse");
}

void TestEndToEnd::clickThroughToTheImage()
{
    const QByteArray a = nesFile('a', 40000), b = nesFile('b', 24576), c = nesFile('c', 8192);
    writeFile(work->filePath("my roms/Alpha.nes"), a);
    writeFile(work->filePath("my roms/Beta (E).nes"), b);
    writeFile(work->filePath("my roms/Gamma+1.nes"), c);

    addRoms({"Alpha.nes", "Beta (E).nes", "Gamma+1.nes"});
    QCOMPARE(control<QListWidget>("lbRoms")->count(), 3);

    selectRow(0);
    typeInto("txtMenuTitle", "First Game");
    QTest::mouseClick(window->chkOptions(0), Qt::LeftButton);
    QTest::mouseClick(window->chkOptions(5), Qt::LeftButton);
    typeInto("txtMem", "4096");

    selectRow(2);
    QTest::mouseClick(window->chkOptions(4), Qt::LeftButton);
    typeInto("txtSprite", "12");
    click("cmdUpList"); // Gamma moves above Beta

    selectRow(2);
    click("cmdRemoveRom"); // Beta goes
    QCOMPARE(control<QListWidget>("lbRoms")->count(), 2);

    const QString output = work->filePath("my roms/out image.gba");
    window->cdOpen().scriptNextAnswer(QStringList{output});
    click("cmdSave");
    QCOMPARE(control<QLineEdit>("txtOutputFile")->text(), output);
    click("cmdOutput");

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
    addRoms({"x.nes", "y.nes"});
    selectRow(1);
    typeInto("txtMenuTitle", "Why");
    window->cdOpen().scriptNextAnswer(QStringList{work->filePath("out.gba")});
    click("cmdSave");

    QString report;
    whenModalOpens<QMessageBox>([&](QMessageBox *box) {
        report = box->text();
        box->accept();
    });
    click("cmdOutput");
    QCOMPARE(report, QStringLiteral("Error %1: %2").arg(EISDIR).arg(qt_error_string(EISDIR)));
    QCOMPARE(control<QListWidget>("lbRoms")->count(), 2);
    QCOMPARE(control<QListWidget>("lbRoms")->currentRow(), 1);
    QCOMPARE(control<QLineEdit>("txtMenuTitle")->text(), QString("Why"));
    QCOMPARE(roms->upperBound(), 2);
    QCOMPARE(roms->at(1).MenuTitle, QString("Why"));
    QVERIFY(window->isVisible());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
