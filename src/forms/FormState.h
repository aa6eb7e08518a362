#pragma once

#include "forms/FormAttributes.h"
#include "forms/TBox.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace ostrevo {

// The <PIT> section of a form job. Values as the job gives them, in its code page.
struct FormJobParams {
    QByteArray templateName;   // TEMPLATE, without extension
    std::int16_t even = 2;     // EVEN: 0 even pages, 1 odd pages, 2 (or any other) all
    std::int16_t copies = 1;   // COPIES
    std::uint16_t fromPage = 1; // FROM_PAGE
    std::uint16_t toPage = 0;  // TO_PAGE, 0 = the template's PAGE
    std::int32_t duplex = -1;  // DUPLEX: 0 off, 1 on, other = the printer's own setting
    bool hasPdfFile = false;   // a PDF_FILE line was there
    QByteArray pdfFile;        // PDF_FILE
    QByteArray pdfPath;        // PDF_PATH
    QByteArray aMail;          // A_MAIL
    QByteArray tMail;          // T_MAIL
};

// The template's <PARAMETERS> section.
struct FormTemplateHeader {
    QByteArray name;           // NAME, 59 characters kept
    QByteArray version;        // VERSION, 12
    QByteArray fileName;       // FILENAME, 12
    std::uint16_t page = 1;    // PAGE: pages of the form
    double wsp = 1.0;          // WSP: scale of every template coordinate
};

// What a renderer's page scale is computed from.
struct FormPageSize {
    std::uint16_t maxX = 210;  // MAXX, mm, shared by both files
    std::uint16_t maxY = 297;  // MAXY
    double wsp = 1.0;          // the template's WSP
    // Whether a page section gave MAXX or MAXY; the PDF page takes an A4 sheet's lengths
    // in its own orientation for those not given.
    bool maxXGiven = false;
    bool maxYGiven = false;
    bool operator==(const FormPageSize &) const = default;

    // The nominal lengths a page is laid out by, in millimetres: one the form does not give
    // is the A4 sheet's own in the page's orientation, so that a turned page without MAXX
    // and MAXY comes out at its true size instead of an upright sheet's 210 x 297 mm.
    double nominalX(bool landscape) const { return maxXGiven || !landscape ? double(maxX) : 297.0; }
    double nominalY(bool landscape) const { return maxYGiven || !landscape ? double(maxY) : 210.0; }
};

// The background option "Drukuj tło formularzy" and how a renderer reads it: with the
// option off the printer whitens T_BACKGROUND and B_FILL at every reset, while PDF output
// copies the defaults and only passes over B_FILL lines of page sections.
struct FormBackground {
    bool ground = true;
    bool printerRules = true;
    bool whitenOnReset() const { return printerRules && !ground; }
    bool ignoreFillLines() const { return !printerRules && !ground; }
};

// Everything a form job keeps from its start to its end; set afresh for each job.
struct FormState {
    FormJobParams params;
    FormTemplateHeader header;
    FormAttributeSlots attributes; // the five slots
    std::uint16_t maxX = 210;          // MAXX, kept from page to page
    std::uint16_t maxY = 297;          // MAXY
    bool maxXGiven = false;            // set by a page section, kept as the values are
    bool maxYGiven = false;
    std::array<int, 3> mmjedn{1, 1, 1}; // MMJEDN per source (index 1 job, 2 template)
    std::vector<std::uint8_t> landscape; // per template page: 0 portrait, 1 landscape
    TBox boxes;

    // Page n (from 1); pages beyond the table are portrait.
    bool pageLandscape(int page) const
    {
        return page >= 1 && std::size_t(page) <= landscape.size() && landscape[std::size_t(page) - 1] != 0;
    }
    FormPageSize pageSize() const
    {
        return FormPageSize{maxX, maxY, header.wsp, maxXGiven, maxYGiven};
    }
};

} // namespace ostrevo
