#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace ostrevo {

struct CommandLine {
    QString home;
    bool headless = false;
    bool once = false;
    bool help = false;
    bool version = false;
    // --status, --pause, --resume: asked of the monitor running on the program directory.
    QByteArray control;
    // --preview JOB [OUT.pdf] or --check JOB: lay one job out instead of monitoring.
    QString previewJob;
    QString previewOut;
    bool check = false;
    // --lpt PORT: one print job from standard input into the port's directory.
    QString lptPort;
    QString error; // not empty when the arguments are wrong

    static CommandLine parse(const QStringList &arguments);
    static QString usage(const QString &programName);
    // What --version prints, line end included.
    static QString versionText();
};

// Writes a text of the command line (usage, an error) in the locale's encoding, at once.
void PrintText(FILE *stream, const QString &text);

} // namespace ostrevo
