#include "forms/TBox.h"

#include <algorithm>

namespace ostrevo {

void TBox::reset(std::int64_t maxBox)
{
    m_rows.assign(std::size_t(std::clamp<std::int64_t>(maxBox, 0, MaxBoxNumber) + 1), FormRect{});
}

FormRect TBox::row(std::int64_t box) const
{
    return contains(box) ? m_rows[std::size_t(box)] : FormRect{};
}

void TBox::record(std::int64_t box, const FormRect &rect)
{
    if (contains(box))
        m_rows[std::size_t(box)] = rect;
}

} // namespace ostrevo
