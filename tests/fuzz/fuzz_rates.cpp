// What the rate job takes from a server and reads itself: day files, the latest-table
// page, the API's answers. (Workbooks are read by FreeXL in a child process of their own,
// whose faults end only that conversion.)
#include "FuzzFile.h"
#include "net/rates/LatestTablePage.h"
#include "net/rates/RateApi.h"
#include "net/rates/RateXml.h"

using namespace ostrevo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::Bytes(data, size);
    for (const RateEntry &entry : ParseRateXmlText(bytes))
        if (entry.column().left(2) != "W_")
            std::abort();
    if (const auto header = LatestTableHeader(bytes)) {
        if (header->contains('\n'))
            std::abort();
        const LatestTable table = ParseLatestTableHeader(*header);
        (void)table;
    }
    QString why;
    const auto records = ParseApiTables(bytes, DefaultCurrencyCodes(), why);
    if (!records && why.isEmpty())
        std::abort();
    return 0;
}
