#include "forms/FormJob.h"

#include "forms/FormDrawer.h"
#include "forms/FormPageSection.h"
#include "forms/FormPrescan.h"
#include "forms/FormSource.h"
#include "forms/FormTemplateFile.h"
#include "handling/JobHandlers.h"
#include "jobs/JobFile.h"

#include <algorithm>

namespace ostrevo {

FormJob::FormJob(const JobContext &context, QString textPath, FormBackground background)
    : m_context(context), m_textPath(std::move(textPath)), m_background(background)
{
}

FormJob::~FormJob() = default;

std::unique_ptr<FormSource> FormJob::openJob() const
{
    return std::make_unique<FormSource>(FormJobSource, std::make_unique<LineReader>(m_context.jobText, m_textPath),
                                        m_context.quitRequested);
}

std::unique_ptr<FormSource> FormJob::openTemplate() const
{
    return std::make_unique<FormSource>(FormTemplateSource, std::make_unique<LineReader>(-1, m_templatePath),
                                        m_context.quitRequested);
}

bool FormJob::prepare()
{
    m_state = FormState{};
    const std::int64_t jobBoxes = PrescanFormJob(*openJob(), m_state);
    const QMap<QChar, QString> &drives = m_context.settings->drives;
    m_templatePath = LocateFormTemplate(m_state.params.templateName, m_context.programDir, m_context.currentJobDir,
                                        drives);
    if (m_templatePath.isEmpty())
        return false;
    const std::int64_t templateBoxes = PrescanFormTemplate(*openTemplate(), m_state);
    m_state.boxes.reset(std::max(jobBoxes, templateBoxes));
    return true;
}

int FormJob::lastPage() const
{
    return m_state.params.toPage != 0 ? m_state.params.toPage : m_state.header.page;
}

bool FormJob::selected(int page) const
{
    if (page < m_state.params.fromPage || page > lastPage())
        return false;
    // EVEN 0 keeps the even pages, 1 the odd ones; any other value all of them.
    if (m_state.params.even == 0)
        return page % 2 == 0;
    if (m_state.params.even == 1)
        return page % 2 == 1;
    return true;
}

int FormJob::drawPages(FormDrawer &drawer)
{
    const std::unique_ptr<FormSource> job = openJob();
    const std::unique_ptr<FormSource> form = openTemplate();
    FormPageSection section(m_state, drawer, m_background, m_report);
    int drawn = 0;
    bool templateLeft = true;
    for (int page = 1; !job->atEnd(); ++page) {
        if (!job->seekPage(page))
            break;
        templateLeft = templateLeft && form->seekPage(page);
        const bool draw = selected(page);
        if (draw) {
            drawer.beginPage(page, m_state.pageLandscape(page), drawn == 0);
            // Past the template's last section the job's page still gets a sheet of its
            // own: its values never land on the page before.
            if (templateLeft)
                section.read(*form);
            section.read(*job);
            ++drawn;
        } else {
            if (templateLeft)
                form->skipSection();
            job->skipSection();
        }
        if (page >= lastPage())
            break;
    }
    return drawn;
}

} // namespace ostrevo
