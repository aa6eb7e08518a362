#include "gui/OneBox.h"

#include <algorithm>

namespace ostrevo {

namespace {

// A box that would not fit the screen helps nobody: the rest is in the journal.
constexpr int ShownEntries = 8;
constexpr int ShownJobs = 5;

} // namespace

void OneBox::addJobError(const QString &job, const QString &reason)
{
    if (!m_box)
        m_entries.clear();
    auto same = std::find_if(m_entries.begin(), m_entries.end(),
                             [&](const Entry &e) { return !e.jobs.isEmpty() && e.reason == reason; });
    if (same == m_entries.end())
        m_entries.append({reason, {job}});
    else if (!same->jobs.contains(job))
        same->jobs.append(job);
    show(QMessageBox::Critical);
}

void OneBox::addWarning(const QString &message)
{
    if (!m_box)
        m_entries.clear();
    const bool known = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                   [&](const Entry &e) { return e.jobs.isEmpty() && e.reason == message; });
    if (!known)
        m_entries.append({message, {}});
    show(QMessageBox::Warning);
}

QString OneBox::text() const
{
    QStringList paragraphs;
    bool jobs = false;
    const qsizetype first = std::max<qsizetype>(0, m_entries.size() - ShownEntries);
    if (first > 0)
        paragraphs.append(QStringLiteral("(i %1 wcześniejszych, zob. Dziennik zadań)").arg(first));
    for (qsizetype i = first; i < m_entries.size(); ++i) {
        const Entry &e = m_entries.at(i);
        if (e.jobs.isEmpty()) {
            paragraphs.append(e.reason);
            continue;
        }
        jobs = true;
        QStringList names = e.jobs.mid(0, ShownJobs);
        if (e.jobs.size() > ShownJobs)
            names.append(QStringLiteral("i %1 innych").arg(e.jobs.size() - ShownJobs));
        const QString sentence = e.jobs.size() == 1 ? QStringLiteral("Zadanie %1 zakończyło się błędem:\n%2")
                                                    : QStringLiteral("Zadania %1 zakończyły się błędem:\n%2");
        paragraphs.append(sentence.arg(names.join(QStringLiteral(", ")), e.reason));
    }
    if (jobs)
        paragraphs.append(QStringLiteral("Zadania z błędem nie są ponawiane: usuń przyczynę i wyślij je ponownie z "
                                         "programu DOS. Monitorowanie trwa; wszystkie zadania są w Dzienniku zadań."));
    return paragraphs.join(QStringLiteral("\n\n"));
}

void OneBox::show(QMessageBox::Icon icon)
{
    if (!m_box) {
        m_box = new QMessageBox(icon, m_title, QString(), QMessageBox::Ok, m_parent);
        m_box->setObjectName(QStringLiteral("OneBox"));
        m_box->setAttribute(Qt::WA_DeleteOnClose);
        m_box->setWindowModality(Qt::NonModal);
    } else if (icon == QMessageBox::Critical) {
        m_box->setIcon(icon);
    }
    m_box->setText(text());
    m_box->show();
}

} // namespace ostrevo
