// <DF> jobs and PTU.txt: the job reader, the receipt's fields, amounts, dates and the
// VAT table, each checked against what its rules promise.
#include "FuzzFile.h"
#include "fiscal/FiscalJob.h"
#include "fiscal/FiscalText.h"
#include "fiscal/VatTable.h"
#include "jobs/JobFile.h"

#include <QBuffer>

using namespace ostrevo;

namespace {

bool Digits(const QByteArray &text)
{
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

void CheckFields(const QByteArray &line)
{
    const QList<QByteArray> fields = SplitFiscalFields(line);
    // The fields and their separators give the line back, the closing 0x04 aside.
    QByteArray joined;
    for (qsizetype k = 0; k < fields.size(); ++k) {
        if (fields.at(k).contains('\x04'))
            std::abort();
        joined += (k ? "\x04" : "") + fields.at(k);
    }
    if (line.endsWith('\x04'))
        joined += '\x04';
    if (joined != line)
        std::abort();
    for (const QByteArray &field : fields) {
        const QByteArray text = TrimControl(field);
        const std::optional<std::int32_t> number = ParseFiscalInteger(text);
        if (number && QByteArray::number(*number) != text && !text.startsWith('0') && !text.startsWith("-0"))
            std::abort();
        if (!Digits(text) || text.size() > 40)
            continue;
        for (int places = 0; places <= 9; ++places) {
            const QByteArray amount = InsertDecimalPoint(text, places, '.');
            if (places == 0 ? amount != text
                            : (amount.count('.') != 1 || amount.indexOf('.') != amount.size() - places - 1
                               || QByteArray(amount).remove(amount.indexOf('.'), 1).right(text.size()) != text))
                std::abort();
        }
        if (const std::optional<FiscalDate> date = ParseFiscalDate(text)) {
            if (text.size() != 8 || date->year > 99 || date->month > 99 || date->day > 99)
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::Bytes(data, size);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    FiscalJob job = ReadFiscalJob(reader);
    for (const QByteArray &line : job.dataLines) {
        if (TrimControl(line).isEmpty() || HoldsTag(line, "<END>"))
            std::abort();
        CheckFields(line);
    }
    if (ParseReceiptData(job.dataLines, job.receipt) == 0 && job.receipt.items.size() > job.dataLines.size())
        std::abort();

    // The same bytes as a PTU.txt, for the job's model and a fixed one.
    VatTable table;
    const QString path = fuzz::WriteScratch(data, size);
    for (const QByteArray &model : {job.modelName, QByteArrayLiteral("OMEGA_1")}) {
        const int code = table.LoadVatTable(path, model);
        if (code != 0 && code != VatTable::SectionMissing && code != VatTable::GroupNotOneCharacter)
            std::abort();
        for (const QByteArray &entry : table.entries()) {
            if (entry.size() < 2 || table.FindVatGroup(entry.mid(1)) == ' ')
                std::abort();
        }
    }
    return 0;
}
