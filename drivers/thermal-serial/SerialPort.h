#pragma once

#include "PortSettings.h"

#include <string>

namespace thermalserial {

// A serial port held by one driver call sequence: opened exclusively (no other program
// writes into our frames), raw 8-bit bytes, no waiting without a time limit.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort() { close(); }
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // 0, rcPortCannotOpen, rcPortInUse or rcBadSettings; `why` tells more.
    int open(const PortSettings &settings, std::string &why);
    // Drops what was not sent yet, so that closing never waits on a printer that holds
    // the line, and releases the port.
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // 0, rcPortLost, or rcPrinterBusy when the printer does not take the bytes in time.
    int write(const std::string &bytes, int timeoutMs);
    // Appends what arrives within the time: the number of bytes (0 when nothing came), or
    // rcPortLost.
    int read(std::string &into, int timeoutMs);
    // Forgets what the printer sent before (answers to an earlier program's commands).
    void discardInput();

private:
    int m_fd = -1;
};

} // namespace thermalserial
