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

// The two files of one job as the scan meets them, with the job text opened once
// (O_NONBLOCK | O_NOFOLLOW) and checked to be a regular file of the monitored directory;
// every pass over the text reads that descriptor.
class PickedJob {
public:
    enum State {
        Gone,       // the marker is not there (any more): a nested scan performed it
        Waiting,    // no text file yet, or one that is not a regular file: the marker waits
        Refused,    // the text file is a symbolic link: never read
        Unreadable, // the text file cannot be opened
        Ready,      // the text is open
    };

    PickedJob(const JobDirectory &directory, const QByteArray &marker);
    ~PickedJob();
    PickedJob(const PickedJob &) = delete;
    PickedJob &operator=(const PickedJob &) = delete;

    State state() const { return m_state; }
    // Why the job is refused or unreadable.
    const QString &problem() const { return m_problem; }
    // Paths for names and messages (see DisplayName); never opened again.
    const QString &markerPath() const { return m_markerPath; }
    const QString &textPath() const { return m_textPath; }
    const QByteArray &markerName() const { return m_marker; }
    const QByteArray &textName() const { return m_text; }
    // The open job text (Ready), owned by this object; -1 otherwise.
    int textFd() const { return m_textFd; }
    // The text file as opened (Ready).
    const struct stat &textStat() const { return m_textStat; }

    // Delete the marker or the text entry of the monitored directory itself (a link,
    // never its target). 0, or the errno of the failure.
    int removeMarker() const;
    int removeText() const;

private:
    void open();
    int remove(const QByteArray &name) const;

    int m_dirFd = -1;
    QByteArray m_marker;
    QByteArray m_text;
    QString m_markerPath;
    QString m_textPath;
    State m_state = Gone;
    QString m_problem;
    int m_textFd = -1;
    struct stat m_textStat {};
};

// Deletes a file; failures are ignored (the next scan meets the file again).
void RemoveFile(const QString &path);

bool FileExists(const QString &path);
bool DirectoryExists(const QString &path);

} // namespace ostrevo
