#pragma once

#include "ProgramVersion.h"

#include <QList>
#include <QMap>
#include <QString>

namespace ostrevo {

enum MonitorMode : int { MonitorMutex = 0, MonitorTimer = 1 };

// [Mail]
struct MailSettings {
    QString serverName;
    int serverPort = 25;
    QString serverUser;
    QString serverPassword; // plain in memory, scrambled in the file
    int smtpAuthenticationType = 0;
    QString userName;
    int poczta = 0; // 0 = system mail client, 1 = own SMTP client
    // Edited by hand only, never written by the program:
    QString sendmail;  // Sendmail: the sendmail command line; empty = /usr/sbin/sendmail
    QString caFile;    // CAFile: the CA certificates for the SMTP server; empty = the system's
    // Szyfrowanie: "brak" lets AUTH go in clear text where the server offers no TLS (a
    // trusted network, said so on purpose); anything else, the default, refuses to send a
    // password without TLS.
    bool clearTextAllowed = false;

    bool operator==(const MailSettings &) const = default;
};

// [Waluty]: where the exchange-rate job takes the central bank's tables from. Edited by
// hand only, never written by the program.
struct RateSettings {
    enum Source { Api, Files };
    Source zrodlo = Api;                                   // Zrodlo: "api" or "pliki"
    QString serwer = QStringLiteral("https://www.nbp.pl"); // Serwer: base of the file paths
    QString serwerApi = QStringLiteral("https://api.nbp.pl"); // SerwerApi: base of the web API

    bool operator==(const RateSettings &) const = default;
};

// [KSeF]: where invoices go. Edited by hand only, never written by the program; nothing
// goes anywhere until Srodowisko names an environment, and production only by the user.
struct KsefSettings {
    QString environment; // Srodowisko: "test", "demo" or "produkcja"; empty: not set up
    QString address;     // Adres: a base address in place of the environment's (a stand-in)
    QString nip;         // NIP: the seller whose invoices these are (the context)
    QString tokenFile;   // Token: the file that holds the KSeF token (mode 0600)
    QString caFile;      // CAFile: certificates to trust instead of the system's
    // CertyfikatOffline, KluczOffline: the KSeF certificate of type Offline and its private
    // key (mode 0600), which sign KOD II of invoices issued while KSeF is out of reach
    QString offlineCertificate;
    QString offlineKey;

    bool operator==(const KsefSettings &) const = default;
};

// [LPT1], [LPT2], ... [COM1], ...: a printer port of a DOS emulator, whose print jobs arrive
// as files in the port's directory. Edited by hand only, never written by the program.
struct PortSettings {
    QString name;      // the section's name as written: "LPT1"
    QString katalog;   // Katalog: the port's directory as written (relative: to the program directory)
    QString kodowanie = QStringLiteral("852"); // Kodowanie: 852, mazowia, 437, 1250 or auto
    QString drukarka;  // Drukarka: a printer of the list; empty: the built-in "Ostrevo PDF"
    QString katalogPdf; // KatalogPDF: where the PDF is kept; empty: the built-in printer's directory
    QString mail;      // Mail: the PDF is mailed there
    bool otworz = false; // Otworz: the PDF is opened on the desktop
    int wiersze = 0;   // Wiersze: lines of 1/6" to a page when the program sets none; 0: the A4 sheet
    int cisza = 2000;  // Cisza: ms a file written in place stays quiet before it is a job
    // Why the port is not served (a missing Katalog, a bad value); empty when it is.
    QString problem;

    bool operator==(const PortSettings &) const = default;
};

// Every setting of Ostrevo.ini, with the defaults of a fresh installation.
struct Settings {
    // [Opcje]
    QString katalog = QStringLiteral("C:\\Ostrevo");
    QString drukarka;
    bool monitorowanie2 = false;
    QString katalog2;
    QString drukarka2;
    bool autoRun = true;
    bool ground = true;
    bool clear = true;
    bool clearFtp = true;
    bool clearPdf = true;
    bool clearErrors = true;
    bool clearMail = true;
    bool clearDownload = true;
    int timer = MonitorTimer; // MonitorMode
    bool monitorowanie = false; // MonitoringActive at the last save
    bool passive = true;

    MailSettings mail;

    // [Duplex]
    int kartka = 1; // 1 = long edge, other = short edge

    // [Dyski]: drive letter (upper case) -> Linux directory, for DOS paths in jobs.
    QMap<QChar, QString> drives;

    // [DrukarkaPDF] Katalog: output directory of the built-in printer; empty = "wydruki"
    // in the program directory.
    QString pdfPrinterDir;

    // [Powiadomienia] Bledy: a desktop notice for each failed job (1, the default) or none
    // (0). Edited by hand.
    bool notifyFailures = true;

    RateSettings waluty;
    KsefSettings ksef;

    // [Siec] LimitCzasu: the longest a network job may take in all, in seconds (0: no
    // limit but the stall time-out), so that a server that trickles a byte at a time
    // never holds up the jobs behind it. Edited by hand.
    int netLimitSeconds = 600;

    // The printer ports, in the file's order.
    QList<PortSettings> ports;

    bool operator==(const Settings &) const = default;
};

// A fresh installation's settings, as one shared instance.
inline const Settings &DefaultSettings()
{
    static const Settings defaults;
    return defaults;
}

inline const QString ProgramVersion = QStringLiteral(OSTREVO_PROGRAM_VERSION);

} // namespace ostrevo

#include <QMetaType>
Q_DECLARE_METATYPE(ostrevo::Settings)
