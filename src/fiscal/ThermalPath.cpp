#include "fiscal/ThermalPath.h"

#include "fiscal/DriverApi.h"
#include "fiscal/DriverLibrary.h"
#include "fiscal/FiscalText.h"
#include "fiscal/LowArena.h"
#include "fiscal/OpenReceipt.h"
#include "fiscal/VatTable.h"
#include "jobs/JobFile.h"

#include <QStringList>

namespace ostrevo {

namespace {

using namespace thermal;

enum class ThermalTask { Receipt, DailyReport, PeriodicReport, CasReport, Display };

// The Thermal protocol's error for a cancel or an end without an open transaction.
constexpr int NoTransactionOpen = 29;

struct ThermalDriver {
    PortOpenFn *p_Port_Open = nullptr;
    NoArgumentFn *p_Port_Close = nullptr;
    OneArgumentFn *p_LBSERM = nullptr;
    OneArgumentFn *p_LBTRSHDR = nullptr;
    TransactionLineFn *p_LBTRSLN = nullptr;
    TransactionEndFn *p_LBTRXEND1 = nullptr;
    CancelFn *p_LBTREXITCAN = nullptr;
    DailyReportFn *p_LBDAYREP = nullptr;
    PeriodicReportFn *p_LBFSKREP_D = nullptr;
    NoArgumentFn *p_LBCASREP = nullptr;
    DisplayFn *p_LBDSP = nullptr;

    // Every function the operation may call, looked up before the port is opened.
    QStringList resolve(const DriverLibrary &library, ThermalTask operation)
    {
        QStringList missing;
        auto need = [&](auto *&function, const char *name) {
            if (!library.resolve(function, name))
                missing.append(QString::fromLatin1(name));
        };
        need(p_Port_Open, "p_Port_Open");
        need(p_Port_Close, "p_Port_Close");
        need(p_LBSERM, "p_LBSERM");
        switch (operation) {
        case ThermalTask::Receipt:
            need(p_LBTRSHDR, "p_LBTRSHDR");
            need(p_LBTRSLN, "p_LBTRSLN");
            need(p_LBTRXEND1, "p_LBTRXEND1");
            need(p_LBTREXITCAN, "p_LBTREXITCAN");
            break;
        case ThermalTask::DailyReport: need(p_LBDAYREP, "p_LBDAYREP"); break;
        case ThermalTask::PeriodicReport: need(p_LBFSKREP_D, "p_LBFSKREP_D"); break;
        case ThermalTask::CasReport: need(p_LBCASREP, "p_LBCASREP"); break;
        case ThermalTask::Display: need(p_LBDSP, "p_LBDSP"); break;
        }
        return missing;
    }
};

ThermalTask ThermalTaskOf(int function)
{
    switch (function) {
    case 1: return ThermalTask::Receipt;
    case 2: return ThermalTask::DailyReport;
    case 3: case 4: return ThermalTask::PeriodicReport;
    case 5: return ThermalTask::CasReport;
    default: return ThermalTask::Display; // 10, 11, 12
    }
}

// Item field 0 in one byte of the block: a number above 255 would wrap round to 0, a
// void line. Blanks around it are the right-aligned columns of DOS output.
std::optional<std::int32_t> LineNumber(const QByteArray &field)
{
    const std::optional<std::int32_t> number = ParseFiscalInteger(TrimControl(field));
    if (!number || *number < 0 || *number > 255)
        return std::nullopt;
    return number;
}

class ThermalOperation {
public:
    ThermalOperation(const FiscalJob &job, const FiscalEnvironment &environment, ThermalDriver &driver,
                     FiscalOutcome &outcome)
        : m_job(job), m_environment(environment), m_driver(driver), m_outcome(outcome)
    {
    }

    bool check(std::int32_t result, const char *function, const QString &where = {})
    {
        if (result == 0)
            return true;
        m_outcome.setDriver(result, QStringLiteral("%1 zwróciła %2%3").arg(QString::fromLatin1(function)).arg(result).arg(where));
        return false;
    }

    void receipt(const ReceiptData &data);
    void dailyReport();
    void periodicReport(int mode);

private:
    void cancel()
    {
        if (m_receipt)
            m_receipt->cancel();
    }
    void fail(int code, const QString &why)
    {
        m_outcome.set(code, why);
        cancel();
    }
    bool item(const QByteArray &line, int number, qint64 &sum);

    const FiscalJob &m_job;
    const FiscalEnvironment &m_environment;
    ThermalDriver &m_driver;
    FiscalOutcome &m_outcome;
    OpenReceipt *m_receipt = nullptr;
};

bool ThermalOperation::item(const QByteArray &line, int number, qint64 &sum)
{
    const QList<QByteArray> fields = SplitFiscalFields(line);
    if (fields.size() != 9) {
        fail(fcItemFieldCount, QStringLiteral("wiersz pozycji %1: pól %2 zamiast 9").arg(number).arg(fields.size()));
        return false;
    }
    auto field = [&fields](int k) { return TrimControl(fields.at(k)); };
    const std::optional<std::int32_t> lineNumber = LineNumber(fields.at(0));
    if (!lineNumber) {
        fail(fcLineNumberBad, QStringLiteral("wiersz pozycji %1: numer wiersza \"%2\" nie jest liczbą od 0 do 255")
                                  .arg(number).arg(QString::fromLatin1(fields.at(0))));
        return false;
    }
    const QByteArray name = m_job.convert(field(1)) + ' ' + m_job.convert(field(2));
    const std::optional<std::int32_t> decimals = ParseFiscalInteger(field(4));
    if (!decimals || *decimals < 0 || *decimals > 9) {
        fail(fcDecimalsBad, QStringLiteral("wiersz pozycji %1: liczba miejsc dziesiętnych \"%2\" nie jest liczbą od 0 do 9")
                                .arg(number).arg(QString::fromLatin1(field(4))));
        return false;
    }
    const std::optional<std::int32_t> value = ParseFiscalInteger(field(8));
    if (!value) {
        fail(fcLineValueBad, QStringLiteral("wiersz pozycji %1: wartość wiersza \"%2\" nie jest liczbą").arg(number).arg(QString::fromLatin1(field(8))));
        return false;
    }
    sum += *value;
    const char group = m_environment.vatTable->FindVatGroup(fields.at(7));
    if (group == ' ') {
        fail(fcThermalVatMissing, QStringLiteral("wiersz pozycji %1: stawki VAT \"%2\" nie ma w PTU.txt").arg(number).arg(QString::fromLatin1(field(7))));
        return false;
    }
    // Quantity and price go to the printer as texts: they must be numbers too, or the
    // printer would read what it can from them.
    if (!ParseFiscalInteger(field(3)) || !ParseFiscalInteger(field(6))) {
        fail(fcNumberBad, QStringLiteral("wiersz pozycji %1: ilość lub cena nie jest liczbą").arg(number));
        return false;
    }

    LowArena arena;
    auto *block = arena.place<TransactionLineBlock>();
    block->lineNumber = std::uint8_t(*lineNumber);
    block->name = arena.text(name);
    block->quantity = arena.text(InsertDecimalPoint(field(3), *decimals, '.'));
    block->vatGroup = group;
    block->unitPrice = arena.text(InsertDecimalPoint(field(6), 2, '.'));
    block->lineValue = arena.text(InsertDecimalPoint(field(8), 2, '.'));
    block->discount = arena.text(QByteArrayLiteral("0.00"));
    if (!check(m_driver.p_LBTRSLN(block), "p_LBTRSLN", QStringLiteral(" (wiersz pozycji %1)").arg(number))) {
        cancel();
        return false;
    }
    return true;
}

QByteArray ThermalDocumentText(const QByteArray &kind, const QByteArray &number)
{
    if (kind == "P")
        return "Paragon " + number;
    if (kind == "F")
        return "Faktura " + number;
    if (kind == "R")
        return "Rachunek " + number;
    return {};
}

std::uint8_t PaymentCode(const QByteArray &form)
{
    return form == "K" ? 1 : form == "C" ? 2 : 0;
}

void ThermalOperation::receipt(const ReceiptData &data)
{
    // What the printer cannot number is refused before anything is printed, not after
    // 255 lines and a cancel.
    if (data.items.size() > 255) {
        m_outcome.set(fcTooManyLines, QStringLiteral("%1 wierszy pozycji: drukarka przyjmuje najwyżej 255 na jednym paragonie")
                                          .arg(data.items.size()));
        return;
    }
    for (qsizetype k = 0; k < data.items.size(); ++k) {
        const QList<QByteArray> fields = SplitFiscalFields(data.items.at(k));
        if (fields.size() == 9 && !LineNumber(fields.at(0))) {
            m_outcome.set(fcLineNumberBad, QStringLiteral("wiersz pozycji %1: numer wiersza \"%2\" nie jest liczbą od 0 do 255")
                                               .arg(k + 1)
                                               .arg(QString::fromLatin1(fields.at(0))));
            return;
        }
    }
    if (!check(m_driver.p_LBTRSHDR(std::int32_t(data.items.size())), "p_LBTRSHDR"))
        return;
    OpenReceipt open([this] { return m_driver.p_LBTREXITCAN("001", "KIEROWNIK"); }, m_outcome,
                     NoTransactionOpen);
    m_receipt = &open;
    struct Forget {
        OpenReceipt *&receipt;
        ~Forget() { receipt = nullptr; }
    } forget{m_receipt};
    qint64 sum = 0;
    int number = 0;
    for (const QByteArray &line : data.items) {
        if (!item(line, ++number, sum))
            return;
    }
    // "0", "00" or "000": no total given, the sum of the lines instead.
    const bool noTotal = ParseFiscalInteger(data.total) == 0;
    const QByteArray total = InsertDecimalPoint(
        noTotal ? (data.items.isEmpty() ? QByteArray() : QByteArray::number(sum)) : data.total, 2, '.');
    const std::uint8_t payment = PaymentCode(data.paymentForm);
    const bool nonCash = payment != 0;

    LowArena arena;
    const Address32 empty = arena.text({});
    const Address32 zero = arena.text(QByteArrayLiteral("0"));
    const Address32 totalText = arena.text(total);
    auto *area = arena.place<EndArea>();
    const Address32 areaWords[11] = {empty, 0, zero, 0, zero, 0, nonCash ? totalText : zero, 0, zero, 0, zero};
    for (int k = 0; k < 11; ++k)
        area->words[k] = areaWords[k];
    auto word = [area](int k) { return Address32(LowArena::address(area) + 4 * k); };

    auto *block = arena.place<TransactionEndBlock>();
    block->flags0[2] = 1;
    block->flags0[7] = 1;
    block->nonCash = nonCash ? 1 : 0;
    block->cash = nonCash ? 0 : 1;
    block->paymentForm = arena.byte(payment);
    block->emptyText = empty;
    block->extraLine = arena.text(m_job.convert(data.extraLine));
    block->documentText = arena.text(ThermalDocumentText(data.documentKind, data.documentNumber));
    block->areaWord0 = word(0);
    block->areaWord9 = word(9);
    block->areaWord7 = word(7);
    block->total55 = totalText;
    block->total63 = totalText;
    block->zeroText71 = zero;
    block->total79 = totalText;
    block->areaWord5 = word(5);
    block->zeroText91 = zero;
    block->areaWord3 = word(3);
    block->areaWord1 = word(1);
    const std::int32_t end = m_driver.p_LBTRXEND1(block);
    if (check(end, "p_LBTRXEND1"))
        open.closed();
    else
        open.endFailed("p_LBTRXEND1", end);
}

void ThermalOperation::dailyReport()
{
    LowArena arena;
    auto *block = arena.place<DailyReportBlock>();
    block->month = std::uint16_t(m_environment.today.month());
    check(m_driver.p_LBDAYREP(block), "p_LBDAYREP");
}

void ThermalOperation::periodicReport(int mode)
{
    const QList<QByteArray> &lines = m_job.dataLines;
    const std::optional<FiscalDate> start = ParseFiscalDate(lines.isEmpty() ? QByteArray() : TrimControl(lines.at(0)));
    if (!start) {
        m_outcome.set(fcStartDateBad, QStringLiteral("data początkowa nie ma postaci rrrrmmdd"));
        return;
    }
    const std::optional<FiscalDate> end = ParseFiscalDate(lines.size() < 2 ? QByteArray() : TrimControl(lines.at(1)));
    if (!end) {
        m_outcome.set(fcEndDateBad, QStringLiteral("data końcowa nie ma postaci rrrrmmdd"));
        return;
    }
    LowArena arena;
    auto *block = arena.place<PeriodicReportBlock>();
    block->startYear = std::uint8_t(start->year);
    block->startMonth = std::uint8_t(start->month);
    block->startDay = std::uint8_t(start->day);
    block->endYear = std::uint8_t(end->year);
    block->endMonth = std::uint8_t(end->month);
    block->endDay = std::uint8_t(end->day);
    block->mode = std::uint8_t(mode);
    check(m_driver.p_LBFSKREP_D(block), "p_LBFSKREP_D");
}

} // namespace

FiscalOutcome RunThermalOperation(const FiscalJob &job, const FiscalEnvironment &environment)
{
    FiscalOutcome outcome;
    const ThermalTask operation = ThermalTaskOf(job.function);
    // Amounts that can only fail are refused before anything is loaded.
    QByteArray amount;
    if (job.function == 12) {
        amount = TrimControl(job.dataLines.isEmpty() ? QByteArray() : job.dataLines.last());
        if (!ParseFiscalInteger(amount)) {
            outcome.set(fcNumberBad, QStringLiteral("kwota do wyświetlenia nie jest liczbą"));
            return outcome;
        }
    }
    if (operation == ThermalTask::Receipt) {
        if (!ParseFiscalInteger(job.receipt.total)) {
            outcome.set(fcNumberBad, QStringLiteral("suma paragonu \"%1\" nie jest liczbą").arg(QString::fromLatin1(job.receipt.total)));
            return outcome;
        }
        const QString ptu = environment.programDir + QStringLiteral("/PTU.txt");
        if (const int code = environment.vatTable->LoadVatTable(ptu, job.modelName)) {
            outcome.set(code, code == VatTable::FileMissing ? QStringLiteral("brak %1").arg(ptu)
                              : code == VatTable::SectionMissing
                                  ? QStringLiteral("PTU.txt nie ma sekcji <%1>").arg(QString::fromLatin1(job.modelName))
                                  : QStringLiteral("PTU.txt: grupa VAT w <%1> nie jest jednym znakiem").arg(QString::fromLatin1(job.modelName)));
            return outcome;
        }
    }

    const DriverLibrary library(environment.programDir + u'/' + ThermalLibraryName);
    if (!library.loaded()) {
        outcome.set(fcThermalLibraryMissing, QStringLiteral("nie można załadować %1: %2").arg(library.path(), library.error()));
        return outcome;
    }
    ThermalDriver driver;
    if (const QStringList missing = driver.resolve(library, operation); !missing.isEmpty()) {
        outcome.set(fcThermalFunctionMissing, QStringLiteral("w %1 brak %2").arg(library.path(), missing.join(QStringLiteral(", "))));
        return outcome;
    }

    ThermalOperation run(job, environment, driver, outcome);
    const QByteArray port = "COM" + QByteArray::number(job.port);
    if (!run.check(driver.p_Port_Open(port.constData(), 9600), "p_Port_Open"))
        return outcome;
    // The port is closed whatever happens from here on.
    struct ClosePort {
        ThermalDriver &driver;
        ~ClosePort() { driver.p_Port_Close(); }
    } close{driver};
    if (!run.check(driver.p_LBSERM(3), "p_LBSERM"))
        return outcome;

    switch (job.function) {
    case 1: run.receipt(job.receipt); break;
    case 2: run.dailyReport(); break;
    case 3: run.periodicReport(0); break;
    case 4: run.periodicReport(1); break;
    case 5: run.check(driver.p_LBCASREP(), "p_LBCASREP"); break;
    case 10: run.check(driver.p_LBDSP(4, nullptr), "p_LBDSP"); break;
    case 11: run.check(driver.p_LBDSP(1, nullptr), "p_LBDSP"); break;
    case 12: {
        const QByteArray text = InsertDecimalPoint(amount, 2, '.');
        run.check(driver.p_LBDSP(2, text.constData()), "p_LBDSP");
        break;
    }
    default: break;
    }
    return outcome;
}

} // namespace ostrevo
