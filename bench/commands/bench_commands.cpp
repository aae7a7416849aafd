// Times the list commands on a full list of 32767 games: the add of 32767
// files in one dialog answer (with the ROM check of the rows in view against
// without, and then the check of every row), one file
// too many, removing the first row, and the context menu's Sort by Title,
// Clean Up Titles and Reopen Last Build, undo and redo of the sort, and the
// build's checks before it writes (to a new output, and over the image of an
// earlier build), against writing the build's two files; then the heap the
// undo stack holds after 200 steps of drags and sorts.
// Run from anywhere: it works in a temporary folder of its own.
#include "apperror.h"
#include "buildcheck.h"
#include "buildfiles.h"
#include "buildscript.h"
#include "frmmain.h"
#include "listcommands.h"
#include "listhistory.h"
#include "menufile.h"
#include "romlist.h"
#include "scriptrunner.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <malloc.h>
#include <map>
#include <vector>

namespace {

// 32767 sound ROMs as ROM sets name them, out of title order. Sparse: each
// holds a 16 KiB PRG ROM of zeros that takes no room on disk.
QStringList makeRoms(const QDir &dir)
{
    QStringList paths;
    const QByteArray header = QByteArray("NES\x1a\x01\x00", 6) + QByteArray(10, 0);
    for (int i = 0; i < RomList::MaxGames; ++i) {
        const QString path = dir.filePath(QStringLiteral("Some Game %1 (E) [!].nes").arg((i * 7919) % 32768));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(header) != header.size() || !file.resize(16 + 16384))
            return {};
        paths << QDir::toNativeSeparators(path);
    }
    return paths;
}

// Answers every file dialog with the paths it was given last.
struct FixedAnswer : FileChooser
{
    QStringList paths;
    std::optional<QStringList> choose(QWidget *, const FileRequest &) override { return paths; }
};

// Bytes of the heap in use.
std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

// The heap that 200 steps hold on a list of 32767 games out of title order:
// a sort, then a game dragged from the top to the bottom and a sort again,
// until the stack is full. Returns the heap of the list itself and of the steps.
std::pair<std::size_t, std::size_t> stepsHeap(const QStringList &paths, int &steps)
{
    const std::size_t before = heapInUse();
    RomList roms;
    FixedAnswer answer;
    answer.paths = paths;
    frmMain window(roms, {answer});
    window.show();
    window.cmdBrowse_Click(); // not a step: the list itself
    QCoreApplication::processEvents();
    const std::size_t list = heapInUse();
    ListCommands &commands = *window.findChild<ListCommands *>();
    ListHistory &history = window.history();
    commands.mnuSortByTitle_Click();
    while (history.stack().count() < ListHistory::StepLimit) {
        history.record(QStringLiteral("Move Rom"),
                       [&] { window.changeRows([&] { window.games().moveGame(0, qint16(RomList::MaxGames - 1)); }); });
        commands.mnuSortByTitle_Click();
    }
    QCoreApplication::processEvents();
    steps = history.stack().count();
    return {list - before, heapInUse() - list};
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settings; // the user's own settings stay as they are
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    QTemporaryDir start;
    QDir::setCurrent(start.path());
    const QStringList paths = makeRoms(QDir(start.path()));
    QFile image(BuildFiles::EmulatorImage);
    if (paths.isEmpty() || !image.open(QIODevice::WriteOnly) || image.write(QByteArray(1024, 'G')) != 1024)
        return std::puts("cannot make the ROM files"), 1;
    image.close();
    const ScriptRunner runner;
    const QString output = start.filePath("out.gba"), earlierOutput = start.filePath("earlier.gba");
    QFile earlier(earlierOutput);
    if (!earlier.open(QIODevice::WriteOnly))
        return std::puts("cannot make the earlier image"), 1;
    earlier.close();
    const int runs = 5;

    std::map<QString, std::vector<double>> times;
    const auto timed = [&](const QString &name, auto &&command) {
        QElapsedTimer timer;
        timer.start();
        command();
        QCoreApplication::processEvents(); // the list lays itself out after the command
        times[name].push_back(double(timer.nsecsElapsed()) / 1e6);
    };
    bool countsRight = true;
    for (int run = 0; run < runs; ++run) {
        RomList uncheckedRoms, roms, reopenedRoms;
        FixedAnswer answer;
        answer.paths = paths;
        frmMain unchecked(uncheckedRoms, {answer}), window(roms, {answer}), reopened(reopenedRoms);
        unchecked.games().setRomCheck(nullptr);
        ListCommands &commands = *window.findChild<ListCommands *>();
        // In turn first, so that neither add alone finds the caches warm.
        for (frmMain *w : run % 2 ? std::array{&window, &unchecked} : std::array{&unchecked, &window}) {
            w->show();
            timed(w == &window ? "add, checked" : "add, unchecked", [w] { w->cmdBrowse_Click(); });
        }
        QListView *list = window.lbRoms();
        const auto rows = [&] { return list->model()->rowCount(); };
        countsRight &= rows() == RomList::MaxGames && roms.upperBound() == RomList::MaxGames;
        answer.paths = QStringList{start.filePath("one too many.nes")};
        window.cmdBrowse_Click();
        countsRight &= rows() == RomList::MaxGames && roms.upperBound() == RomList::MaxGames;

        // What the check costs when every row is shown once, as scrolling through the list does.
        timed("check every row", [&] {
            for (int row = 0; row < rows(); ++row)
                list->model()->index(row, 0).data(Qt::ToolTipRole);
        });
        timed("write", [&] {
            WriteMenuFile(start.path(), roms);
            WriteBuildScript(start.path(), buildScriptBytes(start.path(), output, roms, runner.form()));
        });
        for (const QString &to : {output, earlierOutput}) {
            timed(to == output ? "checks" : "checks, image there", [&] {
                countsRight &= planBuild(start.path(), to, roms, runner.form()).inputBytes
                        == 1024 + (16 + 16384) * qint64(RomList::MaxGames);
            });
        }
        list->setCurrentIndex(list->model()->index(100, 0));
        timed("sort", [&] { commands.mnuSortByTitle_Click(); });
        countsRight &= roms.at(qint16(list->currentIndex().row())).RomPath == paths[100];
        QUndoStack &steps = window.history().stack();
        timed("undo sort", [&] { steps.undo(); });
        countsRight &= list->currentIndex().row() == 100 && roms.at(100).RomPath == paths[100];
        timed("redo sort", [&] { steps.redo(); });
        countsRight &= roms.at(qint16(list->currentIndex().row())).RomPath == paths[100];
        timed("clean", [&] { commands.mnuCleanUpTitles_Click(); });
        reopened.show();
        timed("reopen", [&] { reopened.findChild<ListCommands *>()->mnuReopenLastBuild_Click(); });
        countsRight &= reopenedRoms.upperBound() == RomList::MaxGames;

        list->setCurrentIndex(list->model()->index(0, 0));
        timed("remove", [&] { window.cmdRemoveRom_Click(); });
        countsRight &= rows() == RomList::MaxGames - 1 && roms.upperBound() == RomList::MaxGames - 1;
    }
    const double add = median(times["add, checked"]), addReference = median(times["add, unchecked"]);
    const double write = median(times["write"]);
    std::printf("median of %d runs, 32767 games\n", runs);
    std::printf("add, without the ROM check:     %8.2f ms (target < 1000)\n", addReference);
    std::printf("add, with the ROM check:        %8.2f ms = %.2f x without (target <= 2.0)\n", add, add / addReference);
    std::printf("then every row's check:         %8.2f ms (its file read when the row is first shown)\n",
                median(times["check every row"]));
    std::printf("remove the first of 32767 rows: %8.2f ms (target < 100)\n", median(times["remove"]));
    std::printf("write menu.txt and TamLof.bat:  %8.2f ms\n", write);
    for (const char *name : {"sort", "undo sort", "redo sort", "clean", "reopen", "checks", "checks, image there"})
        std::printf("%-30s  %8.2f ms = %.2f x writing the two files\n", qPrintable(QStringLiteral("%1:").arg(name)),
                    median(times[name]), median(times[name]) / write);
    int steps = 0;
    const auto [listHeap, stepsHeapSize] = stepsHeap(paths, steps);
    std::printf("heap of the list of 32767 games: %7.2f MiB\n", double(listHeap) / (1 << 20));
    std::printf("heap of %d steps (100 sorts):   %7.2f MiB = %.3f x the list (target: a few MiB)\n", steps,
                double(stepsHeapSize) / (1 << 20), double(stepsHeapSize) / double(listHeap));
    std::printf("counts after each step:         %s\n", countsRight ? "right" : "WRONG");
    const bool undoFast = median(times["undo sort"]) < 1000 && median(times["redo sort"]) < 1000;
    return (addReference < 1000 && add <= 2 * addReference && median(times["remove"]) < 100 && undoFast
            && stepsHeapSize < 4 * (1 << 20) && countsRight)
            ? 0
            : 1;
}
