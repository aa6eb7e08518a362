// A <KSEF> job read, checked and written as FA(3) that the Ministry's schema accepts; every
// mistake a DOS program or its user can make fails with its line, and nothing is guessed.
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/Fa3Schema.h"
#include "ksef/Fa3Writer.h"
#include "ksef/KsefJobReader.h"
#include "ksef/KsefNumber.h"
#include "ksef/KsefTotals.h"
#include "ksef/NipNumber.h"

#include <QBuffer>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

using namespace ostrevo;

namespace {

// "Usługa" and "Łódź" in CP852, as the DOS program writes them.
const QByteArray Uslugi = "Us\x88ugi ksi\xa9gowe";
const QByteArray Lodz = "\x9d\xa2" "d\xab";

QByteArray Job(const QList<QByteArray> &lines)
{
    return lines.join("\r\n") + "\r\n";
}

KsefInvoice Read(const QByteArray &job)
{
    QBuffer buffer;
    buffer.setData(job);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    return ReadKsefJob(reader);
}

const Fa3Schema &Schema()
{
    static const Fa3Schema schema;
    return schema;
}

// The text of every element named `name`, in order.
QStringList Elements(const QByteArray &xml, const QString &name)
{
    QStringList found;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == name)
            found.append(reader.readElementText());
    }
    return found;
}

const QList<QByteArray> Head = {
    "<KSEF>", "NUMER=FV/2026/12/0007", "DATA=10.12.2026", "DATA_DOSTAWY=2026-12-09", "MIEJSCE=" + Lodz,
    "ZWOLNIENIE=art. 43 ust. 1 pkt 38 ustawy o VAT", "<END>",
    "<SPRZEDAWCA>", "NIP=526-587-76-35", "NAZWA=Biuro Rachunkowe " + Lodz, "ADRES=ul. Kwiatowa 1", "ADRES2=90-001 " + Lodz,
    "<END>",
};

const QList<QByteArray> Buyer = {"<NABYWCA>", "NIP=PL 7762811692", "NAZWA=Nabywca S.A.", "ADRES=ul. Polna 2", "<END>"};

QList<QByteArray> Line(const QByteArray &name, const QByteArray &quantity, const QByteArray &price,
                       const QByteArray &net, const QByteArray &rate)
{
    QList<QByteArray> l = {"<POZYCJA>", "NAZWA=" + name, "JM=szt."};
    if (!quantity.isEmpty())
        l.append("ILOSC=" + quantity);
    if (!price.isEmpty())
        l.append("CENA=" + price);
    if (!net.isEmpty())
        l.append("WARTOSC=" + net);
    l.append("VAT=" + rate);
    l.append("<END>");
    return l;
}

} // namespace

TEST(KsefInvoice, AFullInvoiceComesOutAsValidFa3WithItsTotalsPerRate)
{
    QList<QByteArray> job = Head + Buyer;
    job += Line(Uslugi, "3", "1 000,00", "3000,00", "23");
    job += Line("Towar B", "2,5", "99,99", "", "8%");  // 249.975 rounds up to 249.98
    job += Line("Towar C", "1", "100", "100", "5");
    job += Line("Towar D", "", "", "50,00", "0");
    job += Line("Szkolenie", "1", "80", "80.00", "zw");
    job += {"<SUMY>", "NETTO_23=3 000,00", "VAT_23=690,00", "VAT_8=20,00", "BRUTTO=4194,98", "<END>"};
    job += {"<PLATNOSC>", "TERMIN=2026-12-24", "FORMA=przelew", "RACHUNEK=PL61 1090 1014 0000 0712 1981 2874",
            "BANK=Bank Przyk\x88" "adowy", "<END>"};
    const KsefInvoice invoice = Read(Job(job));
    const QByteArray xml = WriteFa3(invoice, QDateTime(QDate(2026, 12, 10), QTime(9, 30), Qt::UTC));

    EXPECT_EQ(Schema().validate(xml), QString()) << xml.constData();
    EXPECT_FALSE(xml.startsWith("\xEF\xBB\xBF")) << "no byte-order mark";
    EXPECT_EQ(Elements(xml, QStringLiteral("P_2")), QStringList{QStringLiteral("FV/2026/12/0007")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_1")), QStringList{QStringLiteral("2026-12-10")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_1M")), QStringList{QStringLiteral("Łódź")});
    EXPECT_EQ(Elements(xml, QStringLiteral("NIP")), (QStringList{QStringLiteral("5265877635"), QStringLiteral("7762811692")}));
    EXPECT_EQ(Elements(xml, QStringLiteral("P_13_1")), QStringList{QStringLiteral("3000.00")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_14_1")), QStringList{QStringLiteral("690.00")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_13_2")), QStringList{QStringLiteral("249.98")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_14_2")), QStringList{QStringLiteral("20.00")}) << "the program's own tax";
    EXPECT_EQ(Elements(xml, QStringLiteral("P_14_3")), QStringList{QStringLiteral("5.00")}) << "computed where not given";
    EXPECT_EQ(Elements(xml, QStringLiteral("P_13_6_1")), QStringList{QStringLiteral("50.00")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_13_7")), QStringList{QStringLiteral("80.00")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_15")), QStringList{QStringLiteral("4194.98")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_19A")), QStringList{QStringLiteral("art. 43 ust. 1 pkt 38 ustawy o VAT")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_12")),
              (QStringList{QStringLiteral("23"), QStringLiteral("8"), QStringLiteral("5"), QStringLiteral("0 KR"), QStringLiteral("zw")}));
    EXPECT_EQ(Elements(xml, QStringLiteral("P_7")).first(), QStringLiteral("Usługi księgowe"));
    EXPECT_EQ(Elements(xml, QStringLiteral("P_8B")), (QStringList{QStringLiteral("3"), QStringLiteral("2.5"), QStringLiteral("1"), QStringLiteral("1")}));
    EXPECT_EQ(Elements(xml, QStringLiteral("NrRB")), QStringList{QStringLiteral("PL61109010140000071219812874")});
    EXPECT_EQ(Elements(xml, QStringLiteral("FormaPlatnosci")), QStringList{QStringLiteral("6")});
}

// In another currency the tax is given in złoty too, at the program's rate, on every rate
// with a tax, and the rate stands beside each line.
TEST(KsefInvoice, AnInvoiceInEurosGivesItsTaxInZlotyAtItsRate)
{
    QList<QByteArray> job = Head;
    job.insert(2, "WALUTA=eur");
    job.insert(3, "KURS=4,2512");
    job += Buyer;
    job += Line("Towar A", "3", "333,33", "", "23"); // 999.99 EUR, VAT 230.00 = 977.78 zł
    job += Line("Towar B", "1", "0,03", "", "8");     // VAT 0.00
    job += Line("Towar C", "1", "100", "", "0");
    const KsefInvoice invoice = Read(Job(job));
    const QByteArray xml = WriteFa3(invoice, QDateTime::currentDateTimeUtc());
    EXPECT_EQ(Schema().validate(xml), QString()) << xml.constData();
    EXPECT_EQ(Elements(xml, QStringLiteral("KodWaluty")), QStringList{QStringLiteral("EUR")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_14_1")), QStringList{QStringLiteral("230.00")});
    // 230.00 × 4.2512 = 977.776 zł, rounded half away from zero.
    EXPECT_EQ(Elements(xml, QStringLiteral("P_14_1W")), QStringList{QStringLiteral("977.78")});
    EXPECT_EQ(Elements(xml, QStringLiteral("P_14_2W")), QStringList{QStringLiteral("0.00")});
    EXPECT_TRUE(Elements(xml, QStringLiteral("P_14_3W")).isEmpty()) << "no such rate on the invoice";
    EXPECT_EQ(Elements(xml, QStringLiteral("KursWaluty")),
              (QStringList{QStringLiteral("4.2512"), QStringLiteral("4.2512"), QStringLiteral("4.2512")}));
    EXPECT_EQ(Elements(xml, QStringLiteral("P_15")), QStringList{QStringLiteral("1330.02")}) << "in euros";
}

TEST(KsefInvoice, AConsumerAndACorrectionAreValidFa3Too)
{
    {
        QList<QByteArray> job = Head;
        job += {"<NABYWCA>", "NAZWA=Jan Kowalski", "<END>"};
        job += Line("Towar", "1", "10", "", "23");
        job += {"<PLATNOSC>", "ZAPLACONO=2026-12-10", "FORMA=got\xa2wka", "<END>"};
        const QByteArray xml = WriteFa3(Read(Job(job)), QDateTime::currentDateTimeUtc());
        EXPECT_EQ(Schema().validate(xml), QString()) << xml.constData();
        EXPECT_EQ(Elements(xml, QStringLiteral("BrakID")), QStringList{QStringLiteral("1")});
        EXPECT_EQ(Elements(xml, QStringLiteral("FormaPlatnosci")), QStringList{QStringLiteral("1")});
    }
    {
        QList<QByteArray> job = Head;
        job[1] = "NUMER=KOR/2026/12/0001";
        job.insert(2, "RODZAJ=KOR");
        job += Buyer;
        job += {"<KOREKTA>", "PRZYCZYNA=Zwrot 2 szt.", "TYP=2", "NUMER=FV/2026/04/0003", "DATA=2026-04-15",
                "NR_KSEF=5265877635-20260415-0100001AF629-39", "<END>"};
        QList<QByteArray> before = Line("Towar A", "10", "100", "", "23");
        before.insert(before.size() - 1, "PRZED=1");
        job += before;
        job += Line("Towar A", "8", "100", "", "23");
        const KsefInvoice invoice = Read(Job(job));
        const QByteArray xml = WriteFa3(invoice, QDateTime::currentDateTimeUtc());
        EXPECT_EQ(Schema().validate(xml), QString()) << xml.constData();
        EXPECT_EQ(Elements(xml, QStringLiteral("P_13_1")), QStringList{QStringLiteral("-200.00")});
        EXPECT_EQ(Elements(xml, QStringLiteral("P_15")), QStringList{QStringLiteral("-246.00")});
        EXPECT_EQ(Elements(xml, QStringLiteral("StanPrzed")), QStringList{QStringLiteral("1")});
        EXPECT_EQ(Elements(xml, QStringLiteral("NrKSeFFaKorygowanej")),
                  QStringList{QStringLiteral("5265877635-20260415-0100001AF629-39")});
    }
}

TEST(KsefInvoice, MistakesFailWithTheirLineAndNothingIsGuessed)
{
    struct Case {
        QList<QByteArray> job;
        const char *expected;
    };
    const QList<QByteArray> ok = Head + Buyer + Line("Towar", "2", "10", "20", "23");
    QList<QByteArray> badNip = ok;
    badNip[8] = "NIP=526-587-76-36";
    QList<QByteArray> typo = ok;
    typo.insert(typo.size() - 1, "CENNA=10");
    QList<QByteArray> noEnd = ok;
    noEnd.removeLast();
    QList<QByteArray> correctionAlone = ok;
    correctionAlone.insert(2, "RODZAJ=KOR");
    QList<QByteArray> badKsef = correctionAlone;
    badKsef += {"<KOREKTA>", "NUMER=FV/1", "DATA=2026-04-15", "NR_KSEF=5265877635-20260415-0100001AF629-38", "<END>"};
    const Case cases[] = {
        {badNip, "wiersz 9: NIP=526-587-76-36: to nie jest NIP"},
        {typo, "nieznany klucz CENNA w bloku <POZYCJA>"},
        {noEnd, "blok <POZYCJA> bez <END>"},
        {Head + Buyer + Line("Towar", "2", "10", "21", "23"), "WARTOSC=21: ILOSC × CENA daje 20.00"},
        {Head + Buyer + Line("Towar", "2", "10", "", "17"), "VAT=17: znane stawki"},
        {Head + Buyer + Line("Towar", "", "10", "", "23"), "pozycja bez WARTOSC="},
        {ok + QList<QByteArray>{"<SUMY>", "NETTO_23=21,00", "<END>"}, "netto stawki 23: podano 21.00, pozycje dają 20.00"},
        {ok + QList<QByteArray>{"<SUMY>", "VAT_23=4,62", "<END>"}, "VAT stawki 23: podano 4.62, z netto 20.00 wychodzi 4.60"},
        {ok + QList<QByteArray>{"<SUMY>", "BRUTTO=24,59", "<END>"}, "BRUTTO: podano 24.59, pozycje dają 24.60"},
        {ok + QList<QByteArray>{"<SUMY>", "NETTO_8=5,00", "<END>"}, "kwota stawki 8, której nie ma w żadnej pozycji"},
        {ok + Line("Inny", "1", "1", "", "22"), "stawki 23 i 22 na jednej fakturze"},
        {correctionAlone, "RODZAJ=KOR wymaga bloku <KOREKTA>"},
        {badKsef, "to nie jest numer KSeF"},
        {Head + Buyer + Line("Kurs", "1", "10", "", "zw"), ""}, // the exemption's basis is in Head
        {QList<QByteArray>{"<KSEF>", "NUMER=1", "DATA=31.02.2026", "<END>"}, "DATA=31.02.2026: to nie jest data"},
        {QList<QByteArray>{"<KSEF>", "NUMER=1", "DATA=2026-12-10", "WALUTA=EUR", "<END>"}, "faktura w EUR wymaga w bloku <KSEF> KURS="},
        {QList<QByteArray>{"<KSEF>", "NUMER=1", "DATA=2026-12-10", "KURS=4,25", "<END>"}, "tylko dla faktury w walucie obcej"},
        {QList<QByteArray>{"<KSEF>", "NUMER=1", "DATA=2026-12-10", "WALUTA=EUR", "KURS=-4,25", "<END>"}, "liczba dodatnia"},
        {QList<QByteArray>{"<KSEF>", "NUMER=1", "DATA=2026-12-10", "WALUTA=EURO", "<END>"}, "trzyliterowy kod waluty"},
        {QList<QByteArray>{"<SPRZEDAWCA>", "<END>"}, "zadanie zaczyna się od <KSEF>"},
    };
    for (const Case &c : cases) {
        try {
            Read(Job(c.job));
            EXPECT_STREQ(c.expected, "") << "taken: " << Job(c.job).constData();
        } catch (const ConversionError &e) {
            EXPECT_TRUE(*c.expected && e.message().contains(QString::fromUtf8(c.expected))) << e.what();
        }
    }
    // Exempt lines need the legal basis the invoice must quote.
    QList<QByteArray> noBasis = Head + Buyer + Line("Kurs", "1", "10", "", "zw");
    noBasis.removeAt(5);
    EXPECT_THROW(Read(Job(noBasis)), ConversionError);
}

TEST(KsefInvoice, AmountsAreExactAndRoundHalfAwayFromZero)
{
    struct Parse {
        const char *text;
        int scale;
        std::optional<std::int64_t> units;
    };
    const Parse parses[] = {
        {"1 234,50", 2, 123450}, {"1234.5", 2, 123450}, {"-0,01", 2, -1}, {"0", 2, 0}, {"1,234", 2, std::nullopt},
        {"1,2,3", 2, std::nullopt}, {"12a", 2, std::nullopt}, {"", 2, std::nullopt}, {",5", 2, std::nullopt},
        {"5,", 2, std::nullopt}, {"99999999999999999", 2, std::nullopt}, {"2,5", 6, 2500000},
    };
    for (const Parse &p : parses) {
        const auto d = KsefDecimal::parse(p.text, p.scale);
        EXPECT_EQ(d ? std::optional<std::int64_t>(d->units) : std::nullopt, p.units) << p.text;
    }
    EXPECT_EQ((KsefDecimal{-5, 2}.text()), QByteArray("-0.05"));
    EXPECT_EQ((KsefDecimal{2500000, 6}.shortText()), QByteArray("2.5"));
    EXPECT_EQ(VatOf(1050, 23), 242);  // 241.5 grosza
    EXPECT_EQ(VatOf(-1050, 23), -242);
    EXPECT_EQ(VatOf(1, 8), 0);
    EXPECT_EQ(NetOf(*KsefDecimal::parse("2,5", 6), *KsefDecimal::parse("99,99", 8)), 24998);
    EXPECT_EQ(NetOf(*KsefDecimal::parse("-1", 6), *KsefDecimal::parse("0,005", 8)), -1);
    EXPECT_EQ(NetOf(*KsefDecimal::parse("1000000", 6), *KsefDecimal::parse("99999999,99999999", 8)),
              std::int64_t(9'999'999'999'999'999LL)) << "no overflow in between";
}

TEST(KsefInvoice, TaxNumbersAndKsefNumbersCarryTheirChecks)
{
    EXPECT_EQ(NormalisedNip(QStringLiteral("526-587-76-35")), QStringLiteral("5265877635"));
    EXPECT_EQ(NormalisedNip(QStringLiteral("PL7762811692")), QStringLiteral("7762811692"));
    EXPECT_EQ(NormalisedNip(QStringLiteral("8976111986")), QString());
    EXPECT_EQ(NormalisedNip(QStringLiteral("0000000000")), QString());
    EXPECT_EQ(NormalisedNip(QStringLiteral("526587763")), QString());
    EXPECT_EQ(KsefCrc8("5265877635-20250826-0100001AF629"), 0xAF);
    EXPECT_TRUE(IsKsefNumber(QStringLiteral("5265877635-20260415-0100001AF629-39")));
    EXPECT_FALSE(IsKsefNumber(QStringLiteral("5265877635-20260415-0100001AF629-AF")));
    EXPECT_FALSE(IsKsefNumber(QStringLiteral("5265877635-20260415-0100001af629-39")));
}

TEST(KsefInvoice, TheSchemaRefusesWhatKsefWouldAndReadsNothingElse)
{
    QList<QByteArray> job = Head + Buyer + Line("Towar", "1", "10", "", "23");
    QByteArray xml = WriteFa3(Read(Job(job)), QDateTime::currentDateTimeUtc());
    ASSERT_EQ(Schema().validate(xml), QString());
    QByteArray broken = xml;
    broken.replace("<P_2>FV/2026/12/0007</P_2>", "");
    EXPECT_TRUE(Schema().validate(broken).contains(QStringLiteral("P_2"))) << Schema().validate(broken).toStdString();
    EXPECT_TRUE(Schema().validate("<Faktura").startsWith(QStringLiteral("to nie jest poprawny XML")));
    // An entity that names a file is never read, whatever the invoice says.
    QByteArray planted = xml;
    planted.replace("<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                    "<?xml version=\"1.0\"?><!DOCTYPE Faktura [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>");
    planted.replace("<P_1M>Łódź</P_1M>", "<P_1M>&x;</P_1M>");
    const QString verdict = Schema().validate(planted);
    EXPECT_FALSE(verdict.contains(QStringLiteral("root:"))) << verdict.toStdString();
}
