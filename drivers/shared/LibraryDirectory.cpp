#include "shared/LibraryDirectory.h"

#include <dlfcn.h>

namespace driverlib {

std::string LibraryDirectory()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void *>(&LibraryDirectory), &info) == 0 || !info.dli_fname)
        return "./";
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

} // namespace driverlib
