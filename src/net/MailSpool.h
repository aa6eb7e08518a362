#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

namespace ostrevo {

// A message of the own SMTP route as the spool keeps it: whole, with its envelope and
// the place of its result file, so that it goes out even when its job's files were
// deleted long ago and the program ended meanwhile.
struct SpooledMail {
    QString resultDir;  // the monitored directory whose Errors gets the result
    QString resultName;
    // False for a message no DOS program waits for (a printer port's PDF): no result file.
    bool writesResult = true;
    // The job that queued the message, so that its later outcome names it (empty in
    // messages spooled by older versions).
    QString jobId;
    QString jobFile;
    QString jobKind;
    QByteArray from;    // envelope sender
    QList<QByteArray> recipients;
    QByteArray message;
};

// The spool directory (`poczta` in the program directory): one file per message, named
// by a sequence number so that names sort in the order the jobs came. A file appears
// under its name only when complete and on disk (written, synced, renamed).
class MailSpool {
public:
    // The spool of the program directory.
    static QString dirIn(const QString &programDir) { return programDir + QStringLiteral("/poczta"); }

    // add() may be called from several threads (the job thread, the printer ports).
    explicit MailSpool(QString dir);

    const QString &dir() const { return m_dir; }
    // Writes the message; returns its file name. Throws IoError.
    QString add(const SpooledMail &mail);
    // The waiting messages' file names, oldest first.
    QStringList waiting() const;
    // Reads one; nothing when it is unreadable or damaged.
    std::optional<SpooledMail> read(const QString &fileName) const;
    void remove(const QString &fileName) const;

    static QByteArray encode(const SpooledMail &mail);
    static std::optional<SpooledMail> decode(const QByteArray &bytes);

private:
    QString m_dir;
    std::mutex m_addMutex;
    quint64 m_next = 0; // guarded by m_addMutex
};

} // namespace ostrevo
