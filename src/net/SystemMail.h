#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace ostrevo {

// The system's mail through the sendmail interface (postfix, exim and msmtp all provide
// it): the command line of [Mail] Sendmail, split into words and never given to a shell,
// followed by "-t -oi"; the whole message on its standard input; exit code 0 is "sent".
class SystemMail {
public:
    static QString defaultCommand() { return QStringLiteral("/usr/sbin/sendmail"); }

    explicit SystemMail(QString command, int timeoutMs = 120000);

    // 0 when sent; 1 when the command is missing or cannot start ("not installed");
    // otherwise 2 (failed, gave up on time-out or quit). `why` says what happened.
    int send(const QByteArray &message, const std::function<bool()> &cancelled, QString &why) const;

private:
    QString m_command;
    int m_timeoutMs;
};

} // namespace ostrevo
