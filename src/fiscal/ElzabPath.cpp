#include "fiscal/ElzabPath.h"

#include "fiscal/DriverApi.h"
#include "fiscal/DriverLibrary.h"
#include "fiscal/FiscalText.h"
#include "fiscal/OpenReceipt.h"
#include "fiscal/VatTable.h"
#include "jobs/JobFile.h"

#include <QStringList>

#include <vector>

namespace ostrevo {

namespace {

using namespace elzab;

enum class Operation { Receipt, DailyReport, PeriodReport, StatusReport, LockedArticles, Display, Drawer };

// The driver's functions an operation calls, all looked up before anything is sent, so
// that a library without one of them never leaves a receipt half printed.
struct ElzabDriver {
    CommunicationInitFn *CommunicationInit = nullptr;
    NoArgumentFn *CommunicationEnd = nullptr;
    NoArgumentFn *ReceiptBegin = nullptr;
    ReceiptItemFn *ReceiptItem = nullptr;
    CharsInArticleNameFn *CharsInArticleName = nullptr;
    FillLinesFn *FillLines = nullptr;
    OneArgumentFn *ReceiptEnd = nullptr;
    NoArgumentFn *ReceiptCancel = nullptr;
    NoArgumentFn *ErasePayments = nullptr;
    NoArgumentFn *EraseLines = nullptr;
    OneArgumentFn *DailyReport = nullptr;
    PeriodReportFn *PeriodReport = nullptr;
    NoArgumentFn *PrinterStatusReport = nullptr;
    NoArgumentFn *LockedArticlesReport = nullptr;
    DisplayFn *pDisplayFP600 = nullptr;
    OneArgumentFn *OpenDrawer = nullptr;

    // The names that failed to resolve.
    QStringList resolve(const DriverLibrary &library, Operation operation)
    {
        QStringList missing;
        auto need = [&](auto *&function, const char *name) {
            if (!library.resolve(function, name))
                missing.append(QString::fromLatin1(name));
        };
        need(CommunicationInit, "CommunicationInit");
        need(CommunicationEnd, "CommunicationEnd");
        switch (operation) {
        case Operation::Receipt:
            need(ReceiptBegin, "ReceiptBegin");
            need(ReceiptItem, "ReceiptItem");
            need(CharsInArticleName, "CharsInArticleName");
            need(FillLines, "FillLines");
            need(ReceiptEnd, "ReceiptEnd");
            need(ReceiptCancel, "ReceiptCancel");
            need(ErasePayments, "ErasePayments");
            need(EraseLines, "EraseLines");
            break;
        case Operation::DailyReport: need(DailyReport, "DailyReport"); break;
        case Operation::PeriodReport: need(PeriodReport, "PeriodReport"); break;
        case Operation::StatusReport: need(PrinterStatusReport, "PrinterStatusReport"); break;
        case Operation::LockedArticles: need(LockedArticlesReport, "LockedArticlesReport"); break;
        case Operation::Display: need(pDisplayFP600, "pDisplayFP600"); break;
        case Operation::Drawer: need(OpenDrawer, "OpenDrawer"); break;
        }
        return missing;
    }
};

class ElzabOperation {
public:
    ElzabOperation(const FiscalJob &job, const FiscalEnvironment &environment, ElzabDriver &driver,
                   FiscalOutcome &outcome)
        : m_job(job), m_environment(environment), m_driver(driver), m_outcome(outcome)
    {
    }

    void receipt(const ReceiptData &data);
    void periodReport(int mode);
    void displayAmount(const QByteArray &amount);

    // A driver result: false (and the code kept) when it is not 0.
    bool check(std::int32_t result, const char *function, const QString &where = {})
    {
        if (result == 0)
            return true;
        m_outcome.setDriver(result, QStringLiteral("%1 zwróciła %2%3").arg(QString::fromLatin1(function)).arg(result).arg(where));
        return false;
    }

private:
    // Cancel: ReceiptCancel, ErasePayments, EraseLines; the first one's result tells.
    std::int32_t cancelCalls()
    {
        const std::int32_t result = m_driver.ReceiptCancel();
        m_driver.ErasePayments();
        m_driver.EraseLines();
        return result;
    }
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
    bool item(const QByteArray &line, int number);

    const FiscalJob &m_job;
    const FiscalEnvironment &m_environment;
    ElzabDriver &m_driver;
    FiscalOutcome &m_outcome;
    OpenReceipt *m_receipt = nullptr;
};

QString LineNote(int number)
{
    return QStringLiteral(" (wiersz pozycji %1)").arg(number);
}

bool ElzabOperation::item(const QByteArray &line, int number)
{
    const QList<QByteArray> fields = SplitFiscalFields(line);
    if (fields.size() != 9) {
        fail(fcItemFieldCount, QStringLiteral("wiersz pozycji %1: pól %2 zamiast 9").arg(number).arg(fields.size()));
        return false;
    }
    auto field = [&fields](int k) { return TrimControl(fields.at(k)); };
    QByteArray name = m_job.convert(field(1)) + ' ' + m_job.convert(field(2));
    name = PadArticleName(name, m_job.model, m_driver.CharsInArticleName(name.constData()));
    const QByteArray text = m_job.convert(field(5));

    const std::optional<std::int32_t> quantity = ParseFiscalInteger(field(3));
    const std::optional<std::int32_t> decimals = ParseFiscalInteger(field(4));
    const std::optional<std::int32_t> price = ParseFiscalInteger(field(6));
    std::optional<std::int32_t> value = ParseFiscalInteger(field(8));
    if (!quantity || !decimals || !price || !value) {
        fail(fcNumberBad, QStringLiteral("wiersz pozycji %1: ilość, miejsca dziesiętne, cena lub wartość nie jest liczbą").arg(number));
        return false;
    }
    const char group = m_environment.vatTable->FindVatGroup(fields.at(7));
    if (group < '0' || group > '9') {
        fail(fcVatGroupBad, group == ' '
                                ? QStringLiteral("wiersz pozycji %1: stawki VAT \"%2\" nie ma w PTU.txt").arg(number).arg(QString::fromLatin1(field(7)))
                                : QStringLiteral("wiersz pozycji %1: grupa VAT '%2' nie jest cyfrą").arg(number).arg(QLatin1Char(group)));
        return false;
    }
    const std::int32_t result = m_driver.ReceiptItem(1, name.constData(), group - '0', 0, *quantity, *decimals,
                                                     text.constData(), *price, &*value);
    if (!check(result, "ReceiptItem", LineNote(number))) {
        // The receipt is open: cancelled like after any other failure inside it.
        cancel();
        return false;
    }
    return true;
}

QByteArray PaymentText(const QByteArray &form)
{
    if (form == "G")
        return QByteArrayLiteral("GOT\xD3WKA"); // Windows-1250, as the driver has always been given it
    if (form == "K")
        return QByteArrayLiteral("KARTA");
    if (form == "C")
        return QByteArrayLiteral("CZEK");
    return {};
}

QByteArray DocumentText(const QByteArray &kind, const QByteArray &number)
{
    if (kind == "P")
        return "NR PARAGONU " + number;
    if (kind == "F")
        return "NR FAKTURY " + number;
    if (kind == "R")
        return "NR RACHUNKU " + number;
    return {};
}

void ElzabOperation::receipt(const ReceiptData &data)
{
    if (!check(m_driver.ReceiptBegin(), "ReceiptBegin"))
        return;
    // The Elzab drivers name no code for "no receipt open": a cancel that fails after a
    // failed end leaves the receipt's fate unknown.
    OpenReceipt open([this] { return cancelCalls(); }, m_outcome);
    m_receipt = &open;
    struct Forget {
        OpenReceipt *&receipt;
        ~Forget() { receipt = nullptr; }
    } forget{m_receipt};
    int number = 0;
    for (const QByteArray &line : data.items) {
        if (!item(line, ++number))
            return;
    }
    const QByteArray lines[3] = {PaymentText(data.paymentForm), m_job.convert(data.extraLine),
                                 DocumentText(data.documentKind, data.documentNumber)};
    const std::int32_t lineNumbers[3] = {2, 5, 6};
    std::int32_t counter = 0;
    for (int k = 0; k < 3; ++k) {
        if (!check(m_driver.FillLines(lineNumbers[k], lines[k].constData(), &counter), "FillLines")) {
            cancel();
            return;
        }
    }
    const std::int32_t end = m_driver.ReceiptEnd(0);
    if (check(end, "ReceiptEnd"))
        open.closed();
    else
        open.endFailed("ReceiptEnd", end);
}

void ElzabOperation::periodReport(int mode)
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
    check(m_driver.PeriodReport(mode, start->year, start->month, start->day, end->year, end->month, end->day),
          "PeriodReport");
}

void ElzabOperation::displayAmount(const QByteArray &amount)
{
    const QByteArray text = InsertDecimalPoint(amount, 2, '.');
    check(m_driver.pDisplayFP600(0, text.constData()), "pDisplayFP600");
}

// Function 11 opens the cash drawer, as the display mode 1 of the Thermal printers does.
Operation OperationOf(int function)
{
    switch (function) {
    case 1: return Operation::Receipt;
    case 2: return Operation::DailyReport;
    case 3: case 4: return Operation::PeriodReport;
    case 5: return Operation::StatusReport;
    case 6: return Operation::LockedArticles;
    case 11: return Operation::Drawer;
    default: return Operation::Display; // 10, 12
    }
}

} // namespace

QByteArray PadArticleName(const QByteArray &name, int model, int countedCharacters)
{
    const int width = model == 2 ? 5 : 10;
    const int counted = countedCharacters < 0 ? 0 : countedCharacters;
    if (counted >= width)
        return name;
    return name + QByteArray(width - counted, '.');
}

FiscalOutcome RunElzabOperation(const FiscalJob &job, const FiscalEnvironment &environment)
{
    FiscalOutcome outcome;
    const Operation operation = OperationOf(job.function);
    // Checked before anything is loaded: an amount that can only fail.
    QByteArray amount;
    if (job.function == 12) {
        amount = TrimControl(job.dataLines.isEmpty() ? QByteArray() : job.dataLines.last());
        if (!ParseFiscalInteger(amount)) {
            outcome.set(fcNumberBad, QStringLiteral("kwota do wyświetlenia nie jest liczbą"));
            return outcome;
        }
    }

    const DriverLibrary library(environment.programDir + u'/' + ElzabLibraryName);
    if (!library.loaded()) {
        outcome.set(fcElzabLibraryMissing, QStringLiteral("nie można załadować %1: %2").arg(library.path(), library.error()));
        return outcome;
    }
    ElzabDriver driver;
    if (const QStringList missing = driver.resolve(library, operation); !missing.isEmpty()) {
        outcome.set(fcElzabLibraryMissing, QStringLiteral("w %1 brak %2").arg(library.path(), missing.join(QStringLiteral(", "))));
        return outcome;
    }
    if (operation == Operation::Receipt) {
        const QString ptu = environment.programDir + QStringLiteral("/PTU.txt");
        if (const int code = environment.vatTable->LoadVatTable(ptu, job.modelName)) {
            outcome.set(code, code == VatTable::FileMissing ? QStringLiteral("brak %1").arg(ptu)
                              : code == VatTable::SectionMissing
                                  ? QStringLiteral("PTU.txt nie ma sekcji <%1>").arg(QString::fromLatin1(job.modelName))
                                  : QStringLiteral("PTU.txt: grupa VAT w <%1> nie jest jednym znakiem").arg(QString::fromLatin1(job.modelName)));
            return outcome;
        }
    }

    ElzabOperation run(job, environment, driver, outcome);
    if (!run.check(driver.CommunicationInit(job.port, 9600, 5), "CommunicationInit"))
        return outcome;
    // Communication is closed whatever happens from here on.
    struct CloseCommunication {
        ElzabDriver &driver;
        ~CloseCommunication() { driver.CommunicationEnd(); }
    } close{driver};

    switch (job.function) {
    case 1: run.receipt(job.receipt); break;
    case 2: run.check(driver.DailyReport(0), "DailyReport"); break;
    case 3: run.periodReport(1); break;
    case 4: run.periodReport(0); break;
    case 5: run.check(driver.PrinterStatusReport(), "PrinterStatusReport"); break;
    case 6: run.check(driver.LockedArticlesReport(), "LockedArticlesReport"); break;
    case 10: run.check(driver.pDisplayFP600(0, ""), "pDisplayFP600"); break;
    case 11: run.check(driver.OpenDrawer(1), "OpenDrawer"); break;
    case 12: run.displayAmount(amount); break;
    default: break;
    }
    return outcome;
}

} // namespace ostrevo
