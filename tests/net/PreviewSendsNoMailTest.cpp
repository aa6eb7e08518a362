// A preview of jobs that mail: with a real SMTP server listening and the settings pointing
// at it, ostrevo --preview and --check send nothing, queue nothing and write no result.

#include "net/NetServices.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

using namespace ostrevo::test;

namespace {

TEST(PreviewSendsNoMail, PdfJobWithAnAddressAndMailJob)
{
    SmtpServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    QTemporaryDir home;
    QTemporaryDir runtime;
    const QString jobs = home.filePath(QStringLiteral("jobs"));
    QDir().mkpath(jobs);
    WriteFile(home.filePath(QStringLiteral("Ostrevo.ini")), SmtpProgramSettings(jobs, server.port()));
    WriteFile(jobs + QStringLiteral("/FV.txt"), "<PDF>\r\nPDF_FILE=FV.pdf\r\nA_MAIL=klient@firma.pl\r\nT_MAIL=Faktura\r\n"
                                               "<END>\r\nFaktura\r\n<MAIL_BODY>\r\nW za\x88\x86" "czniku\r\n<END>\r\n");
    WriteFile(jobs + QStringLiteral("/FV.END"), {});
    WriteFile(jobs + QStringLiteral("/LIST.txt"), "<MAIL>\r\nT_MAIL=x\r\n<END>\r\n<LISTA>\r\nklient@firma.pl\r\n<END>\r\n");
    WriteFile(jobs + QStringLiteral("/LIST.END"), {});

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    auto run = [&](const QStringList &args) {
        QProcess ostrevo;
        ostrevo.setProcessEnvironment(env);
        ostrevo.start(OstrevoBinary(), QStringList{QStringLiteral("--home"), home.path()} + args);
        EXPECT_TRUE(ostrevo.waitForFinished(60000));
        return std::pair(ostrevo.exitCode(), QString::fromUtf8(ostrevo.readAllStandardOutput()));
    };
    const auto [pdfCode, pdfReport] = run({QStringLiteral("--preview"), jobs + QStringLiteral("/FV.txt")});
    EXPECT_EQ(pdfCode, 0) << pdfReport.toStdString();
    EXPECT_TRUE(pdfReport.contains(QStringLiteral("Poczta: do klient@firma.pl, temat „Faktura”, własnym klientem SMTP "
                                                  "przez 127.0.0.1 (podgląd niczego nie wysyła)")))
        << pdfReport.toStdString();
    const auto [mailCode, mailReport] = run({QStringLiteral("--check"), jobs + QStringLiteral("/LIST.txt")});
    EXPECT_EQ(mailCode, 5) << mailReport.toStdString();

    // The previews have ended: a message they had sent would be on the server already (it
    // stores a message before it answers), and one they had queued would be in the spool.
    EXPECT_TRUE(server.messages().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(home.filePath(QStringLiteral("poczta"))));
    EXPECT_FALSE(QFileInfo::exists(jobs + QStringLiteral("/Errors")));
    EXPECT_FALSE(QFileInfo::exists(jobs + QStringLiteral("/PDF")));
    QStringList left = QDir(jobs).entryList(QDir::Files, QDir::Name);
    EXPECT_TRUE(QFileInfo::exists(home.filePath(QStringLiteral("cache/ostrevo/podglad/FV-podglad.pdf"))));
    EXPECT_EQ(left, QStringList({QStringLiteral("FV.END"), QStringLiteral("FV.txt"),
                                 QStringLiteral("LIST.END"), QStringLiteral("LIST.txt")}));
}

} // namespace
