#include "net/rates/XlsToDbf.h"

#include "jobs/Charsets.h"
#include "net/rates/DailyTable.h"
#include "net/rates/DbfTable.h"

#include <QFile>
#include <QLocale>

#include <freexl.h>

namespace ostrevo {

namespace {

class Workbook {
public:
    explicit Workbook(const QString &path) { m_status = freexl_open(QFile::encodeName(path).constData(), &m_handle); }
    ~Workbook()
    {
        if (m_handle)
            freexl_close(m_handle);
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    bool ok() const { return m_status == FREEXL_OK; }
    int status() const { return m_status; }
    const void *handle() const { return m_handle; }

private:
    const void *m_handle = nullptr;
    int m_status = FREEXL_OK;
};

QString Failure(const QString &path, const char *what, int status)
{
    return QStringLiteral("%1: %2 (FreeXL %3)").arg(path, QString::fromUtf8(what)).arg(status);
}

QByteArray FieldName(const QByteArray &title, int column)
{
    QByteArray name = Win1250ToAscii(title);
    name.replace(' ', QByteArray());
    if (name.isEmpty())
        name = "F" + QByteArray::number(column + 1);
    // dBASE keeps ten bytes of a name.
    return ("W_" + name).left(10);
}

} // namespace

QByteArray CellText(const void *cellValue)
{
    const auto *cell = static_cast<const FreeXL_CellValue *>(cellValue);
    switch (cell->type) {
    case FREEXL_CELL_INT:
        return QByteArray::number(cell->value.int_value);
    case FREEXL_CELL_DOUBLE: {
        // The bank's rates as the legacy program's Polish system wrote them.
        QByteArray text = QByteArray::number(cell->value.double_value, 'f', QLocale::FloatingPointShortest);
        text.replace('.', ',');
        return text;
    }
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        return UnicodeToWin1250(QString::fromUtf8(cell->value.text_value));
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return QByteArray(cell->value.text_value);
    default:
        return {};
    }
}

int XlsToDbf(const QString &workbookPath, const QString &tablePath, QString &why)
{
    const Workbook book(workbookPath);
    if (!book.ok()) {
        why = Failure(workbookPath, "to nie jest skoroszyt, który można odczytać", book.status());
        return 1;
    }
    unsigned int sheets = 0;
    int status = freexl_get_info(book.handle(), FREEXL_BIFF_SHEET_COUNT, &sheets);
    if (status != FREEXL_OK) {
        why = Failure(workbookPath, "brak arkuszy", status);
        return 1;
    }
    unsigned int rows = 0;
    unsigned short columns = 0;
    bool found = false;
    for (unsigned int sheet = 0; sheet < sheets && sheet <= 0xFFFF && !found; ++sheet) {
        if (freexl_select_active_worksheet(book.handle(), static_cast<unsigned short>(sheet)) != FREEXL_OK
            || freexl_worksheet_dimensions(book.handle(), &rows, &columns) != FREEXL_OK)
            continue;
        found = columns > 1 && rows > 0;
    }
    if (!found) {
        why = QStringLiteral("%1: brak arkusza z więcej niż jedną kolumną").arg(workbookPath);
        return 1;
    }
    const auto cell = [&](unsigned int row, unsigned short column, QByteArray &text) {
        FreeXL_CellValue value;
        const int result = freexl_get_cell_value(book.handle(), row, column, &value);
        text = result == FREEXL_OK ? CellText(&value) : QByteArray();
        return result;
    };
    QList<QByteArray> names;
    for (unsigned short column = 0; column < columns; ++column) {
        QByteArray title;
        if ((status = cell(0, column, title)) != FREEXL_OK) {
            why = Failure(workbookPath, "nie można odczytać tytułu kolumny", status);
            return 1;
        }
        names.append(FieldName(title, column));
    }
    std::unique_ptr<DbfTable> table = DbfTable::create(tablePath, names, RateFieldWidth, why);
    if (!table)
        return 1;
    QList<QByteArray> values(columns);
    for (unsigned int row = 1; row < rows; ++row) {
        for (unsigned short column = 0; column < columns; ++column) {
            if ((status = cell(row, column, values[column])) != FREEXL_OK) {
                why = Failure(workbookPath, "nie można odczytać komórki", status);
                return 1;
            }
        }
        if (!table->append(values)) {
            why = table->why();
            return 1;
        }
    }
    if (!table->commit()) {
        why = table->why();
        return 1;
    }
    return 0;
}

} // namespace ostrevo
