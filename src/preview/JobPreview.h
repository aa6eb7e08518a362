#pragma once

#include <QString>
#include <QStringList>

namespace ostrevo {

// Exit codes of --preview and --check.
enum PreviewExit : int {
    PreviewDone = 0,        // the report (and the preview) made, warnings or not
    PreviewUnreadable = 3,  // missing, not a regular file, cannot be read
    PreviewNotAJob = 4,     // a binary file, or one without a significant line
    PreviewUnsupported = 5, // a job kind the preview does not lay out
    PreviewFailed = 6,      // the layout failed, or the preview file cannot be written
};

struct PreviewRequest {
    QString jobPath;
    QString outPath;      // empty: JOB-podglad.pdf in the user's cache (DefaultPreviewPath)
    bool writePdf = true; // false: the report only
    QString programDir;   // Ostrevo.ini, DefSym.ovx
};

struct PreviewOutcome {
    int exitCode = PreviewDone;
    QStringList report; // "Key: value" lines
    QString pdfPath;    // the preview written; empty when none was
};

// Lays a job out as the monitor would perform it, from the settings of the program
// directory, and writes what it would print into a PDF file, without printing, mailing,
// uploading or deleting anything; reports the job's kind, pages, printer and warnings.
// Reads the job file and the settings only; writes the preview file alone.
PreviewOutcome PreviewJob(const PreviewRequest &request);

// JOB-podglad.pdf in ~/.cache/ostrevo/podglad ($XDG_CACHE_HOME), not beside the job.
QString DefaultPreviewPath(const QString &jobPath);

// Why the preview must not go to `target`; empty when it may. A preview replaces an
// earlier preview, never the job itself nor a file that is not a PDF.
QString PreviewTargetRefusal(const QString &target, const QString &jobPath);

// The job kinds a preview lays out, as the report names them.
QString PreviewableKinds();

} // namespace ostrevo
