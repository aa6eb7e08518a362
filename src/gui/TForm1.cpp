#include "gui/TForm1.h"

#include "gui/NamedWidget.h"
#include "gui/StatusIcons.h"
#include "gui/StatusLamp.h"
#include "gui/TFormCONFIG.h"
#include "gui/TFormJournal.h"
#include "monitor/Engine.h"
#include "monitor/JobRecord.h"
#include "monitor/JobWording.h"
#include "monitor/MonitoredDirectories.h"

#include <QApplication>
#include <QTimer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QSystemTrayIcon>

#include <cstdio>
#include <utility>

using namespace Qt::StringLiterals;

namespace ostrevo {

namespace {

constexpr int ClientWidth = 352;
constexpr int ClientHeight = 232;

void setEditText(QComboBox *combo, const QString &text)
{
    if (combo->currentText() != text)
        combo->setEditText(text);
}

// Sees the application's Quit event before the windows are asked to close.
class QuitWatcher : public QObject {
public:
    QuitWatcher(std::function<void()> onQuit, QObject *parent) : QObject(parent), m_onQuit(std::move(onQuit)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Quit && watched == qApp)
            m_onQuit();
        return false;
    }

private:
    std::function<void()> m_onQuit;
};

} // namespace

QString ApplicationTitle(const QString &executablePath)
{
    const QString name = QFileInfo(executablePath).fileName();
    return name.section(u'.', 0, 0).left(63);
}

TForm1::TForm1(Engine *engine, TForm1Options options, QWidget *parent)
    : QMainWindow(parent)
    , m_engine(engine)
    , m_options(std::move(options))
    , m_box(this, u"Ostrevo"_s)
{
    if (m_options.executablePath.isEmpty())
        m_options.executablePath = QCoreApplication::applicationFilePath();
    if (!m_options.trayAvailable)
        m_options.trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    m_title = ApplicationTitle(m_options.executablePath);

    // A tray program ends through Zakończ only, never because its last window closed.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_loopEnding = true; });
    // Quitting the application (SIGTERM, the session's end) first asks every window to
    // close; this one must then close instead of rolling up, or the quit is refused.
    qApp->installEventFilter(new QuitWatcher([this] { m_loopEnding = true; }, this));
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Ostrevo"_s);
    setWindowIcon(PrinterIcon(0));
    // Fixed size, only the close button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    buildControls();
    buildMenus();
    buildTray();
    connectEngine();

    m_hotKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F12), this);
    m_hotKey->setContext(Qt::ApplicationShortcut);
    m_hotKey->setEnabled(false);
    connect(m_hotKey, &QShortcut::activated, this, &TForm1::Konfiguracja1Click);
    // The menu bar by keyboard: Alt with an underlined letter, or F10 and the arrows.
    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        menuBar()->setFocus(Qt::MenuBarFocusReason);
        menuBar()->setActiveAction(Konfiguracja1->isEnabled() ? Konfiguracja1 : Dziennik1);
    });

    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    showStatus(m_status);
    const bool showWanted = m_options.showAtStart || qEnvironmentVariableIntValue("OSTREVO_SHOW_WINDOW") == 1;
    // Without a tray the window is the only way in, so it is shown instead of hidden.
    if (showWanted || !m_options.trayAvailable())
        show();
    // For screenshots, as above: the journal window open from the start.
    if (qEnvironmentVariableIntValue("OSTREVO_SHOW_JOURNAL") == 1)
        QTimer::singleShot(0, this, &TForm1::Dziennik1Click);
}

TForm1::~TForm1() = default;

void TForm1::buildControls()
{
    auto *client = new QWidget(this);
    setCentralWidget(client);

    auto label = [&](const QString &name, const QString &caption, int y) {
        auto *l = named(new QLabel(caption, client), name);
        l->setGeometry(8, y, 70, 22);
        return l;
    };
    auto edit = [&](const QString &name, int y) {
        auto *e = named(new QLineEdit(client), name);
        e->setGeometry(80, y, 232, 22);
        e->installEventFilter(this);
        return e;
    };
    auto dirButton = [&](const QString &name, int y) {
        auto *b = named(new QPushButton(u"..."_s, client), name);
        b->setGeometry(316, y, 28, 22);
        return b;
    };
    auto combo = [&](const QString &name, int y) {
        auto *c = named(new QComboBox(client), name);
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setGeometry(80, y, 264, 22);
        c->installEventFilter(this);
        return c;
    };

    lblDir = label(u"lblDir"_s, u"Katalog1:"_s, 6);
    edtDir = edit(u"edtDir"_s, 6);
    btnDir = dirButton(u"btnDir"_s, 6);
    lblPrinter = label(u"lblPrinter"_s, u"Drukarka1:"_s, 32);
    cbxPrinter = combo(u"cbxPrinter"_s, 32);
    chbMon2 = named(new QCheckBox(u"Monitorowanie Katalogu2"_s, client), u"chbMon2"_s);
    chbMon2->setGeometry(80, 57, 264, 20);
    Label1 = label(u"Label1"_s, u"Katalog2:"_s, 80);
    edtDir2 = edit(u"edtDir2"_s, 80);
    btnDir2 = dirButton(u"btnDir2"_s, 80);
    Label2 = label(u"Label2"_s, u"Drukarka2:"_s, 106);
    cbxPrinter2 = combo(u"cbxPrinter2"_s, 106);
    chbRun = named(new QCheckBox(u"Uruchom przy starcie systemu"_s, client), u"chbRun"_s);
    chbRun->setGeometry(8, 132, 336, 20);
    chbGround = named(new QCheckBox(u"Drukuj tło formularzy"_s, client), u"chbGround"_s);
    chbGround->setGeometry(8, 152, 336, 20);

    shStart = named(new StatusLamp(client), u"shStart"_s);
    connect(shStart, &StatusLamp::clicked, this, &TForm1::failureSeen);
    shStart->setGeometry(8, 180, 24, 24);
    btnStart = named(new QPushButton(u"Start"_s, client), u"btnStart"_s);
    btnStart->setGeometry(40, 180, 96, 25);
    btnRoll = named(new QPushButton(u"&Zwiń"_s, client), u"btnRoll"_s);
    btnRoll->setToolTip(u"Zwiń na pasek"_s);
    btnRoll->setGeometry(144, 180, 96, 25);
    btnExit = named(new QPushButton(u"Za&kończ"_s, client), u"btnExit"_s);
    btnExit->setToolTip(u"Zakończ aplikację"_s);
    btnExit->setGeometry(248, 180, 96, 25);

    connect(btnStart, &QPushButton::clicked, this, &TForm1::btnStartClick);
    connect(btnRoll, &QPushButton::clicked, this, &TForm1::btnRollClick);
    connect(btnExit, &QPushButton::clicked, this, &TForm1::btnExitClick);
    connect(btnDir, &QPushButton::clicked, this, &TForm1::btnDirClick);
    connect(btnDir2, &QPushButton::clicked, this, &TForm1::btnDir2Click);

    QStatusBar *bar = statusBar();
    bar->setObjectName(u"sb"_s);
    bar->setSizeGripEnabled(false);
    // The hot key is noted on the bar but not shown as a tip, as on the legacy window.
    bar->setWhatsThis(u"CTRL+SHIFT+F12"_s);
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = named(new QLabel(bar), u"sbPanel%1"_s.arg(i));
        bar->addWidget(m_panels[i]);
    }
    // Widths 280, 0 and 50, except that the version is never cut: fonts here are wider
    // than on the legacy window, and panel 0 gives way instead.
    m_panels[1]->hide();
    // A click on the status, as on the lamp, says the failure shown there was seen.
    m_panels[0]->installEventFilter(this);
    m_panels[2]->setText(ProgramVersion);
    const int versionWidth = qMax(50, m_panels[2]->sizeHint().width() + 4);
    m_panels[2]->setFixedWidth(versionWidth);
    m_panels[0]->setFixedWidth(qMin(280, ClientWidth - versionWidth - 16));
}

void TForm1::buildMenus()
{
    QMenuBar *mm1 = menuBar();
    mm1->setObjectName(u"mm1"_s);
    Konfiguracja1 = mm1->addAction(u"&Konfiguracja"_s);
    Konfiguracja1->setObjectName(u"Konfiguracja1"_s);
    connect(Konfiguracja1, &QAction::triggered, this, &TForm1::Konfiguracja1Click);
    Dziennik1 = mm1->addAction(u"&Dziennik zadań"_s);
    Dziennik1->setObjectName(u"Dziennik1"_s);
    connect(Dziennik1, &QAction::triggered, this, &TForm1::Dziennik1Click);

    PopupMenu1 = named(new QMenu(this), u"PopupMenu1"_s);
    Open1 = PopupMenu1->addAction(u"&Otwórz okno konfiguracji"_s);
    Open1->setObjectName(u"Open1"_s);
    Dziennik2 = PopupMenu1->addAction(u"&Dziennik zadań"_s);
    Dziennik2->setObjectName(u"Dziennik2"_s);
    connect(Dziennik2, &QAction::triggered, this, &TForm1::Dziennik1Click);
    Exit1 = PopupMenu1->addAction(u"&Zakończ aplikację"_s);
    Exit1->setObjectName(u"Exit1"_s);
    connect(Open1, &QAction::triggered, this, &TForm1::Open1Click);
    connect(Exit1, &QAction::triggered, this, &TForm1::btnExitClick);
}

void TForm1::buildTray()
{
    m_tray = new QSystemTrayIcon(PrinterIcon(m_status.icon), this);
    m_tray->setObjectName(u"TrayIcon"_s);
    m_tray->setToolTip(m_title);
    m_tray->setContextMenu(PopupMenu1);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // Status-notifier trays deliver a plain activation and never a double click.
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
            Open1Click();
    });
    // Shown whether or not a tray is there now: Qt adds the icon once a tray appears
    // (at login the tray often starts after the programs of the session).
    m_tray->show();
}

void TForm1::connectEngine()
{
    if (!m_engine)
        return;
    connect(m_engine, &Engine::statusChanged, this, &TForm1::showStatus);
    connect(m_engine, &Engine::settingsLoaded, this, &TForm1::loadSettings);
    connect(m_engine, &Engine::printersChanged, this, &TForm1::setPrinterList);
    connect(m_engine, &Engine::startupCompleted, this, &TForm1::fillPrinterLists);
    // A job's escaped error arrives with its record (jobFinished), which names the job.
    connect(m_engine, &Engine::warning, this, &TForm1::showWarning);
    connect(m_engine, &Engine::jobFinished, this, &TForm1::jobFinished);
    connect(m_engine, &Engine::shutdownComplete, this, [] { QCoreApplication::quit(); });
}

Settings TForm1::currentSettings() const
{
    Settings s = m_settings;
    s.katalog = edtDir->text();
    s.drukarka = cbxPrinter->currentText();
    s.monitorowanie2 = chbMon2->isChecked();
    s.katalog2 = edtDir2->text();
    s.drukarka2 = cbxPrinter2->currentText();
    s.autoRun = chbRun->isChecked();
    s.ground = chbGround->isChecked();
    return s;
}

void TForm1::sendSettings()
{
    // Before the settings have arrived the controls hold nothing worth storing; sending
    // them would overwrite the settings just read with empty fields.
    if (!m_engine || !m_settingsReceived)
        return;
    Engine *engine = m_engine;
    const Settings settings = currentSettings();
    QMetaObject::invokeMethod(engine, [engine, settings] { engine->updateSettings(settings); },
                              Qt::QueuedConnection);
}

void TForm1::loadSettings(const Settings &settings)
{
    m_settings = settings;
    m_settingsReceived = true;
    if (edtDir->text() != settings.katalog)
        edtDir->setText(settings.katalog);
    setEditText(cbxPrinter, settings.drukarka);
    chbMon2->setChecked(settings.monitorowanie2);
    if (edtDir2->text() != settings.katalog2)
        edtDir2->setText(settings.katalog2);
    setEditText(cbxPrinter2, settings.drukarka2);
    chbRun->setChecked(settings.autoRun);
    chbGround->setChecked(settings.ground);
}

void TForm1::showStatus(const MonitorStatus &status)
{
    m_status = status;
    if (status.state != MonitorState::Starting)
        m_settings.monitorowanie = status.monitoringActive;
    showStatusText();

    const bool running = status.state == MonitorState::Running;
    // A press during a job is taken between that job and the next.
    btnStart->setEnabled(status.startEnabled);
    if (!status.startEnabled) {
        btnStart->setText(u"Start"_s);
        btnStart->setToolTip(QString());
    } else if (running) {
        btnStart->setText(u"&Wstrzymaj"_s);
        btnStart->setToolTip(u"Wstrzymaj monitorowanie"_s);
    } else {
        btnStart->setText(u"&Wznów"_s);
        btnStart->setToolTip(u"Wznów monitorowanie"_s);
    }


    // The settings can only be edited while monitoring does not run.
    const QList<QWidget *> settingsControls{edtDir, cbxPrinter, btnDir, chbMon2, edtDir2, cbxPrinter2, btnDir2};
    for (QWidget *w : settingsControls)
        w->setEnabled(!running);
    Konfiguracja1->setEnabled(!running);

    m_tray->setIcon(PrinterIcon(status.icon));
    updateTrayTip();
}

void TForm1::showStatusText()
{
    const MonitorStatus &status = m_status;
    // Running and paused differ in words too, not in the lamp's colour alone.
    QString text = status.state == MonitorState::Paused && status.code == 0 && !status.text.isEmpty()
        ? u"Wstrzymane. "_s + status.text
        : status.text;
    QString lampTip;
    switch (status.state) {
    case MonitorState::Running: lampTip = u"Monitorowanie aktywne"_s; break;
    case MonitorState::Paused: lampTip = u"Monitorowanie wstrzymane"_s; break;
    case MonitorState::Error: lampTip = u"BŁĄD! Monitorowanie wstrzymane"_s; break;
    case MonitorState::Starting: break;
    }
    QColor lamp = StatusColor(status.icon);
    // A failed job shows until the user has seen it, with or without a tray.
    if (!m_unseenFailure.isEmpty()) {
        text = u"Nieudane zadanie: "_s + m_unseenFailure;
        lamp = StatusColor(3);
        lampTip += (lampTip.isEmpty() ? QString() : u"\n"_s) + text + u"\n(kliknij, aby zaznaczyć jako przeczytane)"_s;
    }
    shStart->setColor(lamp);
    shStart->setToolTip(lampTip);
    // The panel is narrow: a long text ends in an ellipsis, and the whole of it is the tip.
    const QFontMetrics metrics(m_panels[0]->font());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, m_panels[0]->width() - 4);
    m_panels[0]->setText(shown);
    m_panels[0]->setToolTip(shown == text ? QString() : text);
}

void TForm1::failureSeen()
{
    if (m_unseenFailure.isEmpty())
        return;
    m_unseenFailure.clear();
    showStatusText();
    updateTrayTip();
}

void TForm1::updateTrayTip()
{
    QString state;
    switch (m_status.state) {
    case MonitorState::Running: state = u"monitorowanie aktywne"_s; break;
    case MonitorState::Paused: state = u"monitorowanie wstrzymane"_s; break;
    case MonitorState::Error: state = u"BŁĄD! monitorowanie wstrzymane"_s; break;
    case MonitorState::Starting: state = u"uruchamianie"_s; break;
    }
    QString tip = m_title + u"\n"_s + state;
    if (m_status.code != 0 && !m_status.text.isEmpty())
        tip += u"\n"_s + m_status.text;
    if (!m_status.problem.isEmpty())
        tip += u"\n"_s + m_status.problem;
    if (!m_unseenFailure.isEmpty())
        tip += u"\nnieudane zadanie: "_s + m_unseenFailure;
    else if (!m_lastJob.isEmpty())
        tip += u"\nostatnie zadanie: "_s + m_lastJob;
    m_tray->setToolTip(tip);
}

void TForm1::jobFinished(const JobRecord &record)
{
    const QString job = record.jobFile + u": "_s + OutcomeSentence(record).left(200);
    m_lastJob = job;
    // A warning about a job that has ended (an invoice still waiting for KSeF) is told once
    // per distinct warning; its sender says each only when something changed.
    const QString key = record.directory + u'/' + record.jobFile + (record.follows.isEmpty() ? QString() : u'\n' + record.detail);
    const bool attention = record.failed() || record.nothingDone();
    // A job kept for a retry is told once, not at each of its tries.
    const bool retriedBefore = record.outcome == JobOutcome::Retry && m_retrying.contains(key);
    if (record.outcome == JobOutcome::Retry)
        m_retrying.append(key);
    else
        m_retrying.removeAll(key);
    if (attention && !retriedBefore)
        m_unseenFailure = job;
    showStatusText();
    updateTrayTip();
    // An error the job could not get past: one box, while the window is open; a hidden
    // window leaves it to the lamp, the tray notice and the journal.
    if (record.outcome == JobOutcome::Error && isVisible() && !isMinimized())
        m_box.addJobError(u"%1 (%2)"_s.arg(record.jobFile, record.directory), record.detail);
    if (!attention || retriedBefore || !m_settings.notifyFailures)
        return;
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    int held = 0;
    if (!m_notices.allow(clock.elapsed(), held))
        return;
    QString text = record.jobFile + u": "_s + OutcomeSentence(record);
    if (held > 0)
        text += u"\n(oraz wcześniej %1: zob. Dziennik zadań)"_s.arg(OtherFailedJobs(held));
    ++m_noticesShown;
    const QString title = record.nothingDone() ? u": zadanie niczego nie zrobiło"_s : u": zadanie nieudane"_s;
    m_tray->showMessage(u"Ostrevo"_s + title, text, QSystemTrayIcon::Warning, 10000);
}

void TForm1::Dziennik1Click()
{
    if (!m_journal) {
        TFormJournalOptions options;
        options.journalPath = m_options.journalPath;
        options.printoutFolder = m_options.printoutFolder;
        options.open = m_options.open;
        if (!m_options.programDir.isEmpty()) {
            // The command the user called: it finds the program and the data installed with it.
            options.executablePath = m_options.executablePath;
            options.programDir = m_options.programDir;
            options.waitingJobs = [this] { return WaitingJobs(m_settings, m_options.programDir); };
        }
        m_journal = new TFormJournal(std::move(options), this);
        m_journal->setAttribute(Qt::WA_DeleteOnClose);
        if (m_engine)
            connect(m_engine, &Engine::jobFinished, m_journal.data(), &TFormJournal::addRecord);
    }
    // Where the main window is, whole on its screen (it once opened with its bottom off it).
    if (!m_journal->isVisible()) {
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            m_journal->resize(m_journal->size().boundedTo(area.size() - QSize(40, 60)));
            QRect frame(QPoint(), m_journal->size());
            frame.moveCenter(isVisible() ? frameGeometry().center() : area.center());
            frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() - frame.height() - 40));
            frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() - frame.width()));
            m_journal->move(frame.topLeft());
        }
    }
    m_journal->show();
    m_journal->raise();
    m_journal->activateWindow();
    failureSeen();
}

void TForm1::fillPrinterLists()
{
    refillPrinters(cbxPrinter);
    refillPrinters(cbxPrinter2);
}

void TForm1::setPrinterList(const QStringList &names)
{
    if (names == m_printers)
        return;
    m_printers = names;
    if (m_status.startEnabled)
        fillPrinterLists();
}

void TForm1::refillPrinters(QComboBox *combo)
{
    const QString typed = combo->currentText();
    combo->clear();
    combo->addItems(m_printers);
    combo->setEditText(typed);
}

void TForm1::btnStartClick()
{
    if (!m_engine)
        return;
    // The check runs on what the controls show, as they may have been edited since.
    sendSettings();
    QMetaObject::invokeMethod(m_engine, "toggleMonitoring", Qt::QueuedConnection);
}

void TForm1::rollUp()
{
    // Without a tray a hidden window could not be reached again: minimised instead.
    if (m_options.trayAvailable())
        hide();
    else
        showMinimized();
    sendSettings();
    if (m_engine)
        QMetaObject::invokeMethod(m_engine, "saveSettings", Qt::QueuedConnection, Q_ARG(bool, true));
}

void TForm1::btnRollClick()
{
    rollUp();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (m_quitting || m_loopEnding) {
        // Ended from outside: the last write of the settings takes what the window shows.
        if (!m_quitting)
            sendSettings();
        event->accept();
        return;
    }
    // The close button only hides: the monitor keeps running in the tray.
    event->ignore();
    rollUp();
}

void TForm1::btnExitClick()
{
    if (m_quitting)
        return;
    m_quitting = true;
    m_tray->hide();
    hide();
    if (!m_engine) {
        QCoreApplication::quit();
        return;
    }
    // The engine writes the settings a last time, with what the window shows; a job
    // that is running gives up at its next check instead of holding the exit up.
    sendSettings();
    m_engine->requestQuit();
    QMetaObject::invokeMethod(m_engine, "shutdown", Qt::QueuedConnection);
    // Should the engine not answer (a job stuck in a call), the program still ends; the
    // job thread is then given its last chance by the program's exit.
    QTimer::singleShot(15000, qApp, &QCoreApplication::quit);
}

void TForm1::Open1Click()
{
    // Minimised (by the window manager, or by Zwiń without a tray), the window is
    // visible all the same: show() alone would leave it minimised.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TForm1::Konfiguracja1Click()
{
    if (m_config) {
        m_config->raise();
        m_config->activateWindow();
        return;
    }
    m_config = new TFormCONFIG(currentSettings(), m_status.monitoringActive, this);
    m_config->setAttribute(Qt::WA_DeleteOnClose);
    m_config->setWindowModality(Qt::ApplicationModal);
    connect(m_config, &QDialog::accepted, this, &TForm1::configAccepted);
    m_config->open();
}

void TForm1::configAccepted()
{
    if (!m_config)
        return;
    const Settings edited = m_config->settings();
    m_settings = edited;
    // The controls of this window stay as they are; the dialog only edits the rest.
    sendSettings();
    if (m_engine)
        QMetaObject::invokeMethod(m_engine, "saveSettings", Qt::QueuedConnection, Q_ARG(bool, false));
}

void TForm1::btnDirClick()
{
    chooseDirectory(edtDir);
}

void TForm1::btnDir2Click()
{
    chooseDirectory(edtDir2);
}

void TForm1::chooseDirectory(QLineEdit *field)
{
    if (!field->isEnabled())
        return;
    // The chooser starts where the monitor would look: a DOS path (C:\FAKTURY) through
    // [Dyski], a relative one (Katalog=jobs) in the program directory.
    const QString text = ResolveMonitoredDirectory(field->text(), m_settings, m_options.programDir);
    const QFileInfo current(text);
    const QString start = !text.isEmpty() && current.isDir() ? current.absoluteFilePath() : QString();
    const QString chosen = QFileDialog::getExistingDirectory(this, u"Wybierz monitorowany katalog..."_s, start,
                                                             QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        field->setText(QDir::toNativeSeparators(chosen));
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && watched == m_panels[0])
        failureSeen();
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == edtDir)
            btnDirClick();
        else if (watched == edtDir2)
            btnDir2Click();
    } else if (event->type() == QEvent::FocusIn) {
        if (watched == cbxPrinter || watched == cbxPrinter2) {
            refillPrinters(static_cast<QComboBox *>(watched));
            // The list as the engine knows it now, and a fresh one asked for.
            if (m_engine)
                QMetaObject::invokeMethod(m_engine, "publishPrinters", Qt::QueuedConnection);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent *event)
{
    m_hotKey->setEnabled(true);
    QMainWindow::showEvent(event);
}

void TForm1::hideEvent(QHideEvent *event)
{
    m_hotKey->setEnabled(false);
    QMainWindow::hideEvent(event);
}

void TForm1::showWarning(const QString &message)
{
    // A box opened now would vanish with the program before anyone read it.
    if (m_quitting || m_loopEnding) {
        m_exitWarnings.append(message);
        return;
    }
    m_box.addWarning(message);
}

void TForm1::showExitWarnings()
{
    const QStringList messages = std::exchange(m_exitWarnings, {});
    if (messages.isEmpty())
        return;
    for (const QString &message : messages) {
        const QByteArray line = (ApplicationTitle(m_options.executablePath) + u": "_s + message + u'\n').toLocal8Bit();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    }
    // One box for them all.
    QMessageBox box(QMessageBox::Warning, u"Ostrevo"_s, messages.join(u"\n\n"_s), QMessageBox::Ok);
    box.setObjectName(u"ExitWarning"_s);
    box.exec();
}

} // namespace ostrevo
