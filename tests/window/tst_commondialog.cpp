#include "apperror.h"
#include "commondialog.h"
#include "testsupport.h"
#include "windowsupport.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>


namespace {

// Fills in the dialog's name field and presses its accept button.
void fillAndAccept(QFileDialog *dialog, const QString &text)
{
    auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
    name->setText(text);
    QPushButton *accept = dialog->findChild<QDialogButtonBox *>("buttonBox")->button(
        dialog->acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open : QDialogButtonBox::Save);
    // The dialog reads its folder in the background and enables the button
    // once it knows the typed files.
    QVERIFY(QTest::qWaitFor([accept] { return accept->isEnabled(); }, 5000));
    accept->click(); // the name completer's popup would take a mouse click

}

} // namespace

class TestCommonDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
    void cancelRaisesOnlyWhenAsked();
    void choiceFillsNameTitleAndList();
    void realDialogStartsFromLastFileName();
    void realSaveDialogTakesATypedName();
};

void TestCommonDialog::cancelRaisesOnlyWhenAsked()
{
    CommonDialog dialog;
    dialog.FileName = "/keep/me.nes";
    dialog.scriptNextAnswer(std::nullopt);
    dialog.ShowOpen(nullptr); // no error without CancelError
    QCOMPARE(dialog.FileName, QString("/keep/me.nes"));

    dialog.CancelError = true;
    dialog.scriptNextAnswer(std::nullopt);
    try {
        dialog.ShowSave(nullptr);
        QFAIL("a cancel must raise");
    } catch (const AppError &e) {
        QCOMPARE(e.number(), 32755);
    }
    QCOMPARE(dialog.FileName, QString("/keep/me.nes"));
}

void TestCommonDialog::choiceFillsNameTitleAndList()
{
    CommonDialog dialog;
    dialog.scriptNextAnswer(QStringList{"/r/b.nes", "/r/a b.nes"});
    dialog.ShowOpen(nullptr);
    QCOMPARE(dialog.FileNames, QStringList({"/r/b.nes", "/r/a b.nes"}));
    QCOMPARE(dialog.FileName, QString("/r/b.nes"));
    QCOMPARE(dialog.FileTitle, QString("b.nes"));
}

void TestCommonDialog::realDialogStartsFromLastFileName()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("first.nes"), {});
    writeFile(dir.filePath("second.nes"), {});
    writeFile(dir.filePath("noext"), {});
    CommonDialog dialog;
    dialog.CancelError = true;
    dialog.Flags = CommonDialog::AllowMultiSelect | CommonDialog::Explorer;
    dialog.Filter = "NES Roms (*.nes)|*.nes|All Files (*.*)|*.*";
    dialog.FileName = dir.filePath("first.nes");

    QString seenName, seenDirectory;
    QStringList seenFilters;
    whenModalOpens<QFileDialog>([&](QFileDialog *fileDialog) {
        // The last file is selected once the dialog has read its folder.
        auto *name = fileDialog->findChild<QLineEdit *>("fileNameEdit");
        QVERIFY(QTest::qWaitFor([name] { return !name->text().isEmpty(); }, 5000));
        seenName = name->text();
        seenDirectory = fileDialog->directory().absolutePath();
        seenFilters = fileDialog->nameFilters();
        fillAndAccept(fileDialog, "\"second.nes\" \"first.nes\"");
    });
    dialog.ShowOpen(nullptr);

    QCOMPARE(seenDirectory, QDir(dir.path()).absolutePath());
    QCOMPARE(seenName, QString("first.nes"));
    // "All Files" must also show files without an extension.
    QCOMPARE(seenFilters, QStringList({"NES Roms (*.nes)", "All Files (*)"}));
    // The dialog returns a multi-selection in its own order.
    QCOMPARE(dialog.FileNames, QStringList({dir.filePath("first.nes"), dir.filePath("second.nes")}));
    QCOMPARE(dialog.FileTitle, QString("first.nes"));
}

void TestCommonDialog::realSaveDialogTakesATypedName()
{
    QTemporaryDir dir;
    CommonDialog dialog;
    dialog.CancelError = true;
    dialog.Flags = CommonDialog::OverwritePrompt | CommonDialog::NoReadOnlyReturn;
    dialog.Filter = "GBA Roms (*.gba)|*.gba|All Files (*.*)|*.*";
    dialog.FileName = "";
    whenModalOpens<QFileDialog>([&](QFileDialog *fileDialog) {
        QCOMPARE(fileDialog->acceptMode(), QFileDialog::AcceptSave);
        QVERIFY(fileDialog->findChild<QLineEdit *>("fileNameEdit")->text().isEmpty());
        fillAndAccept(fileDialog, dir.filePath("out"));
    });
    dialog.ShowSave(nullptr);
    // No default extension: the name is used as typed.
    QCOMPARE(dialog.FileName, dir.filePath("out"));
    QCOMPARE(dialog.FileTitle, QString("out"));

    // Cancelling the real dialog raises.
    whenModalOpens<QFileDialog>([](QFileDialog *fileDialog) { fileDialog->reject(); });
    QVERIFY_THROWS_EXCEPTION(AppError, dialog.ShowSave(nullptr));
}

QTEST_MAIN(TestCommonDialog)
#include "tst_commondialog.moc"
