#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace ostrevo {

// Icon numbers of the monitor status: 1 running, 2 paused, 3 error; 0 is the application
// icon (the printer on a neutral ground).
QColor StatusColor(int icon);

// A printer on a rounded ground of the status colour, drawn at `size` pixels square.
QPixmap DrawPrinterIcon(int icon, int size);

// The same at the sizes a tray or a window manager asks for.
QIcon PrinterIcon(int icon);

} // namespace ostrevo
