// Monitor figures: how soon a job's handler starts after its marker appears (MUTEX mode,
// the inotify watcher), and how many empty jobs per second one scan performs when
// 10,000 wait in one directory. Prints figures; asserts nothing.

#include "app/EngineHost.h"
#include "monitor/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace ostrevo;
using Clock = std::chrono::steady_clock;

namespace {

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QTemporaryDir *MakeHome(int mode, bool active)
{
    auto *home = new QTemporaryDir(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    QDir().mkpath(home->filePath(QStringLiteral("jobs")));
    Write(home->filePath(QStringLiteral("Ostrevo.ini")),
          "[Opcje]\r\nKatalog=jobs\r\nDrukarka=Bench\r\nClear=0\r\nAutoRun=0\r\nTimer=" + QByteArray::number(mode)
              + "\r\nMonitorowanie=" + (active ? "1" : "0") + "\r\n");
    return home;
}

EngineConfig Config(const QString &home)
{
    EngineConfig c;
    c.programDir = home;
    c.printers.list = [] { return QStringList{QStringLiteral("Bench")}; };
    c.printers.defaultName = [] { return QStringLiteral("Bench"); };
    return c;
}

void Latency()
{
    std::unique_ptr<QTemporaryDir> home(MakeHome(MonitorMutex, true));
    const QString jobs = home->filePath(QStringLiteral("jobs"));
    std::atomic<Clock::rep> started{0};
    std::atomic_int count{0};
    EngineConfig config = Config(home->path());
    config.handlers.set(jkText, [&](const JobContext &, const QString &) {
        started.store(Clock::now().time_since_epoch().count());
        count.fetch_add(1);
        return JobResult::done();
    });
    EngineHost host(std::move(config));
    host.start();
    QThread::msleep(800); // start-up: ten ticks of 50 ms

    // The watcher sleeps 500 ms after each wake, as it should; markers come 600 ms apart so
    // that each one meets a waiting watcher.
    const int samples = 40;
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        const QString base = jobs + QStringLiteral("/L%1").arg(i);
        Write(base + QStringLiteral(".txt"), "x\r\n");
        const int before = count.load();
        const auto t0 = Clock::now();
        Write(base + QStringLiteral(".END"), {});
        while (count.load() == before)
            QThread::usleep(50);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::duration(started.load()) - t0.time_since_epoch()).count());
        QThread::msleep(600);
    }
    host.stop();
    std::sort(ms.begin(), ms.end());
    std::printf("MUTEX latency, marker created -> handler started, %d jobs 600 ms apart:\n"
                "  median %.3f ms, p90 %.3f ms, min %.3f ms, max %.3f ms\n",
                samples, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.front(), ms.back());
}

void Throughput(int mode, int jobs)
{
    std::unique_ptr<QTemporaryDir> home(MakeHome(mode, false));
    const QString dir = home->filePath(QStringLiteral("jobs"));
    for (int i = 0; i < jobs; ++i) {
        const QString base = dir + QStringLiteral("/E%1").arg(i, 5, 10, QLatin1Char('0'));
        Write(base + QStringLiteral(".txt"), {});
        Write(base + QStringLiteral(".END"), {});
    }
    Engine engine(Config(home->path()));
    engine.readSettings();
    QElapsedTimer t;
    t.start();
    engine.ScanDirectory1();
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    const qsizetype left = QDir(dir).entryList(QDir::Files).size();
    std::printf("%s mode: %d empty jobs in one directory performed in %.3f s = %.0f jobs/s (%lld files left)\n",
                mode == MonitorMutex ? "MUTEX" : "TIMER", jobs, seconds, jobs / seconds, (long long)left);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::printf("bench_monitor (working directory: %s)\n", qPrintable(QDir::currentPath()));
    Throughput(MonitorTimer, 10000);
    Throughput(MonitorMutex, 10000);
    Latency();
    return 0;
}
