#pragma once

#include "monitor/JournalEntries.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ostrevo {

struct TFormJournalOptions {
    QString journalPath;                      // ostrevo.log
    std::function<QString()> printoutFolder;  // the built-in printer's output folder
    // Opens a file or folder; empty = the desktop's opener (xdg-open).
    std::function<void(const QString &path)> open;
};

// "Dziennik zadań": the last jobs of the journal, newest first, growing as jobs end.
// Failures carry a mark and a bold outcome (not colour alone); a double click opens the
// file a printout or PDF job wrote.
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

public slots:
    // One journal line, as a job ends.
    void addLine(const QString &journalLine);
    void openRow(QTreeWidgetItem *item);
    void openPrintoutFolder();

private:
    void addEntry(const JournalEntry &entry, bool newest);
    void applyFilter(QTreeWidgetItem *item) const;

    TFormJournalOptions m_options;
    QTreeWidget *m_list;
    QComboBox *cbxFilter;
    QPushButton *btnFolder;
    QLabel *lblCount;
};

} // namespace ostrevo
