#pragma once

#include "forms/FormAttributes.h"
#include "forms/FormValues.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace ostrevo {

class LineReader;

// One of the two files of a form job, read forward line by line, with the line number
// for messages. Between lines it looks whether the program is quitting, and gives up.
class FormSource {
public:
    FormSource(FormSourceId id, std::unique_ptr<LineReader> reader, std::function<bool()> quit = {});
    ~FormSource();
    FormSource(const FormSource &) = delete;
    FormSource &operator=(const FormSource &) = delete;

    // The next line as it stands (no comment cut); nothing at the end of the file.
    std::optional<QByteArray> next();
    bool atEnd();

    // Reads up to and including the next line that holds the tag (after its comment is
    // cut), which it returns comment cut; nothing when the file ends first.
    std::optional<QByteArray> seek(const char *tag);
    // The same for a section that comes before the pages (<PIT>, <PARAMETERS>,
    // <DEFAULT>): a marker of page 1 ends the search, and stays to be read again, so that
    // a file without the section still has its pages found.
    std::optional<QByteArray> seekBeforePages(const char *tag);
    // The same for a marker of page `page` ("<PAGE>" or "<PAGEn>").
    bool seekPage(int page);
    // Passes over the rest of a section, its "<END>" line included.
    void skipSection();

    FormSourceId id() const { return m_id; }
    FormPlace place() const;

private:
    FormSourceId m_id;
    std::unique_ptr<LineReader> m_reader;
    std::function<bool()> m_quit;
    qint64 m_line = 0;
    std::optional<QByteArray> m_unread; // a line given back by seekBeforePages
};

} // namespace ostrevo
