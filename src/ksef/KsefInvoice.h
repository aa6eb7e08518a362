#pragma once

#include "ksef/KsefDecimal.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace ostrevo {

// A VAT rate as the invoice schema names it ("23", "0 KR", "zw", "np I", ...).
struct KsefRate {
    QString code;
    int percent = -1; // the rate in per cent; -1 where no tax is charged (0, zw, oo, np)
    // The pair of header fields it sums into, in the schema's order (23 and 22 share one,
    // as 8 and 7, 4 and 3): 1, 2, 3, 4, 61, 62, 63, 7, 8, 9, 10.
    int field = 0;
    bool operator==(const KsefRate &) const = default;
};

struct KsefParty {
    QString nip;       // empty for a buyer without one (a consumer, a foreign firm)
    QString foreignId; // a foreign buyer's tax number, with `country`
    QString name;
    QString country = QStringLiteral("PL");
    QString address1;
    QString address2;
    QString email;
    QString phone;
};

struct KsefLine {
    int sourceLine = 0; // where the job wrote it, for messages
    QString name;
    QString unit;
    std::optional<KsefDecimal> quantity;  // scale 6
    std::optional<KsefDecimal> unitPrice; // net, scale 8
    KsefDecimal net{0, 2};
    KsefRate rate;
    bool before = false; // a correction's row as it stood on the corrected invoice
};

// The totals of one rate: net and tax in grosze.
struct KsefRateTotal {
    KsefRate rate;
    std::int64_t net = 0;
    std::int64_t vat = 0;
    std::int64_t vatZloty = 0; // an invoice in a foreign currency: the tax in złoty
};

struct KsefCorrected {
    QString reason;
    int type = 0; // 1, 2 or 3; 0: not given
    QString number;
    QDate issued;
    QString ksefNumber; // empty: the corrected invoice was issued outside KSeF
};

struct KsefPayment {
    QDate due;
    int form = 0; // 1 cash ... 7 mobile; 0: not given
    QString account;
    QString bankName;
    QDate paid; // given when the invoice was paid already
};

// One invoice as the DOS program wrote it, checked and ready to be written as FA(3).
struct KsefInvoice {
    QString number;
    QDate issued;
    QDate supplied; // null: the same as `issued`, not written
    QString place;
    QString currency = QStringLiteral("PLN");
    // Another currency: złoty for one unit (KURS=), by which the tax is given in złoty.
    std::optional<KsefDecimal> exchangeRate;
    bool correction = false;
    KsefCorrected corrected;
    QString exemptionBasis; // the legal basis of exempt ("zw") lines
    bool splitPayment = false;
    KsefParty seller;
    KsefParty buyer;
    QList<KsefLine> lines;
    QList<KsefRateTotal> totals; // per rate, in the order the schema lists the rates
    std::int64_t gross = 0;      // what the buyer pays (for a correction: the difference)
    KsefPayment payment;
    // Where the job wants the invoice as a PDF (PDF_FILE, PDF_PATH), in its code page.
    QByteArray pdfFile;
    QByteArray pdfPath;
};

} // namespace ostrevo
