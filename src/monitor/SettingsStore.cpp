#include "monitor/SettingsStore.h"

#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "monitor/IniFile.h"
#include "handling/Scramble.h"

#include <QRegularExpression>

namespace ostrevo {

namespace {

const QByteArray Opcje = QByteArrayLiteral("Opcje");
const QByteArray Mail = QByteArrayLiteral("Mail");
const QByteArray Duplex = QByteArrayLiteral("Duplex");
const QByteArray Dyski = QByteArrayLiteral("Dyski");
const QByteArray DrukarkaPdf = QByteArrayLiteral("DrukarkaPDF");

// The legacy scrambling loses non-ASCII bytes and a "~" (it comes back as a space). Such a
// password is also kept here, as scrambled hex of its UTF-8 bytes; it is used only while
// it still matches ServerPassword, so an edit of ServerPassword alone wins.
const QByteArray ServerPasswordUtf8 = QByteArrayLiteral("ServerPasswordUtf8");

std::optional<qlonglong> Number(const IniFile &ini, const QByteArray &section, const QByteArray &key)
{
    const auto raw = ini.value(section, key);
    if (!raw)
        return std::nullopt;
    bool ok = false;
    const qlonglong n = raw->trimmed().toLongLong(&ok, 10);
    return ok ? std::optional(n) : std::nullopt;
}

int Integer(const IniFile &ini, const QByteArray &section, const QByteArray &key, int fallback)
{
    const auto n = Number(ini, section, key);
    return n && *n >= INT_MIN && *n <= INT_MAX ? int(*n) : fallback;
}

bool Boolean(const IniFile &ini, const QByteArray &section, const QByteArray &key, bool fallback)
{
    const auto n = Number(ini, section, key);
    return n ? *n != 0 : fallback;
}

void SetInteger(IniFile &ini, const QByteArray &section, const QByteArray &key, int value)
{
    ini.setValue(section, key, QByteArray::number(value));
}

void SetBoolean(IniFile &ini, const QByteArray &section, const QByteArray &key, bool value)
{
    ini.setValue(section, key, value ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
}

bool IsDriveKey(const QByteArray &key)
{
    return key.size() == 1 && ((key[0] >= 'A' && key[0] <= 'Z') || (key[0] >= 'a' && key[0] <= 'z'));
}

QString ReadPassword(const IniFile &ini)
{
    const QByteArray stored = ini.value(Mail, "ServerPassword", {});
    if (const auto extra = ini.value(Mail, ServerPasswordUtf8)) {
        const QByteArray hex = UnscramblePassword(*extra);
        const QString candidate = QString::fromUtf8(QByteArray::fromHex(hex));
        if (ScramblePassword(UnicodeToWin1250(candidate)) == stored)
            return candidate;
    }
    return Win1250ToUnicode(UnscramblePassword(stored));
}

void WritePassword(IniFile &ini, const QString &password)
{
    const QByteArray bytes = UnicodeToWin1250(password);
    ini.setValue(Mail, "ServerPassword", ScramblePassword(bytes));
    if (FitsWin1250(password) && SurvivesScrambling(bytes))
        ini.removeKey(Mail, ServerPasswordUtf8);
    else
        ini.setValue(Mail, ServerPasswordUtf8, ScramblePassword(password.toUtf8().toHex()));
}

int ReadPort(const IniFile &ini)
{
    const int port = Integer(ini, Mail, "ServerPort", 25);
    return port >= 1 && port <= 65535 ? port : 25;
}

// Empty or unknown values keep the defaults; a base address loses its trailing "/", as
// the paths that follow it start with one.
void ReadRateSettings(const IniFile &ini, RateSettings &rates)
{
    const QByteArray section = QByteArrayLiteral("Waluty");
    const QString source = ini.string(section, "Zrodlo").trimmed().toLower();
    if (source == QStringLiteral("pliki"))
        rates.zrodlo = RateSettings::Files;
    else if (source == QStringLiteral("api"))
        rates.zrodlo = RateSettings::Api;
    const auto base = [&](const QByteArray &key, QString &value) {
        QString text = ini.string(section, key).trimmed();
        while (text.endsWith(u'/'))
            text.chop(1);
        if (!text.isEmpty())
            value = text;
    };
    base("Serwer", rates.serwer);
    base("SerwerApi", rates.serwerApi);
}

bool IsPortSection(const QByteArray &name)
{
    static const QRegularExpression port(QStringLiteral("^(LPT|COM)[1-9][0-9]?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    return port.match(QString::fromLatin1(name)).hasMatch();
}

// An optional whole number within its range; the problem when it is something else.
QString ReadBounded(const IniFile &ini, const QByteArray &section, const char *key, int low, int high, int &value)
{
    const QByteArray raw = ini.value(section, key, {}).trimmed();
    if (raw.isEmpty())
        return {};
    bool ok = false;
    const int n = raw.toInt(&ok, 10);
    if (!ok || n < low || n > high)
        return QStringLiteral("%1=%2: dozwolona liczba od %3 do %4")
            .arg(QString::fromLatin1(key), ini.string(section, key).trimmed())
            .arg(low)
            .arg(high);
    value = n;
    return {};
}

PortSettings ReadPort(const IniFile &ini, const QByteArray &section)
{
    PortSettings port;
    port.name = QString::fromLatin1(section);
    port.katalog = ini.string(section, "Katalog").trimmed();
    port.drukarka = ini.string(section, "Drukarka").trimmed();
    port.katalogPdf = ini.string(section, "KatalogPDF").trimmed();
    port.mail = ini.string(section, "Mail").trimmed();
    QStringList problems;
    if (port.katalog.isEmpty())
        problems.append(QStringLiteral("brak Katalog (katalogu portu)"));
    const QString codePage = ini.string(section, "Kodowanie").trimmed().toLower();
    static const QStringList CodePages = {QStringLiteral("852"), QStringLiteral("mazowia"), QStringLiteral("437"),
                                          QStringLiteral("1250"), QStringLiteral("auto")};
    if (CodePages.contains(codePage))
        port.kodowanie = codePage;
    else if (!codePage.isEmpty())
        problems.append(QStringLiteral("Kodowanie=%1: dozwolone %2").arg(codePage, CodePages.join(QStringLiteral(", "))));
    int open = 0;
    for (const QString &problem : {ReadBounded(ini, section, "Otworz", 0, 1, open),
                                   ReadBounded(ini, section, "Wiersze", 0, 127, port.wiersze),
                                   ReadBounded(ini, section, "Cisza", 0, 600000, port.cisza)}) {
        if (!problem.isEmpty())
            problems.append(problem);
    }
    port.otworz = open == 1;
    if (!port.mail.isEmpty() && !port.mail.contains(u'@'))
        problems.append(QStringLiteral("Mail=%1 nie jest adresem poczty").arg(port.mail));
    port.problem = problems.join(QStringLiteral("; "));
    return port;
}

void ReadPorts(const IniFile &ini, QList<PortSettings> &ports)
{
    QList<QByteArray> seen;
    for (const QByteArray &section : ini.sections()) {
        // The first of two sections of one name counts, as for every section.
        if (!IsPortSection(section) || seen.contains(section.toUpper()))
            continue;
        seen.append(section.toUpper());
        ports.append(ReadPort(ini, section));
    }
}

} // namespace

SettingsStore::SettingsStore(QString iniPath) : m_path(std::move(iniPath)) {}

Settings SettingsStore::fromIni(const IniFile &ini)
{
    Settings s;
    s.katalog = ini.string(Opcje, "Katalog", s.katalog);
    s.drukarka = ini.string(Opcje, "Drukarka", s.drukarka);
    s.monitorowanie2 = Boolean(ini, Opcje, "Monitorowanie2", s.monitorowanie2);
    s.katalog2 = ini.string(Opcje, "Katalog2", s.katalog2);
    s.drukarka2 = ini.string(Opcje, "Drukarka2", s.drukarka2);
    s.autoRun = Boolean(ini, Opcje, "AutoRun", s.autoRun);
    s.ground = Boolean(ini, Opcje, "Ground", s.ground);
    s.clear = Boolean(ini, Opcje, "Clear", s.clear);
    s.clearFtp = Boolean(ini, Opcje, "ClearFTP", s.clearFtp);
    s.clearPdf = Boolean(ini, Opcje, "ClearPDF", s.clearPdf);
    s.clearErrors = Boolean(ini, Opcje, "ClearERRORS", s.clearErrors);
    s.clearMail = Boolean(ini, Opcje, "ClearMAIL", s.clearMail);
    s.clearDownload = Boolean(ini, Opcje, "ClearDownload", s.clearDownload);
    s.timer = Integer(ini, Opcje, "Timer", s.timer);
    s.monitorowanie = Boolean(ini, Opcje, "Monitorowanie", s.monitorowanie);
    s.passive = Boolean(ini, Opcje, "Passive", s.passive);

    s.mail.serverName = ini.string(Mail, "ServerName");
    s.mail.serverPort = ReadPort(ini);
    s.mail.serverUser = ini.string(Mail, "ServerUser");
    s.mail.serverPassword = ReadPassword(ini);
    s.mail.smtpAuthenticationType = Integer(ini, Mail, "SMTPAuthenticationType", s.mail.smtpAuthenticationType);
    s.mail.userName = ini.string(Mail, "UserName");
    s.mail.poczta = Integer(ini, Mail, "Poczta", s.mail.poczta);
    s.mail.sendmail = ini.string(Mail, "Sendmail");
    s.mail.caFile = ini.string(Mail, "CAFile");
    s.mail.clearTextAllowed = ini.string(Mail, "Szyfrowanie").trimmed().compare(QStringLiteral("brak"), Qt::CaseInsensitive) == 0;

    s.kartka = Integer(ini, Duplex, "Kartka", s.kartka);

    for (const QByteArray &key : ini.keys(Dyski)) {
        const QString dir = ini.string(Dyski, key);
        if (IsDriveKey(key) && !dir.isEmpty())
            s.drives.insert(QChar(char16_t(key.toUpper().at(0))), dir);
    }
    s.pdfPrinterDir = ini.string(DrukarkaPdf, "Katalog");
    s.notifyFailures = Boolean(ini, "Powiadomienia", "Bledy", s.notifyFailures);
    ReadRateSettings(ini, s.waluty);
    s.ksef.environment = ini.string("KSeF", "Srodowisko").trimmed().toLower();
    s.ksef.address = ini.string("KSeF", "Adres").trimmed();
    s.ksef.nip = ini.string("KSeF", "NIP").trimmed();
    s.ksef.tokenFile = ini.string("KSeF", "Token").trimmed();
    s.ksef.caFile = ini.string("KSeF", "CAFile").trimmed();
    s.ksef.offlineCertificate = ini.string("KSeF", "CertyfikatOffline").trimmed();
    s.ksef.offlineKey = ini.string("KSeF", "KluczOffline").trimmed();
    const int limit = Integer(ini, "Siec", "LimitCzasu", s.netLimitSeconds);
    s.netLimitSeconds = limit >= 0 ? limit : s.netLimitSeconds;
    ReadPorts(ini, s.ports);
    return s;
}

void SettingsStore::toIni(const Settings &s, IniFile &ini)
{
    ini.setString(Opcje, "Katalog", s.katalog);
    ini.setString(Opcje, "Drukarka", s.drukarka);
    SetBoolean(ini, Opcje, "Monitorowanie2", s.monitorowanie2);
    ini.setString(Opcje, "Katalog2", s.katalog2);
    ini.setString(Opcje, "Drukarka2", s.drukarka2);
    SetBoolean(ini, Opcje, "AutoRun", s.autoRun);
    SetBoolean(ini, Opcje, "Ground", s.ground);
    SetBoolean(ini, Opcje, "Clear", s.clear);
    SetBoolean(ini, Opcje, "ClearFTP", s.clearFtp);
    SetBoolean(ini, Opcje, "ClearPDF", s.clearPdf);
    SetBoolean(ini, Opcje, "ClearERRORS", s.clearErrors);
    SetBoolean(ini, Opcje, "ClearMAIL", s.clearMail);
    SetBoolean(ini, Opcje, "ClearDownload", s.clearDownload);
    SetInteger(ini, Opcje, "Timer", s.timer);
    SetBoolean(ini, Opcje, "Monitorowanie", s.monitorowanie);
    SetBoolean(ini, Opcje, "Passive", s.passive);
    ini.setString(Opcje, "Version", ProgramVersion);

    ini.setString(Mail, "ServerName", s.mail.serverName);
    SetInteger(ini, Mail, "ServerPort", s.mail.serverPort);
    ini.setString(Mail, "ServerUser", s.mail.serverUser);
    WritePassword(ini, s.mail.serverPassword);
    SetInteger(ini, Mail, "SMTPAuthenticationType", s.mail.smtpAuthenticationType);
    ini.setString(Mail, "UserName", s.mail.userName);
    SetInteger(ini, Mail, "Poczta", s.mail.poczta);

    SetInteger(ini, Duplex, "Kartka", s.kartka);

    // [Mail] Sendmail and CAFile, [Dyski], [DrukarkaPDF], [Waluty], [KSeF] and the ports ([LPT1]...) are edited by hand only: the program never writes them, so
    // an edit made while it runs survives its next write.
}

Settings SettingsStore::read()
{
    m_readError.clear();
    try {
        return fromIni(IniFile::load(m_path));
    } catch (const IoError &e) {
        m_readError = e.message();
        return {};
    }
}

void SettingsStore::write(const Settings &s)
{
    IniFile ini = IniFile::load(m_path);
    toIni(s, ini);
    ini.save(m_path);
}

} // namespace ostrevo
