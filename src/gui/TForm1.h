#pragma once

#include "gui/OneBox.h"
#include "gui/TFormJournal.h"
#include "monitor/MonitorStatus.h"
#include "monitor/NoticeThrottle.h"
#include "handling/Settings.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QShortcut;
class QSystemTrayIcon;

namespace ostrevo {

class Engine;
class StatusLamp;
class TFormCONFIG;

struct TForm1Options {
    // The tray tip is this file's name up to its first dot; empty = the running executable.
    QString executablePath;
    // Shown at start instead of hidden in the tray. Also when no tray is available, or
    // when the environment sets OSTREVO_SHOW_WINDOW=1 (screenshots; OSTREVO_SHOW_JOURNAL=1
    // opens the journal window as well).
    bool showAtStart = false;
    // Whether a tray is there now; empty = QSystemTrayIcon::isSystemTrayAvailable().
    std::function<bool()> trayAvailable;
    // The job journal, shown by "Dziennik zadań".
    QString journalPath;
    // Where Ostrevo.ini lies: a waiting job is previewed with its settings. Empty = no
    // previews in the journal window.
    QString programDir;
    // The built-in printer's output folder, opened from the journal window.
    std::function<QString()> printoutFolder;
    // Opens a file or folder; empty = the desktop's opener.
    std::function<void(const QString &path)> open;
};

// The application title: the executable's file name up to its first dot, at most 63
// characters (the longest tip a tray icon kept on the legacy system).
QString ApplicationTitle(const QString &executablePath);

// The main window and the tray icon: a view of the engine's status and settings. It
// talks to the engine (which lives on the job thread) only through queued calls and the
// engine's signals, so it never waits for a job.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(Engine *engine, TForm1Options options = {}, QWidget *parent = nullptr);
    ~TForm1() override;

    // The last settings received, with the values the window's controls show now.
    Settings currentSettings() const;
    const MonitorStatus &status() const { return m_status; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    // The open configuration dialog, if any.
    TFormCONFIG *configDialog() const { return m_config; }
    // The printers last published by the engine.
    const QStringList &printers() const { return m_printers; }
    // The journal window, once opened.
    TFormJournal *journalWindow() const { return m_journal; }
    // Failure notices shown in the tray so far.
    int noticesShown() const { return m_noticesShown; }
    // The box of errors and warnings, when open.
    QMessageBox *messageBox() const { return m_box.box(); }
    // A failed job the user has not seen yet (the journal window, or a click on the lamp
    // or the status, marks it seen); empty when none.
    const QString &unseenFailure() const { return m_unseenFailure; }
    // Warnings that arrived while the program was quitting (a settings file that could
    // not be written), not yet shown.
    const QStringList &exitWarnings() const { return m_exitWarnings; }
    // Shows them, one modal box each, once the event loop has ended; also on stderr.
    void showExitWarnings();

public slots:
    void btnStartClick();
    void btnRollClick();
    void btnExitClick();
    void btnDirClick();
    void btnDir2Click();
    void Open1Click();
    void Konfiguracja1Click();
    void Dziennik1Click();
    void jobFinished(const ostrevo::JobRecord &record);

    void showStatus(const ostrevo::MonitorStatus &status);
    void loadSettings(const ostrevo::Settings &settings);
    void fillPrinterLists();
    void setPrinterList(const QStringList &names);
    void showWarning(const QString &message);
    // The user has seen the last failure: the lamp and status show the monitor again.
    void failureSeen();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void buildTray();
    void connectEngine();
    void rollUp();
    void chooseDirectory(QLineEdit *field);
    void refillPrinters(QComboBox *combo);
    void sendSettings();
    void configAccepted();
    void updateTrayTip();
    void showStatusText();

    Engine *m_engine;
    TForm1Options m_options;
    QString m_title;
    Settings m_settings;
    MonitorStatus m_status;
    bool m_quitting = false;     // through Zakończ
    bool m_loopEnding = false;   // the event loop is ending, whoever ended it
    QStringList m_printers;
    QStringList m_exitWarnings;
    bool m_settingsReceived = false;
    QPointer<TFormCONFIG> m_config;
    QPointer<TFormJournal> m_journal;
    NoticeThrottle m_notices;
    int m_noticesShown = 0;
    QString m_lastJob; // "FAKTURA.txt: Wykonane", for the tray tip
    QString m_unseenFailure; // "FAKTURA.txt: Nieudane: ...", until seen
    QStringList m_retrying;  // jobs kept for a retry whose notice was shown
    OneBox m_box;
    QLabel *lblDir;
    QLineEdit *edtDir;
    QPushButton *btnDir;
    QLabel *lblPrinter;
    QComboBox *cbxPrinter;
    QCheckBox *chbMon2;
    QLabel *Label1;
    QLineEdit *edtDir2;
    QPushButton *btnDir2;
    QLabel *Label2;
    QComboBox *cbxPrinter2;
    QCheckBox *chbRun;
    QCheckBox *chbGround;
    StatusLamp *shStart;
    QPushButton *btnStart;
    QPushButton *btnRoll;
    QPushButton *btnExit;
    QLabel *m_panels[3];
    QAction *Konfiguracja1;
    QAction *Dziennik1;
    QAction *Dziennik2;
    QMenu *PopupMenu1;
    QAction *Open1;
    QAction *Exit1;
    QShortcut *m_hotKey;
    QSystemTrayIcon *m_tray;
};

} // namespace ostrevo
