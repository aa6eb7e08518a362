#pragma once

#include "ksef/KsefInvoice.h"

#include <QByteArray>
#include <QDateTime>

namespace ostrevo {

// The invoice as FA(3) XML: UTF-8 without a byte-order mark, no processing instruction
// other than the XML declaration, elements in the schema's order. `created` is the
// moment the file is made (DataWytworzeniaFa).
QByteArray WriteFa3(const KsefInvoice &invoice, const QDateTime &created);

} // namespace ostrevo
