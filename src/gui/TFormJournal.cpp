#include "gui/TFormJournal.h"

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

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(u"Pokaż:"_s, this));
    bar->addWidget(cbxFilter);
    bar->addStretch();
    bar->addWidget(lblCount);
    bar->addWidget(btnFolder);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_list, 3);
    if (m_options.waitingJobs)
        layout->addWidget(buildWaiting(), 2);

    connect(cbxFilter, &QComboBox::currentIndexChanged, this, [this](int index) { setFilter(Filter(index)); });
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
    btnPreview->setToolTip(u"Układa zadanie tak, jak zostanie wydrukowane, w pliku NAZWA-podglad.pdf obok niego, "
                           u"niczego nie drukując ani nie wysyłając"_s);
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
    // Newest first: the tail comes that way, each added below the last.
    for (const JobRecord &entry : entries)
        addEntry(entry, false);
    lblCount->setText(u"zadań: %1"_s.arg(m_list->topLevelItemCount()));
}

void TFormJournal::addRecord(const JobRecord &record)
{
    addEntry(record, true);
    while (m_list->topLevelItemCount() > MaxRows)
        delete m_list->takeTopLevelItem(m_list->topLevelItemCount() - 1);
    lblCount->setText(u"zadań: %1"_s.arg(m_list->topLevelItemCount()));
    // The job that ended waits no more.
    refreshWaiting();
}

void TFormJournal::addEntry(const JobRecord &entry, bool newest)
{
    auto *item = new QTreeWidgetItem;
    // The mark is a sign and a word, so it reads without colour.
    const bool attention = entry.failed() || entry.nothingDone();
    item->setText(ColTime, (attention ? u"⚠ "_s : u"   "_s) + entry.time.toString(u"yyyy-MM-dd HH:mm:ss"_s));
    item->setText(ColDirectory, entry.directory);
    item->setText(ColJob, entry.jobFile);
    item->setText(ColKind, entry.kind);
    item->setText(ColDuration, u"%1 ms"_s.arg(entry.durationMs));
    item->setText(ColOutcome, entry.outcomeText());
    item->setToolTip(ColOutcome, entry.outcomeText());
    item->setData(ColOutcome, OutcomeRole, int(entry.outcome));
    item->setData(ColOutcome, FileRole, entry.outputFile());
    if (attention) {
        QFont bold = item->font(ColOutcome);
        bold.setBold(true);
        for (int c = 0; c < ColumnCount; ++c)
            item->setFont(c, bold);
        item->setForeground(ColOutcome, QColor(0xb0, 0, 0));
    }
    if (newest)
        m_list->insertTopLevelItem(0, item);
    else
        m_list->addTopLevelItem(item);
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
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        applyFilter(m_list->topLevelItem(i));
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
    item->setHidden(!shown);
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
