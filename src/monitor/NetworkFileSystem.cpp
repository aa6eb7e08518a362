#include "monitor/NetworkFileSystem.h"

#include <QFile>

#include <sys/vfs.h>

namespace ostrevo {

bool IsNetworkFileSystemType(long type)
{
    // Magic numbers of <linux/magic.h> and the file systems' own headers.
    switch (static_cast<unsigned long>(type) & 0xffffffffUL) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB (smbfs)
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2 (ksmbd clients, smb3)
    case 0x65735546UL: // FUSE (sshfs, rclone, bindfs over a share, ...)
    case 0x5346414FUL: // AFS
    case 0x6B414653UL: // kAFS
    case 0x01021997UL: // 9p
    case 0x00C36400UL: // Ceph
    case 0x564CUL:     // NCP
    case 0x73757245UL: // Coda
    case 0x7461636FUL: // OCFS2
    case 0x01161970UL: // GFS2
        return true;
    default:
        return false;
    }
}

bool IsNetworkFileSystem(const QString &directory)
{
    struct statfs st;
    if (directory.isEmpty() || ::statfs(QFile::encodeName(directory).constData(), &st) != 0)
        return false;
    return IsNetworkFileSystemType(long(st.f_type));
}

} // namespace ostrevo
