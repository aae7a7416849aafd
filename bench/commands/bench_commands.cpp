// Times the add and remove commands on a full list: 32767 files in one dialog
// answer, then one file too many, then removing the first of 32767 rows.
#include "apperror.h"
#include "frmmain.h"
#include "romlist.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMetaObject>

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
    std::sort(addTimes.begin(), addTimes.end());
    std::sort(removeTimes.begin(), removeTimes.end());
    const double add = addTimes[addTimes.size() / 2], remove = removeTimes[removeTimes.size() / 2];
    std::printf("median of %d runs\n", runs);
    std::printf("add 32767 files in one answer:  %8.2f ms (target < 1000)\n", add);
    std::printf("remove the first of 32767 rows: %8.2f ms (target < 100)\n", remove);
    std::printf("counts after each step:         %s\n", countsRight ? "right" : "WRONG");
    return (add < 1000 && remove < 100 && countsRight) ? 0 : 1;
}
