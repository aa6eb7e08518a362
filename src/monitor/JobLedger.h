#pragma once

#include "handling/ResultFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <sys/stat.h>

namespace ostrevo {

// A file as it was met: which file (device, inode) and its size and modification time.
// A job whose name is reused by the DOS program is another file.
struct FileStamp {
    qint64 device = -1;
    qint64 inode = -1;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    bool valid() const { return inode >= 0; }
    bool operator==(const FileStamp &) const = default;
    static FileStamp of(const struct stat &st);
    // The entry `name` of the open directory, not followed when it is a link; invalid
    // when there is none.
    static FileStamp at(int dirFd, const QByteArray &name);
    QByteArray encode() const;
    static FileStamp decode(const QByteArray &text);
};

// What the monitor must still do for a job once it has done something it cannot take
// back, kept on disk so that neither a quit, a kill nor a power cut makes it perform the
// job twice or forget it:
// - Committed: the job is under way past its first irreversible step. At the next start
//   such a job is not performed again: it is journaled as interrupted, its "outcome
//   unknown" result is written, and its files are deleted.
// - Done: the job has ended but something is left: result files that could not be written
//   (the job's marker stays until they are, so that the DOS program waits), or job files
//   that could not be deleted. It is never performed again while its files stay as they
//   were.
struct LedgerEntry {
    enum State { Committed, Done };
    QString id;
    State state = Committed;
    QString directory;  // the monitored directory
    QByteArray marker;  // the marker's name there
    QByteArray text;    // the job text's name as the DOS program wrote it
    QByteArray claim;   // the name the text was claimed under; empty when not renamed
    FileStamp markerStamp;
    FileStamp textStamp;
    QString jobFile;    // for the journal
    QString kind;
    std::optional<ResultLine> unknownOutcome; // written when a committed job is interrupted
    QList<ResultLine> pendingResults;         // Done: results still to be written
    bool filesLeft = false;                   // Done: job files still to be deleted
    QString problem;                          // why it is kept, for the status

    QString markerPath() const;
};

// The entries, one small file each in a directory of the program directory, written
// whole and synced before the step they guard.
class JobLedger {
public:
    explicit JobLedger(QString dir);

    const QString &dir() const { return m_dir; }
    // Throws IoError (OutputUnavailable when the disk is full) when it cannot be written:
    // the irreversible step must then not be taken.
    void write(const LedgerEntry &entry);
    void remove(const QString &id);
    // Every entry; damaged files are set aside as NAME.bad and named in `problems`.
    QList<LedgerEntry> load(QStringList *problems = nullptr) const;
    // No entry, readable or not, as load() would list them; nothing is set aside.
    bool isEmpty() const;

    static QByteArray encode(const LedgerEntry &entry);
    static std::optional<LedgerEntry> decode(const QByteArray &bytes);

private:
    QString m_dir;
};

} // namespace ostrevo
