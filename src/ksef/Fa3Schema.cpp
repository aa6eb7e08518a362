#include "ksef/Fa3Schema.h"

#include "jobs/CalledAs.h"
#include "jobs/Errors.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStringList>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <mutex>

namespace ostrevo {

namespace {

const QByteArray BaseTypesAddress = "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2022/01/05/eD/DefinicjeTypy/";
const QString SchemaFile = QStringLiteral("/faktury/schemy/FA/schemat_FA(3)_v1-0E.xsd");
const QString BaseTypesDir = QStringLiteral("/faktury/schemy/FA/bazowe/");
const QString InvoiceNamespace = QStringLiteral("{http://crd.gov.pl/wzor/2025/06/25/13775/}");

// libxml2 keeps one loader for the whole process: the schema directory it serves is the
// one the first schema was read from.
QString &ServedDir()
{
    static QString dir;
    return dir;
}

xmlParserInputPtr LocalOnly(const char *url, const char *, xmlParserCtxtPtr context)
{
    if (!url)
        return nullptr;
    QByteArray address(url);
    QString path;
    if (address.startsWith(BaseTypesAddress)) {
        path = ServedDir() + BaseTypesDir + QFile::decodeName(address.mid(BaseTypesAddress.size()));
    } else {
        if (address.startsWith("file://"))
            address = address.mid(7);
        path = QFile::decodeName(address);
        // Only the schema set itself: an invoice never makes us read another file.
        if (!QFileInfo(path).canonicalFilePath().startsWith(QFileInfo(ServedDir()).canonicalFilePath() + u'/'))
            return nullptr;
    }
    if (path.contains(QStringLiteral("/../")) || !QFileInfo::exists(path))
        return nullptr;
    return xmlNewInputFromFile(context, QFile::encodeName(path).constData());
}

struct Messages {
    QStringList lines;
};

void Collect(void *into, xmlErrorPtr error)
{
    auto *messages = static_cast<Messages *>(into);
    if (!error || messages->lines.size() >= 5)
        return;
    QString text = QString::fromUtf8(error->message).trimmed();
    text.replace(InvoiceNamespace, QString());
    messages->lines.append(error->line > 0 ? QStringLiteral("wiersz %1: %2").arg(error->line).arg(text) : text);
}

} // namespace

QString KsefSchemaDir()
{
    const QString installed = CalledExecutableDir() + QStringLiteral("/../share/ostrevo/ksef");
    if (QFileInfo::exists(installed + SchemaFile))
        return QFileInfo(installed).canonicalFilePath();
    return QStringLiteral(OSTREVO_KSEF_SOURCE_DIR);
}

struct Fa3Schema::Parsed {
    xmlSchemaPtr schema = nullptr;
    ~Parsed()
    {
        if (schema)
            xmlSchemaFree(schema);
    }
};

Fa3Schema::Fa3Schema(const QString &schemaDir) : m_parsed(std::make_unique<Parsed>())
{
    static std::once_flag once;
    std::call_once(once, [&] {
        xmlInitParser();
        ServedDir() = schemaDir;
        xmlSetExternalEntityLoader(LocalOnly);
    });
    const QByteArray path = QFile::encodeName(schemaDir + SchemaFile);
    Messages messages;
    xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(path.constData());
    if (parser) {
        xmlSchemaSetParserStructuredErrors(parser, Collect, &messages);
        m_parsed->schema = xmlSchemaParse(parser);
        xmlSchemaFreeParserCtxt(parser);
    }
    if (!m_parsed->schema)
        throw JobError(QStringLiteral("Nie można odczytać schematu FA(3) %1: %2")
                           .arg(QFile::decodeName(path), messages.lines.join(QStringLiteral("; "))));
}

Fa3Schema::~Fa3Schema() = default;

QString Fa3Schema::validate(const QByteArray &xml) const
{
    Messages messages;
    // The error handler is the calling thread's own (libxml2 keeps it per thread).
    xmlSetStructuredErrorFunc(&messages, Collect);
    const auto restore = qScopeGuard([] { xmlSetStructuredErrorFunc(nullptr, nullptr); });
    xmlDocPtr doc = xmlReadMemory(xml.constData(), int(xml.size()), "faktura.xml", "UTF-8", XML_PARSE_NONET);
    if (!doc)
        return QStringLiteral("to nie jest poprawny XML: ") + messages.lines.join(QStringLiteral("; "));
    xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(m_parsed->schema);
    int result = -1;
    if (validator) {
        xmlSchemaSetValidStructuredErrors(validator, Collect, &messages);
        result = xmlSchemaValidateDoc(validator, doc);
        xmlSchemaFreeValidCtxt(validator);
    }
    xmlFreeDoc(doc);
    if (result == 0)
        return {};
    return messages.lines.isEmpty() ? QStringLiteral("faktura niezgodna ze schematem FA(3)")
                                    : messages.lines.join(QStringLiteral("; "));
}

} // namespace ostrevo
