#include "fiscal/DriverLibrary.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace ostrevo {

DriverLibrary::DriverLibrary(const QString &path) : m_path(QFileInfo(path).absoluteFilePath())
{
    // Only a regular file: dlopen of a bare name would search the system's directories.
    if (!QFileInfo(m_path).isFile()) {
        m_error = QStringLiteral("brak pliku %1").arg(m_path);
        return;
    }
    // RTLD_LOCAL: the driver's names stay out of everybody else's way; RTLD_NOW: a
    // library that lacks something it needs fails here, not in the middle of a receipt.
    m_handle = ::dlopen(QFile::encodeName(m_path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
        m_error = QString::fromLocal8Bit(::dlerror());
}

DriverLibrary::~DriverLibrary()
{
    if (m_handle)
        ::dlclose(m_handle);
}

void *DriverLibrary::lookup(const char *name) const
{
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

} // namespace ostrevo
