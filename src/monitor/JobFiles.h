#pragma once

#include <QString>
#include <QStringList>

namespace ostrevo {

// True when a file name ends with the suffix in any letter case (".end", ".txt").
bool HasSuffixCi(const char *name, const char *suffix);

// Names of the job markers (*.END in any letter case) in a directory, in the order the
// file system lists them. A directory that cannot be read has none.
QStringList ListMarkers(const QString &directory);

// The text file of a marker: NAME.END -> NAME.txt, found without regard to letter case.
// Empty when there is none.
QString FindTextFile(const QString &markerPath);

// Deletes a file; failures are ignored (the next scan meets the file again).
void RemoveFile(const QString &path);

bool FileExists(const QString &path);
bool DirectoryExists(const QString &path);

} // namespace ostrevo
