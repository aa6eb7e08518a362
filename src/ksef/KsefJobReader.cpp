#include "ksef/KsefJobReader.h"

#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/KsefNumber.h"
#include "ksef/KsefTotals.h"
#include "ksef/NipNumber.h"

#include <QMap>

#include <algorithm>
#include <functional>

namespace ostrevo {

namespace {

struct Entry {
    QByteArray value;
    int line = 0;
};

struct Block {
    QByteArray tag; // upper case, with its brackets
    int line = 0;
    QMap<QByteArray, Entry> keys;
};

// The keys each block knows: a mistyped key must not drop a price or a date unseen.
const QMap<QByteArray, QList<QByteArray>> KnownKeys = {
    {"<KSEF>", {"NUMER", "DATA", "DATA_DOSTAWY", "MIEJSCE", "WALUTA", "KURS", "RODZAJ", "ZWOLNIENIE", "MPP", "KODOWANIE", "PDF_FILE", "PDF_PATH"}},
    {"<SPRZEDAWCA>", {"NIP", "NAZWA", "ADRES", "ADRES2", "KRAJ", "EMAIL", "TELEFON"}},
    {"<NABYWCA>", {"NIP", "NRID", "NAZWA", "ADRES", "ADRES2", "KRAJ", "EMAIL", "TELEFON"}},
    {"<POZYCJA>", {"NAZWA", "JM", "ILOSC", "CENA", "WARTOSC", "VAT", "PRZED"}},
    {"<SUMY>", {}}, // NETTO_<rate>, VAT_<rate>, BRUTTO: checked where they are read
    {"<PLATNOSC>", {"TERMIN", "FORMA", "RACHUNEK", "BANK", "ZAPLACONO"}},
    {"<KOREKTA>", {"PRZYCZYNA", "TYP", "NUMER", "DATA", "NR_KSEF"}},
};

class JobText {
public:
    explicit JobText(LineReader &reader) : m_path(reader.path()) { read(reader); }

    [[noreturn]] void fail(int line, const QString &what) const
    {
        throw ConversionError(line > 0 ? QStringLiteral("%1, wiersz %2: %3").arg(m_path).arg(line).arg(what)
                                       : QStringLiteral("%1: %2").arg(m_path, what));
    }

    QList<const Block *> all(const char *tag) const
    {
        QList<const Block *> found;
        for (const Block &b : m_blocks) {
            if (b.tag == tag)
                found.append(&b);
        }
        return found;
    }

    const Block *one(const char *tag, bool required) const
    {
        const QList<const Block *> found = all(tag);
        if (found.size() > 1)
            fail(found[1]->line, QStringLiteral("%1 drugi raz").arg(QLatin1StringView(tag)));
        if (found.isEmpty() && required)
            fail(0, QStringLiteral("brak bloku %1").arg(QLatin1StringView(tag)));
        return found.isEmpty() ? nullptr : found.first();
    }

    QString decode(const QByteArray &bytes) const
    {
        return m_win1250 ? Win1250ToUnicode(m_iso2 ? Iso2ToWin1250(bytes) : bytes) : Cp852ToUnicode(bytes);
    }

    void setCodePage(const Entry &entry)
    {
        const QByteArray v = UpperAscii(entry.value);
        if (v == "852" || v == "CP852")
            return;
        if (v == "1250" || v == "CP1250" || v == "WINDOWS-1250") {
            m_win1250 = true;
        } else if (v == "ISO-8859-2" || v == "ISO8859-2" || v == "LATIN2") {
            m_win1250 = m_iso2 = true;
        } else {
            fail(entry.line, QStringLiteral("KODOWANIE=%1: znane są 852, 1250 i ISO-8859-2")
                                 .arg(QString::fromLatin1(entry.value)));
        }
    }

private:
    void read(LineReader &reader)
    {
        Block *open = nullptr;
        while (auto raw = reader.next()) {
            const int line = reader.lineNumber();
            const QByteArray text = TrimControl(*raw);
            if (text.isEmpty())
                continue;
            if (text.startsWith('<') && text.endsWith('>') && !text.contains('=')) {
                const QByteArray tag = UpperAscii(text);
                if (tag == "<END>") {
                    if (!open)
                        fail(line, QStringLiteral("<END> bez otwartego bloku"));
                    open = nullptr;
                    continue;
                }
                if (open)
                    fail(line, QStringLiteral("%1 przed <END> bloku %2 z wiersza %3")
                                   .arg(QString::fromLatin1(tag), QString::fromLatin1(open->tag))
                                   .arg(open->line));
                if (!KnownKeys.contains(tag))
                    fail(line, QStringLiteral("nieznany blok %1").arg(decode(text)));
                if (m_blocks.isEmpty() && tag != "<KSEF>")
                    fail(line, QStringLiteral("zadanie zaczyna się od <KSEF>"));
                m_blocks.append(Block{tag, line, {}});
                open = &m_blocks.last();
                continue;
            }
            if (!open)
                fail(line, QStringLiteral("tekst poza blokiem: %1").arg(decode(text.left(60))));
            const auto kv = ParseKeyLine(text);
            if (!kv || kv->key.isEmpty())
                fail(line, QStringLiteral("oczekiwano KLUCZ=wartość: %1").arg(decode(text.left(60))));
            const QList<QByteArray> &known = KnownKeys[open->tag];
            if (!known.isEmpty() && !known.contains(kv->key))
                fail(line, QStringLiteral("nieznany klucz %1 w bloku %2 (znane: %3)")
                               .arg(decode(kv->key), QString::fromLatin1(open->tag),
                                    QString::fromLatin1(known.toList().join(", "))));
            if (open->keys.contains(kv->key))
                fail(line, QStringLiteral("%1 drugi raz w bloku %2").arg(decode(kv->key), QString::fromLatin1(open->tag)));
            open->keys.insert(kv->key, Entry{kv->value, line});
            if (open->tag == "<KSEF>" && kv->key == "KODOWANIE")
                setCodePage(open->keys[kv->key]);
        }
        if (open)
            fail(open->line, QStringLiteral("blok %1 bez <END>").arg(QString::fromLatin1(open->tag)));
        if (m_blocks.isEmpty())
            fail(0, QStringLiteral("brak bloku <KSEF>"));
    }

    QString m_path;
    QList<Block> m_blocks;
    bool m_win1250 = false;
    bool m_iso2 = false;
};

// Reads the values of one block, naming the line of each in its messages.
class Keys {
public:
    Keys(const JobText &job, const Block &block) : m_job(job), m_block(block) {}

    bool has(const char *key) const { return m_block.keys.contains(key) && !m_block.keys[key].value.isEmpty(); }
    int line(const char *key) const { return m_block.keys.contains(key) ? m_block.keys[key].line : m_block.line; }
    QByteArray raw(const char *key) const { return m_block.keys.value(key).value; }

    [[noreturn]] void fail(const char *key, const QString &why) const
    {
        m_job.fail(line(key), QStringLiteral("%1=%2: %3").arg(QLatin1StringView(key), text(key), why));
    }

    QString text(const char *key) const { return m_job.decode(raw(key)); }

    QString required(const char *key, int maxLength = 256) const
    {
        if (!has(key))
            m_job.fail(m_block.line, QStringLiteral("w bloku %1 brak %2=")
                                         .arg(QString::fromLatin1(m_block.tag), QLatin1StringView(key)));
        return optional(key, maxLength);
    }

    QString optional(const char *key, int maxLength = 256) const
    {
        const QString value = text(key).trimmed();
        if (value.size() > maxLength)
            fail(key, QStringLiteral("dłuższe niż %1 znaków").arg(maxLength));
        // An XML file cannot carry them, and KSeF refuses the ones it could.
        for (const QChar c : value) {
            if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F) || c.isNonCharacter() || c.isSurrogate())
                fail(key, QStringLiteral("znak sterujący (kod %1) w tekście").arg(c.unicode()));
        }
        return value;
    }

    QDate date(const char *key) const
    {
        if (!has(key))
            return {};
        const QString t = text(key).trimmed();
        for (const QString &format : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("dd.MM.yyyy"),
                                      QStringLiteral("dd-MM-yyyy"), QStringLiteral("yyyy.MM.dd")}) {
            const QDate d = QDate::fromString(t, format);
            if (d.isValid()) {
                if (d < QDate(2006, 1, 1) || d > QDate(2050, 1, 1))
                    fail(key, QStringLiteral("data poza latami 2006-2050"));
                return d;
            }
        }
        fail(key, QStringLiteral("to nie jest data (RRRR-MM-DD albo DD.MM.RRRR)"));
    }

    KsefDecimal decimal(const char *key, int scale) const
    {
        const auto d = KsefDecimal::parse(raw(key), scale);
        if (!d)
            fail(key, QStringLiteral("to nie jest liczba o najwyżej %1 miejscach po przecinku").arg(scale));
        return *d;
    }

private:
    const JobText &m_job;
    const Block &m_block;
};

KsefParty ReadParty(const JobText &job, const Block &block, bool seller)
{
    const Keys keys(job, block);
    KsefParty party;
    if (keys.has("NIP")) {
        party.nip = NormalisedNip(keys.text("NIP"));
        if (party.nip.isEmpty())
            keys.fail("NIP", QStringLiteral("to nie jest NIP (dziesięć cyfr z poprawną cyfrą kontrolną)"));
    } else if (seller) {
        job.fail(block.line, QStringLiteral("sprzedawca musi mieć NIP"));
    }
    if (!seller && keys.has("NRID")) {
        if (!party.nip.isEmpty())
            keys.fail("NRID", QStringLiteral("nabywca ma już NIP"));
        party.foreignId = keys.optional("NRID", 50);
    }
    party.name = seller ? keys.required("NAZWA", 512) : keys.optional("NAZWA", 512);
    party.address1 = seller ? keys.required("ADRES", 512) : keys.optional("ADRES", 512);
    party.address2 = keys.optional("ADRES2", 512);
    if (keys.has("KRAJ")) {
        party.country = keys.text("KRAJ").trimmed().toUpper();
        if (party.country.size() != 2 || !party.country[0].isLetter() || !party.country[1].isLetter())
            keys.fail("KRAJ", QStringLiteral("kod kraju to dwie litery (PL, DE, ...)"));
    }
    if (!party.address2.isEmpty() && party.address1.isEmpty())
        keys.fail("ADRES2", QStringLiteral("bez ADRES="));
    party.email = keys.optional("EMAIL", 255);
    party.phone = keys.optional("TELEFON", 16);
    return party;
}

KsefLine ReadLine(const JobText &job, const Block &block, bool correction)
{
    const Keys keys(job, block);
    KsefLine line;
    line.sourceLine = block.line;
    line.name = keys.required("NAZWA", 512);
    line.unit = keys.optional("JM", 256);
    const auto rate = ParseKsefRate(keys.required("VAT"));
    if (!rate)
        keys.fail("VAT", QStringLiteral("znane stawki: 23, 22, 8, 7, 5, 4, 3, 0, 0 WDT, 0 EX, zw, oo, np, np II"));
    line.rate = *rate;
    const bool hasQuantity = keys.has("ILOSC");
    const bool hasPrice = keys.has("CENA");
    if (hasQuantity)
        line.quantity = keys.decimal("ILOSC", 6);
    if (hasPrice)
        line.unitPrice = keys.decimal("CENA", 8);
    if (keys.has("WARTOSC")) {
        line.net = keys.decimal("WARTOSC", 2);
        if (hasQuantity && hasPrice) {
            const std::int64_t expected = NetOf(*line.quantity, *line.unitPrice);
            if (std::llabs(expected - line.net.units) > 1)
                keys.fail("WARTOSC", QStringLiteral("ILOSC × CENA daje %1").arg(QString::fromLatin1(KsefDecimal{expected, 2}.text())));
        }
    } else if (hasQuantity && hasPrice) {
        line.net = KsefDecimal{NetOf(*line.quantity, *line.unitPrice), 2};
    } else {
        job.fail(block.line, QStringLiteral("pozycja bez WARTOSC= i bez ILOSC= z CENA="));
    }
    if (keys.has("PRZED")) {
        if (!correction)
            keys.fail("PRZED", QStringLiteral("tylko w fakturze korygującej (RODZAJ=KOR)"));
        const QByteArray v = keys.raw("PRZED").trimmed();
        if (v != "1" && v != "0")
            keys.fail("PRZED", QStringLiteral("1 (wiersz sprzed korekty) albo 0"));
        line.before = v == "1";
    }
    return line;
}

void ReadCorrection(const JobText &job, const Block *block, KsefInvoice &invoice)
{
    if (!invoice.correction) {
        if (block)
            job.fail(block->line, QStringLiteral("<KOREKTA> tylko przy RODZAJ=KOR"));
        return;
    }
    if (!block)
        job.fail(0, QStringLiteral("RODZAJ=KOR wymaga bloku <KOREKTA>"));
    const Keys keys(job, *block);
    invoice.corrected.reason = keys.optional("PRZYCZYNA", 256);
    if (keys.has("TYP")) {
        const QByteArray t = keys.raw("TYP").trimmed();
        if (t != "1" && t != "2" && t != "3")
            keys.fail("TYP", QStringLiteral("1 (w dacie faktury korygowanej), 2 (w dacie korekty) albo 3 (inna)"));
        invoice.corrected.type = t.toInt();
    }
    invoice.corrected.number = keys.required("NUMER", 256);
    invoice.corrected.issued = keys.date("DATA");
    if (!invoice.corrected.issued.isValid())
        job.fail(block->line, QStringLiteral("w bloku <KOREKTA> brak DATA= (data wystawienia faktury korygowanej)"));
    if (keys.has("NR_KSEF")) {
        invoice.corrected.ksefNumber = keys.text("NR_KSEF").trimmed();
        if (!IsKsefNumber(invoice.corrected.ksefNumber))
            keys.fail("NR_KSEF", QStringLiteral("to nie jest numer KSeF (NIP-RRRRMMDD-XXXXXXXXXXXX-KK z poprawną sumą kontrolną)"));
    }
}

void ReadPayment(const JobText &job, const Block *block, KsefInvoice &invoice)
{
    if (!block)
        return;
    const Keys keys(job, *block);
    KsefPayment &p = invoice.payment;
    p.due = keys.date("TERMIN");
    p.paid = keys.date("ZAPLACONO");
    if (keys.has("FORMA")) {
        static const QStringList Forms = {QStringLiteral("gotowka"), QStringLiteral("karta"), QStringLiteral("bon"),
                                          QStringLiteral("czek"),    QStringLiteral("kredyt"), QStringLiteral("przelew"),
                                          QStringLiteral("mobilna")};
        QString f = keys.text("FORMA").trimmed().toLower();
        f.replace(u'ó', u'o');
        f.replace(u'ł', u'l');
        const qsizetype index = Forms.indexOf(f);
        bool digit = false;
        const int n = f.toInt(&digit);
        if (index >= 0)
            p.form = int(index) + 1;
        else if (digit && n >= 1 && n <= 7)
            p.form = n;
        else
            keys.fail("FORMA", QStringLiteral("znane: gotówka, karta, bon, czek, kredyt, przelew, mobilna (albo 1-7)"));
    }
    if (keys.has("RACHUNEK")) {
        QString account = keys.text("RACHUNEK");
        account.remove(u' ');
        account.remove(u'-');
        if (account.size() < 10 || account.size() > 34)
            keys.fail("RACHUNEK", QStringLiteral("numer rachunku ma od 10 do 34 znaków"));
        p.account = account;
    }
    p.bankName = keys.optional("BANK", 256);
    if (!p.bankName.isEmpty() && p.account.isEmpty())
        keys.fail("BANK", QStringLiteral("bez RACHUNEK="));
}

} // namespace

KsefInvoice ReadKsefJob(LineReader &reader)
{
    JobText job(reader);
    KsefInvoice invoice;
    const Block *head = job.one("<KSEF>", true);
    const Keys keys(job, *head);
    invoice.number = keys.required("NUMER", 256);
    invoice.issued = keys.date("DATA");
    if (!invoice.issued.isValid())
        job.fail(head->line, QStringLiteral("w bloku <KSEF> brak DATA= (data wystawienia)"));
    invoice.supplied = keys.date("DATA_DOSTAWY");
    invoice.place = keys.optional("MIEJSCE", 256);
    if (keys.has("WALUTA")) {
        const QByteArray code = UpperAscii(keys.raw("WALUTA").trimmed());
        if (code.size() != 3 || !std::all_of(code.begin(), code.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
            keys.fail("WALUTA", QStringLiteral("trzyliterowy kod waluty ISO 4217 (PLN, EUR, USD, ...)"));
        invoice.currency = QString::fromLatin1(code);
    }
    // The tax of an invoice in another currency is given in złoty too, at the rate the
    // program gives (the law's rate: the central bank's of the day before).
    if (keys.has("KURS")) {
        if (invoice.currency == u"PLN")
            keys.fail("KURS", QStringLiteral("kurs podaje się tylko dla faktury w walucie obcej (WALUTA=)"));
        invoice.exchangeRate = KsefDecimal::parse(keys.raw("KURS"), 6);
        if (!invoice.exchangeRate || invoice.exchangeRate->units <= 0)
            keys.fail("KURS", QStringLiteral("kurs waluty w złotych: liczba dodatnia, najwyżej 6 miejsc po przecinku "
                                             "(np. 4,2512)"));
    } else if (invoice.currency != u"PLN") {
        job.fail(head->line, QStringLiteral("faktura w %1 wymaga w bloku <KSEF> KURS= (złote za 1 %1), by podać "
                                            "podatek w złotych").arg(invoice.currency));
    }
    if (keys.has("MPP")) {
        const QByteArray v = keys.raw("MPP").trimmed();
        if (v != "1" && v != "0")
            keys.fail("MPP", QStringLiteral("1 (mechanizm podzielonej płatności) albo 0"));
        invoice.splitPayment = v == "1";
    }
    if (keys.has("RODZAJ")) {
        const QByteArray kind = UpperAscii(keys.raw("RODZAJ").trimmed());
        if (kind != "VAT" && kind != "KOR")
            keys.fail("RODZAJ", QStringLiteral("VAT albo KOR"));
        invoice.correction = kind == "KOR";
    }
    invoice.exemptionBasis = keys.optional("ZWOLNIENIE", 256);
    invoice.pdfFile = keys.raw("PDF_FILE").trimmed();
    invoice.pdfPath = keys.raw("PDF_PATH").trimmed();

    invoice.seller = ReadParty(job, *job.one("<SPRZEDAWCA>", true), true);
    invoice.buyer = ReadParty(job, *job.one("<NABYWCA>", true), false);
    for (const Block *b : job.all("<POZYCJA>"))
        invoice.lines.append(ReadLine(job, *b, invoice.correction));
    if (invoice.lines.isEmpty())
        job.fail(0, QStringLiteral("faktura bez pozycji (<POZYCJA>)"));
    if (invoice.lines.size() > 10000)
        job.fail(0, QStringLiteral("więcej niż 10000 pozycji"));
    ReadCorrection(job, job.one("<KOREKTA>", false), invoice);
    ReadPayment(job, job.one("<PLATNOSC>", false), invoice);

    KsefGivenTotals given;
    if (const Block *sums = job.one("<SUMY>", false)) {
        for (auto it = sums->keys.begin(); it != sums->keys.end(); ++it) {
            const QByteArray &key = it.key();
            const auto amount = KsefDecimal::parse(it->value, 2);
            if (!amount)
                job.fail(it->line, QStringLiteral("%1=%2: to nie jest kwota").arg(QString::fromLatin1(key), job.decode(it->value)));
            if (key == "BRUTTO") {
                given.gross = amount->units;
                given.grossLine = it->line;
                continue;
            }
            const bool net = key.startsWith("NETTO_");
            const bool vat = key.startsWith("VAT_");
            const auto rate = net || vat ? ParseKsefRate(QString::fromLatin1(key.mid(net ? 6 : 4))) : std::nullopt;
            if (!rate)
                job.fail(it->line, QStringLiteral("nieznany klucz %1 w bloku <SUMY> (znane: NETTO_23, VAT_23, ..., BRUTTO)")
                                       .arg(job.decode(key)));
            given.amounts.append({*rate, net, amount->units, it->line});
        }
    }
    if (const auto problem = ComputeKsefTotals(invoice, given))
        job.fail(problem->line, problem->what);
    if (invoice.exchangeRate) {
        for (KsefRateTotal &t : invoice.totals) {
            const std::optional<std::int64_t> zloty = InZloty(t.vat, *invoice.exchangeRate);
            if (!zloty)
                job.fail(head->line, QStringLiteral("podatek w złotych przekracza zakres kwot"));
            t.vatZloty = *zloty;
        }
    }
    return invoice;
}

} // namespace ostrevo
