#pragma once

// A program directory with a simulator driver library and PTU.txt, a job directory, and
// <DF> jobs performed through the real loader; the simulator's log read back line by line.

#include "fiscal/FiscalPrinters.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <initializer_list>

namespace ostrevo::test {

// The incomplete ones lack a function: EraseLines (Elzab), p_LBTRSLN (Thermal).
enum class Simulator { Elzab, Thermal, ElzabIncomplete, ThermalIncomplete };

inline QString SimulatorPath(Simulator which)
{
    switch (which) {
    case Simulator::Elzab: return QString::fromUtf8(OSTREVO_ELZAB_SIMULATOR);
    case Simulator::Thermal: return QString::fromUtf8(OSTREVO_THERMAL_SIMULATOR);
    case Simulator::ElzabIncomplete: return QString::fromUtf8(OSTREVO_ELZAB_INCOMPLETE);
    case Simulator::ThermalIncomplete: return QString::fromUtf8(OSTREVO_THERMAL_INCOMPLETE);
    }
    return {};
}

// The PTU.txt of the tests: two groups for each family.
inline const QByteArray StandardPtu = "// VAT groups\r\n"
                                      "<OMEGA_1>\r\n2 23\r\n3 8\r\n<END>\r\n"
                                      "<OMEGA_2>\r\n2 23\r\n3 8\r\n<END>\r\n"
                                      "<FP600>\r\n2 23\r\n3 8\r\n<END>\r\n"
                                      "<THERMAL>\r\nA 23\r\nB 8\r\n<END>\r\n"
                                      "<DF300>\r\nA 23\r\nB 8\r\n<END>\r\n";

// Fields joined by 0x04, with the closing 0x04 that the legacy program writes.
inline QByteArray Fields(std::initializer_list<const char *> fields)
{
    QByteArray line;
    for (const char *field : fields)
        line += QByteArray(field) + '\x04';
    return line;
}

// A <DF> job: the key block, then <DANE> and the data lines when there are any.
inline QByteArray DfJob(const QByteArray &model, int function, const QList<QByteArray> &data = {},
                        const QByteArray &extraKeys = {}, bool withData = true)
{
    QByteArray job = "<DF>\r\nDRK=" + model + "\r\nPORT=2\r\nFUNCTION=" + QByteArray::number(function) + "\r\n"
                     + extraKeys + "<END>\r\n";
    if (withData && !data.isEmpty()) {
        job += "<DANE>\r\n";
        for (const QByteArray &line : data)
            job += line + "\r\n";
        job += "<END>\r\n";
    }
    return job;
}

struct FiscalRig {
    QTemporaryDir root;
    QString program = root.filePath(QStringLiteral("program"));
    QString jobs = root.filePath(QStringLiteral("jobs"));
    QDate today{2026, 12, 9};
    FiscalPrinters printers{program, [this] { return today; }};

    explicit FiscalRig(std::initializer_list<Simulator> simulators = {Simulator::Elzab, Simulator::Thermal})
    {
        QDir().mkpath(program);
        QDir().mkpath(jobs);
        for (Simulator which : simulators)
            install(which);
        ptu(StandardPtu);
    }

    // The simulator under its driver name (or another name) in the program directory.
    void install(Simulator which, const QString &as = {}) { installLibrary(SimulatorPath(which), as); }
    // A driver library file under its own name (or another name) in the program directory.
    void installLibrary(const QString &source, const QString &as = {})
    {
        const QString target = program + u'/' + (as.isEmpty() ? QFileInfo(source).fileName() : as);
        QFile::remove(target);
        if (!QFile::copy(source, target))
            throw std::runtime_error("cannot copy the driver library " + source.toStdString());
    }
    void remove(const QString &name) { QFile::remove(program + u'/' + name); }
    void ptu(const QByteArray &text) { WriteFile(program + QStringLiteral("/PTU.txt"), text); }
    void script(const QByteArray &text) { WriteFile(program + QStringLiteral("/fiscal-simulator.txt"), text); }

    // Performs the job NAME.txt; the log of earlier jobs is gone first.
    JobResult run(const QByteArray &job, const QString &name = QStringLiteral("PARAGON.txt"))
    {
        QFile::remove(program + QStringLiteral("/fiscal-simulator.log"));
        const QString path = jobs + u'/' + name;
        WriteFile(path, job);
        JobContext context;
        context.currentJobDir = jobs;
        context.programDir = program;
        return printers.PerformFiscalJob(context, path);
    }

    QByteArray result(const QString &name = QStringLiteral("PARAGON.txt")) const
    {
        return ReadFile(jobs + QStringLiteral("/Errors/") + name);
    }

    // The simulator's log, one entry per line.
    QStringList calls() const
    {
        const QByteArray log = ReadFile(program + QStringLiteral("/fiscal-simulator.log"));
        QStringList lines = QString::fromUtf8(log).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};

// The log of one load: "-- loaded", the calls, "-- unloaded".
inline QStringList Loaded(const QStringList &calls)
{
    return QStringList{QStringLiteral("-- loaded")} + calls + QStringList{QStringLiteral("-- unloaded")};
}

} // namespace ostrevo::test
