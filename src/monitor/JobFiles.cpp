#include "monitor/JobFiles.h"

#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/MoveWithoutReplacing.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <QFile>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

namespace ostrevo {

namespace {

constexpr qsizetype SuffixLength = 4; // ".END", ".txt"

enum NameKey { KeyExact, KeyUtf8, KeyCp852, KeyMazovia, KeyCount };

// The keys under which a base name matches another in any letter case. An empty key is
// no key: a UTF-8 name has no DOS keys (its multi-byte letters are no DOS letters), and
// a name that is not UTF-8 has no UTF-8 key.
QByteArray KeyOf(const QByteArray &base, int kind)
{
    const bool utf8 = QByteArrayView(base).isValidUtf8();
    switch (kind) {
    case KeyExact:
        return base;
    case KeyUtf8:
        return utf8 ? QString::fromUtf8(base).toCaseFolded().toUtf8() : QByteArray();
    case KeyCp852:
        return utf8 ? QByteArray() : LowerDosName(base, PolishCp852);
    case KeyMazovia:
        return utf8 ? QByteArray() : LowerDosName(base, PolishMazovia);
    }
    return {};
}

} // namespace

bool HasSuffixCi(const char *name, const char *suffix)
{
    const size_t n = strlen(name);
    const size_t s = strlen(suffix);
    return n >= s && strcasecmp(name + n - s, suffix) == 0;
}

QString DisplayName(const QByteArray &name)
{
    if (QByteArrayView(name).isValidUtf8())
        return QString::fromUtf8(name);
    return Cp852ToUnicode(name);
}

// ---------------------------------------------------------------- JobDirectory

JobDirectory::JobDirectory(const QString &path) : m_path(path)
{
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    // The listing gets a descriptor of its own: closedir closes it, the directory stays open.
    const int listFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        return;
    }
    ::rewinddir(dir); // the copy shares the read position of earlier listings
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray entryName(entry->d_name);
        if (entryName.size() <= SuffixLength)
            continue;
        if (HasSuffixCi(entry->d_name, ".end"))
            m_markers.push_back(entryName);
        else if (HasSuffixCi(entry->d_name, ".txt"))
            addText(entryName);
    }
    ::closedir(dir);
    // Jobs run in the order of their names, as the Windows listing gives them and as a DOS
    // program printing a run of invoices expects, not in the file system's hash order.
    std::vector<std::pair<QString, QByteArray>> keyed;
    keyed.reserve(m_markers.size());
    for (QByteArray &marker : m_markers)
        keyed.emplace_back(DisplayName(marker).toCaseFolded(), std::move(marker));
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < keyed.size(); ++i)
        m_markers[i] = std::move(keyed[i].second);
}

JobDirectory::~JobDirectory()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void JobDirectory::addText(const QByteArray &name)
{
    const QByteArray base = name.left(name.size() - SuffixLength);
    const bool plainSuffix = name.endsWith(".txt");
    for (int kind = 0; kind < KeyCount; ++kind) {
        const QByteArray key = KeyOf(base, kind);
        if (key.isEmpty())
            continue;
        // Where two spellings compete, the usual ".txt" wins, else the first listed.
        auto it = m_texts[kind].find(key);
        if (it == m_texts[kind].end())
            m_texts[kind].insert(key, name);
        else if (plainSuffix && !it->endsWith(".txt"))
            *it = name;
    }
}

QByteArray JobDirectory::textFileOf(const QByteArray &marker) const
{
    const QByteArray base = marker.left(marker.size() - SuffixLength);
    for (int kind = 0; kind < KeyCount; ++kind) {
        const QByteArray key = KeyOf(base, kind);
        if (key.isEmpty())
            continue;
        const auto it = m_texts[kind].constFind(key);
        if (it != m_texts[kind].constEnd())
            return *it;
    }
    return {};
}

// ---------------------------------------------------------------- PickedJob

PickedJob::PickedJob(const JobDirectory &directory, const QByteArray &marker, const QByteArray &claimSuffix)
    : m_dirFd(directory.fd()), m_directoryPath(directory.path()), m_marker(marker),
      m_text(directory.textFileOf(marker)), m_markerPath(directory.path() + u'/' + DisplayName(marker))
{
    if (m_dirFd < 0)
        return;
    if (m_text.isEmpty()) {
        // Waiting costs no system call: thousands of waiting markers stay cheap.
        m_state = Waiting;
        return;
    }
    m_textPath = directory.path() + u'/' + DisplayName(m_text);
    if (::fstatat(m_dirFd, m_marker.constData(), &m_markerStat, AT_SYMLINK_NOFOLLOW) != 0
        || S_ISDIR(m_markerStat.st_mode)) {
        m_state = Gone;
        return;
    }
    open(claimSuffix);
}

PickedJob::~PickedJob()
{
    if (m_textFd >= 0)
        ::close(m_textFd);
}

bool PickedJob::claim(const QByteArray &claimSuffix)
{
    const QByteArray claimed = m_text + claimSuffix;
    const int error = RenameAtomically(m_dirFd, m_text.constData(), m_dirFd, claimed.constData());
    if (error == ENOENT) {
        // Another monitor took it first (or it went since the listing).
        m_state = Gone;
        return false;
    }
    if (error == 0)
        m_claimed = claimed;
    // Any other failure (a read-only share, a claim of ours left behind): the text is read
    // under its own name, as a monitor alone would.
    return true;
}

void PickedJob::open(const QByteArray &claimSuffix)
{
    m_state = Waiting;
    struct stat st;
    if (::fstatat(m_dirFd, m_text.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return; // gone since the listing: the marker waits for a text again
    if (S_ISLNK(st.st_mode)) {
        m_state = Refused;
        m_problem = QStringLiteral("plik zadania jest dowiązaniem symbolicznym, nie odczytano go");
        return;
    }
    // A FIFO or a directory is no job text, and is never opened: a FIFO would block.
    if (!S_ISREG(st.st_mode))
        return;
    if (!claimSuffix.isEmpty() && !claim(claimSuffix))
        return;
    // Opened without following links and without waiting, as it may have been swapped
    // since the look above; what is opened is checked again.
    const QByteArray &name = textNameNow();
    const int fd = ::openat(m_dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            m_state = Gone;
            return;
        }
        if (error == ELOOP) {
            m_state = Refused;
            m_problem = QStringLiteral("plik zadania jest dowiązaniem symbolicznym, nie odczytano go");
            return;
        }
        m_state = Unreadable;
        m_problem = QStringLiteral("Nie można otworzyć pliku %1: %2").arg(m_textPath, ErrnoText(error));
        return;
    }
    if (::fstat(fd, &m_textStat) != 0 || !S_ISREG(m_textStat.st_mode)) {
        ::close(fd);
        release();
        return;
    }
    // The marker must still be the one listed: a DOS program that reused the name after
    // another monitor finished the job has written a new text, perhaps not yet whole.
    struct stat marker;
    if (!m_claimed.isEmpty()
        && (::fstatat(m_dirFd, m_marker.constData(), &marker, AT_SYMLINK_NOFOLLOW) != 0
            || marker.st_ino != m_markerStat.st_ino || marker.st_dev != m_markerStat.st_dev)) {
        ::close(fd);
        release();
        m_state = Gone;
        return;
    }
    m_textFd = fd;
    m_state = Ready;
}

int PickedJob::release()
{
    if (m_claimed.isEmpty())
        return 0;
    const int error = RenameAtomically(m_dirFd, m_claimed.constData(), m_dirFd, m_text.constData());
    if (error == 0)
        m_claimed.clear();
    return error;
}

int PickedJob::remove(const QByteArray &name) const
{
    if (m_dirFd < 0 || name.isEmpty())
        return EBADF;
    return ::unlinkat(m_dirFd, name.constData(), 0) == 0 ? 0 : errno;
}

int PickedJob::removeMarker() const
{
    return remove(m_marker);
}

int PickedJob::removeText() const
{
    return remove(textNameNow());
}

QByteArray ClaimSuffix(const QString &canonicalProgramDir)
{
    const QByteArray who = QSysInfo::machineHostName().toUtf8() + '\n' + canonicalProgramDir.toUtf8();
    return ".ostrevo-" + QCryptographicHash::hash(who, QCryptographicHash::Sha1).toHex().left(8);
}

bool IsClaimedText(const QByteArray &name, const QByteArray &suffix)
{
    if (!suffix.isEmpty())
        return name.endsWith(suffix) && HasSuffixCi(name.left(name.size() - suffix.size()).constData(), ".txt");
    const qsizetype at = name.lastIndexOf(".ostrevo-");
    return at > 0 && name.size() - at == 17 && HasSuffixCi(name.left(at).constData(), ".txt");
}

// ---------------------------------------------------------------- plain files

bool DirectoryExists(const QString &path)
{
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    return !path.isEmpty() && ::stat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace ostrevo
