#pragma once

#include <unistd.h>

namespace ostrevo {

// A file descriptor closed when it goes out of scope.
struct UniqueFd {
    int fd = -1;
    UniqueFd() = default;
    explicit UniqueFd(int value) : fd(value) {}
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace ostrevo
