#include "ksef/KsefPrintout.h"

#include "devices/TpiPDFDocument.h"
#include "jobs/Charsets.h"
#include "ksef/KsefVerification.h"

namespace ostrevo {

namespace {

constexpr double Left = 40;
constexpr double Right = 555;
constexpr double Bottom = 800;
constexpr double Row = 13;

// Column left edges of the lines' table, and the right edge of the numbers in it.
constexpr double ColNumber = Left, ColName = 62, ColUnit = 300, ColQuantity = 370, ColPrice = 440, ColNet = 505,
                 ColRate = 555;

QString Polish(const QByteArray &decimalText)
{
    QString t = QString::fromLatin1(decimalText);
    t.replace(u'.', u',');
    return t;
}

// A unit price with at least the grosze, and its further places only where it has them.
QString Price(const KsefDecimal &price)
{
    QString t = Polish(price.shortText());
    const qsizetype comma = t.indexOf(u',');
    if (comma < 0)
        return t + QStringLiteral(",00");
    return t.size() - comma - 1 < 2 ? t + u'0' : t;
}

QString PolishMoney(std::int64_t grosze)
{
    return Polish(KsefDecimal{grosze, 2}.text());
}

class Page {
public:
    explicit Page(TpiPDFDocument &pdf) : m_pdf(pdf) {}

    void font(double size, bool bold = false) { m_pdf.SetFont(QStringLiteral("Arial"), bold, false, false, false, size, 238); }
    double width(const QString &text) { return m_pdf.GetTextWidth(UnicodeToWin1250(text)); }
    void text(double x, double y, const QString &text) { m_pdf.ShowText(x, y, 0, UnicodeToWin1250(text)); }
    void right(double x, double y, const QString &text) { this->text(x - width(text), y, text); }
    // The text cut to `room` points, so that a long name never runs into the next column.
    QString fitted(QString text, double room)
    {
        if (width(text) <= room)
            return text;
        while (!text.isEmpty() && width(text + u'…') > room)
            text.chop(1);
        return text + u'…';
    }
    void rule(double y)
    {
        m_pdf.SetLineWidth(0.5);
        m_pdf.MoveTo(Left, y);
        m_pdf.LineTo(Right, y);
        m_pdf.Stroke();
    }
    TpiPDFDocument &pdf() { return m_pdf; }

private:
    TpiPDFDocument &m_pdf;
};

double Party(Page &page, double x, double y, const QString &title, const KsefParty &party)
{
    page.font(9, true);
    page.text(x, y, title);
    page.font(9);
    QStringList lines = {party.name, party.address1, party.address2};
    if (!party.nip.isEmpty())
        lines.append(QStringLiteral("NIP: ") + party.nip);
    else if (!party.foreignId.isEmpty())
        lines.append(QStringLiteral("Nr podatkowy: %1 %2").arg(party.country, party.foreignId));
    for (const QString &line : lines) {
        if (line.isEmpty())
            continue;
        y += 12;
        page.text(x, y, page.fitted(line, 240));
    }
    return y;
}

void TableHead(Page &page, double y)
{
    page.font(8, true);
    page.text(ColNumber, y, QStringLiteral("Lp."));
    page.text(ColName, y, QStringLiteral("Nazwa"));
    page.text(ColUnit, y, QStringLiteral("J.m."));
    page.right(ColQuantity, y, QStringLiteral("Ilość"));
    page.right(ColPrice, y, QStringLiteral("Cena netto"));
    page.right(ColNet, y, QStringLiteral("Wartość netto"));
    page.right(ColRate, y, QStringLiteral("VAT"));
    page.rule(y + Row - 1);
}

} // namespace

void WriteKsefPrintout(const QString &path, const KsefInvoice &invoice, const QByteArray &verificationAddress,
                       const QString &ksefNumber, const QByteArray &certificateAddress)
{
    TpiPDFDocument pdf;
    pdf.SetFileName(path);
    pdf.BeginDoc();
    Page page(pdf);
    double y = 40;
    page.font(15, true);
    page.text(Left, y, (invoice.correction ? QStringLiteral("Faktura korygująca nr ") : QStringLiteral("Faktura VAT nr "))
                           + invoice.number);
    y += 24;
    page.font(9);
    QString dates = QStringLiteral("Data wystawienia: %1").arg(invoice.issued.toString(Qt::ISODate));
    if (invoice.supplied.isValid())
        dates += QStringLiteral("    Data dostawy: %1").arg(invoice.supplied.toString(Qt::ISODate));
    if (!invoice.place.isEmpty())
        dates += QStringLiteral("    Miejsce: %1").arg(invoice.place);
    page.text(Left, y, dates);
    if (invoice.correction) {
        y += 12;
        page.text(Left, y, QStringLiteral("Korygowana faktura: %1 z %2%3%4")
                               .arg(invoice.corrected.number, invoice.corrected.issued.toString(Qt::ISODate),
                                    invoice.corrected.ksefNumber.isEmpty() ? QString() : QStringLiteral(", KSeF: ") + invoice.corrected.ksefNumber,
                                    invoice.corrected.reason.isEmpty() ? QString() : QStringLiteral(" — ") + invoice.corrected.reason));
    }
    y += 22;
    KsefParty buyer = invoice.buyer;
    if (buyer.name.isEmpty() && buyer.nip.isEmpty() && buyer.foreignId.isEmpty())
        buyer.name = QStringLiteral("konsument");
    y = std::max(Party(page, Left, y, QStringLiteral("Sprzedawca"), invoice.seller),
                 Party(page, 310, y, QStringLiteral("Nabywca"), buyer));
    y += 24;
    TableHead(page, y);
    int number = 0;
    for (const KsefLine &line : invoice.lines) {
        y += Row;
        if (y > Bottom) {
            pdf.NewPage();
            y = 40;
            TableHead(page, y);
            y += Row;
        }
        page.font(8);
        page.text(ColNumber, y, QString::number(++number));
        page.text(ColName, y, page.fitted((line.before ? QStringLiteral("(przed korektą) ") : QString()) + line.name,
                                          ColUnit - ColName - 6));
        page.text(ColUnit, y, page.fitted(line.unit, 40));
        if (line.quantity)
            page.right(ColQuantity, y, Polish(line.quantity->shortText()));
        if (line.unitPrice)
            page.right(ColPrice, y, Price(*line.unitPrice));
        page.right(ColNet, y, PolishMoney(line.before ? -line.net.units : line.net.units));
        page.right(ColRate, y, line.rate.code);
    }
    page.rule(y + Row - 1);
    // The totals, the payment and the code stay together below the lines.
    if (y + 240 > Bottom) {
        pdf.NewPage();
        y = 20;
    }
    y += Row + 6;
    page.font(9);
    for (const KsefRateTotal &t : invoice.totals) {
        page.right(ColNet - 80, y, QStringLiteral("Stawka %1:").arg(t.rate.code));
        page.right(ColNet, y, QStringLiteral("netto %1").arg(PolishMoney(t.net)));
        page.right(ColRate, y, QStringLiteral("VAT %1").arg(PolishMoney(t.vat)));
        y += 12;
        if (invoice.exchangeRate) {
            page.right(ColRate, y, QStringLiteral("VAT w złotych: %1 zł").arg(PolishMoney(t.vatZloty)));
            y += 12;
        }
    }
    if (invoice.exchangeRate) {
        page.right(ColRate, y, QStringLiteral("Kurs: 1 %1 = %2 zł").arg(invoice.currency, Polish(invoice.exchangeRate->shortText())));
        y += 12;
    }
    page.font(11, true);
    page.right(ColRate, y + 4, QStringLiteral("Do zapłaty: %1 %2").arg(PolishMoney(invoice.gross), invoice.currency));
    y += 26;
    page.font(9);
    static const char *const Forms[] = {"gotówka", "karta", "bon", "czek", "kredyt", "przelew", "płatność mobilna"};
    const KsefPayment &p = invoice.payment;
    if (p.due.isValid())
        page.text(Left, y += 12, QStringLiteral("Termin płatności: %1").arg(p.due.toString(Qt::ISODate)));
    if (p.form > 0)
        page.text(Left, y += 12, QStringLiteral("Forma płatności: %1").arg(QString::fromUtf8(Forms[p.form - 1])));
    if (!p.account.isEmpty())
        page.text(Left, y += 12, QStringLiteral("Rachunek: %1%2").arg(p.account, p.bankName.isEmpty() ? QString() : QStringLiteral(", ") + p.bankName));
    if (p.paid.isValid())
        page.text(Left, y += 12, QStringLiteral("Zapłacono: %1").arg(p.paid.toString(Qt::ISODate)));

    // KOD I, 30 mm on a side, and under it what KSeF knows the invoice by; KOD II of an
    // invoice issued offline at the right, with its label.
    y += 20;
    constexpr double Side = 85;
    const auto showCode = [&](const QByteArray &address, double x, const QString &label) {
        // Eight pixels a module: a reader's smoothing of the image must not blur the modules.
        const QImage code = KsefQrImage(address);
        pdf.ShowImage(pdf.AddImage(code.scaled(code.size() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation), 0), 0,
                      Side, Side, x, y);
        page.font(8, true);
        page.text(x, y + Side + 2, label);
    };
    showCode(verificationAddress, Left, ksefNumber.isEmpty() ? QStringLiteral("OFFLINE") : ksefNumber);
    double textRight = Right;
    if (!certificateAddress.isEmpty()) {
        showCode(certificateAddress, Right - Side, QStringLiteral("CERTYFIKAT"));
        textRight = Right - Side - 10;
    }
    page.font(7);
    page.text(Left + Side + 10, y + 10, QStringLiteral("Sprawdź fakturę w KSeF:"));
    page.text(Left + Side + 10, y + 20, page.fitted(QString::fromLatin1(verificationAddress), textRight - Left - Side - 10));
    if (!certificateAddress.isEmpty())
        page.text(Left + Side + 10, y + 34, QStringLiteral("Faktura wystawiona w trybie offline"));
    pdf.EndDoc();
}

} // namespace ostrevo
