// Times the script's window against batrun's plain command line, in the same
// run, on a full-size build (16 MiB image, menu, 200 ROMs: 142 MiB):
//   join   the join under the window (run until it ends) against the same join
//          with no one watching, both in this process: target ratio <= 1.1
//   start  "batrun --window" against plain "batrun" on a script that joins
//          nothing, from process start to exit (the window shown, then closed
//          by itself, so an upper bound of the start): target at most 100 ms
//          more; a bare Qt window that shows itself and quits, for scale
// Needs a display (Xvfb will do):  DISPLAY=:95 out/release/bin/bench_scriptwindow [RUNS]
#include "scriptwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

void writeRandom(const QString &name, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size)
        qFatal("cannot write %s", qPrintable(name));
}

// The script as the build writes it: CR LF, the image joined first, then one append per game.
void makeFullBuild(const QString &folder)
{
    writeRandom("tamblinvx.gba", 16 << 20);
    writeRandom("menu.txt", 64);
    QByteArray script = "cd " + QFile::encodeName(folder) + "\r\ncopy /b tamblinvx.gba+menu.txt out.gba\r\n";
    for (int i = 0; i < 200; ++i) {
        const QString rom = QStringLiteral("rom%1.nes").arg(i, 3, 10, QLatin1Char('0'));
        // 256 KiB .. 1 MiB, spread but the same on every run.
        writeRandom(rom, 256 * 1024 + (i * 7919 % 769) * 1024);
        script += "copy /b out.gba+" + rom.toUtf8() + " out.gba\r\n";
    }
    QFile file("TamLof.bat");
    if (!file.open(QIODevice::WriteOnly) || file.write(script) != script.size())
        qFatal("cannot write the script");
}

double msOf(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void joinPlain()
{
    ScriptObserver nobody;
    if (!runScript("TamLof.bat", nobody).ok)
        qFatal("the plain join failed");
}

void joinInWindow()
{
    ScriptWindow window;
    QEventLoop loop;
    QObject::connect(&window, &ScriptWindow::finished, &loop, &QEventLoop::quit);
    window.run("TamLof.bat");
    loop.exec();
    if (window.exitStatus() != 0)
        qFatal("the join under the window failed");
}

void runProgram(const QString &program, const QStringList &args)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QCoreApplication::applicationDirPath() + "/" + program, args);
    if (!process.waitForFinished() || process.exitCode() != 0)
        qFatal("%s %s failed", qPrintable(program), qPrintable(args.join(' ')));
}

// Runs each variant once to warm up, then runs times each, interleaved; prints the medians.
std::vector<double> compare(int runs, const std::vector<std::function<void()>> &variants)
{
    std::vector<std::vector<double>> times(variants.size());
    for (const auto &run : variants)
        run();
    for (int i = 0; i < runs; ++i) {
        for (std::size_t v = 0; v < variants.size(); ++v)
            times[v].push_back(msOf(variants[v]));
    }
    std::vector<double> medians;
    for (const auto &t : times)
        medians.push_back(median(t));
    return medians;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = std::max(5, argc > 1 ? QString(argv[1]).toInt() : 7);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    makeFullBuild(dir.path());

    const std::vector<double> join = compare(runs, {joinPlain, joinInWindow});
    std::printf("join, 142 MiB, median of %d: plain %.1f ms, window %.1f ms, ratio %.2f (target <= 1.1: %s)\n", runs,
                join[0], join[1], join[1] / join[0], join[1] / join[0] <= 1.1 ? "met" : "missed");

    QFile nothing("nothing.bat");
    if (!nothing.open(QIODevice::WriteOnly) || nothing.write("cd .\r\n") < 0)
        qFatal("cannot write the script that joins nothing");
    nothing.close();
    const std::vector<double> start = compare(2 * runs,
                                              {[] { runProgram("batrun", {"nothing.bat"}); },
                                               [] {
                                                   runProgram("batrun", {"--window", "nothing.bat"});
                                               },
                                               [] { runProgram("barewindow", {}); }});
    std::printf("start, median of %d: plain %.1f ms, window %.1f ms, %+.1f ms (target <= +100: %s); "
                "a bare Qt window %.1f ms\n",
                2 * runs, start[0], start[1], start[1] - start[0], start[1] - start[0] <= 100 ? "met" : "missed",
                start[2]);
    return 0;
}
