// Code-page conversions: never change the length; Windows-1250 text survives Unicode.
#include "FuzzFile.h"
#include "jobs/Charsets.h"
#include "jobs/DosPath.h"

using namespace ostrevo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const int source = data[0] % 7;
    const int target = data[1] % 7;
    const QByteArray text = fuzz::Bytes(data + 2, size - 2);
    for (const QByteArray &converted : {Cp852ToWin1250(text), Cp852PrintoutToWin1250(text), Iso2ToWin1250(text),
                                        Win1250ToAscii(text), ConvertPolish(text, source, target)}) {
        if (converted.size() != text.size())
            std::abort();
    }
    if (UnicodeToWin1250(Win1250ToUnicode(text)) != text)
        std::abort();
    if (Cp852ToUnicode(text).size() != text.size())
        std::abort();
    // Paths from jobs: any bytes map to something, and an unmapped drive never escapes.
    const DosPathMapper mapper({}, QStringLiteral("/nonexistent-base"));
    const QString local = mapper.toLocal(text);
    if (!text.isEmpty() && local.isEmpty() && !Cp852ToUnicode(text).isEmpty())
        std::abort();
    return 0;
}
