#include "monitor/EngineKeptJobs.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ostrevo {

namespace {

// One spelling per file, also once the file is deleted (through its directory then).
QString Canonical(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    return dir.isEmpty() ? info.absoluteFilePath() : dir + u'/' + info.fileName();
}

} // namespace

KeptJobs::KeptJobs(QString path) : m_path(std::move(path)) {}

void KeptJobs::load()
{
    std::lock_guard lock(m_mutex);
    m_files.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Paths are stored as the file system's bytes, one a line.
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString path = QFile::decodeName(line);
        if (!line.isEmpty() && QFileInfo::exists(path))
            m_files.insert(Canonical(path));
    }
}

bool KeptJobs::contains(const QString &path) const
{
    std::lock_guard lock(m_mutex);
    return !m_files.isEmpty() && m_files.contains(Canonical(path));
}

void KeptJobs::keep(const QString &markerPath, const QString &textPath)
{
    std::lock_guard lock(m_mutex);
    const qsizetype before = m_files.size();
    m_files.insert(Canonical(markerPath));
    m_files.insert(Canonical(textPath));
    if (m_files.size() != before)
        save();
}

void KeptJobs::release(const QString &markerPath, const QString &textPath)
{
    std::lock_guard lock(m_mutex);
    if (m_files.isEmpty())
        return;
    const bool removed = m_files.remove(Canonical(markerPath)) | m_files.remove(Canonical(textPath));
    if (removed)
        save();
}

void KeptJobs::save()
{
    if (m_files.isEmpty()) {
        QFile::remove(m_path);
        return;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (const QString &path : m_files)
        file.write(QFile::encodeName(path) + '\n');
    file.commit();
}

} // namespace ostrevo
