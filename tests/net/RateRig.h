#pragma once

// The exchange-rate tests' world: the bank's servers (tests/services/ratesd.py) serving a
// directory of files and a list of API tables, workbooks written by xlwt, and the tables
// read back by dbfread.

#include "net/NetServices.h"
#include "net/TDM.h"

#include <QDate>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <memory>

namespace ostrevo::test {

struct RateServer {
    QTemporaryDir rootDir;
    QTemporaryDir logDir;
    std::unique_ptr<PythonService> service;
    RateServer()
        : service(std::make_unique<PythonService>(
              QStringLiteral("ratesd.py"), QStringList{rootDir.path(), logDir.path() + QStringLiteral("/requests")}))
    {
    }
    QString root() const { return rootDir.path(); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(service->port()); }
    void put(const QString &path, const QByteArray &bytes) const
    {
        const QString file = root() + u'/' + path;
        QDir().mkpath(QFileInfo(file).path());
        WriteFile(file, bytes);
    }
    void remove(const QString &path) const { QFile::remove(root() + u'/' + path); }
    // Faults: path -> status number, "close" or "body:TEXT".
    void faults(const QJsonObject &faults) const { put(QStringLiteral("faults.json"), QJsonDocument(faults).toJson()); }
    // The request paths since the last call.
    QStringList requests() const
    {
        const QString log = logDir.path() + QStringLiteral("/requests");
        const QStringList lines = QString::fromUtf8(ReadFile(log)).split(u'\n', Qt::SkipEmptyParts);
        QFile::remove(log);
        return lines;
    }
};

// Runs a helper of tests/services with /usr/bin/python3; its standard output.
inline QByteArray RunPython(const QString &script, const QStringList &arguments, bool *ok = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/python3"), QStringList{ServicesPath(script)} + arguments);
    const bool finished = process.waitForFinished(60000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return process.readAllStandardOutput() + process.readAllStandardError();
}

// The table as dbfread sees it (see dbfdump.py); empty when it cannot be read.
inline QJsonObject DumpTable(const QString &path)
{
    bool ok = false;
    const QByteArray out = RunPython(QStringLiteral("dbfdump.py"), {path}, &ok);
    return ok ? QJsonDocument::fromJson(out).object() : QJsonObject();
}

inline QStringList FieldNames(const QJsonObject &dump)
{
    QStringList names;
    for (const QJsonValue &field : dump.value(QStringLiteral("fields")).toArray())
        names.append(field.toArray().at(0).toString());
    return names;
}

// Row `row` as texts (dbfread gives character fields with their blanks cut).
inline QStringList Row(const QJsonObject &dump, int row)
{
    QStringList values;
    for (const QJsonValue &value : dump.value(QStringLiteral("rows")).toArray().at(row).toArray())
        values.append(value.toString());
    return values;
}

inline int RowCount(const QJsonObject &dump)
{
    return int(dump.value(QStringLiteral("rows")).toArray().size());
}

// A workbook from sheets {"name", "rows"} (see xlsbook.py); false when xlwt failed.
inline bool MakeWorkbook(const QString &out, const QJsonArray &sheets)
{
    QTemporaryDir dir;
    const QString description = dir.path() + QStringLiteral("/book.json");
    WriteFile(description, QJsonDocument(sheets).toJson());
    bool ok = false;
    RunPython(QStringLiteral("xlsbook.py"), {out, description}, &ok);
    return ok;
}

struct XmlRate {
    QByteArray name;
    QByteArray multiplier;
    QByteArray code;
    QByteArray rate;
};

// A daily table file as the bank writes it: ISO-8859-2, one tag a line, CR LF.
inline QByteArray DailyXml(int number, const QDate &date, const QList<XmlRate> &rates)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\r\n<tabela_kursow typ=\"A\">\r\n"
                     "   <numer_tabeli>"
        + QByteArray::number(number) + "/A/NBP/" + QByteArray::number(date.year()) + "</numer_tabeli>\r\n"
        + "   <data_publikacji>" + date.toString(Qt::ISODate).toLatin1() + "</data_publikacji>\r\n";
    for (const XmlRate &rate : rates)
        xml += "   <pozycja>\r\n      <nazwa_waluty>" + rate.name + "</nazwa_waluty>\r\n      <przelicznik>"
            + rate.multiplier + "</przelicznik>\r\n      <kod_waluty>" + rate.code + "</kod_waluty>\r\n      <kurs_sredni>"
            + rate.rate + "</kurs_sredni>\r\n   </pozycja>\r\n";
    return xml + "</tabela_kursow>\r\n";
}

// The page of the latest table with its header line.
inline QByteArray LatestPage(const QByteArray &header)
{
    return "<html>\r\n<head><title>Kursy walut</title></head>\r\n<body>\r\n<table>\r\n<tr>\r\n"
           "<td class=\"nag\"><b>" + header + "</b></td>\r\n</tr>\r\n</table>\r\n</body>\r\n</html>\r\n";
}

} // namespace ostrevo::test
