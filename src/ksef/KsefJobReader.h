#pragma once

#include "ksef/KsefInvoice.h"

namespace ostrevo {

class LineReader;

// Reads a <KSEF> job: the header block, <SPRZEDAWCA>, <NABYWCA>, one <POZYCJA> per line
// of the invoice, and optionally <SUMY>, <PLATNOSC> and <KOREKTA>; each a key block that
// ends at <END>. Text is in CP852 unless the header says KODOWANIE=1250 or ISO-8859-2.
// The invoice comes back checked (tax numbers, dates, every line's value against its
// quantity and price, the totals the program gave against the lines) with its totals per
// rate; anything wrong throws ConversionError naming the file, the line and the reason.
KsefInvoice ReadKsefJob(LineReader &reader);

} // namespace ostrevo
