#include "ksef/Fa3Writer.h"

#include <QXmlStreamWriter>

namespace ostrevo {

namespace {

const QString Namespace = QStringLiteral("http://crd.gov.pl/wzor/2025/06/25/13775/");

QString Date(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

QString Amount(std::int64_t grosze)
{
    return QString::fromLatin1(KsefDecimal{grosze, 2}.text());
}

// The header's net and tax fields of a rate, by the field pair the totals are kept under.
struct TotalFields {
    int field;
    const char *net;
    const char *vat;      // nullptr: the rate has no tax field
    const char *vatZloty; // the tax in złoty of an invoice in another currency
};

constexpr TotalFields Fields[] = {
    {1, "P_13_1", "P_14_1", "P_14_1W"}, {2, "P_13_2", "P_14_2", "P_14_2W"}, {3, "P_13_3", "P_14_3", "P_14_3W"},
    {4, "P_13_4", "P_14_4", "P_14_4W"}, {61, "P_13_6_1", nullptr, nullptr}, {62, "P_13_6_2", nullptr, nullptr},
    {63, "P_13_6_3", nullptr, nullptr}, {7, "P_13_7", nullptr, nullptr},    {8, "P_13_8", nullptr, nullptr},
    {9, "P_13_9", nullptr, nullptr},    {10, "P_13_10", nullptr, nullptr},
};

class Writer {
public:
    explicit Writer(QByteArray *out) : m_xml(out) { m_xml.setAutoFormatting(true); }

    void open(const char *name) { m_xml.writeStartElement(Namespace, QLatin1StringView(name)); }
    void close() { m_xml.writeEndElement(); }
    void text(const char *name, const QString &value) { m_xml.writeTextElement(Namespace, QLatin1StringView(name), value); }
    void optional(const char *name, const QString &value)
    {
        if (!value.isEmpty())
            text(name, value);
    }
    QXmlStreamWriter &xml() { return m_xml; }

private:
    QXmlStreamWriter m_xml;
};

void WriteAddress(Writer &w, const KsefParty &party)
{
    w.open("Adres");
    w.text("KodKraju", party.country);
    w.text("AdresL1", party.address1);
    w.optional("AdresL2", party.address2);
    w.close();
    if (!party.email.isEmpty() || !party.phone.isEmpty()) {
        w.open("DaneKontaktowe");
        w.optional("Email", party.email);
        w.optional("Telefon", party.phone);
        w.close();
    }
}

void WriteSeller(Writer &w, const KsefParty &seller)
{
    w.open("Podmiot1");
    w.open("DaneIdentyfikacyjne");
    w.text("NIP", seller.nip);
    w.text("Nazwa", seller.name);
    w.close();
    WriteAddress(w, seller);
    w.close();
}

void WriteBuyer(Writer &w, const KsefParty &buyer)
{
    w.open("Podmiot2");
    w.open("DaneIdentyfikacyjne");
    if (!buyer.nip.isEmpty()) {
        w.text("NIP", buyer.nip);
    } else if (!buyer.foreignId.isEmpty()) {
        w.text("KodKraju", buyer.country);
        w.text("NrID", buyer.foreignId);
    } else {
        w.text("BrakID", QStringLiteral("1"));
    }
    w.optional("Nazwa", buyer.name);
    w.close();
    if (!buyer.address1.isEmpty())
        WriteAddress(w, buyer);
    // Not a local-government unit nor a VAT group member: the DOS programs issue no such.
    w.text("JST", QStringLiteral("2"));
    w.text("GV", QStringLiteral("2"));
    w.close();
}

void WriteAnnotations(Writer &w, const KsefInvoice &invoice)
{
    bool reverseCharge = false;
    bool exempt = false;
    for (const KsefRateTotal &t : invoice.totals) {
        reverseCharge = reverseCharge || t.rate.code == u"oo";
        exempt = exempt || t.rate.code == u"zw";
    }
    w.open("Adnotacje");
    w.text("P_16", QStringLiteral("2"));
    w.text("P_17", QStringLiteral("2"));
    w.text("P_18", reverseCharge ? QStringLiteral("1") : QStringLiteral("2"));
    w.text("P_18A", invoice.splitPayment ? QStringLiteral("1") : QStringLiteral("2"));
    w.open("Zwolnienie");
    if (exempt) {
        w.text("P_19", QStringLiteral("1"));
        w.text("P_19A", invoice.exemptionBasis);
    } else {
        w.text("P_19N", QStringLiteral("1"));
    }
    w.close();
    w.open("NoweSrodkiTransportu");
    w.text("P_22N", QStringLiteral("1"));
    w.close();
    w.text("P_23", QStringLiteral("2"));
    w.open("PMarzy");
    w.text("P_PMarzyN", QStringLiteral("1"));
    w.close();
    w.close();
}

void WriteCorrection(Writer &w, const KsefCorrected &corrected)
{
    w.optional("PrzyczynaKorekty", corrected.reason);
    if (corrected.type > 0)
        w.text("TypKorekty", QString::number(corrected.type));
    w.open("DaneFaKorygowanej");
    w.text("DataWystFaKorygowanej", Date(corrected.issued));
    w.text("NrFaKorygowanej", corrected.number);
    if (!corrected.ksefNumber.isEmpty()) {
        w.text("NrKSeF", QStringLiteral("1"));
        w.text("NrKSeFFaKorygowanej", corrected.ksefNumber);
    } else {
        w.text("NrKSeFN", QStringLiteral("1"));
    }
    w.close();
}

void WriteLines(Writer &w, const QList<KsefLine> &lines, const std::optional<KsefDecimal> &exchangeRate)
{
    int number = 0;
    for (const KsefLine &line : lines) {
        w.open("FaWiersz");
        w.text("NrWierszaFa", QString::number(++number));
        w.text("P_7", line.name);
        w.optional("P_8A", line.unit);
        if (line.quantity)
            w.text("P_8B", QString::fromLatin1(line.quantity->shortText()));
        if (line.unitPrice)
            w.text("P_9A", QString::fromLatin1(line.unitPrice->shortText()));
        w.text("P_11", Amount(line.net.units));
        w.text("P_12", line.rate.code);
        if (exchangeRate)
            w.text("KursWaluty", QString::fromLatin1(exchangeRate->shortText()));
        if (line.before)
            w.text("StanPrzed", QStringLiteral("1"));
        w.close();
    }
}

void WritePayment(Writer &w, const KsefPayment &p)
{
    if (!p.due.isValid() && !p.paid.isValid() && p.form == 0 && p.account.isEmpty())
        return;
    w.open("Platnosc");
    if (p.paid.isValid()) {
        w.text("Zaplacono", QStringLiteral("1"));
        w.text("DataZaplaty", Date(p.paid));
    }
    if (p.due.isValid()) {
        w.open("TerminPlatnosci");
        w.text("Termin", Date(p.due));
        w.close();
    }
    if (p.form > 0)
        w.text("FormaPlatnosci", QString::number(p.form));
    if (!p.account.isEmpty()) {
        w.open("RachunekBankowy");
        w.text("NrRB", p.account);
        w.optional("NazwaBanku", p.bankName);
        w.close();
    }
    w.close();
}

} // namespace

QByteArray WriteFa3(const KsefInvoice &invoice, const QDateTime &created)
{
    QByteArray out;
    Writer w(&out);
    QXmlStreamWriter &xml = w.xml();
    xml.writeStartDocument();
    xml.writeDefaultNamespace(Namespace);
    w.open("Faktura");

    w.open("Naglowek");
    xml.writeStartElement(Namespace, QStringLiteral("KodFormularza"));
    xml.writeAttribute(QStringLiteral("kodSystemowy"), QStringLiteral("FA (3)"));
    xml.writeAttribute(QStringLiteral("wersjaSchemy"), QStringLiteral("1-0E"));
    xml.writeCharacters(QStringLiteral("FA"));
    xml.writeEndElement();
    w.text("WariantFormularza", QStringLiteral("3"));
    w.text("DataWytworzeniaFa", created.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")));
    w.text("SystemInfo", QStringLiteral("Ostrevo"));
    w.close();

    WriteSeller(w, invoice.seller);
    WriteBuyer(w, invoice.buyer);

    w.open("Fa");
    w.text("KodWaluty", invoice.currency);
    w.text("P_1", Date(invoice.issued));
    w.optional("P_1M", invoice.place);
    w.text("P_2", invoice.number);
    if (invoice.supplied.isValid())
        w.text("P_6", Date(invoice.supplied));
    for (const TotalFields &f : Fields) {
        for (const KsefRateTotal &t : invoice.totals) {
            if (t.rate.field != f.field)
                continue;
            w.text(f.net, Amount(t.net));
            if (f.vat)
                w.text(f.vat, Amount(t.vat));
            if (f.vatZloty && invoice.exchangeRate)
                w.text(f.vatZloty, Amount(t.vatZloty));
        }
    }
    w.text("P_15", Amount(invoice.gross));
    WriteAnnotations(w, invoice);
    w.text("RodzajFaktury", invoice.correction ? QStringLiteral("KOR") : QStringLiteral("VAT"));
    if (invoice.correction)
        WriteCorrection(w, invoice.corrected);
    WriteLines(w, invoice.lines, invoice.exchangeRate);
    WritePayment(w, invoice.payment);
    w.close(); // Fa

    w.close(); // Faktura
    xml.writeEndDocument();
    return out;
}

} // namespace ostrevo
