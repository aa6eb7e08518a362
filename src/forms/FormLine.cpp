#include "forms/FormLine.h"

#include "jobs/JobFile.h"

namespace ostrevo {

FormLine ClassifyFormLine(const QByteArray &line)
{
    FormLine result;
    qsizetype at = -1;
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        if (line[i] == '=' || line[i] == '(') {
            at = i;
            break;
        }
    }
    if (at < 0)
        return result;
    result.key = UpperAscii(TrimControl(line.left(at)));
    if (line[at] == '=') {
        result.type = FormLine::Assignment;
        result.value = TrimControl(line.mid(at + 1));
        return result;
    }
    result.type = FormLine::Object;
    const qsizetype close = line.indexOf(')', at + 1);
    const qsizetype end = close < 0 ? line.size() : close;
    const bool keepBlanks = result.key == "L";
    // No object reads past its sixth parameter: the rest of a line of a million commas is
    // never copied, whatever its length.
    qsizetype from = at + 1;
    while (result.params.size() < FormLineParameterLimit) {
        qsizetype comma = line.indexOf(',', from);
        if (comma < 0 || comma > end)
            comma = end;
        QByteArray param = line.mid(from, comma - from);
        if (!keepBlanks) {
            param.replace(' ', QByteArray());
            param.replace('\t', QByteArray());
        }
        result.params.append(param);
        if (comma == end)
            break;
        from = comma + 1;
    }
    return result;
}

QByteArray FormParameter(const FormLine &line, qsizetype index)
{
    if (index >= line.params.size())
        return {};
    QByteArray param = line.params[index];
    // Blanks ahead of an L parameter are what the legacy reader took; nothing else is.
    qsizetype lead = 0;
    while (lead < param.size() && (param[lead] == ' ' || param[lead] == '\t'))
        ++lead;
    return param.mid(lead);
}

bool HoldsPageMarker(const QByteArray &line, int page)
{
    const QByteArray upper = UpperAscii(line);
    return upper.contains("<PAGE>") || upper.contains("<PAGE" + QByteArray::number(page) + '>');
}

} // namespace ostrevo
