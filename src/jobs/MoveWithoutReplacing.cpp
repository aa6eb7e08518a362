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

int LinkWithoutReplacing(const char *from, int toDir, const char *to)
{
    if (::linkat(AT_FDCWD, from, toDir, to, 0) != 0)
        return errno;
    // A name left over here is only a stale part file, removed at the next start.
    ::unlink(from);
    return 0;
}

} // namespace ostrevo
