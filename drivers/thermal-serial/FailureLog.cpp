#include "FailureLog.h"

#include "jobs/UniqueFd.h"

#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

namespace thermalserial {

void LogFailure(const std::string &directory, const char *function, int result, const std::string &why)
{
    const std::string path = directory + "thermal-serial.log";
    struct stat info{};
    if (::stat(path.c_str(), &info) == 0 && info.st_size > (1 << 20))
        std::rename(path.c_str(), (path + ".1").c_str());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    const std::string line = std::string(when) + ' ' + function + " = " + std::to_string(result)
                             + (why.empty() ? std::string() : ": " + why) + '\n';
    const ostrevo::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640));
    if (fd.fd >= 0)
        ostrevo::WriteAll(fd.fd, line.data(), line.size()); // a log that cannot be written changes no result
}

} // namespace thermalserial
