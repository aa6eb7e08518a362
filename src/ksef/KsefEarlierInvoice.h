#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace ostrevo {

struct JobContext;

// "<KSEF:5265877635-20261201-0100A0D6723E-11>" on a printout line stands for the QR code
// (KOD I) of an invoice sent earlier, drawn where the tag stands; a tag without a
// well-formed number is text. Hands `line` out in order: each piece before a tag to `text`
// with true (a code follows it), each tag's number to `code`, and the rest of the line to
// `text` with false.
void SplitAtKsefCodeTags(QByteArray line, const std::function<void(const QByteArray &piece, bool codeFollows)> &text,
                         const std::function<void(const QString &ksefNumber)> &code);

// KOD I of an invoice this program sent from the job's directory, by its KSeF number, as
// the renderers take it: its FA(3) file as KSeF took it is in that directory's KSEF/
// under its number. Throws JobError when it is not there.
std::function<QByteArray(const QString &ksefNumber)> EarlierInvoiceCodes(const JobContext &context);

} // namespace ostrevo
