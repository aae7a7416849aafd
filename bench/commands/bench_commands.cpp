// Times the add and remove commands on a full list: 32767 files in one dialog
// answer, then one file too many, then removing the first of 32767 rows; and
// the build's check of its inputs on 32767 real ROM files, against writing
// "menu.txt" and "TamLof.bat" for the same list.
#include "apperror.h"
#include "buildaction.h"
#include "buildfiles.h"
#include "buildscript.h"
#include "frmmain.h"
#include "menufile.h"
#include "romlist.h"
#include "scriptrunner.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMetaObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = 5;
    QStringList paths;
    for (int i = 0; i < RomList::MaxGames; ++i)
        paths << QStringLiteral("/home/player/roms/Some Game %1 (E).nes").arg(i);

    std::vector<double> addTimes, removeTimes;
    bool countsRight = true;
    for (int run = 0; run < runs; ++run) {
        RomList roms;
        frmMain window(roms);
        window.show();
        auto *list = window.findChild<QListWidget *>("lbRoms");

        QElapsedTimer timer;
        window.cdOpen().scriptNextAnswer(paths);
        timer.start();
        window.cmdBrowse_Click();
        QCoreApplication::processEvents(); // the list lays itself out after the command
        addTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
        countsRight &= list->count() == RomList::MaxGames && roms.upperBound() == RomList::MaxGames;

        window.cdOpen().scriptNextAnswer(QStringList{"/home/player/roms/one too many.nes"});
        window.cmdBrowse_Click();
        countsRight &= list->count() == RomList::MaxGames && roms.upperBound() == RomList::MaxGames;

        list->setCurrentRow(0);
        timer.start();
        window.cmdRemoveRom_Click();
        QCoreApplication::processEvents();
        removeTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
        countsRight &= list->count() == RomList::MaxGames - 1 && roms.upperBound() == RomList::MaxGames - 1;
    }
    // The build's two steps on one list of real files, alternating, in the start folder.
    QTemporaryDir start;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(start.path());
    QDir().mkdir(QStringLiteral("roms"));
    RomList roms;
    for (int i = 0; i < RomList::MaxGames; ++i) {
        const QString path = start.filePath(QStringLiteral("roms/Some Game %1 (E).nes").arg(i));
        QFile rom(path);
        countsRight &= rom.open(QIODevice::WriteOnly) && rom.write(QByteArray(16, 'N')) == 16;
        roms.AddRom(path);
    }
    QFile image(BuildFiles::EmulatorImage);
    countsRight &= image.open(QIODevice::WriteOnly) && image.write(QByteArray(1024, 'G')) == 1024;
    image.close();
    const ScriptRunner runner;
    const QString output = start.filePath(QStringLiteral("out.gba"));
    std::vector<double> checkTimes, writeTimes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        countsRight &= checkBuildInputs(start.path(), output, roms) == 1024 + 16 * qint64(RomList::MaxGames);
        checkTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.start();
        WriteMenuFile(roms);
        WriteBuildScript(buildScriptBytes(start.path(), output, roms, runner.form()));
        writeTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    QDir::setCurrent(saved);

    for (auto *times : {&addTimes, &removeTimes, &checkTimes, &writeTimes})
        std::sort(times->begin(), times->end());
    const double add = addTimes[addTimes.size() / 2], remove = removeTimes[removeTimes.size() / 2];
    const double check = checkTimes[checkTimes.size() / 2], write = writeTimes[writeTimes.size() / 2];
    std::printf("median of %d runs\n", runs);
    std::printf("add 32767 files in one answer:  %8.2f ms (target < 1000)\n", add);
    std::printf("remove the first of 32767 rows: %8.2f ms (target < 100)\n", remove);
    std::printf("check 32767 ROM files:          %8.2f ms, %.2f x writing the menu and the script (%.2f ms)\n", check,
                check / write, write);
    std::printf("counts after each step:         %s\n", countsRight ? "right" : "WRONG");
    return (add < 1000 && remove < 100 && countsRight) ? 0 : 1;
}
