#pragma once

#include "handling/JobHandlers.h"
#include "textprint/SymbolTable.h"
#include "textprint/TextPrintState.h"

#include <QString>

#include <cstdint>

namespace ostrevo {

class TPrinter;

// Prints plain-text jobs on the shared printer. One instance lives as long as the
// program: it keeps the rendering state that outlasts a job (the size mode saved by a
// script and the script shifts) and reads the symbol table loaded at start.
class TextPrinter {
public:
    // `printer` is the printer the jobs print on: the shared one, or one of a test's own.
    explicit TextPrinter(SymbolTable &symbols, TPrinter &printer);
    explicit TextPrinter(SymbolTable &symbols);

    // Prints one job file on the printer paired with its directory. Errors before the
    // document begins (the file cannot be read, the printer cannot be chosen or has no
    // device mode) are thrown; a failure while printing aborts the document and comes
    // back as a failed result with its reason.
    JobResult PrintTextJob(const JobContext &context, const QString &textPath);

    const TextPrintState &state() const { return m_state; }
    const ScriptMemory &scriptMemory() const { return m_memory; }

private:
    SymbolTable &m_symbols;
    TPrinter &m_printer;
    TextPrintState m_state;
    ScriptMemory m_memory;
};

// Makes `printer` the handler of plain-text jobs (jkText).
void RegisterTextPrintHandler(JobHandlers &handlers, TextPrinter &printer);

} // namespace ostrevo
