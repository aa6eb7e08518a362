#include "gui/TFormJournal.h"

#include "monitor/JobWording.h"
#include "preview/PreviewRun.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace ostrevo {

namespace {

// What a journal window keeps: enough for a busy day, never the whole of a huge file.
constexpr int MaxRows = 2000;

enum Column { ColTime, ColDirectory, ColJob, ColKind, ColDuration, ColOutcome, ColumnCount };

constexpr int OutcomeRole = Qt::UserRole;
constexpr int FileRole = Qt::UserRole + 1;
constexpr int IdRole = Qt::UserRole + 2;
constexpr int AttemptsRole = Qt::UserRole + 3;

} // namespace

TFormJournal::TFormJournal(TFormJournalOptions options, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_options(std::move(options))
{
    setObjectName(u"TFormJournal"_s);
    setWindowTitle(u"Dziennik zadań"_s);
    resize(900, 420);
    if (!m_options.open)
        m_options.open = [](const QString &path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };

    cbxFilter = new QComboBox(this);
    cbxFilter->setObjectName(u"cbxFilter"_s);
    cbxFilter->addItems({u"Wszystkie zadania"_s, u"Tylko błędy"_s, u"Tylko udane"_s, u"Nieobsługiwane"_s});
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(u"txtSearch"_s);
    txtSearch->setPlaceholderText(u"Szukaj w dzienniku"_s);
    txtSearch->setClearButtonEnabled(true);
    btnFolder = new QPushButton(u"Otwórz folder wydruków"_s, this);
    btnFolder->setObjectName(u"btnFolder"_s);
    lblCount = new QLabel(this);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(u"lstJobs"_s);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setColumnCount(ColumnCount);
    m_list->setHeaderLabels({u"Czas"_s, u"Katalog"_s, u"Plik zadania"_s, u"Rodzaj"_s, u"Czas trwania"_s, u"Wynik"_s});
    m_list->header()->setStretchLastSection(true);
    // The time, kind and duration are never cut; the directory and outcome give way.
    for (int column : {ColTime, ColJob, ColKind, ColDuration})
        m_list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(u"Pokaż:"_s, this));
    bar->addWidget(cbxFilter);
    bar->addWidget(txtSearch, 1);
    bar->addWidget(lblCount);
    bar->addWidget(btnFolder);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_list, 3);
    if (m_options.waitingJobs)
        layout->addWidget(buildWaiting(), 2);

    connect(cbxFilter, &QComboBox::currentIndexChanged, this, [this](int index) { setFilter(Filter(index)); });
    connect(txtSearch, &QLineEdit::textChanged, this, &TFormJournal::setSearch);
    connect(btnFolder, &QPushButton::clicked, this, &TFormJournal::openPrintoutFolder);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { openRow(item); });
    reload();
    refreshWaiting();
}

QWidget *TFormJournal::buildWaiting()
{
    auto *box = new QGroupBox(u"Zadania oczekujące: podgląd przed wykonaniem"_s, this);
    lstWaiting = new QListWidget(box);
    lstWaiting->setObjectName(u"lstWaiting"_s);
    btnPreview = new QPushButton(u"Podgląd"_s, box);
    btnPreview->setObjectName(u"btnPreview"_s);
    btnPreview->setToolTip(u"Układa zadanie tak, jak zostanie wydrukowane, w pliku NAZWA-podglad.pdf w katalogu "
                           u"podręcznym (~/.cache/ostrevo/podglad), niczego nie drukując ani nie wysyłając"_s);
    auto *btnRefresh = new QPushButton(u"Odśwież"_s, box);
    btnRefresh->setObjectName(u"btnRefresh"_s);
    txtReport = new QPlainTextEdit(box);
    txtReport->setObjectName(u"txtReport"_s);
    txtReport->setReadOnly(true);
    txtReport->setPlaceholderText(u"Raport podglądu"_s);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(btnPreview);
    buttons->addWidget(btnRefresh);
    buttons->addStretch();
    auto *row = new QHBoxLayout(box);
    row->addWidget(lstWaiting, 2);
    row->addLayout(buttons);
    row->addWidget(txtReport, 3);

    const QString executable = m_options.executablePath.isEmpty() ? QCoreApplication::applicationFilePath()
                                                                  : m_options.executablePath;
    m_preview = new PreviewRun(executable, m_options.programDir, this);
    connect(m_preview, &PreviewRun::finished, this, &TFormJournal::showPreview);
    auto previewSelected = [this] {
        if (QListWidgetItem *item = lstWaiting->currentItem())
            previewJob(item->data(Qt::UserRole).toString());
    };
    connect(btnPreview, &QPushButton::clicked, this, previewSelected);
    connect(lstWaiting, &QListWidget::itemDoubleClicked, this, previewSelected);
    connect(btnRefresh, &QPushButton::clicked, this, &TFormJournal::refreshWaiting);
    return box;
}

void TFormJournal::refreshWaiting()
{
    if (!lstWaiting)
        return;
    const QString current = lstWaiting->currentItem() ? lstWaiting->currentItem()->data(Qt::UserRole).toString()
                                                      : QString();
    lstWaiting->clear();
    for (const QString &path : m_options.waitingJobs()) {
        auto *item = new QListWidgetItem(QFileInfo(path).fileName(), lstWaiting);
        item->setToolTip(path);
        item->setData(Qt::UserRole, path);
        if (path == current)
            lstWaiting->setCurrentItem(item);
    }
    if (!lstWaiting->currentItem() && lstWaiting->count() > 0)
        lstWaiting->setCurrentRow(0);
}

void TFormJournal::previewJob(const QString &jobPath)
{
    if (!m_preview || jobPath.isEmpty() || !m_preview->start(jobPath))
        return;
    btnPreview->setEnabled(false);
    txtReport->setPlainText(u"Podgląd zadania %1..."_s.arg(jobPath));
}

void TFormJournal::showPreview(const PreviewOutcome &outcome)
{
    btnPreview->setEnabled(true);
    txtReport->setPlainText(outcome.report.join(u'\n'));
    if (outcome.exitCode == PreviewDone && !outcome.pdfPath.isEmpty() && QFileInfo(outcome.pdfPath).isFile())
        m_options.open(outcome.pdfPath);
    emit previewFinished(outcome.exitCode);
}

QString TFormJournal::previewReport() const
{
    return txtReport ? txtReport->toPlainText() : QString();
}

void TFormJournal::reload()
{
    m_list->clear();
    const QList<JobRecord> entries = ReadJournalTail(m_options.journalPath, MaxRows);
    // Oldest first, each above the last, so that retries and later outcomes fold into
    // the row of their job.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it)
        addEntry(*it);
    updateCount();
}

void TFormJournal::addRecord(const JobRecord &record)
{
    addEntry(record);
    while (m_list->topLevelItemCount() > MaxRows)
        delete m_list->takeTopLevelItem(m_list->topLevelItemCount() - 1);
    updateCount();
    // The job that ended waits no more.
    refreshWaiting();
}

// The row a record belongs to: its job's, for a later outcome; the job's last try, when
// that one was kept for a retry; none otherwise.
QTreeWidgetItem *TFormJournal::rowOf(const JobRecord &entry) const
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_list->topLevelItem(i);
        if (!entry.follows.isEmpty()) {
            if (item->data(ColOutcome, IdRole).toString() == entry.follows)
                return item;
            continue;
        }
        if (item->text(ColJob) == entry.jobFile && item->data(ColDirectory, Qt::UserRole).toString() == entry.directory)
            return JobOutcome(item->data(ColOutcome, OutcomeRole).toInt()) == JobOutcome::Retry ? item : nullptr;
    }
    return nullptr;
}

void TFormJournal::addEntry(const JobRecord &entry)
{
    QTreeWidgetItem *item = rowOf(entry);
    QString sentence = OutcomeSentence(entry);
    QString history;
    if (item && !entry.follows.isEmpty()) {
        // A later outcome: the job's own stays in front of it.
        sentence = item->text(ColOutcome) + u"; potem: "_s + sentence;
        history = item->toolTip(ColOutcome);
    } else if (item) {
        // Another try of a job that was kept for a retry.
        const int attempts = item->data(ColOutcome, AttemptsRole).toInt() + 1;
        item->setData(ColOutcome, AttemptsRole, attempts);
        sentence += u" (próby: %1)"_s.arg(attempts);
        history = item->toolTip(ColOutcome);
    } else {
        item = new QTreeWidgetItem;
        item->setData(ColOutcome, AttemptsRole, 1);
        m_list->insertTopLevelItem(0, item);
    }
    const QString stamp = entry.time.toString(u"yyyy-MM-dd HH:mm:ss"_s);
    history += (history.isEmpty() ? QString() : u"\n"_s) + stamp + u"  "_s + OutcomeSentence(entry);

    // A later outcome decides the mark and the filter; the job's row keeps its time.
    const bool attention = entry.failed() || entry.nothingDone();
    if (entry.follows.isEmpty()) {
        item->setData(ColTime, Qt::UserRole, stamp);
        item->setText(ColDirectory, entry.directory);
        item->setData(ColDirectory, Qt::UserRole, entry.directory);
        item->setToolTip(ColDirectory, entry.directory);
        item->setText(ColJob, entry.jobFile);
        item->setText(ColKind, KindWording(entry.kind));
        item->setToolTip(ColKind, entry.kind);
        item->setText(ColDuration, u"%1 ms"_s.arg(entry.durationMs));
        item->setData(ColOutcome, IdRole, entry.id);
        item->setData(ColOutcome, FileRole, entry.outputFile());
    }
    item->setText(ColOutcome, sentence);
    item->setToolTip(ColOutcome, history);
    item->setData(ColOutcome, OutcomeRole, int(entry.outcome));
    // The mark is a sign before the time, so it reads without colour.
    item->setText(ColTime, (attention ? u"⚠ "_s : u"   "_s) + item->data(ColTime, Qt::UserRole).toString());
    QFont font = item->font(ColOutcome);
    font.setBold(attention);
    for (int c = 0; c < ColumnCount; ++c)
        item->setFont(c, font);
    item->setData(ColOutcome, Qt::ForegroundRole, attention ? QVariant(QColor(0xb0, 0, 0)) : QVariant());
    applyFilter(item);
}

int TFormJournal::rowCount() const
{
    return m_list->topLevelItemCount();
}

QTreeWidgetItem *TFormJournal::row(int index) const
{
    return m_list->topLevelItem(index);
}

void TFormJournal::setFilter(Filter filter)
{
    if (cbxFilter->currentIndex() != filter)
        cbxFilter->setCurrentIndex(filter);
    applyFilters();
}

void TFormJournal::setSearch(const QString &text)
{
    if (txtSearch->text() != text)
        txtSearch->setText(text);
    applyFilters();
}

void TFormJournal::applyFilters()
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        applyFilter(m_list->topLevelItem(i));
    updateCount();
}

void TFormJournal::applyFilter(QTreeWidgetItem *item) const
{
    const auto outcome = JobOutcome(item->data(ColOutcome, OutcomeRole).toInt());
    JobRecord probe;
    probe.outcome = outcome;
    const bool failed = probe.failed() || probe.nothingDone();
    bool shown = true;
    switch (Filter(cbxFilter->currentIndex())) {
    case All: break;
    case Failures: shown = failed; break;
    case Successes: shown = outcome == JobOutcome::Ok; break;
    case NotSupported: shown = outcome == JobOutcome::NotSupported; break;
    }
    const QString search = txtSearch->text().trimmed();
    if (shown && !search.isEmpty()) {
        shown = false;
        for (int c = 0; c < ColumnCount && !shown; ++c)
            shown = item->text(c).contains(search, Qt::CaseInsensitive);
        // What the row folded in (earlier tries) and the program's word for the kind.
        shown = shown || item->toolTip(ColOutcome).contains(search, Qt::CaseInsensitive)
            || item->toolTip(ColKind).contains(search, Qt::CaseInsensitive);
    }
    item->setHidden(!shown);
}

QString TFormJournal::countText() const
{
    return lblCount->text();
}

void TFormJournal::updateCount()
{
    const int total = m_list->topLevelItemCount();
    int shown = 0;
    for (int i = 0; i < total; ++i)
        shown += m_list->topLevelItem(i)->isHidden() ? 0 : 1;
    lblCount->setText(shown == total ? u"zadań: %1"_s.arg(total) : u"zadań: %1 z %2"_s.arg(shown).arg(total));
}

void TFormJournal::openRow(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString file = item->data(ColOutcome, FileRole).toString();
    if (!file.isEmpty() && QFileInfo(file).isFile())
        m_options.open(file);
}

void TFormJournal::openPrintoutFolder()
{
    if (m_options.printoutFolder)
        m_options.open(m_options.printoutFolder());
}

} // namespace ostrevo
