#pragma once

#include <QByteArray>
#include <QString>

namespace ostrevo {

// Converts a PostScript (or, with `pcl`, a PCL) print job into the PDF file `pdfPath` with
// Ghostscript (gs, gpcl6), safe mode, bounded in time. Throws JobError saying why not.
void ConvertWithGhostscript(const QByteArray &job, bool pcl, const QString &pdfPath);

} // namespace ostrevo
