// DefSym.ovx: the loader never writes outside the table and never fails on bad lines.
#include "FuzzFile.h"
#include "textprint/SymbolTable.h"

using namespace ostrevo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SymbolTable table;
    const QStringList problems = table.LoadSymbolDefinitions(fuzz::WriteScratch(data, size));
    if (problems.size() > qsizetype(size))
        std::abort();
    // Lone CRs are dropped by the line rules, so values are pieces of the input without CRs.
    const QByteArray bytes = fuzz::Bytes(data, size).replace('\r', QByteArray());
    const PrinterSymbolTable defaults = DefaultPrinterSymbols();
    for (int i = 0; i < PrinterSymbolCount; ++i) {
        const QByteArray &symbol = table.PrinterSymbols[i];
        if (symbol != defaults[i] && (symbol.contains('\n') || !bytes.contains(symbol)))
            std::abort();
    }
    return 0;
}
