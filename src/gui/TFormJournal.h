#pragma once

#include "monitor/JobRecord.h"
#include "preview/JobPreview.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ostrevo {

struct TFormJournalOptions {
    QString journalPath;                      // ostrevo.log
    std::function<QString()> printoutFolder;  // the built-in printer's output folder
    // Opens a file or folder; empty = the desktop's opener (xdg-open).
    std::function<void(const QString &path)> open;
    // The job texts waiting in the monitored directories now; unset = no previews offered.
    std::function<QStringList()> waitingJobs;
    // The program that lays a waiting job out, and the program directory it reads.
    QString executablePath;
    QString programDir;
};

class PreviewRun;

// "Dziennik zadań": the last jobs of the journal, newest first, growing as jobs end, in
// the user's words (kinds and outcomes in Polish). One row per job: its retries and its
// later outcome (a mail sent after the job) are folded into it. Failures carry a mark and
// a bold outcome (not colour alone); a double click opens the file a printout or PDF job
// wrote; a search field looks into every column. Below, the jobs still waiting in the
// monitored directories, each of which can be previewed before it is performed.
class TFormJournal : public QWidget {
    Q_OBJECT
public:
    enum Filter { All = 0, Failures = 1, Successes = 2, NotSupported = 3 };

    explicit TFormJournal(TFormJournalOptions options, QWidget *parent = nullptr);

    // Reads the journal's tail again.
    void reload();
    int rowCount() const;
    QTreeWidgetItem *row(int index) const;
    void setFilter(Filter filter);
    void setSearch(const QString &text);
    // "zadań: 12" or, with a filter or a search, "zadań: 3 z 12".
    QString countText() const;
    QListWidget *waitingList() const { return lstWaiting; }
    // The report of the last preview.
    QString previewReport() const;

public slots:
    // One journal record, as a job ends (or a later outcome of one arrives).
    void addRecord(const ostrevo::JobRecord &record);
    void openRow(QTreeWidgetItem *item);
    void openPrintoutFolder();
    // Lists the waiting jobs again.
    void refreshWaiting();
    // Lays the job out in a process of its own, shows its report, opens its PDF.
    void previewJob(const QString &jobPath);

signals:
    void previewFinished(int exitCode);

private:
    void addEntry(const JobRecord &entry);
    QTreeWidgetItem *rowOf(const JobRecord &entry) const;
    void applyFilter(QTreeWidgetItem *item) const;
    void applyFilters();
    void updateCount();
    void showPreview(const PreviewOutcome &outcome);
    QWidget *buildWaiting();

    TFormJournalOptions m_options;
    QTreeWidget *m_list;
    QComboBox *cbxFilter;
    QLineEdit *txtSearch;
    QPushButton *btnFolder;
    QLabel *lblCount;
    QListWidget *lstWaiting = nullptr;
    QPushButton *btnPreview = nullptr;
    QPlainTextEdit *txtReport = nullptr;
    PreviewRun *m_preview = nullptr;
};

} // namespace ostrevo
