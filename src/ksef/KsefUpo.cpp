#include "ksef/KsefUpo.h"

#include <QXmlStreamReader>

namespace ostrevo {

QString AcquisitionDateInUpo(const QByteArray &upo, const QString &ksefNumber)
{
    QXmlStreamReader xml(upo);
    QString number;
    QString date;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == u"Dokument") {
                number.clear();
                date.clear();
            } else if (xml.name() == u"NumerKSeFDokumentu") {
                number = xml.readElementText().trimmed();
            } else if (xml.name() == u"DataNadaniaNumeruKSeF") {
                date = xml.readElementText().trimmed();
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == u"Dokument" && number == ksefNumber) {
            return date;
        }
    }
    return {};
}

} // namespace ostrevo
