// Mail figures: 100 <MAIL> jobs dropped at once, the own SMTP route against the test
// suite's aiosmtpd on 127.0.0.1: how long until the last result file, and whether every
// message arrived exactly once. Prints figures; asserts nothing.

#include "monitor/Engine.h"
#include "net/TDM.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace ostrevo;

namespace {

constexpr int Jobs = 100;

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString jobs = dir.filePath(QStringLiteral("jobs"));
    const QString received = dir.filePath(QStringLiteral("received"));
    QDir().mkpath(home);
    QDir().mkpath(jobs);
    QDir().mkpath(received);

    QProcess server;
    const QString portFile = dir.filePath(QStringLiteral("port"));
    server.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(OSTREVO_SOURCE_DIR "/tests/services/smtpd.py"), portFile, received});
    for (int i = 0; i < 200 && !QFile::exists(portFile); ++i)
        QThread::msleep(50);
    const QByteArray port = Read(portFile).trimmed();
    if (port.isEmpty()) {
        std::printf("smtpd.py did not start\n");
        return 1;
    }
    Write(home + QStringLiteral("/Ostrevo.ini"),
          "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\n[Mail]\r\nPoczta=1\r\n"
          "ServerName=127.0.0.1\r\nServerPort=" + port + "\r\nUserName=biuro@ostrevo.test\r\n");
    QDir().mkpath(jobs + QStringLiteral("/MAIL"));
    Write(jobs + QStringLiteral("/MAIL/fv.pdf"), QByteArray(50000, 'p'));
    for (int i = 0; i < Jobs; ++i) {
        const QByteArray name = "M" + QByteArray::number(i);
        Write(jobs + u'/' + QString::fromLatin1(name) + QStringLiteral(".txt"),
              "<MAIL>\r\nT_MAIL=Faktura " + name + "\r\nF_MAIL=fv.pdf\r\n<END>\r\n<LISTA>\r\nklient@firma.pl\r\n"
              "<END>\r\n<MAIL_BODY>\r\nW za\xb3\xb1""czniku faktura.\r\n<END>\r\n");
        Write(jobs + u'/' + QString::fromLatin1(name) + QStringLiteral(".END"), {});
    }

    TDM tdm(home);
    EngineConfig config;
    config.programDir = home;
    config.printers.list = [] { return QStringList{QStringLiteral("Ostrevo PDF")}; };
    config.afterSettingsRead = [&tdm](const Settings &settings) {
        tdm.afterSettingsRead(settings);
        return QStringList();
    };
    tdm.registerHandlers(config.handlers);
    Engine engine(std::move(config));

    QElapsedTimer clock;
    clock.start();
    engine.runOnce();
    const qint64 jobsDone = clock.elapsed();
    const bool idle = tdm.waitForMail(300000);
    const qint64 allSent = clock.elapsed();

    int results = 0;
    for (int i = 0; i < Jobs; ++i)
        results += Read(jobs + QStringLiteral("/Errors/M%1.txt").arg(i)) == "error=OK\r\n";
    QSet<QByteArray> subjects;
    const QStringList messages = QDir(received).entryList({QStringLiteral("*.eml")}, QDir::Files);
    for (const QString &name : messages)
        for (const QByteArray &line : Read(received + u'/' + name).split('\n'))
            if (line.startsWith("Subject: "))
                subjects.insert(line.trimmed());
    std::printf("%d <MAIL> jobs, SMTP route, 50 KB attachment each, aiosmtpd on 127.0.0.1\n", Jobs);
    std::printf("  jobs performed (queued):   %lld ms\n", static_cast<long long>(jobsDone));
    std::printf("  last result file written:  %lld ms%s\n", static_cast<long long>(allSent), idle ? "" : " (timed out)");
    std::printf("  results OK: %d, messages received: %lld, distinct subjects: %lld\n", results,
                static_cast<long long>(messages.size()), static_cast<long long>(subjects.size()));
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
