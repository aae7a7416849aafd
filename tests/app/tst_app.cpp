// The command line: the folder the program starts in.
#include "startfolder.h"
#include "testsupport.h"

#include <QTemporaryDir>

#include <cerrno>

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    // Arguments are taken relative to a folder that holds "games" and "My games (é)".
    void startFolder_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<AppError::Code>("error");
        QTest::addColumn<QString>("folder");
        QTest::newRow("none") << QStringList{} << NoError << ".";
        QTest::newRow("a folder") << QStringList{"games"} << NoError << "games";
        QTest::newRow("a folder with blanks and an accent") << QStringList{"My games (é)"} << NoError << "My games (é)";
        QTest::newRow("a missing folder") << QStringList{"missing"} << errnoError(ENOENT) << ".";
        QTest::newRow("two folders") << QStringList{"games", "games"} << programError(AppError::InvalidArgument) << ".";
#ifdef Q_OS_WIN
        QTest::newRow("a drive's root as the shell quotes it") << QStringList{"C:\""} << NoError << "C:/";
#endif
    }
    void startFolder()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QTemporaryDir root;
        const CurrentDirGuard guard;
        QVERIFY(QDir(root.path()).mkpath("games") && QDir(root.path()).mkpath("My games (é)"));
        QVERIFY(QDir::setCurrent(root.path()));
        QTEST(errorOf([&] { enterStartFolder(QStringList{"tamblinvx-lofter"} + arguments); }), "error");
        QCOMPARE(QFileInfo(QDir::currentPath()).canonicalFilePath(),
                 QFileInfo(QDir(root.path()).filePath(folder)).canonicalFilePath());
    }
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
