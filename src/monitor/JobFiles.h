#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <sys/stat.h>

#include <vector>

namespace ostrevo {

// True when a file name ends with the suffix in any letter case (".end", ".txt").
bool HasSuffixCi(const char *name, const char *suffix);

// File names in a monitored directory are bytes: UTF-8 from Linux programs, CP852 from
// DOSBox and DOSEMU. A name as the user and the handlers see it: UTF-8 when it is valid
// UTF-8, otherwise read as CP852.
QString DisplayName(const QByteArray &name);

// One listing of a monitored directory, which stays open for the jobs found in it. The
// markers (*.END in any letter case) are in the order of their names, letter case aside; a marker's text file
// (NAME.txt) is found in the same listing without regard to letter case, in UTF-8 and in
// the DOS code pages, so a scan lists the directory once however many markers wait.
class JobDirectory {
public:
    // A directory that cannot be opened or read lists nothing.
    explicit JobDirectory(const QString &path);
    ~JobDirectory();
    JobDirectory(const JobDirectory &) = delete;
    JobDirectory &operator=(const JobDirectory &) = delete;

    const QString &path() const { return m_path; }
    int fd() const { return m_fd; }
    const std::vector<QByteArray> &markers() const { return m_markers; }
    // The name of the marker's text file in this listing; empty when it has none.
    QByteArray textFileOf(const QByteArray &marker) const;

private:
    void addText(const QByteArray &name);

    QString m_path;
    int m_fd = -1;
    std::vector<QByteArray> m_markers;
    // Text file names by base name: as written, then folded for UTF-8, CP852, Mazovia.
    QHash<QByteArray, QByteArray> m_texts[4];
};

// The two files of one job as the scan meets them, with the job text claimed and opened
// once (O_NONBLOCK | O_NOFOLLOW) and checked to be a regular file of the monitored
// directory; every pass over the text reads that descriptor.
//
// Claiming renames the text to NAME.txt + the claim suffix (".ostrevo-" and a tag of
// this monitor). The rename is atomic on local disks, NFS and SMB alike, so of two
// monitors of one directory (two sessions, or two machines at one share) exactly one gets
// each job; the other finds the text gone. The marker is left as it is, so the DOS
// program goes on waiting. A text that cannot be renamed (a read-only share) is read
// under its own name.
class PickedJob {
public:
    enum State {
        Gone,       // the marker is not there (any more), or another monitor took the job
        Waiting,    // no text file yet, or one that is not a regular file: the marker waits
        Refused,    // the text file is a symbolic link: never read
        Unreadable, // the text file cannot be opened
        Ready,      // the text is open
    };

    // An empty `claimSuffix` reads the text without claiming it.
    PickedJob(const JobDirectory &directory, const QByteArray &marker, const QByteArray &claimSuffix = {});
    ~PickedJob();
    PickedJob(const PickedJob &) = delete;
    PickedJob &operator=(const PickedJob &) = delete;

    State state() const { return m_state; }
    // Why the job is refused or unreadable.
    const QString &problem() const { return m_problem; }
    // Paths for names and messages (see DisplayName); never opened again.
    const QString &markerPath() const { return m_markerPath; }
    const QString &textPath() const { return m_textPath; }
    const QString &directoryPath() const { return m_directoryPath; }
    const QByteArray &markerName() const { return m_marker; }
    const QByteArray &textName() const { return m_text; }
    // The name the text lies under now: claimed, or its own.
    const QByteArray &textNameNow() const { return m_claimed.isEmpty() ? m_text : m_claimed; }
    // The claimed name; empty when the text was not renamed.
    const QByteArray &claimedName() const { return m_claimed; }
    // The open job text (Ready), owned by this object; -1 otherwise.
    int textFd() const { return m_textFd; }
    // The text file as opened (Ready), and the marker as met.
    const struct stat &textStat() const { return m_textStat; }
    const struct stat &markerStat() const { return m_markerStat; }

    // Delete the marker or the text entry of the monitored directory itself (a link,
    // never its target). 0, or the errno of the failure.
    int removeMarker() const;
    int removeText() const;
    // Gives the text its own name back (a job kept for later): 0, or the errno.
    int release();

private:
    void open(const QByteArray &claimSuffix);
    bool claim(const QByteArray &claimSuffix);
    int remove(const QByteArray &name) const;

    int m_dirFd = -1;
    QString m_directoryPath;
    QByteArray m_marker;
    QByteArray m_text;
    QByteArray m_claimed;
    QString m_markerPath;
    QString m_textPath;
    State m_state = Gone;
    QString m_problem;
    int m_textFd = -1;
    struct stat m_textStat {};
    struct stat m_markerStat {};
};

// The suffix that claims a job text for one monitor: ".ostrevo-" and eight hex digits
// of its host and program directory.
QByteArray ClaimSuffix(const QString &canonicalProgramDir);
// True for a text name claimed by any monitor; `suffix`, when given, names the one.
bool IsClaimedText(const QByteArray &name, const QByteArray &suffix = {});

bool DirectoryExists(const QString &path);

} // namespace ostrevo
