#pragma once

#include "PortSettings.h"
#include "ReplyReader.h"
#include "SerialPort.h"

#include <functional>
#include <string>
#include <utility>

namespace thermalserial {

// How long a command may take before the printer has answered it.
enum class Duration { Answer, Printing, Report };

// The conversation with one printer on one port: each command frame sent and its
// acceptance read back, in error mode 2 or 3 from the "#Z" status that follows every
// command, in modes 0 and 1 from ENQ and "#n". Every wait has its time; when the printer
// falls silent, DLE (answered even while it prints or is off-line) tells a busy printer
// from one that is gone.
class ThermalLink {
public:
    // `settingsFile`: Ostrevo.ini beside the library. 0 or a ResultCode.
    int open(const char *portName, int baud, const std::string &settingsFile);
    void close();
    bool isOpen() const { return m_port.isOpen(); }

    // Sends the body as a frame and waits for the printer's verdict: 0, its error number,
    // or a ResultCode. A frame the printer read with a bad check byte goes once more.
    int command(const std::string &body, Duration duration, bool withCheckByte = true);
    // LBSERM: the printer's error mode, which decides how acceptance is read.
    int setErrorMode(int mode);
    // The ENQ status byte, or a ResultCode (negative).
    int enquire();
    // The ENQ status byte once the printer answers it again, asked for up to `waitMs`
    // while it is busy or out of paper; or a ResultCode.
    int statusWhenBack(int waitMs);
    // How long a receipt's end may take.
    int printingTime() const { return m_settings.timeouts.printing; }

    // Why the last call failed, in words; cleared by taking it.
    std::string takeProblem() { return std::exchange(m_problem, std::string()); }

private:
    // Reads until `wanted` takes a reply (its result is returned) or the time is up.
    int await(const std::function<bool(const Reply &, int &)> &wanted, int timeoutMs);
    int acceptance(const std::string &id, int timeoutMs);
    int timeoutOf(Duration duration) const;
    // Why nothing may be sent now (a closed port, a printer lost earlier), or 0.
    int refusal();
    // Writes bytes to the printer: 0 or a ResultCode.
    int send(const std::string &bytes);
    // Remembers a failure that ends the conversation: later calls return it at once,
    // so a printer that is gone costs one time-out, not one for every command left.
    int lost(int code);

    PortSettings m_settings;
    SerialPort m_port;
    ReplyReader m_reader;
    int m_mode = 0; // the printer's power-on mode
    int m_gone = 0;
    std::string m_pending; // read beyond the reply last taken
    std::string m_problem;
};

} // namespace thermalserial
