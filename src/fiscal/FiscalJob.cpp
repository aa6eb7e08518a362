#include "fiscal/FiscalJob.h"

#include "fiscal/FiscalText.h"
#include "jobs/Charsets.h"
#include "jobs/JobFile.h"

namespace ostrevo {

namespace {

// PORT and FUNCTION: decimal numbers of 0 to 255. Anything else counts as 0, so that a
// FUNCTION=257 never passes for a receipt.
std::uint8_t SmallNumber(const QByteArray &text)
{
    const std::optional<std::int32_t> value = ParseFiscalInteger(text);
    return value && *value >= 0 && *value <= 255 ? std::uint8_t(*value) : 0;
}

} // namespace

FiscalFamily FiscalJob::family() const
{
    switch (model) {
    case 1: case 2: case 3: return ffElzab;
    case 4: case 5: return ffThermal;
    default: return ffNone;
    }
}

int FiscalJob::targetCodePage() const
{
    return family() == ffThermal ? PolishMazovia : PolishCp852;
}

QByteArray FiscalJob::convert(const QByteArray &text) const
{
    if (sourceCodePage == 0 || sourceCodePage == targetCodePage())
        return text;
    return ConvertPolish(text, sourceCodePage, targetCodePage());
}

int MissingDataCode(int function)
{
    switch (function) {
    case 1: return fcReceiptWithoutData;
    case 3: return fcReport3WithoutData;
    case 4: return fcReport4WithoutData;
    case 7: return fcFunction7WithoutData;
    case 12: return fcDisplayWithoutData;
    default: return 0;
    }
}

FiscalJob ReadFiscalJob(LineReader &reader)
{
    FiscalJob job;
    while (auto raw = reader.next()) {
        const QByteArray line = RemoveComment(*raw);
        if (!HoldsTag(line, "<DF>"))
            continue;
        const KeyBlock keys = ReadKeyBlock(reader, line);
        job.modelName = keys.value("DRK");
        for (const TDruk &druk : FiscalModels) {
            if (job.modelName == druk.name)
                job.model = druk.code;
        }
        job.port = SmallNumber(keys.value("PORT"));
        job.function = SmallNumber(keys.value("FUNCTION"));
        const QByteArray charset = keys.value("PL_ZNAKI");
        job.sourceCodePage = charset == "L" ? PolishCp852 : charset == "M" ? PolishMazovia : 0;
        break;
    }
    if (MissingDataCode(job.function) == 0)
        return job;
    while (auto raw = reader.next()) {
        if (HoldsTag(RemoveComment(*raw), "<DANE>")) {
            job.dataFound = true;
            break;
        }
    }
    if (!job.dataFound)
        return job;
    while (auto line = reader.next()) {
        if (HoldsTag(*line, "<END>") || TrimControl(*line).isEmpty())
            break;
        job.dataLines.append(*line);
    }
    return job;
}

int ParseReceiptData(const QList<QByteArray> &lines, ReceiptData &receipt)
{
    for (const QByteArray &line : lines) {
        const QByteArray trimmed = TrimControl(line);
        if (!trimmed.startsWith("00")) {
            receipt.items.append(line);
            continue;
        }
        const QList<QByteArray> fields = SplitFiscalFields(trimmed);
        if (fields.size() < 5)
            return fcSummaryShort;
        receipt.documentKind = TrimControl(fields.at(1));
        receipt.documentNumber = TrimControl(fields.at(2));
        receipt.extraLine = TrimControl(fields.at(3));
        receipt.paymentForm = TrimControl(fields.at(4));
        // An empty total is no total: the sum of the lines, as for "0".
        const QByteArray total = fields.size() > 5 ? TrimControl(fields.at(5)) : QByteArray();
        receipt.total = total.isEmpty() ? QByteArrayLiteral("0") : total;
    }
    return fcOk;
}

} // namespace ostrevo
