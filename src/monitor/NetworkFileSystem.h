#pragma once

#include <QString>

namespace ostrevo {

// True when the directory lies on a file system whose files other machines may write
// (NFS, SMB/CIFS, FUSE mounts such as sshfs, AFS, Ceph, 9p, ...): inotify sees only what
// this machine writes there, so a watcher alone would miss the DOS program's jobs.
bool IsNetworkFileSystem(const QString &directory);

// The same test on a statfs f_type value.
bool IsNetworkFileSystemType(long type);

} // namespace ostrevo
