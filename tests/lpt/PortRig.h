#pragma once

// A program directory with printer ports, and the monitor's port spooler on it in this
// process: real directories, real inotify, the real renderer; the journal lines it
// reports are kept in order.

#include "handling/LaterOutcomes.h"
#include "handling/Settings.h"
#include "lpt/PortSpooler.h"
#include "support/PdfTools.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>
#include <mutex>

namespace ostrevo::test {

inline PortSettings Port(const QString &name, const QString &dir, int settleMs = 400)
{
    PortSettings port;
    port.name = name;
    port.katalog = dir;
    port.cisza = settleMs;
    return port;
}

struct PortRig {
    QTemporaryDir home;
    QString jobs = home.filePath(QStringLiteral("jobs"));
    QString out = home.filePath(QStringLiteral("out")); // the built-in printer's directory
    QString lpt1 = home.filePath(QStringLiteral("lpt1"));
    Settings settings;
    LaterOutcomes outcomes;
    std::unique_ptr<PortSpooler> spooler;

    PortRig()
    {
        QDir().mkpath(jobs);
        QDir().mkpath(lpt1);
        settings.katalog = jobs;
        settings.pdfPrinterDir = out;
        settings.ports = {Port(QStringLiteral("LPT1"), lpt1)};
        outcomes.setSink([this](const LaterOutcome &outcome) {
            std::lock_guard lock(m_mutex);
            m_lines.append(outcome);
        });
    }
    ~PortRig()
    {
        stop();
        outcomes.setSink({});
    }

    // The monitor's start; returns what configure() said of the ports.
    QStringList start(const QStringList &printers = {QStringLiteral("Ostrevo PDF")}, DeliveryServices services = {})
    {
        services.outcomes = &outcomes;
        spooler = std::make_unique<PortSpooler>(home.path(), services);
        spooler->setRetryWaits(200, 400);
        const QStringList problems = spooler->configure(settings, printers);
        spooler->startWatching();
        return problems;
    }
    void stop()
    {
        if (spooler)
            spooler->stopAll(10000);
        spooler.reset();
    }

    QList<LaterOutcome> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    // The lines of captures (not of settings), of one capture file when named.
    QList<LaterOutcome> linesOf(const QString &file = {}) const
    {
        QList<LaterOutcome> found;
        for (const LaterOutcome &line : lines()) {
            if (!line.jobFile.startsWith(u'[') && (file.isEmpty() || line.jobFile == file))
                found.append(line);
        }
        return found;
    }
    bool waitForLines(int count, int timeoutMs = 20000) const
    {
        return WaitFor([&] { return linesOf().size() >= count; }, timeoutMs);
    }
    QStringList pdfs(const QString &dir = {}) const { return PdfFilesIn(dir.isEmpty() ? out : dir); }

private:
    mutable std::mutex m_mutex;
    QList<LaterOutcome> m_lines;
};

// An ESC/P print job as a DOS program sends it: reset, the text, a form feed.
inline QByteArray EscpJob(const QByteArray &text)
{
    return "\x1b@" + text + "\r\n\x0c";
}

// The text of a PDF file, its blanks run together.
inline QString TextOf(const QString &pdf)
{
    return PdfText(pdf).simplified();
}

} // namespace ostrevo::test
