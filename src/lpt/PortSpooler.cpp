#include "lpt/PortSpooler.h"

#include "jobs/PartFile.h"
#include "jobs/UniqueFd.h"
#include "lpt/CaptureFiles.h"
#include "lpt/DeliveryRecord.h"
#include "lpt/PortPlaces.h"
#include "monitor/NetworkFileSystem.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

qint64 SpoolerNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A queue key: the port's index and the file's name (which holds no '/').
QString KeyOf(int index, const QByteArray &name)
{
    return QString::number(index) + u'/' + QFile::decodeName(name);
}

} // namespace

PortSpooler::PortSpooler(QString programDir, DeliveryServices services)
    : m_programDir(std::move(programDir)), m_stagingDir(m_programDir + QStringLiteral("/porty")),
      m_services(std::move(services))
{
    // A message handed to sendmail gives up once a quit's grace has run out.
    if (!m_services.quitting)
        m_services.quitting = [this] { return givenUp(); };
    // Ids that stay unique across restarts: a mail's later line follows its capture's.
    m_idPrefix = QStringLiteral("lpt-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + u'-'
        + QString::number(::getpid()) + u'-';
}

PortSpooler::~PortSpooler()
{
    stopAll(0);
    std::lock_guard lock(m_mutex);
    for (Port &port : m_ports)
        detach(port);
}

void PortSpooler::setRetryWaits(int firstMs, int maxMs)
{
    std::lock_guard lock(m_mutex);
    m_retryFirstMs = std::max(1, firstMs);
    m_retryMaxMs = std::max(m_retryFirstMs, maxMs);
}

QString PortSpooler::nextId()
{
    return m_idPrefix + QString::number(++m_serial);
}

CaptureDelivery PortSpooler::delivery()
{
    std::lock_guard lock(m_mutex);
    return CaptureDelivery(m_settings, m_stagingDir, m_services);
}

void PortSpooler::journalProblem(const QString &directory, const QString &file, const QString &detail, bool retry)
{
    if (!m_services.outcomes)
        return;
    LaterOutcome outcome;
    outcome.id = nextId();
    outcome.directory = directory;
    outcome.jobFile = file;
    outcome.kind = QStringLiteral("jkLpt");
    outcome.retry = retry;
    outcome.detail = detail;
    m_services.outcomes->report(outcome);
}

QStringList PortSpooler::configure(const Settings &settings, const QStringList &printers)
{
    QStringList problems;
    QList<Port> ports;
    QStringList directories;
    for (const PortSettings &port : settings.ports) {
        QString problem = port.problem;
        if (problem.isEmpty())
            problem = PortConflict(port, settings, m_programDir, printers, directories);
        const QString directory = port.katalog.isEmpty() ? QString() : PortDirectory(port, settings, m_programDir);
        if (!problem.isEmpty()) {
            const QString message = QStringLiteral("[%1] pominięty: %2").arg(port.name, problem);
            problems.append(QStringLiteral("Ostrevo.ini: ") + message);
            journalProblem(directory, QStringLiteral("[%1]").arg(port.name), message);
            continue;
        }
        directories.append(CanonicalDirectory(directory));
        Port served;
        served.target = TargetOf(port, settings, m_programDir);
        ports.append(served);
    }
    std::lock_guard lock(m_mutex);
    m_settings = settings;
    for (Port &port : m_ports)
        detach(port);
    m_ports = ports;
    m_configured = true;
    return problems;
}

void PortSpooler::startWatching()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_watchThread.joinable() || m_ports.isEmpty())
            return;
        m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        // What a killed run was writing will never be finished; records whose capture is
        // gone were left by a stop between the two removals.
        RemoveStalePartFiles(m_stagingDir);
        for (const Port &port : std::as_const(m_ports))
            cleanLeftovers(port);
    }
    m_watchThread = std::thread([this] { watch(); });
    start();
}

void PortSpooler::stopAll(int graceMs)
{
    m_watchStop = true;
    wakeWatch();
    if (m_watchThread.joinable())
        m_watchThread.join();
    stop(graceMs);
    if (m_inotify >= 0)
        ::close(m_inotify);
    m_inotify = -1;
    if (const int wakeFd = m_wakeFd.exchange(-1); wakeFd >= 0)
        ::close(wakeFd);
}

void PortSpooler::cleanLeftovers(const Port &port)
{
    UniqueFd dir(::open(QFile::encodeName(port.target.directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0)
        return;
    const QStringList hidden = QDir(port.target.directory).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    for (const QString &entry : hidden) {
        const QByteArray name = QFile::encodeName(entry);
        if (!IsRecordName(name))
            continue;
        const std::optional<DeliveryRecord> record = ReadRecordFile(dir.fd, name);
        struct stat st;
        const bool captureThere = record && ::fstatat(dir.fd, record->captureName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
            && CaptureIdentity::of(st) == record->capture;
        if (record && !captureThere)
            ::unlinkat(dir.fd, name.constData(), 0);
    }
}

QStringList PortSpooler::waiting()
{
    std::lock_guard lock(m_mutex);
    const qint64 now = SpoolerNowMs();
    QList<std::pair<quint64, QString>> ready;
    for (int i = 0; i < m_ports.size(); ++i) {
        const Port &port = m_ports.at(i);
        if (port.blockedUntil > now)
            continue;
        for (auto it = port.files.cbegin(); it != port.files.cend(); ++it) {
            if (it->state == Candidate::Ready)
                ready.append({it->arrival, KeyOf(i, it.key())});
        }
    }
    std::sort(ready.begin(), ready.end());
    QStringList keys;
    for (const auto &entry : std::as_const(ready))
        keys.append(entry.second);
    return keys;
}

QueueWorker::Step PortSpooler::processOne(const QString &key)
{
    const qsizetype slash = key.indexOf(u'/');
    const int index = key.left(slash).toInt();
    const QByteArray name = QFile::encodeName(key.mid(slash + 1));
    PortTarget target;
    {
        std::lock_guard lock(m_mutex);
        if (index < 0 || index >= m_ports.size())
            return Step::Done;
        Port &port = m_ports[index];
        const auto it = port.files.find(name);
        // Written to again, or gone, since the list was made; or an earlier one of the
        // port had to wait.
        if (it == port.files.end() || it->state != Candidate::Ready || port.blockedUntil > SpoolerNowMs())
            return Step::Done;
        it->state = Candidate::Taken;
        target = port.target;
    }
    if (stopping()) {
        settle(index, {DeliveryResult::Quit, {}}, name);
        return Step::Quit;
    }
    const DeliveryResult result = delivery().deliver(target, name, nextId());
    settle(index, result, name);
    return result.kind == DeliveryResult::Quit ? Step::Quit : Step::Done;
}

void PortSpooler::settle(int index, const DeliveryResult &result, const QByteArray &name)
{
    QString journalLater;
    QString directory;
    {
        std::lock_guard lock(m_mutex);
        if (index >= m_ports.size())
            return;
        Port &port = m_ports[index];
        const qint64 now = SpoolerNowMs();
        const auto it = port.files.find(name);
        switch (result.kind) {
        case DeliveryResult::Done: {
            port.backoffMs = 0;
            port.lastLater.clear();
            if (it == port.files.end())
                break;
            // A capture that could not be removed is not offered again in this run.
            struct stat st;
            if (port.dirFd >= 0 && ::fstatat(port.dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                it->state = Candidate::Handled;
                it->inode = quint64(st.st_ino);
            } else {
                port.files.erase(it);
            }
            break;
        }
        case DeliveryResult::Later: {
            port.backoffMs = port.backoffMs == 0 ? m_retryFirstMs : std::min(port.backoffMs * 2, m_retryMaxMs);
            port.blockedUntil = now + port.backoffMs;
            if (it != port.files.end())
                it->state = Candidate::Ready;
            // One line per reason, not one per attempt.
            if (result.why != port.lastLater) {
                port.lastLater = result.why;
                journalLater = QStringLiteral("%1: %2; wydruk czeka w katalogu portu, ponowna próba za %3 s")
                                   .arg(port.target.port.name, result.why)
                                   .arg((port.backoffMs + 999) / 1000);
                directory = port.target.directory;
            }
            break;
        }
        case DeliveryResult::Busy:
            if (it != port.files.end()) {
                it->state = Candidate::Settling;
                it->lastChange = now;
                it->lookAt = now + std::max(port.target.port.cisza, 200);
            }
            break;
        case DeliveryResult::Quit:
            if (it != port.files.end())
                it->state = Candidate::Ready;
            break;
        }
    }
    if (!journalLater.isEmpty())
        journalProblem(directory, QFile::decodeName(name), journalLater, true);
    wakeWatch();
}

DeliveryResult PortSpooler::deliverNow(const QString &portName, const QByteArray &name)
{
    PortTarget target;
    {
        std::lock_guard lock(m_mutex);
        const auto it = std::find_if(m_ports.cbegin(), m_ports.cend(), [&](const Port &port) {
            return port.target.port.name.compare(portName, Qt::CaseInsensitive) == 0;
        });
        if (it == m_ports.cend())
            return {DeliveryResult::Later, QStringLiteral("port %1 nie jest obsługiwany").arg(portName)};
        target = it->target;
    }
    const DeliveryResult result = delivery().deliver(target, name, nextId());
    if (result.kind == DeliveryResult::Later)
        journalProblem(target.directory, QFile::decodeName(name),
                       QStringLiteral("%1: %2; wydruk czeka w katalogu portu na monitor").arg(target.port.name, result.why),
                       true);
    return result;
}

QByteArray PortSpooler::portRequest(const QString &portName)
{
    {
        std::lock_guard lock(m_mutex);
        // Asked before the settings were read: the directory is looked through at the start.
        if (!m_configured)
            return "ok\n";
        const auto it = std::find_if(m_ports.begin(), m_ports.end(), [&](const Port &port) {
            return port.target.port.name.compare(portName, Qt::CaseInsensitive) == 0;
        });
        if (it == m_ports.end()) {
            const PortSettings *port = FindPort(m_settings, portName);
            return port ? QByteArray("not served: the port's settings in Ostrevo.ini have a problem (see the journal)\n")
                        : QByteArray("not served: no such port in Ostrevo.ini when the monitor started\n");
        }
        it->rescan = true;
    }
    wakeWatch();
    return "ok\n";
}

} // namespace ostrevo
