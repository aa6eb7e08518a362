#include "net/rates/RateJob.h"

#include "handling/OutputPlace.h"

#include "handling/ResultFile.h"
#include "jobs/DosPath.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "net/HttpClient.h"
#include "net/rates/LatestTablePage.h"
#include "net/rates/RateApi.h"
#include "net/rates/RateCalendar.h"
#include "net/rates/DbfTable.h"
#include "net/rates/IsolatedConversion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ostrevo {

namespace {

using PartOutcome = TRateJob::PartOutcome;

PartOutcome Success()
{
    return {};
}

PartOutcome Failure(QString why)
{
    return {true, std::move(why), false};
}

PartOutcome Interrupted()
{
    return {true, QStringLiteral("przerwane: program jest zamykany"), true};
}

// A number of the job as the legacy program read it: decimal, or 0.
int JobNumber(const QByteArray &value)
{
    bool ok = false;
    const int number = value.trimmed().toInt(&ok, 10);
    return ok ? number : 0;
}

QString YearText(int year)
{
    return QString::number(year).rightJustified(4, u'0');
}

QByteArray ReadAndRemove(const QString &path)
{
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    QFile::remove(path);
    return bytes;
}

} // namespace

void WriteRateResult(const QString &path, bool failed)
{
    const QFileInfo info(path);
    WriteResultLine(info.path(), info.fileName(), failed ? QByteArrayLiteral("NOT") : QByteArrayLiteral("OK"));
}

TRateJob::TRateJob(RateDownload download, NetTimeouts timeouts)
    : m_download(std::move(download)), m_timeouts(timeouts)
{
}

const RateSettings &TRateJob::rateSettings(const JobContext &context) const
{
    return context.settings->waluty;
}

QString TRateJob::tablePath(const QString &fileName) const
{
    return ResolveCaseInsensitive(DBF_PATH + u'/' + fileName);
}

void TRateJob::loadCurrencyCodes(const JobContext &context)
{
    CurrencyCodes = LoadCurrencyCodes({QDir::currentPath() + QStringLiteral("/waluty.txt"),
                                       ResolveCaseInsensitive(context.programDir + QStringLiteral("/waluty.txt"))});
}

JobResult TRateJob::WalutaJob(const JobContext &context, const QString &textPath)
{
    DBF_PATH.clear();
    QByteArray dbfValue;
    {
        LineReader reader(context.jobText, textPath);
        const QByteArray first = RemoveComment(reader.next().value_or(QByteArray()));
        if (HoldsTag(first, "<WALUTA>")) {
            const KeyBlock keys = ReadKeyBlock(reader, first);
            if (keys.contains("ROK"))
                ROK = quint16(JobNumber(keys.value("ROK")));
            if (keys.contains("BIEZACE"))
                BIEZACE = quint8(JobNumber(keys.value("BIEZACE")));
            dbfValue = TrimControl(keys.value("DBF_PATH"));
        }
    }
    const QString wanted = dbfValue.isEmpty()
        ? ResolveCaseInsensitive(context.currentJobDir + QStringLiteral("/DBF"))
        : DosPathMapper(context.settings->drives, context.programDir)
              .toLocal(dbfValue);
    // Where the directory cannot be had, the parts report "NOT" in the job directory's
    // Errors instead, under the names the legacy program looks for.
    QString dirProblem = OutputDirectoryRefusal(context, wanted);
    QString resultDir;
    if (!dirProblem.isEmpty()) {
        resultDir = WorkDirectory(context.currentJobDir, QStringLiteral("Errors"));
    } else if (QDir().mkpath(wanted) && QFileInfo(wanted).isDir() && QFileInfo(wanted).isWritable()) {
        DBF_PATH = QFileInfo(wanted).canonicalFilePath();
        resultDir = DBF_PATH;
        RemoveStaleTables(DBF_PATH);
    } else {
        dirProblem = QStringLiteral("Nie można zapisywać w katalogu tabel %1").arg(wanted);
        resultDir = WorkDirectory(context.currentJobDir, QStringLiteral("Errors"));
    }

    QStringList failures;
    const auto report = [&](const QString &resultName, const PartOutcome &outcome) {
        WriteRateResult(resultDir + u'/' + resultName, outcome.failed);
        if (outcome.failed)
            failures.append(resultName + QStringLiteral(": ") + outcome.why);
    };
    if (ROK != 0) {
        const PartOutcome outcome = dirProblem.isEmpty() ? yearlyPart(context) : Failure(dirProblem);
        if (outcome.interrupted)
            return JobResult::failed(outcome.why);
        report(QString::number(ROK) + QStringLiteral(".err"), outcome);
    }
    if (BIEZACE == 1) {
        QString yearText = YearText(today().year());
        const PartOutcome outcome = dirProblem.isEmpty() ? currentYearPart(context, yearText) : Failure(dirProblem);
        if (outcome.interrupted)
            return JobResult::failed(outcome.why);
        report(yearText + QStringLiteral("_d.err"), outcome);
    }
    return failures.isEmpty() ? JobResult::done() : JobResult::failed(failures.join(QStringLiteral("; ")));
}

// ---------------------------------------------------------------- the yearly table

PartOutcome TRateJob::yearlyPart(const JobContext &context)
{
    if (ROK < 2000 || ROK > today().year())
        return Failure(QStringLiteral("brak archiwum za rok %1").arg(ROK));
    const QString path = tablePath(QString::number(ROK) + QStringLiteral(".dbf"));
    if (QFileInfo::exists(path))
        return Success(); // built once, never refreshed
    try {
        return rateSettings(context).zrodlo == RateSettings::Files ? yearlyFromFiles(context, path)
                                                                     : yearlyFromApi(context, path);
    } catch (const IoError &e) {
        return Failure(e.message());
    }
}

PartOutcome TRateJob::yearlyFromFiles(const JobContext &context, const QString &tablePath)
{
    const QByteArray name = QByteArray::number(ROK) + ".xls";
    const QByteArray address = rateSettings(context).serwer.toUtf8() + "/kursy/archiwum/" + name;
    const std::optional<QString> workbook = download(context, address, name);
    if (!workbook)
        return context.quitRequested() ? Interrupted() : Failure(QStringLiteral("nie pobrano %1").arg(QString::fromUtf8(address)));
    QString why;
    const int result = XlsToDbfIsolated(*workbook, tablePath, why);
    QFile::remove(*workbook);
    return result == 0 ? Success() : Failure(why);
}

PartOutcome TRateJob::yearlyFromApi(const JobContext &context, const QString &tablePath)
{
    loadCurrencyCodes(context);
    const QDate last = std::min(QDate(ROK, 12, 31), today());
    QList<DailyRecord> records;
    PartOutcome outcome;
    for (const auto &[from, to] : ApiRanges(QDate(ROK, 1, 1), last)) {
        const auto tables = apiTables(context, ApiRangeAddress(rateSettings(context).serwerApi, from, to), true, outcome);
        if (!tables)
            return outcome;
        records += *tables;
    }
    if (records.isEmpty())
        return Failure(QStringLiteral("API banku nie ma tabeli z %1").arg(ROK));
    std::stable_sort(records.begin(), records.end(),
                     [](const DailyRecord &a, const DailyRecord &b) { return a.date < b.date; });
    QString why;
    std::unique_ptr<DbfTable> table = CreateRateTable(tablePath, CurrencyCodes, why);
    if (!table)
        return Failure(why);
    for (const DailyRecord &record : std::as_const(records))
        if (!AppendRateRecord(*table, record, why))
            return Failure(why);
    return table->commit() ? Success() : Failure(table->why());
}

// ---------------------------------------------------------------- the daily table

PartOutcome TRateJob::currentYearPart(const JobContext &context, QString &yearText)
{
    try {
        return rateSettings(context).zrodlo == RateSettings::Files ? dailyFromFiles(context, yearText)
                                                                     : dailyFromApi(context, yearText);
    } catch (const IoError &e) {
        return Failure(e.message());
    }
}

PartOutcome TRateJob::dailyFromFiles(const JobContext &context, QString &yearText)
{
    loadCurrencyCodes(context);
    const QByteArray base = rateSettings(context).serwer.toUtf8();
    const std::optional<QString> page = download(context, base + "/Kursy/KursyA.html", "KursyA.html");
    if (!page)
        return context.quitRequested() ? Interrupted() : Failure(QStringLiteral("nie pobrano strony najnowszej tabeli"));
    const std::optional<QByteArray> header = LatestTableHeader(ReadAndRemove(*page));
    if (!header)
        return Failure(QStringLiteral("strona najnowszej tabeli nie ma wiersza <td class=\"nag\">"));
    const LatestTable latest = ParseLatestTableHeader(*header);
    if (!latest.date.isValid() || latest.date.year() < 2006 || latest.number < 1)
        return Failure(QStringLiteral("strona nie podaje tabeli: \"%1\"").arg(QString::fromLatin1(header->trimmed())));

    yearText = YearText(latest.date.year());
    const QString path = tablePath(yearText + QStringLiteral("_d.dbf"));
    if (QFileInfo::exists(path))
        return Success(); // built once, never extended

    const QByteArray latestName = DailyName(latest.number, latest.date);
    const std::optional<QString> xml = download(context, base + "/Kursy/xml/" + latestName + ".xml", latestName + ".xml");
    if (!xml)
        return context.quitRequested() ? Interrupted() : Failure(QStringLiteral("nie pobrano %1.xml").arg(QString::fromLatin1(latestName)));
    const QByteArray suffix = "/A/NBP/" + yearText.toLatin1();
    QString why;
    std::unique_ptr<DbfTable> table = CreateDailyTable(*xml, path, CurrencyCodes, QByteArray::number(latest.number),
                                                       suffix, latest.date, why);
    if (!table)
        return Failure(why);
    if (latest.date.day() > 1) {
        // Where the bank's numbering is not the one the calendar gives, the earlier
        // tables are found by their numbers alone.
        const PartOutcome walk = DailyFileName(latest.date) != latestName
            ? walkBackByNumbers(context, *table, latest, suffix)
            : walkBackByWorkdays(context, *table, latest, suffix);
        if (walk.failed)
            return walk;
    }
    return table->commit() ? Success() : Failure(table->why());
}

PartOutcome TRateJob::walkBackByNumbers(const JobContext &context, DbfTable &table, const LatestTable &latest,
                                        const QByteArray &suffix)
{
    const QByteArray base = rateSettings(context).serwer.toUtf8();
    int number = latest.number - 1;
    for (int day = latest.date.day() - 1; day >= 1 && number >= 1; --day) {
        const QDate date(latest.date.year(), latest.date.month(), day);
        const QByteArray name = DailyName(number, date);
        long status = 0;
        const std::optional<QString> xml = download(context, base + "/Kursy/xml/" + name + ".xml", name + ".xml", &status);
        if (!xml) {
            if (context.quitRequested())
                return Interrupted();
            // The server said there is no such file: no table that day. Any other
            // failure would lose a table that may be there.
            if (status >= 400 && status < 500)
                continue;
            return Failure(QStringLiteral("nie pobrano %1.xml").arg(QString::fromLatin1(name)));
        }
        QString why;
        if (AppendDailyRecord(*xml, table, QByteArray::number(number), suffix, date, why) != 0)
            return Failure(why);
        --number;
    }
    return Success();
}

PartOutcome TRateJob::walkBackByWorkdays(const JobContext &context, DbfTable &table, const LatestTable &latest,
                                         const QByteArray &suffix)
{
    const QByteArray base = rateSettings(context).serwer.toUtf8();
    for (int day = latest.date.day() - 1; day >= 1; --day) {
        const QDate date(latest.date.year(), latest.date.month(), day);
        const QByteArray name = DailyFileName(date);
        if (name.mid(1, 3) == "000")
            continue; // a weekend day or a holiday: no table
        const std::optional<QString> xml = download(context, base + "/Kursy/xml/" + name + ".xml", name + ".xml");
        if (!xml)
            return context.quitRequested() ? Interrupted() : Failure(QStringLiteral("nie pobrano %1.xml").arg(QString::fromLatin1(name)));
        QString why;
        if (AppendDailyRecord(*xml, table, QByteArray::number(name.mid(1, 3).toInt()), suffix, date, why) != 0)
            return Failure(why);
    }
    return Success();
}

PartOutcome TRateJob::dailyFromApi(const JobContext &context, QString &yearText)
{
    loadCurrencyCodes(context);
    const QString base = rateSettings(context).serwerApi;
    PartOutcome outcome;
    const auto latestTables = apiTables(context, ApiLatestAddress(base), false, outcome);
    if (!latestTables)
        return outcome;
    if (latestTables->isEmpty())
        return Failure(QStringLiteral("API banku nie podaje najnowszej tabeli"));
    const DailyRecord latest = *std::max_element(latestTables->begin(), latestTables->end(),
                                                 [](const DailyRecord &a, const DailyRecord &b) { return a.date < b.date; });
    if (latest.date.year() < 2006)
        return Failure(QStringLiteral("najnowsza tabela jest z %1").arg(latest.date.toString(Qt::ISODate)));

    yearText = YearText(latest.date.year());
    const QString path = tablePath(yearText + QStringLiteral("_d.dbf"));
    if (QFileInfo::exists(path))
        return Success(); // built once, never extended

    QList<DailyRecord> records{latest};
    if (latest.date.day() > 1) {
        const QDate first(latest.date.year(), latest.date.month(), 1);
        const auto month = apiTables(context, ApiRangeAddress(base, first, latest.date.addDays(-1)), true, outcome);
        if (!month)
            return outcome;
        for (const DailyRecord &record : *month)
            if (record.date < latest.date)
                records.append(record);
    }
    // Newest first, as the walk through the bank's files appends them.
    std::stable_sort(records.begin() + 1, records.end(),
                     [](const DailyRecord &a, const DailyRecord &b) { return a.date > b.date; });
    QString why;
    std::unique_ptr<DbfTable> table = CreateRateTable(path, CurrencyCodes, why);
    if (!table)
        return Failure(why);
    for (const DailyRecord &record : std::as_const(records))
        if (!AppendRateRecord(*table, record, why))
            return Failure(why);
    return table->commit() ? Success() : Failure(table->why());
}

// ---------------------------------------------------------------- transfers

std::optional<QString> TRateJob::download(const JobContext &context, const QByteArray &address, const QByteArray &name,
                                          long *status)
{
    if (m_download(context, address, name, status) != 0)
        return std::nullopt;
    const QString path = ResolveCaseInsensitive(WorkDirectory(context.currentJobDir, QStringLiteral("Download")) + u'/'
                                                + QString::fromLatin1(name));
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return path;
}

std::optional<QList<DailyRecord>> TRateJob::apiTables(const JobContext &context, const QByteArray &address,
                                                      bool noneOn404, PartOutcome &outcome)
{
    context.status(QStringLiteral("Pobieranie pliku..."));
    QByteArray body;
    const NetOutcome fetched = HttpGetBody(address, "application/json", body,
                                             WithLimit(m_timeouts, context.settings->netLimitSeconds),
                                             context.quitRequested);
    if (!fetched.ok) {
        if (fetched.cancelled || context.quitRequested()) {
            outcome = Interrupted();
            return std::nullopt;
        }
        if (noneOn404 && fetched.httpStatus == 404)
            return QList<DailyRecord>();
        outcome = Failure(QStringLiteral("%1: %2").arg(QString::fromUtf8(address), QString::fromUtf8(fetched.error)));
        return std::nullopt;
    }
    QString why;
    auto records = ParseApiTables(body, CurrencyCodes, why);
    if (!records)
        outcome = Failure(QStringLiteral("%1: %2").arg(QString::fromUtf8(address), why));
    return records;
}

} // namespace ostrevo
