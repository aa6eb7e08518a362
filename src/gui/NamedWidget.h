#pragma once

#include <QString>

namespace ostrevo {

// Widgets carry the names of the Windows program's controls, by which tests find them.
template<typename W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace ostrevo
