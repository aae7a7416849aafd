// Times adding 3,000 zipped ROMs of 40 to 512 KiB in one dialog answer
// against `unzip -o` of the same archives into one folder, interleaved in one
// run: with a cold cache (the cache folder removed before each add, the
// output folder before each unzip) and with a warm one (everything unpacked
// before). Wall and CPU time, medians of RUNS runs (default 3). The memory an
// add takes above the process's use before it is measured in a process of
// its own, started as `bench_archives --add FOLDER CACHE`.
// Run from anywhere: it works in a temporary folder of its own.
#include "unpackanswer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <archive.h>
#include <archive_entry.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Archives = 3000;

// A ROM's bytes as dumps hold them: stretches of code and graphics (random
// here), tables repeated and padding, so that deflate packs them to about half.
QByteArray romBytes(QRandomGenerator &random, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype at = 0; at < size;) {
        const qsizetype run = std::min<qsizetype>(size - at, 64 + random.bounded(1024));
        const int kind = random.bounded(4);
        for (qsizetype i = 0; i < run; ++i, ++at)
            bytes[at] = kind < 2 ? char(random.bounded(256))
                    : kind == 2  ? bytes[std::max<qsizetype>(0, at - 512)]
                                 : '\xff';
    }
    return bytes;
}

// Archives/game0000.zip ... with one "Game NNNN (U).nes" each; the total of their ROMs' bytes.
qint64 makeArchives(const QString &folder)
{
    QDir().mkpath(folder);
    QRandomGenerator random(27);
    qint64 total = 0;
    for (int i = 0; i < Archives; ++i) {
        const QByteArray rom = romBytes(random, (40 + random.bounded(512 - 40 + 1)) * 1024);
        total += rom.size();
        archive *a = archive_write_new();
        archive_write_set_format_zip(a);
        archive_write_open_filename(
                a,
                QFile::encodeName(QStringLiteral("%1/game%2.zip").arg(folder).arg(i, 4, 10, QChar(u'0'))).constData());
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry,
                                   QStringLiteral("Game %1 (U).nes").arg(i, 4, 10, QChar(u'0')).toUtf8().constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, rom.size());
        archive_write_header(a, entry);
        archive_write_data(a, rom.constData(), size_t(rom.size()));
        archive_entry_free(entry);
        archive_write_close(a);
        archive_write_free(a);
    }
    return total;
}

QStringList answer(const QString &folder)
{
    QStringList paths;
    for (const QString &name : QDir(folder).entryList({QStringLiteral("*.zip")}, QDir::Files, QDir::Name))
        paths << folder + u'/' + name;
    return paths;
}

// The games one answer adds.
qsizetype add(const QStringList &paths, const QString &cache)
{
    qsizetype games = 0;
    unpackAnswer(
            paths, cache, [](const RomArchive &) { return QList<qsizetype>{}; }, [](qsizetype) { return true; },
            [&games](const RomSource &) { ++games; });
    return games;
}

struct Time
{
    double wall = 0, cpu = 0; // seconds
};

double cpuSeconds(int who)
{
    rusage usage = {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

template <class F>
Time timed(int who, F &&f)
{
    const double cpu = cpuSeconds(who);
    QElapsedTimer timer;
    timer.start();
    f();
    return {double(timer.nsecsElapsed()) / 1e9, cpuSeconds(who) - cpu};
}

Time median(std::vector<Time> times)
{
    const auto middle = [&times](double Time::*part) {
        std::vector<double> values;
        for (const Time &t : times)
            values.push_back(t.*part);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    return {middle(&Time::wall), middle(&Time::cpu)};
}

// The process's resident and peak resident memory, in KiB.
std::pair<qint64, qint64> memoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    qint64 rss = 0, peak = 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            rss = line.mid(6).trimmed().split(' ').first().toLongLong();
        if (line.startsWith("VmHWM:"))
            peak = line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return {rss, peak};
}

// In a process of its own: the peak memory of one add above the use before
// it. One archive added first brings in the code, which the window has
// anyway; the peak is then counted afresh from there.
int addAndMeasure(const QString &folder, const QString &cache)
{
    const QStringList paths = answer(folder);
    const qint64 start = memoryKiB().first;
    add(paths.mid(0, 1), cache + QStringLiteral("-first"));
    const qint64 first = memoryKiB().second - start;
    // What the first add freed goes back to the system, so that it is not
    // counted as in use before the add measured.
    malloc_trim(0);
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (!clearRefs.open(QIODevice::WriteOnly) || clearRefs.write("5") != 1)
        qFatal("cannot reset the peak memory");
    clearRefs.close();
    const qint64 before = memoryKiB().first;
    const qsizetype games = add(paths, cache);
    std::printf("%lld %lld %lld\n", qint64(games), memoryKiB().second - before, first);
    return games == Archives ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--add"))
        return addAndMeasure(args[2], args[3]);
    const int runs = std::max(1, qEnvironmentVariableIntValue("RUNS") ? qEnvironmentVariableIntValue("RUNS") : 3);

    QTemporaryDir work;
    const QString archives = work.filePath(QStringLiteral("archives")), cache = work.filePath(QStringLiteral("cache")),
                  unzipped = work.filePath(QStringLiteral("unzipped"));
    std::printf("making %d zipped ROMs of 40 to 512 KiB...\n", Archives);
    std::fflush(stdout);
    const qint64 romBytes = makeArchives(archives);
    const QStringList paths = answer(archives);
    const auto unzip = [&] {
        QProcess process;
        process.start(
                QStringLiteral("unzip"),
                {QStringLiteral("-o"), QStringLiteral("-qq"), archives + "/*.zip", QStringLiteral("-d"), unzipped});
        if (!process.waitForFinished(-1) || process.exitCode() != 0)
            qFatal("unzip failed: %s", process.readAllStandardError().constData());
    };
    std::vector<Time> unzipTimes, coldTimes, warmTimes;
    add(paths, cache); // a warm-up of the file system's cache of the archives
    for (int run = 0; run < runs; ++run) {
        QDir(unzipped).removeRecursively();
        unzipTimes.push_back(timed(RUSAGE_CHILDREN, unzip));
        QDir(cache).removeRecursively();
        coldTimes.push_back(timed(RUSAGE_SELF, [&] { add(paths, cache); }));
        warmTimes.push_back(timed(RUSAGE_SELF, [&] { add(paths, cache); }));
    }
    QDir(cache).removeRecursively();
    QProcess measure;
    measure.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--add"), archives, cache});
    measure.waitForFinished(-1);
    const QList<QByteArray> measured = measure.readAllStandardOutput().trimmed().split(' ');

    const Time u = median(unzipTimes), cold = median(coldTimes), warm = median(warmTimes);
    std::printf("%d archives, %.0f MiB of ROMs, median of %d runs, interleaved\n", Archives,
                double(romBytes) / (1 << 20), runs);
    std::printf("unzip -o:          %6.2f s wall  %6.2f s CPU\n", u.wall, u.cpu);
    std::printf("add, cold cache:   %6.2f s wall  %6.2f s CPU  = %.2f x unzip wall, %.2f x CPU (target <= 1.5)\n",
                cold.wall, cold.cpu, cold.wall / u.wall, cold.cpu / u.cpu);
    std::printf("add, warm cache:   %6.2f s wall  %6.2f s CPU  = %.2f x unzip wall, %.2f x CPU (target <= 0.2)\n",
                warm.wall, warm.cpu, warm.wall / u.wall, warm.cpu / u.cpu);
    const qint64 aboveKiB = measured.value(1).toLongLong();
    std::printf("memory of a cold add above the process's use before it: %lld KiB (largest ROM: 512 KiB);\n"
                "the first archive's add before it, code and buffers brought in: %lld KiB\n",
                aboveKiB, measured.value(2).toLongLong());
    const bool good = measured.value(0).toInt() == Archives && cold.wall <= 1.5 * u.wall && warm.wall <= 0.2 * u.wall
            && aboveKiB <= 512;
    return good ? 0 : 1;
}
