// Monitor figures: how soon a job's handler starts after its marker appears (MUTEX mode,
// the inotify watcher, jobs 50 ms apart), how many jobs a second a DOS writer gets through
// when it waits for each marker to go, how long 1,000 jobs dropped at once take, how many
// empty jobs per second one scan performs when 10,000 wait in one directory, how long a
// scan takes past 5,000 markers still waiting for their text, and how 4 DOS-like writers
// that each reuse one job name fare (every job once?).
// Prints figures; asserts nothing.

#include "app/EngineHost.h"
#include "monitor/Engine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <QSet>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
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

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

// Marker created -> handler started, for jobs 50 ms apart (MUTEX mode, the inotify watcher).
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

    const int samples = 200;
    std::vector<double> ms;
    for (int i = 0; i < samples; ++i) {
        const QString base = jobs + QStringLiteral("/L%1").arg(i);
        Write(base + QStringLiteral(".txt"), "x\r\n");
        const int before = count.load();
        const auto t0 = Clock::now();
        Write(base + QStringLiteral(".END"), {});
        while (count.load() == before)
            QThread::usleep(20);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::duration(started.load()) - t0.time_since_epoch()).count());
        std::this_thread::sleep_until(t0 + std::chrono::milliseconds(50));
    }
    host.stop();
    std::printf("MUTEX pick-up latency, marker created -> handler started, %d jobs 50 ms apart:\n"
                "  median %.3f ms, p99 %.3f ms, max %.3f ms\n",
                samples, Percentile(ms, 0.5), Percentile(ms, 0.99), Percentile(ms, 1.0));
}

// The DOS writer: NAME.txt, NAME.END, wait until the marker is gone, again, one name.
void DosWriter(int mode, int jobs)
{
    std::unique_ptr<QTemporaryDir> home(MakeHome(mode, true));
    const QString dir = home->filePath(QStringLiteral("jobs"));
    std::atomic_int count{0};
    EngineConfig config = Config(home->path());
    config.timerWatchMs = 200;
    config.handlers.set(jkText, [&](const JobContext &, const QString &) {
        count.fetch_add(1);
        return JobResult::done();
    });
    EngineHost host(std::move(config));
    host.start();
    QThread::msleep(800);
    const QString base = dir + QStringLiteral("/FAKTURA");
    const QByteArray marker = QFile::encodeName(base + QStringLiteral(".END"));
    const auto t0 = Clock::now();
    for (int i = 0; i < jobs; ++i) {
        Write(base + QStringLiteral(".txt"), "Faktura " + QByteArray::number(i) + "\r\n");
        Write(base + QStringLiteral(".END"), {});
        while (::access(marker.constData(), F_OK) == 0)
            QThread::usleep(50);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    host.stop();
    std::printf("%s mode, the DOS writer (one name, waits for the marker to go): %d jobs in %.3f s = %.0f jobs/s"
                " (performed %d)\n",
                mode == MonitorMutex ? "MUTEX" : "TIMER (200 ms)", jobs, seconds, jobs / seconds, count.load());
}

// 1,000 jobs dropped at once into a watched directory: from the first marker to the last
// job's end.
void DropAtOnce(int jobs)
{
    std::unique_ptr<QTemporaryDir> home(MakeHome(MonitorMutex, true));
    const QString dir = home->filePath(QStringLiteral("jobs"));
    std::atomic_int count{0};
    std::atomic<Clock::rep> last{0};
    std::atomic_int scans{0};
    EngineConfig config = Config(home->path());
    config.handlers.set(jkText, [&](const JobContext &, const QString &) {
        count.fetch_add(1);
        last.store(Clock::now().time_since_epoch().count());
        return JobResult::done();
    });
    EngineHost host(std::move(config));
    QObject::connect(host.engine(), &Engine::scanFinished, host.engine(), [&scans] { ++scans; }, Qt::DirectConnection);
    host.start();
    QThread::msleep(800);
    scans = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < jobs; ++i) {
        const QString base = dir + QStringLiteral("/D%1").arg(i, 4, 10, QLatin1Char('0'));
        Write(base + QStringLiteral(".txt"), "x\r\n");
        Write(base + QStringLiteral(".END"), {});
    }
    const double written = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    while (count.load() < jobs && Clock::now() - t0 < std::chrono::seconds(60))
        QThread::msleep(1);
    const double toLast = std::chrono::duration<double, std::milli>(Clock::duration(last.load()) - t0.time_since_epoch()).count();
    host.stop();
    std::printf("MUTEX mode, %d jobs dropped at once (written in %.0f ms): the last one performed %.0f ms after"
                " the first marker; performed %d, listings %d\n",
                jobs, written, toLast, count.load(), scans.load());
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

void WaitingMarkers(int markers)
{
    std::unique_ptr<QTemporaryDir> home(MakeHome(MonitorTimer, false));
    const QString dir = home->filePath(QStringLiteral("jobs"));
    for (int i = 0; i < markers; ++i)
        Write(dir + QStringLiteral("/W%1.END").arg(i, 5, 10, QLatin1Char('0')), {});
    Engine engine(Config(home->path()));
    engine.readSettings();
    const int scans = 5;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < scans; ++i)
        engine.ScanDirectory1();
    std::printf("TIMER mode: a scan past %d markers without their text takes %.3f ms (mean of %d)\n", markers,
                double(t.nsecsElapsed()) / 1e6 / scans, scans);
}

// Each writer writes NAME.txt and NAME.END, waits until the marker is gone, and writes its
// next job under the same name at once, as a DOS program that reuses one name does.
void SameNameWriters(int mode, int writers, int jobs)
{
    std::unique_ptr<QTemporaryDir> home(MakeHome(mode, true));
    const QString dir = home->filePath(QStringLiteral("jobs"));
    std::mutex mutex;
    QList<QByteArray> performed;
    EngineConfig config = Config(home->path());
    config.timerWatchMs = 200;
    config.handlers.set(jkText, [&](const JobContext &context, const QString &) {
        // Through the descriptor the monitor opened: the file is claimed under another name.
        QByteArray text(64, '\0');
        text.truncate(std::max<ssize_t>(0, ::pread(context.jobText, text.data(), size_t(text.size()), 0)));
        std::lock_guard lock(mutex);
        performed.append(text);
        return JobResult::done();
    });
    EngineHost host(std::move(config));
    host.start();
    QThread::msleep(800); // start-up: ten ticks of 50 ms

    std::atomic_int stalled{0};
    const auto t0 = Clock::now();
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            const QString base = dir + QStringLiteral("/WYDRUK%1").arg(w);
            const QByteArray marker = QFile::encodeName(base + QStringLiteral(".END"));
            for (int i = w; i < jobs; i += writers) {
                const auto limit = Clock::now() + std::chrono::seconds(30);
                while (::access(marker.constData(), F_OK) == 0) {
                    if (Clock::now() > limit) {
                        ++stalled;
                        return;
                    }
                    QThread::usleep(200);
                }
                Write(base + QStringLiteral(".txt"), QByteArray::number(i));
                Write(base + QStringLiteral(".END"), {});
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    // The last markers go too.
    while (!QDir(dir).entryList(QDir::Files).isEmpty() && Clock::now() - t0 < std::chrono::seconds(120))
        QThread::msleep(1);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    host.stop();
    std::lock_guard lock(mutex);
    QSet<QByteArray> distinct(performed.begin(), performed.end());
    std::printf("%s mode: %d jobs from %d writers each reusing one name in %.2f s = %.0f jobs/s; performed %lld,"
                " distinct %lld, writers stalled %d\n",
                mode == MonitorMutex ? "MUTEX" : "TIMER (200 ms)", jobs, writers, seconds, jobs / seconds,
                (long long)performed.size(), (long long)distinct.size(), stalled.load());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::printf("bench_monitor (working directory: %s)\n", qPrintable(QDir::currentPath()));
    Throughput(MonitorTimer, 10000);
    Throughput(MonitorMutex, 10000);
    WaitingMarkers(5000);
    SameNameWriters(MonitorMutex, 4, 1000);
    SameNameWriters(MonitorTimer, 4, 1000);
    DosWriter(MonitorMutex, 200);
    Latency();
    DropAtOnce(1000);
    return 0;
}
