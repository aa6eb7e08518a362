#pragma once

// A program directory with Wzorzec/, a monitored directory with a <PIT> job, and the
// form reader run over them onto a recording drawer.

#include "RecordingFormDrawer.h"
#include "support/TestSupport.h"

#include "forms/FormJob.h"
#include "handling/JobHandlers.h"
#include "handling/Settings.h"

#include <QDir>
#include <QTemporaryDir>

namespace ostrevo::test {

struct FormRig {
    QTemporaryDir root;
    QString programDir = root.path() + QStringLiteral("/program");
    QString jobDir = root.path() + QStringLiteral("/jobs");
    QString jobPath = jobDir + QStringLiteral("/form.txt");
    Settings settings;
    JobContext context;
    RecordingFormDrawer drawer;

    FormRig()
    {
        QDir().mkpath(programDir + QStringLiteral("/Wzorzec"));
        QDir().mkpath(jobDir);
        context.programDir = programDir;
        context.currentJobDir = jobDir;
        context.settings = &settings;
    }

    void writeTemplate(const QList<QByteArray> &lines, const QString &name = QStringLiteral("wzor"))
    {
        WriteFile(programDir + QStringLiteral("/Wzorzec/") + name + QStringLiteral(".txt"), DosLines(lines));
    }
    // The job: a <PIT> section naming the template "wzor" unless `params` names one.
    void writeJob(const QList<QByteArray> &pages, const QList<QByteArray> &params = {})
    {
        QList<QByteArray> lines{"<PIT>"};
        bool named = false;
        for (const QByteArray &p : params)
            named = named || p.startsWith("TEMPLATE");
        if (!named)
            lines << "TEMPLATE=wzor";
        lines << params << "<END>";
        lines << pages;
        WriteFile(jobPath, DosLines(lines));
    }

    // Prepares and draws; the drawer holds the calls. False when no template was found.
    bool run(FormBackground background = {})
    {
        job = std::make_unique<FormJob>(context, jobPath, background);
        if (!job->prepare())
            return false;
        pagesDrawn = job->drawPages(drawer);
        return true;
    }

    std::unique_ptr<FormJob> job;
    int pagesDrawn = -1;
};

} // namespace ostrevo::test
