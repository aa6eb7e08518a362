#include "SerialPort.h"

#include "ResultCodes.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace thermalserial {

namespace {

speed_t SpeedCode(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B9600;
    }
}

tcflag_t SizeFlag(int bits)
{
    switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

} // namespace

int SerialPort::open(const PortSettings &settings, std::string &why)
{
    close();
    // Non-blocking: the open does not wait for a carrier, no read or write waits for ever.
    const int fd = ::open(settings.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        why = settings.device + ": " + std::strerror(error);
        return error == EBUSY ? rcPortInUse : rcPortCannotOpen;
    }
    if (!::isatty(fd)) {
        why = settings.device + " is not a serial port";
        ::close(fd);
        return rcPortCannotOpen;
    }
    // One program at a time on the port: another driver instance, a terminal program.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        why = settings.device + " is in use by another program";
        ::close(fd);
        return rcPortInUse;
    }
    ::ioctl(fd, TIOCEXCL);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        why = settings.device + ": " + std::strerror(errno);
        ::close(fd);
        return rcPortCannotOpen;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | SizeFlag(settings.dataBits);
    if (settings.parity != 'N')
        tio.c_cflag |= PARENB | (settings.parity == 'O' ? PARODD : 0);
    if (settings.stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (settings.flow == FlowControl::RtsCts)
        tio.c_cflag |= CRTSCTS;
    else if (settings.flow == FlowControl::XonXoff)
        tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, SpeedCode(settings.baud));
    ::cfsetospeed(&tio, SpeedCode(settings.baud));
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        why = settings.device + ": the line settings are refused: " + std::strerror(errno);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return rcBadSettings;
    }
    // Some printers and adapters want DTR and RTS up; a port without modem lines says no.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &lines);
    ::tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    return rcAccepted;
}

void SerialPort::close()
{
    if (m_fd < 0)
        return;
    ::tcflush(m_fd, TCIOFLUSH);
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

int SerialPort::write(const std::string &bytes, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return rcPortLost;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return rcPrinterBusy;
        pollfd p{m_fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, int(left));
        if (ready < 0 && errno != EINTR)
            return rcPortLost;
        if (ready > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return rcPortLost;
    }
    return rcAccepted;
}

int SerialPort::read(std::string &into, int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    int ready = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : rcPortLost;
    if (ready == 0)
        return 0;
    if (p.revents & (POLLERR | POLLNVAL))
        return rcPortLost;
    char buffer[512];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, std::size_t(n));
        return int(n);
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    // Readable but nothing to read (a hang-up), or an error of the device.
    return rcPortLost;
}

void SerialPort::discardInput()
{
    if (m_fd >= 0)
        ::tcflush(m_fd, TCIFLUSH);
}

} // namespace thermalserial
