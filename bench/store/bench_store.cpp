// Times the store and the build's two writers on a full list of 32767 games,
// and sorting, cleaning the titles and reading the two files back against
// writing them. It writes "menu.txt" and "TamLof.bat" in a temporary folder.
#include "buildreadback.h"
#include "buildscript.h"
#include "menufile.h"
#include "romlist.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The median time of f, each run after an untimed setup.
template <class F, class Setup>
double medianMs(int runs, F &&f, Setup &&setup)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        setup();
        QElapsedTimer timer;
        timer.start();
        f();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <class F>
double medianMs(int runs, F &&f)
{
    return medianMs(runs, f, [] {});
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
    const int runs = 7;
    RomList roms;

    const double add = medianMs(runs, [&] { fill(roms); });
    const double remove = medianMs(
            runs, [&] { roms.RemoveRom(0); }, [&] { fill(roms); });
    fill(roms);
    for (int i = 0; i < roms.upperBound(); i += 3) {
        roms.at(qint16(i)).Options[std::size_t(i % 7)] = 1;
        roms.at(qint16(i)).MemFollow = QStringLiteral("%1").arg(i % 1000);
    }
    const double write = medianMs(runs, [&] {
        WriteMenuFile(dir.path(), roms);
        WriteBuildScript(dir.path(), buildScriptBytes(dir.path(), dir.filePath("out.gba"), roms, ScriptForm::batrun()));
    });

    const QByteArray menu = menuFileBytes(roms);
    const QByteArray script = buildScriptBytes(dir.path(), dir.filePath("out.gba"), roms, ScriptForm::batrun());
    const double readBack = medianMs(runs, [&] { readBuildFiles(menu, script, dir.path(), ScriptForm::batrun()); });
    // Titles as ROM sets name them, out of order.
    const auto scramble = [&] {
        for (qint16 i = 0; i < roms.upperBound(); ++i)
            roms.at(i).MenuTitle = QStringLiteral("Some Game %1 (E) [!]").arg((i * 7919) % 32768);
    };
    const double sort = medianMs(
            runs, [&] { roms.sortByTitle(); }, scramble);
    const double clean = medianMs(
            runs, [&] { roms.cleanUpTitles(); }, scramble);

    std::printf("games: %d, median of %d runs\n", int(RomList::MaxGames), runs);
    std::printf("add all games:            %8.2f ms (target < 50)\n", add);
    std::printf("remove game 0:            %8.2f ms (target < 50)\n", remove);
    std::printf("menu file + build script: %8.2f ms (target < 50)\n", write);
    for (const auto &[name, ms] :
         {std::pair{"sort by title:", sort}, {"clean up titles:", clean}, {"read back:", readBack}})
        std::printf("%-25s %8.2f ms = %.2f x writing the two files\n", name, ms, ms / write);
    return (add < 50 && remove < 50 && write < 50) ? 0 : 1;
}
