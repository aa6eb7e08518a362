#include "jobs/MoveWithoutReplacing.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace ostrevo {

int RenameWithoutReplacing(const char *from, int toDir, const char *to)
{
    const int result = ::renameat2(AT_FDCWD, from, toDir, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
    if (result == EINVAL || result == ENOSYS)
        return LinkWithoutReplacing(from, toDir, to);
    return result;
}

int RenameAtomically(int fromDir, const char *from, int toDir, const char *to)
{
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS)
        return error;
    if (::faccessat(toDir, to, F_OK, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

int LinkWithoutReplacing(const char *from, int toDir, const char *to)
{
    if (::linkat(AT_FDCWD, from, toDir, to, 0) != 0)
        return errno;
    // A name left over here is only a stale part file, removed at the next start.
    ::unlink(from);
    return 0;
}

} // namespace ostrevo
