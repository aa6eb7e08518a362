#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <memory>

namespace ostrevo {

// A new dBASE table of character fields, written under a hidden temporary name beside its
// final name and given that name only by commit(): the legacy program, which reads the
// directory, never sees half a table. A table that is not committed is deleted with its
// writer. Field names are bytes (ASCII, at most 10 of them as the format allows); values
// are Windows-1250 bytes, cut to the field width.
class DbfTable {
public:
    ~DbfTable();
    DbfTable(const DbfTable &) = delete;
    DbfTable &operator=(const DbfTable &) = delete;

    // Nothing with `why` set when the table cannot be made: the directory is not
    // writable, a name is empty or too long, or two names are the same.
    static std::unique_ptr<DbfTable> create(const QString &finalPath, const QList<QByteArray> &fieldNames, int width,
                                            QString &why);

    int fieldCount() const { return int(m_names.size()); }
    const QList<QByteArray> &fieldNames() const { return m_names; }

    // One record; missing values are empty. False with why() set on a write error.
    bool append(const QList<QByteArray> &values);
    // Closes the file, writes it to the disk and renames it to its final name, replacing
    // nothing: false with why() set when the final name exists or a step fails.
    bool commit();
    const QString &why() const { return m_why; }
    const QString &finalPath() const { return m_finalPath; }

private:
    DbfTable() = default;
    void discard();

    void *m_handle = nullptr; // DBFHandle
    QString m_finalPath;
    QString m_tempPath;
    QList<QByteArray> m_names;
    int m_records = 0;
    int m_width = 0;
    QString m_why;
};

// Removes the temporary tables that a killed run left in `dir`: hidden files named as
// DbfTable names them, of a process that no longer runs. Returns how many went.
int RemoveStaleTables(const QString &dir);

// The date that the tables write: the ISO form "yyyy-MM-dd" (the short date format of a
// Polish Windows of the legacy program's time, and the bank's own).
QByteArray TableDateText(const QDate &date);

} // namespace ostrevo
