#include "ksef/KsefEarlierInvoice.h"

#include "handling/ResultFile.h"
#include "jobs/Errors.h"
#include "ksef/KsefNumber.h"
#include "ksef/KsefVerification.h"

#include <QDate>
#include <QFile>
#include <QXmlStreamReader>

namespace ostrevo {

namespace {

constexpr QByteArrayView TagStart = "<KSEF:";
constexpr qsizetype KsefNumberLength = 35;

// P_1 of an FA(3) file: the issue date KOD I names.
QDate IssueDateOf(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"P_1")
            return QDate::fromString(reader.readElementText().trimmed(), Qt::ISODate);
    }
    return {};
}

} // namespace

std::optional<KsefCodeTag> FindKsefCodeTag(const QByteArray &line)
{
    const qsizetype at = line.indexOf(TagStart);
    if (at < 0)
        return std::nullopt;
    const qsizetype close = at + TagStart.size() + KsefNumberLength;
    if (close >= line.size() || line.at(close) != '>')
        return std::nullopt;
    const QString number = QString::fromLatin1(line.mid(at + TagStart.size(), KsefNumberLength));
    if (!IsKsefNumber(number))
        return std::nullopt;
    return KsefCodeTag{at, close + 1 - at, number};
}

void SplitAtKsefCodeTags(QByteArray line, const std::function<void(const QByteArray &, bool)> &text,
                         const std::function<void(const QString &)> &code)
{
    while (const std::optional<KsefCodeTag> tag = FindKsefCodeTag(line)) {
        text(line.left(tag->at), true);
        code(tag->number);
        line.remove(0, tag->at + tag->length);
    }
    text(line, false);
}

QByteArray EarlierInvoiceAddress(const QString &jobDir, const QString &environment, const QString &ksefNumber,
                                 QString &problem)
{
    const QString path = WorkDirectory(jobDir, QStringLiteral("KSEF")) + u'/' + ksefNumber + QStringLiteral(".xml");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("kod QR faktury %1: nie ma jej w %2 (kod drukuje się tylko dla faktury wysłanej z "
                                 "tego katalogu)").arg(ksefNumber, path);
        return {};
    }
    const QByteArray xml = file.readAll();
    const QDate issued = IssueDateOf(xml);
    if (!issued.isValid()) {
        problem = QStringLiteral("kod QR faktury %1: plik %2 nie ma daty wystawienia (P_1)").arg(ksefNumber, path);
        return {};
    }
    // The number begins with the seller's NIP.
    return KsefInvoiceAddress(environment, ksefNumber.left(10), issued, xml);
}

std::function<QByteArray(const QString &)> EarlierInvoiceCodes(const QString &jobDir, const QString &environment)
{
    return [jobDir, environment](const QString &ksefNumber) {
        QString problem;
        QByteArray address = EarlierInvoiceAddress(jobDir, environment, ksefNumber, problem);
        if (address.isEmpty())
            throw JobError(problem);
        return address;
    };
}

} // namespace ostrevo
