#pragma once

#include <QString>

#include <functional>

namespace ostrevo {

// Places a file under the first free name of DIR/BASE.SUFFIX, DIR/BASE-2.SUFFIX, ...
// `place` puts it at the given path and fails when that path is taken (so two writers
// never get the same name). Returns the path used, or an empty string when `place`
// failed for another reason than a taken name.
QString PlaceUnderFreeName(const QString &dir, const QString &base, const QString &suffix,
                           const std::function<bool(const QString &path)> &place);

// A file name stem safe in a directory: path separators and control characters replaced.
QString SafeFileStem(const QString &name, const QString &fallback);

} // namespace ostrevo
