#include "ksef/KsefEarlierInvoice.h"

#include "handling/JobHandlers.h"
#include "handling/ResultFile.h"
#include "handling/Settings.h"
#include "jobs/Errors.h"
#include "ksef/KsefNumber.h"
#include "ksef/KsefVerification.h"

#include <QDate>
#include <QFile>
#include <QXmlStreamReader>

#include <optional>

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

struct KsefCodeTag {
    qsizetype at = 0;
    qsizetype length = 0;
    QString number;
};

// The first tag of a line with a well-formed number.
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

} // namespace

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

std::function<QByteArray(const QString &)> EarlierInvoiceCodes(const JobContext &context)
{
    return [jobDir = context.currentJobDir, environment = context.settings->ksef.environment](const QString &ksefNumber) {
        const QString path = WorkDirectory(jobDir, QStringLiteral("KSEF")) + u'/' + ksefNumber + QStringLiteral(".xml");
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw JobError(QStringLiteral("kod QR faktury %1: nie ma jej w %2 (kod drukuje się tylko dla faktury "
                                          "wysłanej z tego katalogu)").arg(ksefNumber, path));
        const QByteArray xml = file.readAll();
        const QDate issued = IssueDateOf(xml);
        if (!issued.isValid())
            throw JobError(QStringLiteral("kod QR faktury %1: plik %2 nie ma daty wystawienia (P_1)").arg(ksefNumber, path));
        // The number begins with the seller's NIP.
        return KsefInvoiceAddress(environment, ksefNumber.left(10), issued, xml);
    };
}

} // namespace ostrevo
