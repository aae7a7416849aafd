// Times the store and the build's two writers on a full list of 32767 games.
// Run from a scratch directory: it writes "menu.txt" and "TamLof.bat" there.
#include "buildscript.h"
#include "menufile.h"
#include "romlist.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

template <class F>
double medianMs(int runs, F &&f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void fill(RomList &roms)
{
    roms.InitRoms();
    for (int i = 0; i < RomList::MaxGames; ++i)
        roms.AddRom(QStringLiteral("/home/player/roms/Some Game Title %1 (E).nes").arg(i));
}

} // namespace

int main()
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const int runs = 7;
    RomList roms;

    const double add = medianMs(runs, [&] { fill(roms); });
    double remove = 0;
    {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            fill(roms);
            QElapsedTimer timer;
            timer.start();
            roms.RemoveRom(0);
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        remove = times[times.size() / 2];
    }
    fill(roms);
    for (int i = 0; i < roms.upperBound(); i += 3) {
        roms.at(qint16(i)).Options[std::size_t(i % 7)] = 1;
        roms.at(qint16(i)).MemFollow = QStringLiteral("%1").arg(i % 1000);
    }
    const double write = medianMs(runs, [&] {
        WriteMenuFile(roms);
        WriteBuildScript(buildScriptBytes(dir.path(), dir.filePath("out.gba"), roms, ScriptForm::batrun()));
    });

    std::printf("games: %d, median of %d runs\n", int(RomList::MaxGames), runs);
    std::printf("add all games:            %8.2f ms (target < 50)\n", add);
    std::printf("remove game 0:            %8.2f ms (target < 50)\n", remove);
    std::printf("menu file + build script: %8.2f ms (target < 50)\n", write);
    return (add < 50 && remove < 50 && write < 50) ? 0 : 1;
}
