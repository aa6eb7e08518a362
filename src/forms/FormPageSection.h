#pragma once

#include "forms/FormState.h"

#include <QByteArray>

#include <optional>

namespace ostrevo {

class FormDrawer;
class FormSource;
class RenderReport;
struct FormLine;
struct FormPadding;
struct FormPlace;

// Reads one page section of either file onto the drawer: assignments set the reading
// source's current slot at once, objects are drawn in file order, text and barcode
// objects take their following lines from the same file. A malformed strict value
// throws ConversionError naming the file and line.
class FormPageSection {
public:
    // `report`: a preview's, which hears what the job refers to and the template lacks.
    FormPageSection(FormState &state, FormDrawer &drawer, FormBackground background, RenderReport *report = nullptr);

    // From the line after the section's marker to its "<END>" (or the end of the file).
    void read(FormSource &source);

private:
    // Returns false when the section ended inside the object's own lines.
    bool handleLine(FormSource &source, const QByteArray &raw, std::optional<QByteArray> &pending);
    void assign(FormSource &source, const FormLine &line);
    bool object(FormSource &source, const FormLine &line, std::optional<QByteArray> &pending);
    bool textBlock(FormSource &source, const FormLine &line, std::optional<QByteArray> &pending);
    void textBlockAttribute(FormSource &source, const QByteArray &line);
    bool barcode(FormSource &source, const FormLine &line);
    void numbering(FormSource &source, const FormLine &line);
    void box(FormSource &source, const FormLine &line, bool draw);
    // A preview hears of an object whose box the table does not hold.
    void missingBox(const FormSource &source, const char *object, std::int64_t number) const;
    // ... and of a barcode whose box is too narrow for a module a scanner reads.
    void narrowBarcode(const FormPlace &at, std::int64_t number, double module) const;

    FormPadding padding(FormSource &source, const FormLine &line, qsizetype first);
    std::int64_t strict(FormSource &source, const FormLine &line, qsizetype index);
    std::int32_t coordinate(FormSource &source, const FormLine &line, qsizetype index);

    FormAttributes &current(const FormSource &source);

    FormState &m_state;
    FormDrawer &m_drawer;
    FormBackground m_background;
    RenderReport *m_report;
};

} // namespace ostrevo
