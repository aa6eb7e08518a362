#pragma once

#include "handling/LaterOutcomes.h"
#include "handling/Settings.h"
#include "net/MailSpool.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace ostrevo {

// What delivery needs from the rest of the program.
struct DeliveryServices {
    // Puts a message for the own SMTP route into the mail spool whole; returns its name
    // there. Throws IoError.
    std::function<QString(const SpooledMail &)> spoolMail;
    // Lets the mail sender take what was spooled.
    std::function<void()> wakeMailSender;
    // Opens a PDF file on the desktop; empty when it did, else why it did not.
    std::function<QString(const QString &pdfPath)> open;
    // True once the program quits (a message handed to sendmail gives up then).
    std::function<bool()> quitting;
    // Where each capture's journal line goes.
    LaterOutcomes *outcomes = nullptr;
};

// One port as delivery sees it: its settings with its places resolved.
struct PortTarget {
    PortSettings port;
    QString directory; // the port's directory
    QString pdfFolder; // where the PDF is kept; empty: it is printed only
    bool builtinFolder = false; // the folder is the built-in printer's, made when missing
    QString queue;     // the CUPS queue it is printed on; empty: none
};
PortTarget TargetOf(const PortSettings &port, const Settings &settings, const QString &programDir);

// What became of one capture.
struct DeliveryResult {
    enum Kind {
        Done,  // finished with: delivered, moved aside, empty, or gone
        Later, // its output cannot be written now (a folder, CUPS, the mail spool): kept
        Busy,  // someone still writes it or holds it: looked at again once it is quiet
        Quit,  // the program quits: nothing was started
    };
    Kind kind = Done;
    QString why;
};

// Renders one capture of a port's directory into a PDF and sends that where the port
// says (its folder, a CUPS queue, mail, the desktop), then deletes the capture, with a
// journal line. A capture the renderer refuses is moved aside into "Bledne", never
// deleted. Each step that must not happen twice is recorded beside the capture first
// (DeliveryRecord), so that delivering it again after a stop at any point goes on where
// it stopped.
class CaptureDelivery {
public:
    // `stagingDir`: where a PDF that is only printed or mailed is written first.
    CaptureDelivery(Settings settings, QString stagingDir, DeliveryServices services);

    DeliveryResult deliver(const PortTarget &target, const QByteArray &name, const QString &id);

private:
    struct Run;
    DeliveryResult fresh(Run &run);
    DeliveryResult resume(Run &run);
    DeliveryResult sendOn(Run &run);
    DeliveryResult reject(Run &run, const QString &why);
    DeliveryResult later(Run &run, const QString &why);
    QString pdfToSend(Run &run);
    // Mails the PDF (its step recorded); returns what the journal says of it.
    QString mailTo(Run &run, const QString &pdf);
    void finish(Run &run);
    void journal(const Run &run, bool ok, const QString &detail, bool nothingDone = false);

    Settings m_settings;
    QString m_stagingDir;
    DeliveryServices m_services;
};

} // namespace ostrevo
