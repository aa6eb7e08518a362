#pragma once

#include <cstdint>

namespace ostrevo {

class FormSource;
struct FormState;

// The passes over both files before anything is drawn. They read the job's parameters
// and defaults, the template's header, defaults and page orientations, and return the
// largest box number that a B or BX object of the file's pages names (0 if none).
// Page sections are found as the page loop finds them, numbered from 1; a file without
// one of the sections ahead of the pages still has its pages scanned. Throws
// ConversionError on a malformed strict value, a box number beyond TBox::MaxBoxNumber,
// or a template with more page sections than its PAGE.
std::int64_t PrescanFormJob(FormSource &job, FormState &state);
std::int64_t PrescanFormTemplate(FormSource &form, FormState &state);

} // namespace ostrevo
