#pragma once

#include <cerrno>
#include <cstddef>

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

// Writes all `size` bytes, again after an interruption or a short write. False on an error,
// with errno set; a write that takes nothing counts as a full disk (ENOSPC).
inline bool WriteAll(int fd, const char *data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

} // namespace ostrevo
