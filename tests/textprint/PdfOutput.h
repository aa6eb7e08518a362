#pragma once

// The built-in printer's output read back with poppler's tools, and libcups kept away
// from the machine's own scheduler.

#include <QString>
#include <QStringList>

namespace ostrevo::test {

QString RunProgram(const QString &program, const QStringList &arguments);
int PdfPages(const QString &path);
QString PdfPlainText(const QString &path);

struct PdfWordBox {
    QString text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0; // points from the page's top-left
};
QList<PdfWordBox> PdfWordBoxes(const QString &path);

// tests/data/<name> and tests/services/<name>, from the environment the test runner sets,
// else next to this source tree.
QString DataPath(const QString &name);
QString ServicePath(const QString &name);

// PDF files in a directory, by name.
QStringList PdfFilesIn(const QString &dir);

} // namespace ostrevo::test
