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
    UniqueFd(UniqueFd &&other) noexcept : fd(other.fd) { other.fd = -1; }
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other) {
            if (fd >= 0)
                ::close(fd);
            fd = other.fd;
            other.fd = -1;
        }
        return *this;
    }
    ~UniqueFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace ostrevo
