#pragma once

#include "handling/JobHandlers.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace ostrevo {

// Turns a PDF_FILE value (bytes in the DOS code page) into a local path.
using DosPathMapping = std::function<QString(const QByteArray &)>;

// The PDF_FILE value of an <OPEN> or <PRINT> job: the tag must be on the very first line,
// the key block starts on the line after it, and a later PDF_FILE replaces an earlier one.
// Nothing when the tag or the key is missing. Reads the open job text `jobText` (the file
// at `textPath` when -1). Throws IoError when the file cannot be read.
std::optional<QByteArray> ReadPdfFileKey(const QString &textPath, const char *tag, int jobText = -1);

// A program started on one file, and its exit code when it ended within the wait.
struct OpenerRun {
    bool started = false;
    std::optional<int> exitCode;
};
OpenerRun StartOpener(const QString &program, const QString &path, int waitMs = 3000);

// <OPEN>: the file opened in the desktop's program for its type (xdg-open), waited for
// only a moment: what it says then tells whether anything opened.
JobResult OpenPdfJob(const JobContext &context, const QString &textPath, const DosPathMapping &mapDosPath);
// <PRINT>: the file submitted to the default printer.
JobResult PrintPdfJob(const JobContext &context, const QString &textPath, const DosPathMapping &mapDosPath);

void RegisterOpenPrintHandlers(JobHandlers &handlers, DosPathMapping mapDosPath);

} // namespace ostrevo
