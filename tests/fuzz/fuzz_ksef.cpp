// A <KSEF> job of any bytes: refused with a reason, or an invoice whose FA(3) file is
// well-formed XML (the schema may still refuse it, and the job then says why).
#include "FuzzFile.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"
#include "ksef/Fa3Schema.h"
#include "ksef/Fa3Writer.h"
#include "ksef/KsefJobReader.h"

#include <QBuffer>

using namespace ostrevo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const Fa3Schema schema(QStringLiteral(OSTREVO_KSEF_SOURCE_DIR));
    QBuffer buffer;
    buffer.setData(fuzz::Bytes(data, size));
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    KsefInvoice invoice;
    try {
        invoice = ReadKsefJob(reader);
    } catch (const ConversionError &error) {
        if (error.message().isEmpty())
            std::abort();
        return 0;
    }
    const QByteArray xml = WriteFa3(invoice, QDateTime(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC));
    const QString verdict = schema.validate(xml);
    if (verdict.startsWith(QStringLiteral("to nie jest poprawny XML")))
        std::abort();
    return 0;
}
