#include "net/NetServices.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace ostrevo::test {

FtpServer::FtpServer()
    : service(std::make_unique<PythonService>(QStringLiteral("ftpd.py"),
                                              QStringList{rootDir.path(), QStringLiteral("jan"), QStringLiteral("tajne")}))
{
}

QByteArray SmtpProgramSettings(const QString &jobs, int port)
{
    return "[Opcje]\r\nKatalog=" + jobs.toUtf8() + "\r\nDrukarka=Ostrevo PDF\r\nTimer=1\r\n"
           "[Mail]\r\nPoczta=1\r\nServerName=127.0.0.1\r\nServerPort=" + QByteArray::number(port)
           + "\r\nUserName=biuro@ostrevo.test\r\n";
}

SmtpServer::SmtpServer(const QStringList &options)
    : service(std::make_unique<PythonService>(QStringLiteral("smtpd.py"), QStringList{out.path()} + options))
{
}

QStringList SmtpServer::messages() const
{
    QStringList names = QDir(out.path()).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    for (QString &name : names)
        name = out.path() + u'/' + name;
    return names;
}

TestCertificate::TestCertificate()
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), key(), QStringLiteral("-out"), cert()});
    made = openssl.waitForFinished(30000) && openssl.exitCode() == 0 && QFile::exists(cert());
}

JobPlace::JobPlace()
{
    context.currentJobDir = dir.path();
    context.settings = &settings;
    context.status = [this](const QString &text) { statusTexts.append(text); };
}

QString JobPlace::job(const QString &name, const QByteArray &bytes) const
{
    const QString file = path(name);
    WriteFile(file, bytes);
    return file;
}

} // namespace ostrevo::test
