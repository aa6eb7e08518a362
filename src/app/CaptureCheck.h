#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace ostrevo {

struct CaptureCheck {
    int exitCode = 0; // as --check's: 0 done, 3 unreadable, 4 no print job, 6 failed
    QStringList report;
};

// `--check FILE` of a file in a printer port's directory (or in its "Bledne" folder): what
// the renderer would find in it, with the port's settings, drawing nothing: the print
// language, the code page and whether it was recognised, the pages and the ESC/P commands
// it does not know. With `writePdf` (`--preview FILE [OUT.pdf]`) the same, and the PDF the
// port would make written to `outPath` (empty: the default preview file). Nothing when the
// file lies in no port's directory.
std::optional<CaptureCheck> CheckCapture(const QString &programDir, const QString &path, bool writePdf = false,
                                         const QString &outPath = {});

} // namespace ostrevo
