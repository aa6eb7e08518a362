#include "net/rates/DbfTable.h"

#include "jobs/Errors.h"
#include "jobs/MoveWithoutReplacing.h"
#include "jobs/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <shapefil.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrevo {

namespace {

constexpr int FieldNameBytes = 10; // dBASE: eleven bytes, the last one a zero

DBFHandle Handle(void *handle)
{
    return static_cast<DBFHandle>(handle);
}

} // namespace

int RemoveStaleTables(const QString &dir)
{
    static const QRegularExpression Temporary(QStringLiteral("^\\..+-(\\d+)-\\d+\\.dbf$"));
    int removed = 0;
    const QStringList names = QDir(dir).entryList({QStringLiteral(".*.dbf")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = Temporary.match(name);
        bool ok = false;
        const qint64 pid = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
        if (!ok || pid <= 0 || pid == ::getpid() || pid > std::numeric_limits<pid_t>::max())
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue; // its writer may still run
        if (QFile::remove(dir + u'/' + name))
            ++removed;
    }
    return removed;
}

QByteArray TableDateText(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
}

DbfTable::~DbfTable()
{
    discard();
}

void DbfTable::discard()
{
    if (m_handle) {
        DBFClose(Handle(m_handle));
        m_handle = nullptr;
    }
    if (!m_tempPath.isEmpty()) {
        ::unlink(QFile::encodeName(m_tempPath).constData());
        m_tempPath.clear();
    }
}

std::unique_ptr<DbfTable> DbfTable::create(const QString &finalPath, const QList<QByteArray> &fieldNames, int width,
                                           QString &why)
{
    QSet<QByteArray> seen;
    for (const QByteArray &name : fieldNames) {
        if (name.isEmpty() || name.size() > FieldNameBytes) {
            why = QStringLiteral("%1: \"%2\" nie jest nazwą pola dBASE").arg(finalPath, QString::fromLatin1(name));
            return nullptr;
        }
        if (seen.contains(name.toUpper())) {
            why = QStringLiteral("%1: pole %2 dwa razy").arg(finalPath, QString::fromLatin1(name));
            return nullptr;
        }
        seen.insert(name.toUpper());
    }
    if (fieldNames.isEmpty()) {
        why = QStringLiteral("%1: tabela bez pól").arg(finalPath);
        return nullptr;
    }
    std::unique_ptr<DbfTable> table(new DbfTable);
    table->m_finalPath = finalPath;
    table->m_names = fieldNames;
    table->m_width = width;
    // Hidden from the legacy program's DOS view; ".dbf" at the end, as the library
    // puts it there whatever it is given.
    static std::atomic<unsigned> serial{0};
    const QFileInfo info(finalPath);
    table->m_tempPath = info.path() + QStringLiteral("/.%1-%2-%3.dbf")
                                          .arg(info.completeBaseName())
                                          .arg(::getpid())
                                          .arg(++serial);
    const QByteArray temp = QFile::encodeName(table->m_tempPath);
    ::unlink(temp.constData());
    // Language driver 0xC8: the text is Windows-1250.
    DBFHandle handle = DBFCreateEx(temp.constData(), "LDID/200");
    if (!handle) {
        why = QStringLiteral("Nie można utworzyć tabeli %1: %2").arg(finalPath, ErrnoText(errno));
        table->m_tempPath.clear();
        return nullptr;
    }
    table->m_handle = handle;
    const QDate today = QDate::currentDate();
    DBFSetLastModifiedDate(handle, today.year() - 1900, today.month(), today.day());
    for (const QByteArray &name : fieldNames) {
        if (DBFAddField(handle, name.constData(), FTString, width, 0) < 0) {
            why = QStringLiteral("Nie można dodać pola %1 do tabeli %2").arg(QString::fromLatin1(name), finalPath);
            return nullptr;
        }
    }
    return table;
}

bool DbfTable::append(const QList<QByteArray> &values)
{
    if (!m_handle) {
        m_why = QStringLiteral("tabela %1 jest już zamknięta").arg(m_finalPath);
        return false;
    }
    DBFHandle handle = Handle(m_handle);
    const int record = m_records;
    for (int field = 0; field < fieldCount(); ++field) {
        const QByteArray value = field < values.size() ? values[field] : QByteArray();
        // The library stores an empty text as a field of blanks, which reads back empty
        // everywhere; a value longer than the field is cut, as TEXT(n) is.
        if (!DBFWriteStringAttribute(handle, record, field, value.constData()) && value.size() <= m_width) {
            m_why = QStringLiteral("Nie można zapisać rekordu tabeli %1: %2").arg(m_finalPath, ErrnoText(errno));
            return false;
        }
    }
    ++m_records;
    return true;
}

bool DbfTable::commit()
{
    if (!m_handle) {
        m_why = QStringLiteral("tabela %1 jest już zamknięta").arg(m_finalPath);
        return false;
    }
    DBFClose(Handle(m_handle));
    m_handle = nullptr;
    const QByteArray temp = QFile::encodeName(m_tempPath);
    const UniqueFd file(::open(temp.constData(), O_RDONLY | O_CLOEXEC));
    if (file.fd < 0 || ::fsync(file.fd) != 0) {
        m_why = QStringLiteral("Nie można zapisać tabeli %1: %2").arg(m_finalPath, ErrnoText(errno));
        return false;
    }
    // The library reports no failed write at its close: a full disk shows in the length.
    // Header of 32 bytes, 32 per field and its end mark; a deletion flag and the fields per
    // record; the end-of-file byte.
    const qint64 expected = 32 + 32 * qint64(fieldCount()) + 1 + qint64(m_records) * (1 + qint64(m_width) * fieldCount()) + 1;
    struct stat st;
    if (::fstat(file.fd, &st) != 0 || st.st_size != expected) {
        m_why = QStringLiteral("Nie można zapisać tabeli %1: nie została zapisana w całości").arg(m_finalPath);
        return false;
    }
    const QFileInfo info(m_finalPath);
    const UniqueFd dir(::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const int error = dir.fd < 0 ? errno
                                 : RenameWithoutReplacing(temp.constData(), dir.fd, QFile::encodeName(info.fileName()).constData());
    if (error != 0) {
        m_why = error == EEXIST ? QStringLiteral("Tabela %1 już istnieje").arg(m_finalPath)
                                : QStringLiteral("Nie można nadać nazwy tabeli %1: %2").arg(m_finalPath, ErrnoText(error));
        return false;
    }
    m_tempPath.clear();
    ::fsync(dir.fd);
    return true;
}

} // namespace ostrevo
