// The real program, `ostrevo --once`, on <KSEF> jobs against the stand-in for KSeF: an
// invoice reaches KSeF once and its number comes back; a wrong job or a missing set-up
// sends nothing; an invoice waits while KSeF is out of reach, and one KSeF refused leaves
// the queue with KSeF's reason.
#include "ksef/KsefNumber.h"
#include "ksef/KsefStandIn.h"
#include "ksef/OfflineCertificate.h"

#include "support/BarcodeReader.h"
#include "support/OnceRun.h"
#include "support/PdfTools.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

// An invoice as a DOS program writes it, in CP852 ("Łódź", "usł.").
QByteArray InvoiceJob(const QByteArray &number, const QByteArray &net = "650,00", const QByteArray &more = {})
{
    return "<KSEF>\r\nNUMER=" + number + "\r\nDATA=2026-12-01\r\nMIEJSCE=\x9d\xa2" "d\xab\r\n" + more + "<END>\r\n"
           "<SPRZEDAWCA>\r\nNIP=526-587-76-35\r\nNAZWA=Biuro Rachunkowe Bilans\r\nADRES=ul. Piotrkowska 120\r\n<END>\r\n"
           "<NABYWCA>\r\nNIP=7762811692\r\nNAZWA=Piekarnia\r\n<END>\r\n"
           "<POZYCJA>\r\nNAZWA=Prowadzenie ksi\xa9gi\r\nJM=us\x88.\r\nILOSC=1\r\nCENA=650,00\r\nWARTOSC=" + net
           + "\r\nVAT=23\r\n<END>\r\n";
}

class Office {
public:
    Office()
    {
        QDir().mkpath(jobs);
        WriteFile(home.filePath(QStringLiteral("ksef-token")), QByteArray(KsefStandIn::Token) + '\n');
        ::chmod(QFile::encodeName(home.filePath(QStringLiteral("ksef-token"))).constData(), 0600);
    }

    void settings(const QByteArray &baseUrl, const QByteArray &environment = "test", const QByteArray &more = {})
    {
        QByteArray ini = "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\n";
        if (!environment.isEmpty())
            ini += "[KSeF]\r\nSrodowisko=" + environment + "\r\nAdres=" + baseUrl + "\r\nNIP=" + KsefStandIn::Nip
                   + "\r\nToken=ksef-token\r\n" + more;
        WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")), ini);
    }

    void job(const QString &name, const QByteArray &text)
    {
        WriteFile(jobs + u'/' + name + QStringLiteral(".txt"), text);
        WriteFile(jobs + u'/' + name + QStringLiteral(".END"), {});
    }

    void runOnce() { stderrText = RunOnce(home.path(), runtime.path()).errors; }

    QByteArray result(const QString &name) const { return ReadFile(jobs + QStringLiteral("/Errors/") + name + QStringLiteral(".txt")); }
    QStringList queued() const { return QDir(home.filePath(QStringLiteral("ksef"))).entryList(QDir::Files); }
    QString journal() const { return QString::fromUtf8(ReadFile(home.filePath(QStringLiteral("ostrevo.log")))); }

    QTemporaryDir home;
    QTemporaryDir runtime;
    const QString jobs = home.filePath(QStringLiteral("jobs"));
    QString stderrText;
};

QString NumberIn(const QByteArray &result)
{
    for (const QByteArray &line : result.split('\n')) {
        if (line.startsWith("NR_KSEF="))
            return QString::fromLatin1(line.mid(8).trimmed());
    }
    return {};
}

int AcceptedCount(const KsefStandIn &ksef)
{
    return int(ksef.state().value(QStringLiteral("accepted")).toArray().size());
}

} // namespace

TEST(KsefJob, AnInvoiceReachesKsefOnceAndItsNumberComesBack)
{
    KsefStandIn ksef;
    ASSERT_TRUE(ksef.running()) << ksef.service->failure().toStdString();
    Office office;
    office.settings(ksef.baseUrl());
    office.job(QStringLiteral("FV42"), InvoiceJob("FV/2026/12/0042", "650,00", "PDF_FILE=FV42.pdf\r\n"));
    office.runOnce();

    const QByteArray result = office.result(QStringLiteral("FV42"));
    EXPECT_TRUE(result.startsWith("error=OK\r\nNR_KSEF=")) << result.constData() << office.stderrText.toStdString();
    EXPECT_TRUE(result.contains("\r\nDATA_KSEF=")) << result.constData();
    const QString number = NumberIn(result);
    EXPECT_TRUE(IsKsefNumber(number)) << number.toStdString();
    const QJsonObject state = ksef.state();
    ASSERT_EQ(state.value(QStringLiteral("accepted")).toArray().size(), 1);
    const QJsonObject received = state.value(QStringLiteral("invoices")).toArray().first().toObject();
    // What KSeF holds is what the office keeps.
    EXPECT_EQ(ReadFile(office.jobs + QStringLiteral("/KSEF/") + number + QStringLiteral(".xml")),
              received.value(QStringLiteral("xml")).toString().toUtf8());
    EXPECT_TRUE(ReadFile(office.jobs + QStringLiteral("/KSEF/") + number + QStringLiteral("-UPO.xml")).contains(number.toUtf8()));
    EXPECT_TRUE(received.value(QStringLiteral("xml")).toString().contains(QStringLiteral("<P_1M>Łódź</P_1M>")));
    EXPECT_TRUE(office.queued().isEmpty()) << office.queued().join(u' ').toStdString();
    EXPECT_FALSE(QFile::exists(office.jobs + QStringLiteral("/FV42.txt")));
    EXPECT_TRUE(office.journal().contains(number)) << office.journal().toStdString();
    // The buyer's copy: its code leads to the invoice in KSeF, with the number under it.
    const QString pdf = office.jobs + QStringLiteral("/PDF/FV42.pdf");
    const QByteArray hash = QCryptographicHash::hash(received.value(QStringLiteral("xml")).toString().toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    EXPECT_EQ(DecodeQrInPdf(pdf, 1), QStringList{QStringLiteral("https://qr-test.ksef.mf.gov.pl/invoice/5265877635/01-12-2026/")
                                                  + QString::fromLatin1(hash)});
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(number)) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("OFFLINE"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Łódź"))) << text.toStdString();
    EXPECT_FALSE(office.journal().contains(QLatin1StringView(KsefStandIn::Token).left(40)));

    // The same invoice written again: KSeF knows it, and the office gets the first number.
    office.job(QStringLiteral("FV42B"), InvoiceJob("FV/2026/12/0042"));
    office.runOnce();
    EXPECT_EQ(NumberIn(office.result(QStringLiteral("FV42B"))), number) << office.result(QStringLiteral("FV42B")).constData();
    // The date is the first one's, from its UPO: the duplicate's answer gives none.
    const auto acquired = [](const QByteArray &lines) {
        return QDateTime::fromString(QString::fromLatin1(lines.split('\n').value(2).trimmed().mid(10)), Qt::ISODateWithMs);
    };
    EXPECT_TRUE(acquired(result).isValid()) << result.constData();
    // (The UPO writes it to the millisecond, the status answer may write it finer.)
    EXPECT_LE(std::abs(acquired(office.result(QStringLiteral("FV42B"))).msecsTo(acquired(result))), 1)
        << office.result(QStringLiteral("FV42B")).constData();
    EXPECT_EQ(AcceptedCount(ksef), 1);
}

TEST(KsefJob, AWrongJobOrAMissingSetUpSendsNothing)
{
    KsefStandIn ksef;
    ASSERT_TRUE(ksef.running()) << ksef.service->failure().toStdString();
    Office office;
    office.settings(ksef.baseUrl());
    office.job(QStringLiteral("SUMA"), InvoiceJob("FV/1", "651,00"));
    office.runOnce();
    const QByteArray wrong = office.result(QStringLiteral("SUMA"));
    EXPECT_TRUE(wrong.startsWith("error=ZADANIE\r\nOPIS=")) << wrong.constData();
    EXPECT_TRUE(wrong.contains("WARTOSC=651,00")) << wrong.constData();

    // A token file others may read is refused before anything goes.
    ::chmod(QFile::encodeName(office.home.filePath(QStringLiteral("ksef-token"))).constData(), 0644);
    office.job(QStringLiteral("TOKEN"), InvoiceJob("FV/2"));
    office.runOnce();
    EXPECT_TRUE(office.result(QStringLiteral("TOKEN")).startsWith("error=KONFIGURACJA\r\nOPIS=")) << office.result(QStringLiteral("TOKEN")).constData();

    office.settings(ksef.baseUrl(), QByteArray());
    office.job(QStringLiteral("BRAK"), InvoiceJob("FV/3"));
    office.runOnce();
    EXPECT_TRUE(office.result(QStringLiteral("BRAK")).startsWith("error=KONFIGURACJA\r\nOPIS=KSeF nie jest ustawiony"))
        << office.result(QStringLiteral("BRAK")).constData();

    EXPECT_TRUE(office.queued().isEmpty());
    EXPECT_TRUE(ksef.state().value(QStringLiteral("invoices")).toArray().isEmpty());
}

// KSeF out of reach: the invoice stands issued offline, with its deadline, KOD II signed by
// the office's offline certificate on the buyer's copy and a journal line; it goes with
// offlineMode at the next run that reaches KSeF.
TEST(KsefJob, AnInvoiceIssuedWhileKsefIsOutOfReachIsOfflineAndGoesAtTheNextRun)
{
    Office office;
    const OfflineCertificate certificate = MakeOfflineCertificate(office.home.path());
    const QByteArray offline = "CertyfikatOffline=offline.pem\r\nKluczOffline=offline.key\r\n";
    {
        // A port where nothing listens any more.
        KsefStandIn gone;
        ASSERT_TRUE(gone.running());
        office.settings(gone.baseUrl(), "test", offline);
    }
    office.job(QStringLiteral("FV7"), InvoiceJob("FV/2026/12/0007", "650,00", "PDF_FILE=FV7.pdf\r\n"));
    office.runOnce();
    const QByteArray waiting = office.result(QStringLiteral("FV7"));
    // Issued on Tuesday 1 December: KSeF must have it by Wednesday.
    EXPECT_TRUE(waiting.startsWith("error=OFFLINE\r\nTERMIN=2026-12-02\r\nOPIS=")) << waiting.constData();
    const QString pdf = office.jobs + QStringLiteral("/PDF/FV7.pdf");
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("OFFLINE"))) << "no KSeF number yet";
    EXPECT_TRUE(text.contains(QStringLiteral("CERTYFIKAT"))) << text.toStdString();
    const QStringList codes = DecodeQrInPdf(pdf, 1, 300);
    ASSERT_EQ(codes.size(), 2) << codes.join(u' ').toStdString();
    const QString kod2 = codes.filter(QStringLiteral("/certificate/")).value(0);
    EXPECT_TRUE(kod2.startsWith(QStringLiteral("https://qr-test.ksef.mf.gov.pl/certificate/Nip/5265877635/5265877635/"
                                               "01F20A5D352AE590/")))
        << kod2.toStdString();
    EXPECT_TRUE(SignatureHolds(kod2.toLatin1(), certificate, office.home.path())) << kod2.toStdString();
    EXPECT_EQ(office.queued().size(), 1);
    EXPECT_FALSE(QFile::exists(office.jobs + QStringLiteral("/FV7.txt"))) << "the queue holds it now";
    EXPECT_TRUE(office.journal().contains(QStringLiteral("wystawiona w trybie offline"))) << office.journal().toStdString();

    // Still out of reach, past its deadline: the journal says so.
    office.runOnce();
    EXPECT_TRUE(office.journal().contains(QStringLiteral("termin minął 2026-12-02"))) << office.journal().toStdString();

    KsefStandIn ksef;
    ASSERT_TRUE(ksef.running());
    office.settings(ksef.baseUrl(), "test", offline);
    office.runOnce();
    const QByteArray result = office.result(QStringLiteral("FV7"));
    EXPECT_TRUE(result.startsWith("error=OK\r\nNR_KSEF=")) << result.constData();
    const QJsonObject received = ksef.state().value(QStringLiteral("invoices")).toArray().first().toObject();
    EXPECT_TRUE(received.value(QStringLiteral("offline")).toBool()) << "sent with offlineMode";
    // Its KOD II is of the very file KSeF holds.
    const QByteArray hash = QCryptographicHash::hash(received.value(QStringLiteral("xml")).toString().toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    EXPECT_TRUE(kod2.contains(QString::fromLatin1(hash))) << kod2.toStdString();
    const QString accepted = PdfText(pdf);
    EXPECT_TRUE(accepted.contains(NumberIn(result))) << "written again with its number";
    EXPECT_TRUE(accepted.contains(QStringLiteral("CERTYFIKAT"))) << "still an invoice issued offline";
    EXPECT_TRUE(office.queued().isEmpty());
    EXPECT_EQ(AcceptedCount(ksef), 1);
}

// Without an offline certificate the invoices still wait, offline, and the journal says
// their copy has no KOD II.
TEST(KsefJob, AnOfflineInvoiceWithoutACertificateSaysItHasNoKodII)
{
    Office office;
    {
        KsefStandIn gone;
        ASSERT_TRUE(gone.running());
        office.settings(gone.baseUrl());
    }
    office.job(QStringLiteral("FV6"), InvoiceJob("FV/2026/12/0006", "650,00", "PDF_FILE=FV6.pdf\r\n"));
    office.job(QStringLiteral("FV5"), InvoiceJob("FV/2026/12/0005"));
    office.runOnce();
    EXPECT_TRUE(office.result(QStringLiteral("FV6")).startsWith("error=OFFLINE\r\nTERMIN=")) << office.result(QStringLiteral("FV6")).constData();
    // The one behind it in the queue cannot go either: it is offline too.
    EXPECT_TRUE(office.result(QStringLiteral("FV5")).startsWith("error=OFFLINE\r\nTERMIN=")) << office.result(QStringLiteral("FV5")).constData();
    EXPECT_EQ(DecodeQrInPdf(office.jobs + QStringLiteral("/PDF/FV6.pdf"), 1).size(), 1);
    EXPECT_TRUE(office.journal().contains(QStringLiteral("nie ma kodu KOD II"))) << office.journal().toStdString();
}

TEST(KsefJob, AnAnswerLostAfterKsefTookTheInvoiceNeverMakesASecondOne)
{
    KsefStandIn ksef;
    ASSERT_TRUE(ksef.running());
    Office office;
    office.settings(ksef.baseUrl());
    ksef.control(R"({"fault": "drop", "after": true, "path": "/invoices$", "method": "POST"})");
    office.job(QStringLiteral("FV8"), InvoiceJob("FV/2026/12/0008"));
    office.runOnce();
    office.runOnce(); // whatever the first run could not finish
    const QByteArray result = office.result(QStringLiteral("FV8"));
    EXPECT_TRUE(result.startsWith("error=OK\r\nNR_KSEF=")) << result.constData();
    EXPECT_EQ(AcceptedCount(ksef), 1);
    EXPECT_TRUE(office.queued().isEmpty());
}

TEST(KsefJob, AnInvoiceKsefRefusesLeavesTheQueueWithKsefsReason)
{
    KsefStandIn ksef;
    ASSERT_TRUE(ksef.running());
    Office office;
    office.settings(ksef.baseUrl());
    ksef.control(R"({"invoiceOutcome": 450, "details": ["Nieprawidlowa data"]})");
    office.job(QStringLiteral("FV9"), InvoiceJob("FV/2026/12/0009"));
    office.runOnce();
    const QByteArray result = office.result(QStringLiteral("FV9"));
    EXPECT_TRUE(result.startsWith("error=450\r\nOPIS=")) << result.constData();
    EXPECT_TRUE(office.queued().isEmpty());
    EXPECT_EQ(AcceptedCount(ksef), 0);
    EXPECT_FALSE(QDir(office.jobs + QStringLiteral("/KSEF")).exists());
}

TEST(KsefJob, CheckShowsTheInvoiceAsItWouldGoOrTheLineThatIsWrong)
{
    Office office;
    office.settings("http://127.0.0.1:9/v2");
    const QString good = office.home.filePath(QStringLiteral("FV.txt"));
    const QString bad = office.home.filePath(QStringLiteral("ZLE.txt"));
    WriteFile(good, InvoiceJob("FV/2026/12/0001"));
    WriteFile(bad, InvoiceJob("FV/2026/12/0002", "600,00"));
    const auto check = [&](const QString &job, int &code) {
        QProcess ostrevo;
        ostrevo.start(OstrevoBinary(), {QStringLiteral("--home"), office.home.path(), QStringLiteral("--check"), job});
        EXPECT_TRUE(ostrevo.waitForFinished(60000));
        code = ostrevo.exitCode();
        return QString::fromUtf8(ostrevo.readAllStandardOutput() + ostrevo.readAllStandardError());
    };
    int code = -1;
    const QString report = check(good, code);
    EXPECT_EQ(code, 0) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Rodzaj: faktura do KSeF (jkKsef)"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Stawka 23: netto 650.00, VAT 149.50"))) << report.toStdString();
    EXPECT_TRUE(report.contains(QStringLiteral("Schemat FA(3): plik zgodny"))) << report.toStdString();
    const QString refused = check(bad, code);
    EXPECT_EQ(code, 6) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QStringLiteral("wiersz 20: WARTOSC=600,00: ILOSC × CENA daje 650.00"))) << refused.toStdString();
}

// A printout or a <PDF> job names an invoice sent earlier by its KSeF number: its KOD I is
// drawn where the tag stands, with the number under it; an invoice this directory never
// sent fails the job instead of printing it without its code.
TEST(KsefJob, APrintoutCarriesTheCodeOfAnInvoiceSentEarlier)
{
    KsefStandIn ksef;
    ASSERT_TRUE(ksef.running());
    Office office;
    const QString printed = office.home.filePath(QStringLiteral("out"));
    office.settings(ksef.baseUrl(), "test", "[DrukarkaPDF]\r\nKatalog=" + printed.toUtf8() + "\r\n");
    office.job(QStringLiteral("FV50"), InvoiceJob("FV/2026/12/0050"));
    office.runOnce();
    const QString number = NumberIn(office.result(QStringLiteral("FV50")));
    ASSERT_TRUE(IsKsefNumber(number)) << office.result(QStringLiteral("FV50")).constData();
    const QByteArray xml = ReadFile(office.jobs + QStringLiteral("/KSEF/") + number + QStringLiteral(".xml"));
    const QString address = QStringLiteral("https://qr-test.ksef.mf.gov.pl/invoice/5265877635/01-12-2026/")
                            + QString::fromLatin1(QCryptographicHash::hash(xml, QCryptographicHash::Sha256)
                                                      .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));

    const QByteArray lines = "Faktura FV/2026/12/0050  <KSEF:" + number.toLatin1() + "> do zap\x88" "aty\r\n\r\n\r\n\r\n\r\n\r\n\r\n"
                             "Dzi\xa9kujemy\r\n";
    office.job(QStringLiteral("KOD"), "<PDF>\r\nPDF_FILE=kod.pdf\r\n<END>\r\n" + lines);
    office.job(QStringLiteral("WYDRUK"), lines);
    const QByteArray prefix = "5265877635-20261201-0100A0D6723E";
    const QByteArray foreign = prefix + '-' + QByteArray::number(KsefCrc8(prefix), 16).toUpper().rightJustified(2, '0');
    ASSERT_TRUE(IsKsefNumber(QString::fromLatin1(foreign)));
    office.job(QStringLiteral("OBCA"), "<PDF>\r\nPDF_FILE=obca.pdf\r\n<END>\r\n<KSEF:" + foreign + ">\r\n");
    office.runOnce();

    for (const QString &pdf : {office.jobs + QStringLiteral("/PDF/kod.pdf"), printed + QStringLiteral("/WYDRUK.pdf")}) {
        EXPECT_EQ(DecodeQrInPdf(pdf, 1), QStringList{address}) << pdf.toStdString();
        const QString text = PdfText(pdf);
        EXPECT_TRUE(text.contains(number)) << text.toStdString();
        // What follows the tag stands beside the code, and the lines after it are the job's.
        EXPECT_TRUE(text.contains(QStringLiteral("do zapłaty"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Dziękujemy"))) << text.toStdString();
    }
    EXPECT_FALSE(QFile::exists(office.jobs + QStringLiteral("/PDF/obca.pdf")));
    EXPECT_TRUE(office.journal().contains(QStringLiteral("kod QR faktury ") + QString::fromLatin1(foreign)))
        << office.journal().toStdString();
}
