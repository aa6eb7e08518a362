// What a port does when a print job cannot go where it should: a stream the renderer
// refuses, a PDF folder that cannot be written, a stop between delivering and deleting.
// Nothing is lost, nothing is printed or mailed twice.

#include "PortRig.h"

#include "escp/PrintStream.h"
#include "jobs/UniqueFd.h"
#include "lpt/DeliveryRecord.h"
#include "net/TDM.h"
#include "support/CupsServer.h"
#include "support/PythonService.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

bool Chattr(const char *flag, const QString &path)
{
    return QProcess::execute(QStringLiteral("chattr"), {QString::fromLatin1(flag), path}) == 0;
}

// Root writes anywhere; an immutable folder takes nothing from anyone. Undone on the way out.
struct ImmutableFolder {
    QString path;
    bool made = false;
    explicit ImmutableFolder(QString dir) : path(std::move(dir)) { made = Chattr("+i", path); }
    ~ImmutableFolder() { release(); }
    void release()
    {
        if (made)
            Chattr("-i", path);
        made = false;
    }
};

// A PDF as the port would have kept it.
void KeptPdf(const QString &path, const QByteArray &text)
{
    RenderPrintStream(EscpJob(text), {}, path);
}

// The record a stop leaves beside a capture, as delivery writes it.
void LeaveRecord(const QString &dir, const QString &capture, DeliveryRecord record)
{
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(dir + u'/' + capture).constData(), &st), 0);
    record.captureName = QFile::encodeName(capture);
    record.capture = CaptureIdentity::of(st);
    record.id = QStringLiteral("lpt-earlier-") + capture;
    UniqueFd fd(::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY));
    WriteRecord(fd.fd, dir, record.captureName, record);
}

// How many print jobs of that title CUPS has had, done or not.
int CupsJobsTitled(const QString &title)
{
    cups_job_t *jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    int count = 0;
    for (int i = 0; i < n; ++i)
        count += QString::fromUtf8(jobs[i].title) == title;
    cupsFreeJobs(n, jobs);
    return count;
}

} // namespace

TEST(CaptureFailure, AStreamTheRendererRefusesIsMovedAsideWithItsReason)
{
    PortRig rig;
    rig.start();
    // PostScript that Ghostscript cannot read; then another under the same name.
    const QByteArray broken = "%!PS-Adobe-3.0\n{{ to nie jest ]] PostScript\n";
    WriteFile(rig.lpt1 + QStringLiteral("/zly.prn"), broken);
    ASSERT_TRUE(rig.waitForLines(1));
    WriteFile(rig.lpt1 + QStringLiteral("/zly.prn"), broken + "%drugi\n");
    ASSERT_TRUE(rig.waitForLines(2));
    QThread::msleep(1000); // never tried again

    const QList<LaterOutcome> lines = rig.linesOf();
    ASSERT_EQ(lines.size(), 2);
    const QString aside = rig.lpt1 + QStringLiteral("/Bledne/");
    EXPECT_FALSE(lines[0].ok);
    EXPECT_FALSE(lines[0].retry);
    EXPECT_TRUE(lines[0].detail.startsWith(QStringLiteral("LPT1: wydruk odrzucony: "))) << lines[0].detail.toStdString();
    EXPECT_TRUE(lines[0].detail.contains(QStringLiteral("nie zamienił wydruku na PDF"))) << lines[0].detail.toStdString();
    EXPECT_TRUE(lines[0].detail.endsWith(QStringLiteral("; plik przeniesiony do ") + aside + QStringLiteral("zly.prn")))
        << lines[0].detail.toStdString();
    EXPECT_TRUE(lines[1].detail.endsWith(QStringLiteral("; plik przeniesiony do ") + aside + QStringLiteral("zly-2.prn")))
        << lines[1].detail.toStdString();
    // Kept as they came, never deleted, never replaced.
    EXPECT_EQ(ReadFile(aside + QStringLiteral("zly.prn")), broken);
    EXPECT_EQ(ReadFile(aside + QStringLiteral("zly-2.prn")), broken + "%drugi\n");
    EXPECT_EQ(Entries(rig.lpt1), QStringList{QStringLiteral("Bledne")});
    EXPECT_TRUE(rig.pdfs().isEmpty()) << rig.pdfs().join(u' ').toStdString();
}

TEST(CaptureFailure, AnUnwritablePdfFolderKeepsThePrintJobForLaterWhileOtherPortsGoOn)
{
    PortRig rig;
    const QString folder = rig.home.filePath(QStringLiteral("pdf1"));
    const QString lpt2 = rig.home.filePath(QStringLiteral("lpt2"));
    QDir().mkpath(folder);
    QDir().mkpath(lpt2);
    rig.settings.ports[0].katalogPdf = folder;
    rig.settings.ports.append(Port(QStringLiteral("LPT2"), lpt2));
    ImmutableFolder readOnly(folder);
    if (!readOnly.made)
        GTEST_SKIP() << "chattr +i is not available here";
    rig.start();
    WriteFile(rig.lpt1 + QStringLiteral("/czeka.prn"), EscpJob("CZEKA"));
    WriteFile(lpt2 + QStringLiteral("/obok.prn"), EscpJob("OBOK"));

    ASSERT_TRUE(WaitFor([&] { return rig.linesOf().size() >= 2; }));
    QThread::msleep(1500); // several attempts, 200 ms apart, then 400
    QList<LaterOutcome> lines = rig.linesOf();
    ASSERT_EQ(lines.size(), 2) << "one line for the reason, not one per attempt";
    const LaterOutcome waits = lines[0].jobFile == QStringLiteral("czeka.prn") ? lines[0] : lines[1];
    const LaterOutcome other = lines[0].jobFile == QStringLiteral("obok.prn") ? lines[0] : lines[1];
    EXPECT_TRUE(other.ok) << other.detail.toStdString();
    EXPECT_EQ(rig.pdfs(), QStringList{QStringLiteral("LPT2-obok.pdf")});
    EXPECT_TRUE(waits.retry) << waits.detail.toStdString();
    EXPECT_TRUE(waits.detail.startsWith(QStringLiteral("LPT1: nie można zapisać PDF w ") + folder)) << waits.detail.toStdString();
    EXPECT_TRUE(waits.detail.contains(QStringLiteral("wydruk czeka w katalogu portu, ponowna próba za"))) << waits.detail.toStdString();
    EXPECT_EQ(Entries(rig.lpt1), QStringList{QStringLiteral("czeka.prn")});

    readOnly.release();
    ASSERT_TRUE(WaitFor([&] { return rig.linesOf(QStringLiteral("czeka.prn")).size() == 2; }));
    EXPECT_TRUE(rig.linesOf(QStringLiteral("czeka.prn")).at(1).ok);
    EXPECT_EQ(rig.pdfs(folder), QStringList{QStringLiteral("LPT1-czeka.pdf")});
    EXPECT_EQ(TextOf(folder + QStringLiteral("/LPT1-czeka.pdf")), QStringLiteral("CZEKA"));
    EXPECT_TRUE(Entries(rig.lpt1).isEmpty()) << Entries(rig.lpt1).join(u' ').toStdString();
}

class CaptureStop : public CupsServerSuite {};

TEST_F(CaptureStop, AStopBetweenDeliveringAndDeletingNeverPrintsAgain)
{
    ASSERT_TRUE(s_server->running()) << s_server->failure().toStdString();
    PortRig rig;
    const QString folder = rig.home.filePath(QStringLiteral("pdf"));
    QDir().mkpath(folder);
    rig.settings.ports[0].drukarka = QStringLiteral("ps");
    rig.settings.ports[0].katalogPdf = folder;
    const QString dir = rig.lpt1;

    // Delivered whole; stopped before the capture was deleted.
    WriteFile(dir + QStringLiteral("/dostarczony.prn"), EscpJob("DOSTARCZONY"));
    KeptPdf(folder + QStringLiteral("/LPT1-dostarczony.pdf"), "DOSTARCZONY");
    DeliveryRecord delivered;
    delivered.keptPdf = folder + QStringLiteral("/LPT1-dostarczony.pdf");
    delivered.print = DeliveryRecord::Step::Done;
    delivered.printDetail = QStringLiteral("wysłany na drukarkę ps");
    delivered.delivered = true;
    LeaveRecord(dir, QStringLiteral("dostarczony.prn"), delivered);
    // Stopped while it was being handed to CUPS: it may have printed.
    WriteFile(dir + QStringLiteral("/drukowany.prn"), EscpJob("DRUKOWANY"));
    KeptPdf(folder + QStringLiteral("/LPT1-drukowany.pdf"), "DRUKOWANY");
    DeliveryRecord printing;
    printing.keptPdf = folder + QStringLiteral("/LPT1-drukowany.pdf");
    printing.print = DeliveryRecord::Step::Started;
    LeaveRecord(dir, QStringLiteral("drukowany.prn"), printing);
    // Stopped right after its PDF took its name, before the record learnt which.
    WriteFile(dir + QStringLiteral("/zapisany.prn"), EscpJob("ZAPISANY"));
    KeptPdf(folder + QStringLiteral("/LPT1-zapisany.pdf"), "ZAPISANY");
    struct stat published;
    ASSERT_EQ(::stat(QFile::encodeName(folder + QStringLiteral("/LPT1-zapisany.pdf")).constData(), &published), 0);
    DeliveryRecord publishing;
    publishing.pendingPart = folder + QStringLiteral("/.LPT1-zapisany-Ab12Cd.part");
    publishing.pendingInode = quint64(published.st_ino);
    publishing.pendingFolder = folder;
    LeaveRecord(dir, QStringLiteral("zapisany.prn"), publishing);
    // A record of an earlier print job of the same name: this one is new.
    WriteFile(dir + QStringLiteral("/nowy.prn"), EscpJob("POPRZEDNI"));
    LeaveRecord(dir, QStringLiteral("nowy.prn"), delivered);
    WriteFile(dir + QStringLiteral("/nowy.prn"), EscpJob("NOWY, INNY"));

    rig.start({QStringLiteral("Ostrevo PDF"), QStringLiteral("ps")});
    ASSERT_TRUE(rig.waitForLines(4));
    ASSERT_TRUE(s_server->waitIdle(QStringLiteral("ps")));
    QThread::msleep(500);

    EXPECT_EQ(CupsJobsTitled(QStringLiteral("dostarczony.prn")), 0);
    EXPECT_EQ(CupsJobsTitled(QStringLiteral("drukowany.prn")), 0);
    EXPECT_EQ(CupsJobsTitled(QStringLiteral("zapisany.prn")), 1);
    EXPECT_EQ(CupsJobsTitled(QStringLiteral("nowy.prn")), 1);
    // One PDF each, none made twice.
    EXPECT_EQ(rig.pdfs(folder), (QStringList{QStringLiteral("LPT1-dostarczony.pdf"), QStringLiteral("LPT1-drukowany.pdf"),
                                              QStringLiteral("LPT1-nowy.pdf"), QStringLiteral("LPT1-zapisany.pdf")}));
    EXPECT_EQ(TextOf(folder + QStringLiteral("/LPT1-nowy.pdf")), QStringLiteral("NOWY, INNY"));
    // The records went with their captures.
    EXPECT_TRUE(Entries(dir).isEmpty()) << Entries(dir).join(u' ').toStdString();

    const LaterOutcome wasDelivered = rig.linesOf(QStringLiteral("dostarczony.prn")).value(0);
    EXPECT_TRUE(wasDelivered.ok) << wasDelivered.detail.toStdString();
    EXPECT_TRUE(wasDelivered.detail.contains(QStringLiteral("dostarczony przed zatrzymaniem programu, nie powtarzam")))
        << wasDelivered.detail.toStdString();
    const LaterOutcome mayHave = rig.linesOf(QStringLiteral("drukowany.prn")).value(0);
    EXPECT_FALSE(mayHave.ok);
    EXPECT_TRUE(mayHave.detail.contains(QStringLiteral("nie wiadomo, czy wydruk na ps poszedł przed zatrzymaniem programu; "
                                                       "nie drukuję go ponownie")))
        << mayHave.detail.toStdString();
    const LaterOutcome afterPublishing = rig.linesOf(QStringLiteral("zapisany.prn")).value(0);
    EXPECT_TRUE(afterPublishing.ok) << afterPublishing.detail.toStdString();
    EXPECT_TRUE(afterPublishing.detail.contains(QStringLiteral("PDF: ") + folder + QStringLiteral("/LPT1-zapisany.pdf; wysłany na drukarkę ps")))
        << afterPublishing.detail.toStdString();
}

TEST(CaptureMail, ThePdfIsMailedOnceThroughTheMailSpool)
{
    QTemporaryDir received;
    PythonService smtp(QStringLiteral("smtpd.py"), {received.path()});
    ASSERT_TRUE(smtp.running()) << smtp.failure().toStdString();
    std::mutex mutex;
    QList<LaterOutcome> mailLines;
    PortRig rig;
    rig.settings.mail.poczta = 1;
    rig.settings.mail.serverName = QStringLiteral("127.0.0.1");
    rig.settings.mail.serverPort = smtp.port();
    rig.settings.mail.userName = QStringLiteral("biuro@ostrevo.test");
    rig.settings.mail.clearTextAllowed = true;
    rig.settings.ports[0].mail = QStringLiteral("ksiegowa@ostrevo.test");
    TDM net(rig.home.path());
    // The port's thread ends before the mail module it hands messages to.
    const std::shared_ptr<void> stopPortFirst(nullptr, [&](void *) { rig.stop(); });
    net.laterOutcomes().setSink([&](const LaterOutcome &line) {
        std::lock_guard lock(mutex);
        mailLines.append(line);
    });
    net.afterSettingsRead(rig.settings);
    DeliveryServices services;
    services.spoolMail = [&](const SpooledMail &mail) { return net.spoolMail(mail); };
    services.wakeMailSender = [&] { net.wakeMailSender(); };

    // Mailed before a stop that came before its record said so: not again.
    WriteFile(rig.lpt1 + QStringLiteral("/wczesniej.prn"), EscpJob("WCZESNIEJ"));
    KeptPdf(rig.home.filePath(QStringLiteral("LPT1-wczesniej.pdf")), "WCZESNIEJ");
    DeliveryRecord mailing;
    mailing.keptPdf = rig.home.filePath(QStringLiteral("LPT1-wczesniej.pdf"));
    mailing.mail = DeliveryRecord::Step::Started;
    LeaveRecord(rig.lpt1, QStringLiteral("wczesniej.prn"), mailing);
    rig.start({QStringLiteral("Ostrevo PDF")}, services);
    WriteFile(rig.lpt1 + QStringLiteral("/faktura.prn"), EscpJob("FAKTURA 12"));

    ASSERT_TRUE(rig.waitForLines(2));
    ASSERT_TRUE(net.waitForMail(30000));
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(mutex);
        return !mailLines.isEmpty();
    }));
    const QStringList messages = QDir(received.path()).entryList({QStringLiteral("*.eml")}, QDir::Files);
    ASSERT_EQ(messages.size(), 1);
    const QByteArray message = ReadFile(received.filePath(messages.at(0)));
    EXPECT_TRUE(message.contains("To: ksiegowa@ostrevo.test")) << message.left(800).constData();
    EXPECT_TRUE(message.contains("application/pdf")) << message.left(800).constData();
    EXPECT_TRUE(message.contains("LPT1-faktura.pdf")) << message.left(800).constData();

    const LaterOutcome capture = rig.linesOf(QStringLiteral("faktura.prn")).value(0);
    EXPECT_TRUE(capture.ok) << capture.detail.toStdString();
    EXPECT_TRUE(capture.detail.contains(QStringLiteral("poczta do ksiegowa@ostrevo.test w kolejce jako "))) << capture.detail.toStdString();
    {
        // The sender's answer follows the print job's line.
        std::lock_guard lock(mutex);
        ASSERT_EQ(mailLines.size(), 1);
        EXPECT_EQ(mailLines[0].jobId, capture.id);
        EXPECT_TRUE(mailLines[0].ok) << mailLines[0].detail.toStdString();
        EXPECT_EQ(mailLines[0].kind, QStringLiteral("jkLpt"));
    }
    const LaterOutcome earlier = rig.linesOf(QStringLiteral("wczesniej.prn")).value(0);
    EXPECT_FALSE(earlier.ok);
    EXPECT_TRUE(earlier.detail.contains(QStringLiteral("nie wiadomo, czy list do ksiegowa@ostrevo.test wysłano"))) << earlier.detail.toStdString();
    // No result file for a DOS program that waits for none.
    EXPECT_FALSE(QFileInfo::exists(rig.lpt1 + QStringLiteral("/Errors")));
}
