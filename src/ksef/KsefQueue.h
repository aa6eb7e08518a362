#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace ostrevo {

// An invoice waiting for KSeF, whole: its FA(3) file as it will be sent (and archived), the
// place of its result file, and, once KSeF took it, the references it answered with, so
// that after a quit or a crash the invoice is followed, never sent a second time.
struct QueuedInvoice {
    QString resultDir;  // the monitored directory whose Errors gets the result
    QString resultName; // NAME.txt
    QString jobId;
    QString jobFile;
    QString invoiceNumber;
    QDateTime queuedAt;
    QString sessionRef; // set once KSeF answered 202 for it
    QString invoiceRef;
    QByteArray xml;
    // The invoice as a PDF, written again with its KSeF number once KSeF gives it: where,
    // its KOD I address, and the job's own text to lay it out from.
    QString pdfPath;
    QByteArray verificationAddress;
    QByteArray jobText;
    QDate issued; // P_1: an invoice issued offline must reach KSeF by the next business day
    // Issued offline: KSeF could not be reached when it was first sent. It goes with
    // offlineMode, and its PDF carries KOD II (`certificateAddress`) when a certificate signs it.
    bool offline = false;
    QByteArray certificateAddress;

    bool operator==(const QueuedInvoice &) const = default;
};

// The queue directory (`ksef` in the program directory, the user's only): one file per
// invoice, named by a sequence number so that they go in the order the jobs came. A file
// appears under its name only when complete and on disk.
class KsefQueue {
public:
    explicit KsefQueue(QString dir);
    // The queue of the program directory.
    static QString dirIn(const QString &programDir) { return programDir + QStringLiteral("/ksef"); }

    const QString &dir() const { return m_dir; }
    // Writes the invoice; returns its file name. Throws IoError.
    QString add(const QueuedInvoice &invoice);
    // Writes it again under its name (the references KSeF gave). Throws IoError.
    void update(const QString &fileName, const QueuedInvoice &invoice);
    QStringList waiting() const;
    // Nothing when the file is unreadable or damaged.
    std::optional<QueuedInvoice> read(const QString &fileName) const;
    // A damaged file is kept for a person to look at, never sent.
    void setAside(const QString &fileName) const;
    void remove(const QString &fileName) const;

    static QByteArray encode(const QueuedInvoice &invoice);
    static std::optional<QueuedInvoice> decode(const QByteArray &bytes);

private:
    void makeDir() const;

    QString m_dir;
    quint64 m_next = 0;
};

} // namespace ostrevo
