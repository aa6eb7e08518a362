#include "forms/FormPrescan.h"

#include "forms/FormLine.h"
#include "forms/FormSections.h"
#include "forms/FormSource.h"
#include "forms/FormState.h"
#include "jobs/Charsets.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"

#include <algorithm>

namespace ostrevo {

namespace {

// The box number of a B or BX line, checked as the drawing will check it.
void CollectBox(FormSource &source, const FormLine &line, std::int64_t &largest)
{
    if (line.type != FormLine::Object || (line.key != "B" && line.key != "BX"))
        return;
    const QByteArray text = FormParameter(line, 0);
    const auto number = ParseFormInteger(text);
    if (!number)
        throw ConversionError(QStringLiteral("%1: %2(...): numer pola \"%3\" nie jest liczbą całkowitą")
                                  .arg(source.place().text(), QString::fromLatin1(line.key), Cp852ToUnicode(text)));
    if (*number > TBox::MaxBoxNumber)
        throw ConversionError(QStringLiteral("%1: numer pola %2 przekracza %3, największy dopuszczalny w formularzu: "
                                             "tabela pól nie zmieściłaby się w pamięci")
                                  .arg(source.place().text())
                                  .arg(*number)
                                  .arg(TBox::MaxBoxNumber));
    largest = std::max(largest, *number);
}

// Reads one page section to its "<END>", handing each comment-cut line to `take`.
template <typename Take>
void ForEachSectionLine(FormSource &source, Take take)
{
    while (auto raw = source.next()) {
        const QByteArray line = RemoveComment(*raw);
        if (HoldsTag(line, "<END>"))
            return;
        take(ClassifyFormLine(line));
    }
}

} // namespace

std::int64_t PrescanFormJob(FormSource &job, FormState &state)
{
    if (const auto tag = job.seekBeforePages("<PIT>"))
        ReadFormJobParams(job, *tag, state.params);
    if (const auto tag = job.seekBeforePages("<DEFAULT>"))
        ReadFormDefaults(job, *tag, state.attributes.defaults(FormJobSource), 1.0);
    std::int64_t largest = 0;
    for (int page = 1; job.seekPage(page); ++page)
        ForEachSectionLine(job, [&](const FormLine &line) { CollectBox(job, line, largest); });
    return largest;
}

std::int64_t PrescanFormTemplate(FormSource &form, FormState &state)
{
    if (const auto tag = form.seekBeforePages("<PARAMETERS>"))
        ReadFormTemplateHeader(form, *tag, state.header);
    if (const auto tag = form.seekBeforePages("<DEFAULT>"))
        ReadFormDefaults(form, *tag, state.attributes.defaults(FormTemplateSource), state.header.wsp);
    state.landscape.assign(state.header.page, 0);
    std::int64_t largest = 0;
    for (int page = 1; form.seekPage(page); ++page) {
        // Each page's orientation has its entry; a page beyond PAGE would have none.
        if (page > state.header.page)
            throw ConversionError(QStringLiteral("%1: wzorzec ma więcej sekcji stron niż jego PAGE=%2")
                                      .arg(form.place().text())
                                      .arg(state.header.page));
        std::uint8_t &landscape = state.landscape[std::size_t(page) - 1];
        landscape = 0;
        ForEachSectionLine(form, [&](const FormLine &line) {
            if (line.type == FormLine::Assignment && line.key == "ORIENTATION")
                landscape = UpperAscii(line.value) == "L" ? 1 : 0;
            CollectBox(form, line, largest);
        });
    }
    return largest;
}

} // namespace ostrevo
