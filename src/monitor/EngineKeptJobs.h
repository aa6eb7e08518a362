#pragma once

#include <QSet>
#include <QString>

#include <mutex>

namespace ostrevo {

// Jobs whose files stay for a later run: one abandoned when the program quit, one waiting
// to be retried. They are listed in a small file of the program directory, so that the
// emptying of the job files at the next start spares them. Any thread.
class KeptJobs {
public:
    explicit KeptJobs(QString path);

    // Reads the list left by the last run, forgetting files that are gone since.
    void load();
    // True for a file of a kept job (any spelling of its path that names the same file).
    bool contains(const QString &path) const;
    void keep(const QString &markerPath, const QString &textPath);
    void release(const QString &markerPath, const QString &textPath);
    const QString &path() const { return m_path; }

private:
    void save();

    QString m_path;
    mutable std::mutex m_mutex;
    QSet<QString> m_files; // canonical paths
};

} // namespace ostrevo
