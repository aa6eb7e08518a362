#pragma once

#include <sys/inotify.h>
#include <unistd.h>

namespace ostrevo {

// Reads every event waiting on a non-blocking inotify descriptor, in order, and hands each
// to `take`, until none is left.
template <typename Take>
void DrainInotifyEvents(int fd, Take &&take)
{
    alignas(struct inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(fd, buffer, sizeof buffer);
        if (length <= 0)
            return;
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + offset);
            offset += ssize_t(sizeof(struct inotify_event) + event->len);
            take(*event);
        }
    }
}

} // namespace ostrevo
