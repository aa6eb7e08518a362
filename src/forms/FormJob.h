#pragma once

#include "forms/FormState.h"

#include <QString>

#include <functional>
#include <memory>

namespace ostrevo {

class FormDrawer;
class FormSource;
class RenderReport;
struct JobContext;

// One form job of either renderer: the pre-scans, the template, and the page loop that
// walks the template and the job side by side and hands their pages to a FormDrawer.
// The state is the job's own; nothing outlasts it.
class FormJob {
public:
    FormJob(const JobContext &context, QString textPath, FormBackground background);
    ~FormJob();

    // Reads the job's parameters and defaults, finds the template and reads its header,
    // defaults and orientations, and sizes the box table. False when there is no
    // template (the job then draws nothing and ends normally). Throws ConversionError
    // or IoError.
    bool prepare();

    // The page loop: each page of the range (FROM_PAGE, TO_PAGE or PAGE, the parity of
    // EVEN) that the job has a section for, the template's section drawn first and the
    // job's over it. Returns the number of pages drawn. Throws what the reading or the
    // drawer throws.
    int drawPages(FormDrawer &drawer);

    const FormState &state() const { return m_state; }
    // What a preview wants to know: a box that is not there. None normally.
    void setReport(RenderReport *report) { m_report = report; }
    const QString &templatePath() const { return m_templatePath; }
    // The last page the loop goes to.
    int lastPage() const;
    bool selected(int page) const;

private:
    std::unique_ptr<FormSource> openJob() const;
    std::unique_ptr<FormSource> openTemplate() const;

    const JobContext &m_context;
    QString m_textPath;
    FormBackground m_background;
    FormState m_state;
    QString m_templatePath;
    RenderReport *m_report = nullptr;
};

} // namespace ostrevo
