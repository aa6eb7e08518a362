#pragma once

namespace ostrevo {

// Gives the finished file FROM the name TO in the directory TODIR, never replacing an
// existing name (a dangling symbolic link included) and never copying: RENAME_NOREPLACE,
// or where the file system does not know it, LinkWithoutReplacing. 0, or the errno
// (EEXIST when TO is taken).
int RenameWithoutReplacing(const char *from, int toDir, const char *to);

// A hard link, which fails on any existing name as well, then the removal of the old
// name. 0, or the errno (EEXIST when TO is taken).
int LinkWithoutReplacing(const char *from, int toDir, const char *to);

} // namespace ostrevo
