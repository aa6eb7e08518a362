#pragma once

#include <QString>
#include <QStringList>

namespace ostrevo {

struct CommandLine {
    QString home;
    bool headless = false;
    bool once = false;
    bool help = false;
    bool version = false;
    QString error; // not empty when the arguments are wrong

    static CommandLine parse(const QStringList &arguments);
    static QString usage(const QString &programName);
};

} // namespace ostrevo
