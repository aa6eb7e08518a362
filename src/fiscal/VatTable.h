#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace ostrevo {

// The VAT groups of one printer model, from the section <MODEL> of PTU.txt:
//
//   <OMEGA_1>
//   2 23      // group character, then the rate as jobs write it
//   3 8
//   <END>
//
// Each entry is the group character followed by the rate text ("223", "38").
class VatTable {
public:
    // Result codes of LoadVatTable.
    enum : int { Loaded = 0, FileMissing = 1001, SectionMissing = 1002, GroupNotOneCharacter = 1003 };

    // Replaces the table with the model's section of the file at `path`. The section
    // header is compared in upper case, comments are removed, and the section ends at
    // <END> or at an empty line. A line whose first token is not one character stops the
    // reading with GroupNotOneCharacter, the lines before it kept. A line with a group and
    // no rate is left out: no job's rate can name it. Throws IoError when the file exists
    // but cannot be read.
    int LoadVatTable(const QString &path, const QByteArray &modelName);

    // The group of the first entry whose rate equals the rate text, both trimmed; ' ' if none.
    char FindVatGroup(const QByteArray &rateText) const;

    const QList<QByteArray> &entries() const { return m_entries; }

private:
    QList<QByteArray> m_entries;
};

} // namespace ostrevo
