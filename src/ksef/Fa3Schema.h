#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace ostrevo {

// The FA(3) schema set as installed with the program (data/ksef in the source tree).
QString KsefSchemaDir();

// The FA(3) schema, read once; checks invoices against it before anything is sent. It never
// reaches the network: the schema's import of its base types by an absolute address is
// served from the copy beside it, and any other outside reference is refused.
class Fa3Schema {
public:
    // Throws JobError when the schema files cannot be read.
    explicit Fa3Schema(const QString &schemaDir = KsefSchemaDir());
    ~Fa3Schema();
    Fa3Schema(const Fa3Schema &) = delete;
    Fa3Schema &operator=(const Fa3Schema &) = delete;

    // Empty when `xml` is a valid FA(3) invoice, else the first errors, each with its line
    // and element. Safe to call from several threads at once.
    QString validate(const QByteArray &xml) const;

private:
    struct Parsed;
    std::unique_ptr<Parsed> m_parsed;
};

} // namespace ostrevo
