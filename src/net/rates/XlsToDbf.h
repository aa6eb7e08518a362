#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// Converts the bank's yearly workbook into a dBASE table: the first sheet with more than
// one column; its first row gives the field names, "W_" + the title with its Polish
// letters made plain and its spaces removed ("F" + the column number for a column without
// a title, as the Excel driver of the legacy program named it); every later row becomes a
// record, each value as text of width 14. The table appears under `tablePath` only when
// whole. 0 on success, 1 on any failure with `why` set.
int XlsToDbf(const QString &workbookPath, const QString &tablePath, QString &why);

// A cell's text as the table stores it (Windows-1250): numbers with a decimal comma and
// no needless digits, dates as "yyyy-MM-dd".
QByteArray CellText(const void *cellValue);

} // namespace ostrevo
