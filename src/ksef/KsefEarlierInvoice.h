#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace ostrevo {

// "<KSEF:5265877635-20261201-0100A0D6723E-11>" on a printout line: the QR code (KOD I) of an
// invoice sent earlier, drawn where the tag stands.
struct KsefCodeTag {
    qsizetype at = 0;
    qsizetype length = 0;
    QString number;
};

// The first such tag of a line, with a well-formed number; anything else is text.
std::optional<KsefCodeTag> FindKsefCodeTag(const QByteArray &line);

// Hands `line` out in order: each piece before a tag to `text` with true (a code follows
// it), each tag's number to `code`, and the rest of the line to `text` with false.
void SplitAtKsefCodeTags(QByteArray line, const std::function<void(const QByteArray &piece, bool codeFollows)> &text,
                         const std::function<void(const QString &ksefNumber)> &code);

// KOD I of an invoice this program sent from `jobDir`: its FA(3) file as KSeF took it is in
// that directory's KSEF/ under its number. Empty, with `problem`, when it is not there.
QByteArray EarlierInvoiceAddress(const QString &jobDir, const QString &environment, const QString &ksefNumber,
                                 QString &problem);

// The same for a printout of `jobDir`, as the renderers take it: throws JobError instead.
std::function<QByteArray(const QString &ksefNumber)> EarlierInvoiceCodes(const QString &jobDir, const QString &environment);

} // namespace ostrevo
