#pragma once

// The Thermal printer emulator (tests/services/thermal_printer.py) on a pseudo-terminal,
// and a program directory whose libThermalServiceLibrary.so is the serial driver, with
// [Porty] COM2 naming the emulator's terminal and short time-outs.

#include "fiscal/FiscalRig.h"
#include "fiscal/ThermalPath.h"
#include "support/PythonService.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace ostrevo::test {

inline QString SerialDriverPath()
{
    return QString::fromUtf8(OSTREVO_THERMAL_SERIAL);
}

class PrinterEmulator {
public:
    explicit PrinterEmulator(const QStringList &options = {})
        : m_service(std::make_unique<PythonService>(
              QStringLiteral("thermal_printer.py"),
              QStringList{roll(), QStringLiteral("--frames"), framesPath(), QStringLiteral("--state"), statePath()}
                  + options))
    {
        if (!m_service->running())
            throw std::runtime_error("the printer emulator did not start: " + m_service->failure().toStdString());
    }

    QString device() const { return m_service->address(); }
    bool ended() const { return m_service->finished(); }

    // What the paper roll shows.
    QStringList rollLines() const
    {
        QStringList lines = QString::fromUtf8(ReadFile(roll())).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    // Everything received: frames as their bytes, control bytes as <ENQ>, <DLE>, <CAN>.
    QList<QByteArray> received() const
    {
        QList<QByteArray> lines = ReadFile(framesPath()).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    // Only the frames.
    QList<QByteArray> frames() const
    {
        QList<QByteArray> out;
        for (const QByteArray &line : received())
            if (line.startsWith("\x1bP"))
                out.append(line);
        return out;
    }
    QJsonObject state() const { return QJsonDocument::fromJson(ReadFile(statePath())).object(); }
    void clearRecords() const
    {
        WriteFile(roll(), {});
        WriteFile(framesPath(), {});
    }

private:
    QString file(const char *name) const { return m_dir.path() + u'/' + QString::fromLatin1(name); }
    QString roll() const { return file("roll.txt"); }
    QString framesPath() const { return file("frames.txt"); }
    QString statePath() const { return file("state.json"); }

    QTemporaryDir m_dir;
    std::unique_ptr<PythonService> m_service;
};

// Time-outs short enough for tests, long enough for a loaded machine.
inline const QByteArray ShortTimes = "CzasOdpowiedzi=1000\r\nCzasWydruku=2000\r\nCzasRaportu=3000\r\n";

struct SerialRig {
    FiscalRig rig{{}};
    PrinterEmulator printer;

    explicit SerialRig(const QStringList &options = {}, const QByteArray &porty = ShortTimes) : printer(options)
    {
        rig.installLibrary(SerialDriverPath(), ThermalLibraryName);
        settings(porty);
    }
    void settings(const QByteArray &porty, const QByteArray &device = {})
    {
        WriteFile(rig.program + QStringLiteral("/Ostrevo.ini"),
                  "[Opcje]\r\nTimer=1\r\n[Porty]\r\nCOM2=" + (device.isEmpty() ? printer.device().toUtf8() : device)
                      + "\r\n" + porty);
    }
    JobResult run(const QByteArray &job) { return rig.run(job); }
    // The driver's log of failed calls.
    QStringList failures() const
    {
        QStringList lines = QString::fromUtf8(ReadFile(rig.program + QStringLiteral("/thermal-serial.log"))).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
    QByteArray result() const { return rig.result(); }
};

// A frame as it goes on the wire: ESC P, the body, its check byte, ESC \.
inline QByteArray WireFrame(const QByteArray &body, bool checkByte = true)
{
    unsigned char check = 0xFF;
    for (const char c : body)
        check ^= static_cast<unsigned char>(c);
    return "\x1bP" + body + (checkByte ? QByteArray::number(check, 16).rightJustified(2, '0').toUpper() : QByteArray())
           + "\x1b\\";
}

} // namespace ostrevo::test
