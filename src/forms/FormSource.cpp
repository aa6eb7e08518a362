#include "forms/FormSource.h"

#include "forms/FormLine.h"
#include "jobs/Errors.h"
#include "jobs/JobFile.h"

#include <utility>

namespace ostrevo {

FormSource::FormSource(FormSourceId id, std::unique_ptr<LineReader> reader, std::function<bool()> quit)
    : m_id(id), m_reader(std::move(reader)), m_quit(std::move(quit))
{
}

FormSource::~FormSource() = default;

std::optional<QByteArray> FormSource::next()
{
    if (m_quit && m_quit())
        throw JobError(QStringLiteral("Formularz przerwany: program jest zamykany"));
    if (m_unread) {
        ++m_line;
        return std::exchange(m_unread, std::nullopt);
    }
    auto line = m_reader->next();
    if (line)
        ++m_line;
    return line;
}

bool FormSource::atEnd()
{
    return !m_unread && m_reader->atEnd();
}

std::optional<QByteArray> FormSource::seekBeforePages(const char *tag)
{
    while (auto line = next()) {
        QByteArray cut = RemoveComment(*line);
        if (HoldsTag(cut, tag))
            return cut;
        if (HoldsPageMarker(cut, 1)) {
            m_unread = std::move(*line);
            --m_line;
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> FormSource::seek(const char *tag)
{
    while (auto line = next()) {
        QByteArray cut = RemoveComment(*line);
        if (HoldsTag(cut, tag))
            return cut;
    }
    return std::nullopt;
}

bool FormSource::seekPage(int page)
{
    while (auto line = next()) {
        if (HoldsPageMarker(RemoveComment(*line), page))
            return true;
    }
    return false;
}

void FormSource::skipSection()
{
    seek("<END>");
}

FormPlace FormSource::place() const
{
    return {m_reader->path(), m_line};
}

} // namespace ostrevo
