#pragma once

namespace ostrevo {

// Gives the finished file FROM the name TO in the directory TODIR, never replacing an
// existing name (a dangling symbolic link included) and never copying: RENAME_NOREPLACE,
// or where the file system does not know it, LinkWithoutReplacing. 0, or the errno
// (EEXIST when TO is taken).
int RenameWithoutReplacing(const char *from, int toDir, const char *to);

// Renames FROM in FROMDIR to TO in TODIR atomically, never replacing an existing TO
// where the file system can promise that (RENAME_NOREPLACE); where it cannot (some NFS and
// SMB mounts), a plain rename after a look that TO is free. Never a link and an unlink:
// of two processes renaming one name, exactly one must succeed. 0, or the errno.
int RenameAtomically(int fromDir, const char *from, int toDir, const char *to);

// A hard link, which fails on any existing name as well, then the removal of the old
// name. 0, or the errno (EEXIST when TO is taken).
int LinkWithoutReplacing(const char *from, int toDir, const char *to);

} // namespace ostrevo
