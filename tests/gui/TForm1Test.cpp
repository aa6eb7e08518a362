// The main window and the configuration dialog over the real engine on its own thread,
// with real directories and a real Ostrevo.ini, on the offscreen platform.

#include "app/InstanceChannel.h"
#include "app/QtTranslations.h"
#include "gui/AlreadyRunningBox.h"
#include "gui/StatusIcons.h"
#include "gui/StatusLamp.h"
#include "gui/TForm1.h"
#include "gui/TFormCONFIG.h"
#include "gui/TFormJournal.h"
#include "jobs/Errors.h"
#include "monitor/Engine.h"
#include "monitor/MonitoredDirectories.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;
using namespace ostrevo;
using ostrevo::test::ReadFile;
using ostrevo::test::WriteFile;

namespace {

const QStringList Printers = {u"Ostrevo PDF"_s, u"Biuro HP"_s};

// A program directory, an engine on a job thread, and the window over them.
class Rig {
public:
    explicit Rig(const QByteArray &ini, JobHandlers handlers = {}, TForm1Options options = {})
    {
        m_jobs = m_home.path() + u"/jobs"_s;
        QDir().mkpath(m_jobs);
        QByteArray text = ini;
        text.replace("@JOBS@", m_jobs.toUtf8());
        WriteFile(iniPath(), text);

        EngineConfig config;
        config.programDir = m_home.path();
        config.executablePath = u"/opt/ostrevo/ostrevo"_s;
        config.autostartDir = autostartDir();
        config.printers.list = [this] {
            // The window must never wait for the printer system.
            if (QThread::currentThread() == qApp->thread())
                printersAskedOnGuiThread = true;
            return Printers;
        };
        config.printers.defaultName = [] { return Printers.first(); };
        config.handlers = std::move(handlers);
        m_engine = new Engine(std::move(config));
        m_engine->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_engine, &QObject::deleteLater);
        m_thread.start();

        options.executablePath = u"/opt/ostrevo/ostrevo"_s;
        window = std::make_unique<TForm1>(m_engine, options);
        QMetaObject::invokeMethod(m_engine, "start", Qt::QueuedConnection);
    }

    ~Rig()
    {
        // A wait for a modal widget that never came must not act on a later test's.
        qDeleteAll(qApp->findChildren<QTimer *>(u"modalPoll"_s));
        window.reset();
        QMetaObject::invokeMethod(m_engine, "shutdown", Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    bool startedUp() const { return window->status().startEnabled; }
    QString iniPath() const { return m_home.path() + u"/Ostrevo.ini"_s; }
    QString autostartDir() const { return m_home.path() + u"/autostart"_s; }
    QString jobs() const { return m_jobs; }
    QString home() const { return m_home.path(); }
    QByteArray ini() const { return ReadFile(iniPath()); }

    template<typename W>
    W *find(const QString &name) const
    {
        W *w = window->findChild<W *>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    QPushButton *button(const QString &name) const { return find<QPushButton>(name); }
    // The whole status text: the panel shows it cut short with an ellipsis, whole in its tip.
    QString panel0() const
    {
        const QLabel *panel = find<QLabel>(u"sbPanel0"_s);
        return panel->toolTip().isEmpty() ? panel->text() : panel->toolTip();
    }
    StatusLamp *lamp() const { return find<StatusLamp>(u"shStart"_s); }
    QAction *konfiguracja() const { return find<QAction>(u"Konfiguracja1"_s); }

    // As the program's end does it: the engine shuts down after the event loop ended.
    void shutdownEngine() { QMetaObject::invokeMethod(m_engine, "shutdown", Qt::BlockingQueuedConnection); }
    Engine *engine() const { return m_engine; }

    // Waits until the engine has handled everything sent to it so far.
    void sync() { QMetaObject::invokeMethod(m_engine, [] {}, Qt::BlockingQueuedConnection); QApplication::processEvents(); }

    std::unique_ptr<TForm1> window;
    std::atomic_bool printersAskedOnGuiThread = false;

private:
    QTemporaryDir m_home;
    QString m_jobs;
    QThread m_thread;
    Engine *m_engine = nullptr;
};

const QByteArray ValidIni = "[Opcje]\r\nKatalog=@JOBS@\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=0\r\n";
// MUTEX mode, running since the last save: jobs are picked up at once.
const QByteArray WatchingIni = "[Opcje]\r\nKatalog=@JOBS@\r\nDrukarka=Ostrevo PDF\r\nTimer=0\r\nMonitorowanie=1\r\n";

// A desktop with a tray: hiding goes into it.
TForm1Options WithTray()
{
    TForm1Options options;
    options.trayAvailable = [] { return true; };
    options.showAtStart = true;
    return options;
}

bool SameImage(const QIcon &icon, int status)
{
    return icon.pixmap(32).toImage() == DrawPrinterIcon(status, 32).toImage();
}

QStringList SettingsControls()
{
    return {u"edtDir"_s, u"cbxPrinter"_s, u"btnDir"_s, u"chbMon2"_s, u"edtDir2"_s, u"cbxPrinter2"_s, u"btnDir2"_s};
}

// Runs `action` on the next modal widget that opens (a message box or a file dialog).
void OnNextModal(std::function<void(QWidget *)> action)
{
    auto *poll = new QTimer(qApp);
    poll->setObjectName(u"modalPoll"_s);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || qobject_cast<TFormCONFIG *>(modal))
            return;
        poll->stop();
        poll->deleteLater();
        action(modal);
    });
    poll->start();
}

} // namespace

class TForm1Test : public QObject {
    Q_OBJECT
private slots:
    void layoutAndStartUp();
    void applicationTitle_data();
    void applicationTitle();
    void startAndPauseChangeTheWholeLook();
    void settingsErrorsAndTheirRepair();
    void printerComboRefillKeepsTypedText();
    void hidingWritesTheSettings();
    void exitWritesTheSettingsAndQuits();
    void dialogPasswordMismatchStoresNothing();
    void dialogOkStoresEverythingButNotAutostart();
    void dialogCancelLeavesIniUntouched();
    void dialogModeLockedWhileRunning();
    void hotKeyOpensDialog();
    void folderChooserStartsAtFieldAndIsOffWhileRunning();
    void escapedErrorShowsBoxAndMonitoringGoesOn();
    void jobInProgressKeepsWindowLiveAndPauseWaitsForIt();
    void hidingBeforeSettingsArriveKeepsThem();
    void withoutTrayHidingMinimisesAndTheIconWaitsForATray();
    void secondStartBringsTheWindowToTheFront();
    void startBesideAServiceSaysSoInABox();
    void unwritableSettingsAtExitAreShownAfterTheLoop();
    void qtTextsArePolish();
    void journalWindowShowsJobsAsTheyEndAndOpensTheirFiles();
    void journalWindowPreviewsAWaitingJob();
    void journalFoldsRetriesAndLaterOutcomes();
    void relativeFolderStartsTheChooserInTheProgramDirectory();
    void menuBarByKeyboard();
};

void TForm1Test::layoutAndStartUp()
{
    Rig rig(ValidIni);
    TForm1 &w = *rig.window;
    QCOMPARE(w.windowTitle(), u"Ostrevo"_s);
    // No tray on the offscreen platform: the window must be shown so the program is reachable.
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    QVERIFY(w.isVisible());
    QCOMPARE(w.centralWidget()->height() + w.statusBar()->height(), 232);
    QCOMPARE(w.width(), 352);
    QCOMPARE(w.minimumSize(), w.maximumSize());

    auto *version = rig.find<QLabel>(u"sbPanel2"_s);
    QVERIFY(version->width() >= version->fontMetrics().horizontalAdvance(version->text()));
    QVERIFY(rig.find<QLabel>(u"sbPanel0"_s)->width() <= 280);
    QVERIFY(!rig.find<QLabel>(u"sbPanel1"_s)->isVisible());
    QCOMPARE(w.trayIcon()->contextMenu()->objectName(), u"PopupMenu1"_s);
    QVERIFY(w.trayIcon()->toolTip().startsWith(u"ostrevo"_s));

    // Until start-up completes the start button waits.
    QCOMPARE(rig.button(u"btnStart"_s)->text(), u"Start"_s);
    QVERIFY(!rig.button(u"btnStart"_s)->isEnabled());
    QTRY_VERIFY(rig.startedUp());
    QCOMPARE(rig.find<QLineEdit>(u"edtDir"_s)->text(), rig.jobs());
    QCOMPARE(rig.find<QComboBox>(u"cbxPrinter"_s)->currentText(), u"Ostrevo PDF"_s);
    QCOMPARE(rig.find<QComboBox>(u"cbxPrinter"_s)->count(), Printers.size());
}

void TForm1Test::applicationTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << u"/usr/bin/ostrevo"_s << u"ostrevo"_s;
    QTest::newRow("up to the first dot") << u"/opt/Ostrevo.v2.bin"_s << u"Ostrevo"_s;
    QTest::newRow("cut to 63") << u"/x/"_s + QString(70, u'a') + u".exe"_s << QString(63, u'a');
}

void TForm1Test::applicationTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(ApplicationTitle(path), title);
}

void TForm1Test::startAndPauseChangeTheWholeLook()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    QPushButton *start = rig.button(u"btnStart"_s);

    auto expectPaused = [&] {
        QCOMPARE(start->text(), u"&Wznów"_s);
        QCOMPARE(start->toolTip(), u"Wznów monitorowanie"_s);
        QCOMPARE(rig.lamp()->color(), StatusColor(2));
        QCOMPARE(rig.lamp()->toolTip(), u"Monitorowanie wstrzymane"_s);
        QVERIFY(SameImage(rig.window->trayIcon()->icon(), 2));
        for (const QString &name : SettingsControls())
            QVERIFY2(rig.find<QWidget>(name)->isEnabled(), qPrintable(name));
        QVERIFY(rig.konfiguracja()->isEnabled());
    };
    QCOMPARE(rig.window->status().state, MonitorState::Paused);
    expectPaused();
    // Paused and running differ in words as well.
    QCOMPARE(rig.panel0(), u"Wstrzymane. Tryb monitorowania: TIMER"_s);

    start->click();
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);
    QCOMPARE(start->text(), u"&Wstrzymaj"_s);
    QCOMPARE(start->toolTip(), u"Wstrzymaj monitorowanie"_s);
    QCOMPARE(rig.lamp()->color(), StatusColor(1));
    QCOMPARE(rig.lamp()->toolTip(), u"Monitorowanie aktywne"_s);
    QVERIFY(SameImage(rig.window->trayIcon()->icon(), 1));
    for (const QString &name : SettingsControls())
        QVERIFY2(!rig.find<QWidget>(name)->isEnabled(), qPrintable(name));
    QVERIFY(!rig.konfiguracja()->isEnabled());
    QVERIFY(start->isEnabled());
    QCOMPARE(rig.panel0(), u"Tryb monitorowania: TIMER"_s);

    start->click();
    QTRY_COMPARE(rig.window->status().state, MonitorState::Paused);
    expectPaused();
}

void TForm1Test::settingsErrorsAndTheirRepair()
{
    Rig rig("[Opcje]\r\nKatalog=@JOBS@/missing\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=1\r\n");
    QTRY_VERIFY(rig.startedUp());
    // Saved as running, but directory 1 does not exist: error, and the directory is waited for.
    QCOMPARE(rig.window->status().state, MonitorState::Error);
    QCOMPARE(rig.panel0(), u"BŁĄD(1)! Niewłaściwy katalog 1 (czekam, aż katalog się pojawi)"_s);
    QCOMPARE(rig.lamp()->color(), StatusColor(3));
    QCOMPARE(rig.lamp()->toolTip(), u"BŁĄD! Monitorowanie wstrzymane"_s);
    QVERIFY(SameImage(rig.window->trayIcon()->icon(), 3));
    // The tray tip says which error.
    QVERIFY2(rig.window->trayIcon()->toolTip().contains(u"BŁĄD(1)! Niewłaściwy katalog 1"_s),
             qPrintable(rig.window->trayIcon()->toolTip()));
    QCOMPARE(rig.button(u"btnStart"_s)->text(), u"&Wznów"_s);
    for (const QString &name : SettingsControls())
        QVERIFY(rig.find<QWidget>(name)->isEnabled());

    // What is typed counts at the next press of the start button.
    auto *edtDir = rig.find<QLineEdit>(u"edtDir"_s);
    auto *cbxPrinter = rig.find<QComboBox>(u"cbxPrinter"_s);
    edtDir->setText(rig.jobs());
    cbxPrinter->setEditText(u"Nieznana"_s);
    rig.button(u"btnStart"_s)->click();
    QTRY_COMPARE(rig.panel0(), u"BŁĄD(2)! Niewłaściwa drukarka 1"_s);
    QCOMPARE(rig.window->status().state, MonitorState::Error);

    // A printer name in another letter case passes the check.
    cbxPrinter->setEditText(u"oSTREVO pdf"_s);
    rig.button(u"btnStart"_s)->click();
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);
    QCOMPARE(rig.panel0(), u"Tryb monitorowania: TIMER"_s);
    QCOMPARE(cbxPrinter->currentText(), u"oSTREVO pdf"_s);
}

void TForm1Test::printerComboRefillKeepsTypedText()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    auto *combo = rig.find<QComboBox>(u"cbxPrinter2"_s);
    combo->clear();
    combo->setEditText(u"biuro"_s);
    QCOMPARE(combo->count(), 0);
    rig.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    QTest::mouseClick(combo->lineEdit(), Qt::LeftButton);
    QTRY_COMPARE(combo->count(), Printers.size());
    QCOMPARE(combo->currentText(), u"biuro"_s);
    QCOMPARE(combo->itemText(1), u"Biuro HP"_s);
    // The list came from the engine's thread, as it was asked for again.
    rig.sync();
    QCOMPARE(rig.window->printers(), Printers);
    QVERIFY(!rig.printersAskedOnGuiThread);
}

void TForm1Test::hidingWritesTheSettings()
{
    Rig rig(ValidIni, {}, WithTray());
    QTRY_VERIFY(rig.startedUp());
    const QString other = rig.home() + u"/other"_s;
    QDir().mkpath(other);

    // Typed on the window and rolled into the tray: stored at once.
    rig.find<QLineEdit>(u"edtDir"_s)->setText(other);
    rig.find<QCheckBox>(u"chbGround"_s)->setChecked(false);
    rig.button(u"btnRoll"_s)->click();
    QVERIFY(!rig.window->isVisible());
    rig.sync();
    QVERIFY(rig.ini().contains("Katalog=" + other.toUtf8() + "\r\n"));
    QVERIFY(rig.ini().contains("Ground=0"));
    // Hiding also keeps the start-with-system entry (AutoRun defaults to true).
    QVERIFY(QFileInfo::exists(rig.autostartDir() + u"/Ostv.desktop"_s));

    // The close button only hides, and writes too.
    rig.window->show();
    rig.find<QCheckBox>(u"chbRun"_s)->setChecked(false);
    QVERIFY(!rig.window->close());
    QVERIFY(!rig.window->isVisible());
    rig.sync();
    QVERIFY(rig.ini().contains("AutoRun=0"));
    QVERIFY(!QFileInfo::exists(rig.autostartDir() + u"/Ostv.desktop"_s));

    // A double click on the tray icon brings it back.
    emit rig.window->trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(rig.window->isVisible());
}

void TForm1Test::exitWritesTheSettingsAndQuits()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    const QString other = rig.home() + u"/exit"_s;
    rig.find<QLineEdit>(u"edtDir2"_s)->setText(other);
    rig.find<QAction>(u"Exit1"_s)->trigger();
    QVERIFY(!rig.window->isVisible());
    QVERIFY(!rig.window->trayIcon()->isVisible());
    rig.sync();
    QVERIFY(rig.ini().contains("Katalog2=" + other.toUtf8() + "\r\n"));
}

void TForm1Test::dialogPasswordMismatchStoresNothing()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    const QByteArray before = rig.ini();
    rig.konfiguracja()->trigger();
    TFormCONFIG *dialog = rig.window->configDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), u"Konfiguracja"_s);
    dialog->findChild<QLineEdit *>(u"edtServerName"_s)->setText(u"smtp.example.pl"_s);
    dialog->findChild<QLineEdit *>(u"edtServerPassword"_s)->setText(u"Tajne"_s);
    dialog->findChild<QLineEdit *>(u"edtServerPassword1"_s)->setText(u"tajne"_s);

    QString shown;
    OnNextModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        shown = box->text();
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    dialog->findChild<QPushButton *>(u"OKBtn"_s)->click();
    QCOMPARE(shown, u"Błąd! Wprowadź ponownie hasło"_s);
    QVERIFY(rig.window->configDialog());
    QVERIFY(dialog->isVisible());
    rig.sync();
    QCOMPARE(rig.ini(), before);
    QCOMPARE(rig.window->currentSettings().mail.serverName, QString());
    dialog->reject();
}

void TForm1Test::dialogOkStoresEverythingButNotAutostart()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    rig.konfiguracja()->trigger();
    TFormCONFIG *dialog = rig.window->configDialog();
    QVERIFY(dialog);
    // Filled from the current settings.
    QVERIFY(dialog->findChild<QCheckBox *>(u"chbClearFTP"_s)->isChecked());
    QCOMPARE(dialog->findChild<QLineEdit *>(u"edtServerPort"_s)->text(), u"25"_s);
    QCOMPARE(dialog->findChild<QLineEdit *>(u"edtServerPassword"_s)->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog->findChild<QLineEdit *>(u"edtServerPassword1"_s)->echoMode(), QLineEdit::Password);

    dialog->findChild<QCheckBox *>(u"chbClearFTP"_s)->setChecked(false);
    dialog->findChild<QLineEdit *>(u"edtServerName"_s)->setText(u"smtp.example.pl"_s);
    dialog->findChild<QLineEdit *>(u"edtServerPort"_s)->setText(u"dwadzieścia"_s);
    dialog->findChild<QLineEdit *>(u"edtServerPassword"_s)->setText(u"Ala ma 2 koty"_s);
    dialog->findChild<QLineEdit *>(u"edtServerPassword1"_s)->setText(u"Ala ma 2 koty"_s);
    dialog->findChild<RadioGroup *>(u"rgMon"_s)->setItemIndex(0);
    dialog->findChild<RadioGroup *>(u"rgMail"_s)->setItemIndex(1);
    dialog->findChild<QPushButton *>(u"OKBtn"_s)->click();
    QTRY_VERIFY(!rig.window->configDialog());

    rig.sync();
    const QByteArray ini = rig.ini();
    QVERIFY(ini.contains("ClearFTP=0"));
    QVERIFY(ini.contains("ServerName=smtp.example.pl"));
    QVERIFY(ini.contains("ServerPort=25"));
    QVERIFY(ini.contains("Timer=0"));
    QVERIFY(ini.contains("Poczta=1"));
    QVERIFY(ini.contains("ServerPassword="));
    QVERIFY(!ini.contains("Ala ma 2 koty")); // stored scrambled
    // The dialog does not touch the start-with-system entry.
    QVERIFY(!QFileInfo::exists(rig.autostartDir() + u"/Ostv.desktop"_s));

    // Opened again: the stored values come back, the password in both fields.
    rig.konfiguracja()->trigger();
    dialog = rig.window->configDialog();
    QCOMPARE(dialog->findChild<QLineEdit *>(u"edtServerPassword1"_s)->text(), u"Ala ma 2 koty"_s);
    QCOMPARE(dialog->findChild<RadioGroup *>(u"rgMon"_s)->itemIndex(), 0);
    QVERIFY(!dialog->findChild<QCheckBox *>(u"chbClearFTP"_s)->isChecked());
    dialog->reject();

    QCOMPARE(TFormCONFIG::PortFromText(u" 587 "_s), 587);
    QCOMPARE(TFormCONFIG::PortFromText(u"0"_s), 25);
    QCOMPARE(TFormCONFIG::PortFromText(u"70000"_s), 25);
    QCOMPARE(TFormCONFIG::PortFromText(u"25.5"_s), 25);
}

void TForm1Test::dialogCancelLeavesIniUntouched()
{
    Rig rig(ValidIni + "[Mail]\r\nServerName=stary.example.pl\r\n");
    QTRY_VERIFY(rig.startedUp());
    const QByteArray before = rig.ini();
    rig.konfiguracja()->trigger();
    TFormCONFIG *dialog = rig.window->configDialog();
    QCOMPARE(dialog->findChild<QLineEdit *>(u"edtServerName"_s)->text(), u"stary.example.pl"_s);
    dialog->findChild<QLineEdit *>(u"edtServerName"_s)->setText(u"nowy.example.pl"_s);
    dialog->findChild<QCheckBox *>(u"chbPassive"_s)->setChecked(false);
    dialog->findChild<QPushButton *>(u"CancelBtn"_s)->click();
    QTRY_VERIFY(!rig.window->configDialog());
    rig.sync();
    QCOMPARE(rig.ini(), before);

    // Nor does the next hiding store what was cancelled.
    rig.button(u"btnRoll"_s)->click();
    rig.sync();
    QVERIFY(rig.ini().contains("ServerName=stary.example.pl"));
    QVERIFY(rig.ini().contains("Passive=1"));
}

void TForm1Test::dialogModeLockedWhileRunning()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    rig.window->Konfiguracja1Click();
    QVERIFY(rig.window->configDialog()->findChild<RadioGroup *>(u"rgMon"_s)->isEnabled());
    rig.window->configDialog()->reject();
    QTRY_VERIFY(!rig.window->configDialog());

    rig.button(u"btnStart"_s)->click();
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);
    rig.window->Konfiguracja1Click();
    auto *rgMon = rig.window->configDialog()->findChild<RadioGroup *>(u"rgMon"_s);
    QVERIFY(!rgMon->isEnabled());
    QCOMPARE(rgMon->itemIndex(), 1);
    rig.window->configDialog()->reject();
}

void TForm1Test::hotKeyOpensDialog()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    rig.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    QTest::keyClick(rig.window.get(), Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_VERIFY(rig.window->configDialog());
    rig.window->configDialog()->reject();
    QTRY_VERIFY(!rig.window->configDialog());

    // Hidden, the window gives the hot key up.
    rig.window->hide();
    QTest::keyClick(rig.window.get(), Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::qWait(50);
    QVERIFY(!rig.window->configDialog());
}

void TForm1Test::folderChooserStartsAtFieldAndIsOffWhileRunning()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    const QString chosen = rig.home() + u"/wybrany"_s;
    QDir().mkpath(chosen);
    auto *edtDir = rig.find<QLineEdit>(u"edtDir"_s);

    QString title;
    QString startedAt;
    OnNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        title = dialog->windowTitle();
        startedAt = dialog->directory().absolutePath();
        // Typed as a user would: the dialog's file list loads asynchronously.
        auto *typed = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
        QVERIFY(typed);
        typed->setText(chosen);
        static_cast<QDialog *>(dialog)->accept();
    });
    QTest::mouseDClick(edtDir, Qt::LeftButton);
    QCOMPARE(title, u"Wybierz monitorowany katalog..."_s);
    QCOMPARE(startedAt, QFileInfo(rig.jobs()).absoluteFilePath());
    QCOMPARE(edtDir->text(), chosen);

    // Cancelled: the field keeps its text.
    OnNextModal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
    rig.button(u"btnDir"_s)->click();
    QCOMPARE(edtDir->text(), chosen);

    // While monitoring runs the field is disabled and a double click does nothing.
    rig.button(u"btnStart"_s)->click();
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);
    bool opened = false;
    OnNextModal([&](QWidget *modal) {
        opened = true;
        static_cast<QDialog *>(modal)->reject();
    });
    QTest::mouseDClick(edtDir, Qt::LeftButton);
    QTest::qWait(100);
    QVERIFY(!opened);
    QCOMPARE(edtDir->text(), chosen);
}

void TForm1Test::escapedErrorShowsBoxAndMonitoringGoesOn()
{
    JobHandlers handlers;
    handlers.set(jkText, [](const JobContext &, const QString &) -> JobResult {
        throw IoError(u"dysk pełny"_s);
    });
    Rig rig(WatchingIni, std::move(handlers));
    QTRY_VERIFY(rig.startedUp());
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);

    WriteFile(rig.jobs() + u"/A.txt"_s, "tekst\r\n");
    WriteFile(rig.jobs() + u"/A.END"_s, "");
    QMessageBox *box = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((box = rig.window->findChild<QMessageBox *>()) != nullptr, 12000);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY(box->text().contains(u"dysk pełny"_s));
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);
    QVERIFY(!QFileInfo::exists(rig.jobs() + u"/A.END"_s));
    // More failing jobs while it is open: still one box, naming them, the reason once.
    for (const QString &name : {u"B"_s, u"C"_s}) {
        WriteFile(rig.jobs() + u'/' + name + u".txt"_s, "tekst\r\n");
        WriteFile(rig.jobs() + u'/' + name + u".END"_s, "");
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(rig.jobs() + u'/' + name + u".END"_s), 12000);
    }
    QTRY_VERIFY(box->text().contains(u"C.txt"_s));
    QCOMPARE(rig.window->findChildren<QMessageBox *>().size(), 1);
    QVERIFY2(box->text().contains(u"A.txt"_s) && box->text().contains(u"B.txt"_s), qPrintable(box->text()));
    QCOMPARE(box->text().count(u"dysk pełny"_s), 1);
    // Until it is seen, the lamp and the status show the failure (no tray here).
    QCOMPARE(rig.lamp()->color(), StatusColor(3));
    QVERIFY2(rig.panel0().contains(u"C.txt: Błąd: dysk pełny"_s), qPrintable(rig.panel0()));
    QTest::mouseClick(rig.lamp(), Qt::LeftButton);
    QCOMPARE(rig.lamp()->color(), StatusColor(1));
    QCOMPARE(rig.panel0(), u"Tryb monitorowania: MUTEX"_s);
    // Closing the box (its title-bar button) with the window hidden leaves the program running in the tray.
    rig.window->hide();
    QTimer::singleShot(0, box, [box] { box->close(); });
    QTimer::singleShot(300, [] { QCoreApplication::exit(42); });
    QCOMPARE(QApplication::exec(), 42);
    QVERIFY(!rig.window->findChild<QMessageBox *>());
    // With the window hidden a failing job opens no box: the lamp, the tray and the journal tell it.
    WriteFile(rig.jobs() + u"/D.txt"_s, "tekst\r\n");
    WriteFile(rig.jobs() + u"/D.END"_s, "");
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(rig.jobs() + u"/D.END"_s), 12000);
    QTRY_VERIFY(rig.window->unseenFailure().startsWith(u"D.txt"_s));
    QVERIFY(!rig.window->findChild<QMessageBox *>());
}

void TForm1Test::jobInProgressKeepsWindowLiveAndPauseWaitsForIt()
{
    auto release = std::make_shared<QSemaphore>();
    JobHandlers handlers;
    handlers.set(jkText, [release](const JobContext &, const QString &) {
        // Bounded, so that a broken test cannot hang the job thread for ever.
        release->tryAcquire(1, 20000);
        return JobResult::done();
    });
    Rig rig(WatchingIni, std::move(handlers), WithTray());
    QTRY_VERIFY(rig.startedUp());
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);

    WriteFile(rig.jobs() + u"/B.txt"_s, "tekst\r\n");
    WriteFile(rig.jobs() + u"/B.END"_s, "");
    QTRY_COMPARE(rig.panel0(), u"Odczyt pliku..."_s);
    // The job holds the job thread; the window answers all the same, and shows that
    // monitoring runs.
    QVERIFY(rig.window->status().jobRunning);
    QCOMPARE(rig.window->status().state, MonitorState::Running);
    QCOMPARE(rig.lamp()->color(), StatusColor(1));
    rig.button(u"btnRoll"_s)->click();
    QVERIFY(!rig.window->isVisible());
    rig.window->Open1Click();
    QVERIFY(rig.window->isVisible());

    // A pause pressed during the job is taken when the job has ended, and the job that
    // waits behind it stays waiting.
    WriteFile(rig.jobs() + u"/C.txt"_s, "tekst\r\n");
    WriteFile(rig.jobs() + u"/C.END"_s, "");
    QVERIFY(rig.button(u"btnStart"_s)->isEnabled());
    QCOMPARE(rig.button(u"btnStart"_s)->text(), u"&Wstrzymaj"_s);
    rig.button(u"btnStart"_s)->click();
    QTest::qWait(100);
    release->release();
    QTRY_VERIFY(!QFileInfo::exists(rig.jobs() + u"/B.END"_s));
    QTRY_COMPARE(rig.window->status().state, MonitorState::Paused);
    QVERIFY(!rig.window->status().jobRunning);
    QCOMPARE(rig.button(u"btnStart"_s)->text(), u"&Wznów"_s);
    QTest::qWait(300);
    QVERIFY(QFileInfo::exists(rig.jobs() + u"/C.END"_s));
}

void TForm1Test::hidingBeforeSettingsArriveKeepsThem()
{
    Rig rig(ValidIni);
    // Rolled up before the window has heard of the settings (no events processed yet).
    rig.button(u"btnRoll"_s)->click();
    rig.sync();
    QVERIFY(rig.ini().contains("Katalog=" + rig.jobs().toUtf8() + "\r\n"));
    QVERIFY(rig.ini().contains("Drukarka=Ostrevo PDF"));
    QTRY_VERIFY(rig.startedUp());
}

void TForm1Test::withoutTrayHidingMinimisesAndTheIconWaitsForATray()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    // No tray now (offscreen); the icon is asked for all the same, so that a tray that
    // starts later gets it.
    QVERIFY(rig.window->trayIcon()->isVisible());
    QVERIFY(rig.window->isVisible());

    // Zwiń and the close button minimise: a hidden window could not be reached again.
    const QString other = rig.home() + u"/other"_s;
    rig.find<QLineEdit>(u"edtDir"_s)->setText(other);
    rig.button(u"btnRoll"_s)->click();
    QVERIFY(rig.window->isVisible());
    QVERIFY(rig.window->isMinimized());
    rig.sync();
    QVERIFY(rig.ini().contains("Katalog=" + other.toUtf8() + "\r\n"));
    rig.window->Open1Click();
    QVERIFY(!rig.window->isMinimized());
    QVERIFY(!rig.window->close());
    QVERIFY(rig.window->isVisible());
    QVERIFY(rig.window->isMinimized());

    // Minimised by the window manager: the tray's double click, its plain click and its
    // menu each bring the window back.
    const QList<std::function<void()>> ways = {
        [&] { emit rig.window->trayIcon()->activated(QSystemTrayIcon::DoubleClick); },
        [&] { emit rig.window->trayIcon()->activated(QSystemTrayIcon::Trigger); },
        [&] { rig.find<QAction>(u"Open1"_s)->trigger(); },
    };
    for (const auto &bringBack : ways) {
        rig.window->showMinimized();
        QVERIFY(rig.window->isMinimized());
        bringBack();
        QVERIFY(!rig.window->isMinimized());
        QVERIFY(rig.window->isVisible());
    }
}

void TForm1Test::secondStartBringsTheWindowToTheFront()
{
    Rig rig(ValidIni, {}, WithTray());
    QTRY_VERIFY(rig.startedUp());
    const QString socket = rig.home() + u"/ostrevo-test.sock"_s;
    InstanceChannel channel(socket);
    QVERIFY2(channel.listen(), qPrintable(channel.error()));
    connect(&channel, &InstanceChannel::showRequested, rig.window.get(), &TForm1::Open1Click);

    // A second start asks from its own process; here from another thread, since the
    // request waits for the answer while this thread runs the window.
    auto ask = [&socket] {
        std::atomic_int answer = -1;
        std::unique_ptr<QThread> second(QThread::create([&] { answer = InstanceChannel::requestShow(socket) ? 1 : 0; }));
        second->start();
        while (!second->isFinished())
            QTest::qWait(10);
        return answer.load();
    };
    rig.button(u"btnRoll"_s)->click(); // into the tray
    QVERIFY(!rig.window->isVisible());
    QCOMPARE(ask(), 1);
    QVERIFY(rig.window->isVisible());

    rig.window->showMinimized();
    QCOMPARE(ask(), 1);
    QVERIFY(!rig.window->isMinimized());

    // A socket left by an instance that crashed is replaced by the next one's.
    InstanceChannel next(socket);
    QVERIFY2(next.listen(), qPrintable(next.error()));
    // Nobody listening: the second start hears no answer.
    QCOMPARE(InstanceChannel::requestShow(rig.home() + u"/nobody.sock"_s, 500), false);
}

void TForm1Test::startBesideAServiceSaysSoInABox()
{
    QString text;
    OnNextModal([&text](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        text = box->text();
        box->accept();
    });
    ShowAlreadyRunningBox(u"/srv/biuro/ostrevo"_s);
    QVERIFY2(text.contains(u"/srv/biuro/ostrevo"_s) && text.contains(u"bez okna"_s), qPrintable(text));
    for (const QString &how : {u"ostrevo --status"_s, u"ostrevo --pause"_s, u"/srv/biuro/ostrevo/ostrevo.log"_s, u"systemctl --user stop ostrevo"_s})
        QVERIFY2(text.contains(how), qPrintable(how));
}

void TForm1Test::relativeFolderStartsTheChooserInTheProgramDirectory()
{
    QTemporaryDir program;
    QDir().mkpath(program.path() + u"/jobs"_s);
    TForm1Options options;
    options.programDir = program.path();
    Rig rig("[Opcje]\r\nKatalog=jobs\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\nMonitorowanie=0\r\n", {}, options);
    QTRY_VERIFY(rig.startedUp());
    QCOMPARE(rig.find<QLineEdit>(u"edtDir"_s)->text(), u"jobs"_s);
    QString startedAt;
    OnNextModal([&](QWidget *modal) {
        startedAt = qobject_cast<QFileDialog *>(modal)->directory().absolutePath();
        static_cast<QDialog *>(modal)->reject();
    });
    rig.button(u"btnDir"_s)->click();
    QCOMPARE(startedAt, program.path() + u"/jobs"_s);
}

void TForm1Test::menuBarByKeyboard()
{
    Rig rig(ValidIni);
    QTRY_VERIFY(rig.startedUp());
    QMenuBar *bar = rig.window->menuBar();
    // F10 takes the keyboard to the menu bar, as in other desktop programs.
    QTest::keyClick(rig.window.get(), Qt::Key_F10);
    QCOMPARE(bar->activeAction(), rig.konfiguracja());
    QTest::keyClick(bar, Qt::Key_Escape);
    // Alt and the underlined letter.
    QTest::keyClick(rig.window.get(), Qt::Key_D, Qt::AltModifier);
    QTRY_VERIFY(rig.window->journalWindow() && rig.window->journalWindow()->isVisible());
}

void TForm1Test::unwritableSettingsAtExitAreShownAfterTheLoop()
{
    // Quitting through Zakończ, and the event loop ended by someone else (the session's
    // end, SIGTERM): the write fails, and the message waits for a box that stays.
    for (const bool throughExit : {true, false}) {
        Rig rig(ValidIni);
        QTRY_VERIFY(rig.startedUp());
        // A directory where the file should be: no user can write it, root neither.
        QFile::remove(rig.iniPath());
        QVERIFY(QDir().mkpath(rig.iniPath() + u"/x"_s));
        if (throughExit) {
            rig.find<QAction>(u"Exit1"_s)->trigger();
            rig.sync();
            QCoreApplication::processEvents();
        } else {
            QTimer::singleShot(0, [] { QCoreApplication::quit(); });
            QApplication::exec();
            rig.shutdownEngine();
            QCoreApplication::sendPostedEvents();
        }
        QTRY_COMPARE(rig.window->exitWarnings().size(), 1);
        QVERIFY(rig.window->exitWarnings().first().contains(rig.iniPath()));
        // No box that the program's end would take away unread.
        QVERIFY(!rig.window->findChild<QMessageBox *>());

        QString shown;
        OnNextModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            shown = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        rig.window->showExitWarnings();
        QVERIFY2(shown.contains(rig.iniPath()), qPrintable(u"through exit: %1, shown: %2"_s.arg(throughExit).arg(shown)));
        QVERIFY(rig.window->exitWarnings().isEmpty());
    }
}

void TForm1Test::qtTextsArePolish()
{
    QVERIFY(LoadQtTranslations(qApp));
    // The line edit's context menu and the file dialog speak Polish.
    QCOMPARE(QCoreApplication::translate("QLineEdit", "&Undo"), u"&Cofnij"_s);
    QVERIFY(QCoreApplication::translate("QFileDialog", "Look in:") != u"Look in:"_s);
    QVERIFY(!LoadQtTranslations(qApp, QDir::tempPath() + u"/nie-ma"_s));
}

void TForm1Test::journalWindowShowsJobsAsTheyEndAndOpensTheirFiles()
{
    auto opened = std::make_shared<QStringList>();
    JobHandlers handlers;
    // Odd jobs fail, even ones write a file the window can open.
    handlers.set(jkText, [](const JobContext &context, const QString &textPath) -> JobResult {
        const QString name = QFileInfo(textPath).completeBaseName();
        if (name.startsWith(u"ZLE"_s))
            return JobResult::failed(u"drukarka wyłączona"_s);
        const QString pdf = context.currentJobDir + u"/../"_s + name + u".pdf"_s;
        WriteFile(pdf, "%PDF-1.4");
        return JobResult::done(u"stron: 1"_s).withOutput(QFileInfo(pdf).absoluteFilePath());
    });
    TForm1Options options = WithTray();
    Rig *rigPtr = nullptr;
    options.printoutFolder = [&rigPtr] { return rigPtr->home() + u"/wydruki"_s; };
    options.open = [opened](const QString &path) { opened->append(path); };
    // One line of an earlier run, read from the file at opening.
    QTemporaryDir before;
    Rig rig(WatchingIni, std::move(handlers), [&] {
        options.journalPath = u"%1/ostrevo.log"_s.arg(before.path());
        return options;
    }());
    rigPtr = &rig;
    WriteFile(before.path() + u"/ostrevo.log"_s,
              "2026-12-08 09:00:00.000\t/srv/jobs\tWCZORAJ.txt\tjkText\t7 ms\tOK: stron: 1\n");
    QTRY_COMPARE(rig.window->status().state, MonitorState::Running);

    rig.find<QAction>(u"Dziennik1"_s)->trigger();
    TFormJournal *journal = rig.window->journalWindow();
    QVERIFY(journal && journal->isVisible());
    QCOMPARE(journal->windowTitle(), u"Dziennik zadań"_s);
    QCOMPARE(journal->rowCount(), 1);

    for (const char *name : {"DOBRY", "ZLE1", "ZLE2", "ZLE3"}) {
        WriteFile(rig.jobs() + u'/' + QLatin1StringView(name) + u".txt"_s, "tekst\r\n");
        WriteFile(rig.jobs() + u'/' + QLatin1StringView(name) + u".END"_s, "");
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(rig.jobs() + u'/' + QLatin1StringView(name) + u".END"_s), 10000);
    }
    QTRY_COMPARE(journal->rowCount(), 5);
    // Newest first; a failure is marked by a sign and in bold, not by colour alone.
    QTreeWidgetItem *newest = journal->row(0);
    QCOMPARE(newest->text(2), u"ZLE3.txt"_s);
    QVERIFY(newest->text(0).startsWith(u"⚠"_s));
    QVERIFY(newest->font(5).bold());
    // In the user's words: the kind and the outcome in Polish, the whole time.
    QCOMPARE(newest->text(3), u"Wydruk"_s);
    QCOMPARE(newest->text(5), u"Nieudane: drukarka wyłączona"_s);
    QVERIFY(QDateTime::fromString(newest->text(0).mid(2), u"yyyy-MM-dd HH:mm:ss"_s).isValid());
    QCOMPARE(journal->row(3)->text(5), u"Wykonane: stron: 1"_s);
    QCOMPARE(journal->row(3)->text(2), u"DOBRY.txt"_s);
    QVERIFY(!journal->row(3)->font(5).bold());

    journal->setFilter(TFormJournal::Failures);
    int shown = 0;
    for (int i = 0; i < journal->rowCount(); ++i)
        shown += journal->row(i)->isHidden() ? 0 : 1;
    QCOMPARE(shown, 3);
    QCOMPARE(journal->countText(), u"zadań: 3 z 5"_s);
    journal->setFilter(TFormJournal::All);
    QCOMPARE(journal->countText(), u"zadań: 5"_s);
    // The search looks into every column, the program's kind words too.
    journal->setSearch(u"zle"_s);
    QCOMPARE(journal->countText(), u"zadań: 3 z 5"_s);
    journal->setSearch(u"WYŁĄCZONA"_s);
    QCOMPARE(journal->countText(), u"zadań: 3 z 5"_s);
    journal->setSearch(u"jkText"_s);
    QCOMPARE(journal->countText(), u"zadań: 5"_s);
    journal->setSearch(u"wczoraj"_s);
    QCOMPARE(journal->countText(), u"zadań: 1 z 5"_s);
    journal->setSearch(QString());

    // A double click opens the printout; the button opens the printouts' folder.
    journal->openRow(journal->row(3));
    QCOMPARE(opened->size(), 1);
    QVERIFY(opened->first().endsWith(u"/DOBRY.pdf"_s));
    journal->openRow(journal->row(0));
    QCOMPARE(opened->size(), 1);
    journal->findChild<QPushButton *>(u"btnFolder"_s)->click();
    QCOMPARE(opened->last(), rig.home() + u"/wydruki"_s);

    // Three failures in a burst: one notice. The tray tip tells the last outcome.
    QCOMPARE(rig.window->noticesShown(), 1);
    QVERIFY(rig.window->trayIcon()->toolTip().contains(u"ZLE3.txt: Nieudane: drukarka wyłączona"_s));
    QVERIFY(rig.window->trayIcon()->toolTip().contains(u"monitorowanie aktywne"_s));
    QVERIFY(!rig.window->unseenFailure().isEmpty());
    // The tray menu opens it too.
    journal->close();
    QTRY_VERIFY(!rig.window->journalWindow());
    rig.find<QAction>(u"Dziennik2"_s)->trigger();
    QVERIFY(rig.window->journalWindow()->isVisible());
    QCOMPARE(rig.window->journalWindow()->rowCount(), 1);
    // Opening the journal is seeing the failure; the window lies whole on the screen.
    QVERIFY(rig.window->unseenFailure().isEmpty());
    QVERIFY(rig.window->screen()->availableGeometry().contains(rig.window->journalWindow()->geometry()));
}

// One row per job: its tries kept for a retry fold into it, and so does a later outcome
// (a mail sent after its job), which then decides the row's mark; every outcome in Polish.
void TForm1Test::journalFoldsRetriesAndLaterOutcomes()
{
    QTemporaryDir dir;
    WriteFile(dir.path() + u"/ostrevo.log"_s,
              "2026-12-09 08:00:00.000\t/srv/jobs\tA.txt\tjkPdf\t5 ms\tRETRY: the PDF folder is full\t{\"id\":\"1\"}\n"
              "2026-12-09 08:00:05.000\t/srv/jobs\tA.txt\tjkPdf\t5 ms\tRETRY: the PDF folder is full\t{\"id\":\"2\"}\n"
              "2026-12-09 08:00:09.000\t/srv/jobs\tB.txt\tjkMail\t9 ms\tOK: queued\t{\"id\":\"3\"}\n"
              "2026-12-09 08:00:15.000\t/srv/jobs\tA.txt\tjkPdf\t5 ms\tOK\t{\"id\":\"4\"}\n"
              "2026-12-09 08:01:00.000\t/srv/jobs\tB.txt\tjkMail\t0 ms\tFAILED: error=535\t{\"id\":\"5\",\"of\":\"3\"}\n"
              "2026-12-09 08:02:00.000\t/srv/jobs\tA.txt\tjkPdf\t5 ms\tOK\t{\"id\":\"6\"}\n");
    TFormJournalOptions options;
    options.journalPath = dir.path() + u"/ostrevo.log"_s;
    TFormJournal journal(options);
    // A.txt sent again later is a job of its own.
    QCOMPARE(journal.rowCount(), 3);
    QCOMPARE(journal.row(0)->text(5), u"Wykonane"_s);
    QCOMPARE(journal.row(1)->text(2), u"B.txt"_s);
    QCOMPARE(journal.row(1)->text(3), u"Poczta"_s);
    QCOMPARE(journal.row(1)->text(5), u"Wykonane: queued; potem: Nieudane: error=535"_s);
    QVERIFY(journal.row(1)->text(0).startsWith(u"⚠ 2026-12-09 08:00:09"_s));
    QCOMPARE(journal.row(2)->text(2), u"A.txt"_s);
    QCOMPARE(journal.row(2)->text(5), u"Wykonane (próby: 3)"_s);
    QVERIFY(!journal.row(2)->text(0).startsWith(u"⚠"_s));
    QVERIFY(journal.row(2)->toolTip(5).contains(u"08:00:05  Czeka na ponowienie: the PDF folder is full"_s));
    journal.setFilter(TFormJournal::Failures);
    QCOMPARE(journal.countText(), u"zadań: 1 z 3"_s);

    // Each outcome has its Polish words; none shows the journal file's own.
    journal.setFilter(TFormJournal::All);
    const JobOutcome all[] = {JobOutcome::Ok, JobOutcome::NothingDone, JobOutcome::Failed, JobOutcome::NotSupported,
                              JobOutcome::Retry, JobOutcome::Error, JobOutcome::Refused, JobOutcome::Abandoned,
                              JobOutcome::Interrupted, JobOutcome::Cleared};
    int n = 0;
    for (JobOutcome outcome : all) {
        JobRecord record;
        record.id = u"x%1"_s.arg(n);
        record.time = QDateTime::currentDateTime();
        record.directory = u"/srv/jobs"_s;
        record.jobFile = u"K%1.txt"_s.arg(n++);
        record.kind = u"jkText"_s;
        record.outcome = outcome;
        journal.addRecord(record);
        const QString words = journal.row(0)->text(5);
        QVERIFY2(!words.isEmpty() && words != OutcomeWord(outcome) && words.at(0).isUpper(), qPrintable(words));
    }
}

// The real program lays the job out in a process of its own; the window lists what waits
// in the monitored directory, shows the report and opens the PDF, and the job stays.
void TForm1Test::journalWindowPreviewsAWaitingJob()
{
    QTemporaryDir home;
    const QString jobs = home.path() + u"/jobs"_s;
    QDir().mkpath(jobs);
    WriteFile(home.path() + u"/Ostrevo.ini"_s, "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\n");
    WriteFile(jobs + u"/FAKTURA.txt"_s, "FAKTURA <2xg>nr 1\r\n");
    WriteFile(jobs + u"/FTP.txt"_s, "<FTP>\r\n");
    Settings settings;
    settings.katalog = jobs;
    QStringList opened;
    TFormJournalOptions options;
    options.journalPath = home.path() + u"/ostrevo.log"_s;
    options.open = [&opened](const QString &path) { opened.append(path); };
    options.executablePath = QString::fromLocal8Bit(OSTREVO_BINARY_PATH);
    options.programDir = home.path();
    options.waitingJobs = [&] { return WaitingJobs(settings, home.path()); };
    TFormJournal journal(options);
    journal.show();
    QListWidget *waiting = journal.waitingList();
    QVERIFY(waiting);
    QCOMPARE(waiting->count(), 2);
    QCOMPARE(waiting->item(0)->text(), u"FAKTURA.txt"_s);

    QSignalSpy finished(&journal, &TFormJournal::previewFinished);
    waiting->setCurrentRow(0);
    journal.findChild<QPushButton *>(u"btnPreview"_s)->click();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().toInt(), 0);
    QVERIFY(journal.previewReport().contains(u"Rodzaj: wydruk tekstowy (jkText)"_s));
    QVERIFY(journal.previewReport().contains(u"nieznany symbol <2xg>"_s));
    QCOMPARE(opened, QStringList{DefaultPreviewPath(jobs + u"/FAKTURA.txt"_s)});
    QVERIFY(!QFileInfo::exists(jobs + u"/FAKTURA-podglad.pdf"_s));

    // A kind it does not lay out: the report says why, nothing is opened.
    waiting->setCurrentRow(1);
    QCOMPARE(waiting->currentItem()->text(), u"FTP.txt"_s);
    journal.findChild<QPushButton *>(u"btnPreview"_s)->click();
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.last().first().toInt(), 5);
    QVERIFY(journal.previewReport().contains(u"podgląd obejmuje tylko"_s));
    QCOMPARE(opened.size(), 1);
    // Both jobs still wait; the preview is no job.
    journal.findChild<QPushButton *>(u"btnRefresh"_s)->click();
    QCOMPARE(waiting->count(), 2);
}

QTEST_MAIN(TForm1Test)
#include "TForm1Test.moc"
