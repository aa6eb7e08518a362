#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace ostrevo {

// A box's edges on the form, in hundredths of a millimetre.
struct FormRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    bool operator==(const FormRect &) const = default;
};

// The box table of a form job: one row per box number 0..N, where the job's values find
// their places. Rows keep their values from page to page; a number outside the table
// names no box, and objects naming it are passed over.
class TBox {
public:
    // A form has hundreds of boxes, a tax return a few thousand: a larger number is a
    // broken template, and is refused rather than given gigabytes of table.
    static constexpr std::int64_t MaxBoxNumber = 99'999;

    // All rows zero, numbers 0..maxBox.
    void reset(std::int64_t maxBox);
    bool contains(std::int64_t box) const { return box >= 0 && box < std::int64_t(m_rows.size()); }
    // Rows of numbers outside the table read as zero and take nothing.
    FormRect row(std::int64_t box) const;
    void record(std::int64_t box, const FormRect &rect);
    std::int64_t rows() const { return std::int64_t(m_rows.size()); }

private:
    std::vector<FormRect> m_rows;
};

} // namespace ostrevo
