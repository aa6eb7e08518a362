// The real program: `ostrevo --once` takes its rate sources from [Waluty] of Ostrevo.ini
// and performs <WALUTA> jobs one after another, a failing one included.

#include "net/RateRig.h"
#include "net/rates/RateCalendar.h"
#include "support/ProgramInstall.h"

#include <gtest/gtest.h>

using namespace ostrevo;
using namespace ostrevo::test;

namespace {

TEST(OnceRatesTest, JobsOfBothRoutesThroughTheSettings)
{
    RateServer server;
    ASSERT_TRUE(server.service->running()) << server.service->failure().toStdString();
    const QDate latest(2025, 6, 3);
    server.put(QStringLiteral("Kursy/KursyA.html"),
               LatestPage("Tabela nr " + QByteArray::number(BusinessDayNumber(latest)) + "/A/NBP/2025 z dnia 2025-06-03"));
    for (const QDate &day : {QDate(2025, 6, 2), latest})
        server.put(QStringLiteral("Kursy/xml/%1.xml").arg(QString::fromLatin1(DailyFileName(day))),
                   DailyXml(BusinessDayNumber(day), day, {{"dolar", "1", "USD", "4,0001"}}));

    Install install("Timer=1\r\n[Waluty]\r\nZrodlo=pliki\r\nSerwer=" + server.base().toUtf8() + "/\r\nSerwerApi="
                    + server.base().toUtf8() + "\r\n");
    install.job(QStringLiteral("A1"), "<WALUTA>\r\nROK=1999\r\n<END>\r\n");
    install.job(QStringLiteral("A2"), "<WALUTA>\r\nROK=0\r\nBIEZACE=1\r\n<END>\r\n");
    QByteArray err;
    EXPECT_EQ(install.run({QStringLiteral("--once")}, &err), 0) << err.constData();
    const QString dbf = install.jobs + QStringLiteral("/DBF/");
    EXPECT_EQ(ReadFile(dbf + QStringLiteral("1999.err")), "error=NOT\r\n");
    EXPECT_EQ(ReadFile(dbf + QStringLiteral("2025_d.err")), "error=OK\r\n");
    const QJsonObject table = DumpTable(dbf + QStringLiteral("2025_d.dbf"));
    ASSERT_EQ(RowCount(table), 2);
    EXPECT_EQ(Row(table, 1).first(), QStringLiteral("2025-06-02"));
    EXPECT_EQ(Row(table, 1).at(1), QStringLiteral("4,0001"));
    EXPECT_FALSE(QFile::exists(install.jobs + QStringLiteral("/A1.txt")));
    EXPECT_FALSE(QFile::exists(install.jobs + QStringLiteral("/A2.txt")));
    const QByteArray journal = install.journal();
    EXPECT_EQ(journal.count('\n'), 2) << journal.constData();
    EXPECT_FALSE(journal.contains("NOT SUPPORTED")) << journal.constData();
}

} // namespace
