#include "ThermalLink.h"

#include "ResultCodes.h"
#include "ThermalFrame.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>

namespace thermalserial {

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadWholeFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int Milliseconds(Clock::duration d)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
    return int(std::clamp<long long>(ms + 1, 1, 1 << 30));
}

} // namespace

int ThermalLink::open(const char *portName, int baud, const std::string &settingsFile)
{
    close();
    const int com = ComNumber(portName);
    if (com == 0) {
        m_problem = std::string("no serial port is called ") + (portName ? portName : "(null)");
        return rcPortCannotOpen;
    }
    std::string error;
    const auto settings = ReadPortSettings(ReadWholeFile(settingsFile), com, baud, error);
    if (!settings) {
        m_problem = error;
        return rcBadSettings;
    }
    m_settings = *settings;
    if (const int opened = m_port.open(m_settings, m_problem))
        return opened;
    m_mode = 0;
    // CAN ends a frame that a driver cut short left half-sent; what the printer still had
    // to say to an earlier program is no answer to us.
    if (const int written = m_port.write(std::string(1, Can), m_settings.timeouts.answer)) {
        m_problem = m_settings.device + ": the printer does not take data";
        close();
        return written == rcPortLost ? rcPortLost : rcNoAnswer;
    }
    m_port.discardInput();
    return rcAccepted;
}

void ThermalLink::close()
{
    m_port.close();
    m_reader.reset();
    m_pending.clear();
    m_gone = 0;
}

int ThermalLink::lost(int code)
{
    if (code == rcNoAnswer || code == rcPortLost)
        m_gone = code;
    if (code == rcPortLost)
        m_problem = m_settings.device + " failed or vanished";
    return code;
}

int ThermalLink::timeoutOf(Duration duration) const
{
    switch (duration) {
    case Duration::Answer: return m_settings.timeouts.answer;
    case Duration::Printing: return m_settings.timeouts.printing;
    case Duration::Report: return m_settings.timeouts.report;
    }
    return m_settings.timeouts.answer;
}

int ThermalLink::send(const std::string &bytes)
{
    const int written = m_port.write(bytes, m_settings.timeouts.answer);
    if (written == rcPrinterBusy)
        m_problem = m_settings.device + ": the printer holds the line and takes no data";
    return written == rcPortLost ? lost(written) : written;
}

int ThermalLink::refusal()
{
    if (!isOpen()) {
        m_problem = "the port is not open";
        return rcNotOpen;
    }
    if (m_gone) {
        m_problem = "nothing more goes to a printer lost earlier in this operation";
        return m_gone;
    }
    return 0;
}

int ThermalLink::command(const std::string &body, Duration duration, bool withCheckByte)
{
    if (const int refused = refusal())
        return refused;
    const std::string id = CommandId(body);
    for (int attempt = 0;; ++attempt) {
        if (const int written = send(Frame(body, withCheckByte)))
            return written;
        const int result = acceptance(id, timeoutOf(duration));
        // Error 2: the check byte the printer read was not ours, a fault on the line. The
        // command was not executed, so it may go again; twice running is the line's fault.
        if (result != 2)
            return result;
        if (attempt > 0) {
            m_problem = "the printer read a bad check byte in " + id + " twice running";
            return rcChecksum;
        }
    }
}

int ThermalLink::setErrorMode(int mode)
{
    const int before = m_mode;
    // The new mode holds for LBSERM's own answer already.
    if (mode >= 0 && mode <= 3)
        m_mode = mode;
    const int result = command(std::to_string(mode) + "#e", Duration::Answer);
    if (result != 0)
        m_mode = before;
    return result;
}

int ThermalLink::enquire()
{
    if (const int refused = refusal())
        return refused;
    if (const int written = send(std::string(1, Enq)))
        return written;
    return await(
        [](const Reply &reply, int &result) {
            result = reply.status;
            return reply.kind == Reply::EnqStatus;
        },
        m_settings.timeouts.answer);
}

int ThermalLink::statusWhenBack(int waitMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const int status = enquire();
        // A printer still busy or out of paper answers ENQ once it is through: ask again.
        if (status >= 0 || (status != rcPrinterBusy && status != rcPaperOut) || Clock::now() >= deadline)
            return status;
    }
}

int ThermalLink::acceptance(const std::string &id, int timeoutMs)
{
    if (m_mode >= 2) {
        return await(
            [&id](const Reply &reply, int &result) {
                if (reply.kind != Reply::FrameBody)
                    return false;
                // A status for another command is an earlier one's, answered late.
                const auto status = ParseErrorStatus(reply.body);
                if (!status || status->command != id)
                    return false;
                result = status->error;
                return true;
            },
            timeoutMs);
    }
    // Modes 0 and 1: the printer answers ENQ once it has processed the command.
    if (const int written = send(std::string(1, Enq)))
        return written;
    const int status = await(
        [](const Reply &reply, int &result) {
            result = reply.status;
            return reply.kind == Reply::EnqStatus;
        },
        timeoutMs);
    if (status < 0 || (status & EnqCommandOk))
        return status < 0 ? status : rcAccepted;
    if (const int written = send(Frame("#n", false)))
        return written;
    const int error = await(
        [](const Reply &reply, int &result) {
            const auto number = reply.kind == Reply::FrameBody ? ParseErrorNumber(reply.body) : std::nullopt;
            result = number.value_or(0);
            return number.has_value();
        },
        m_settings.timeouts.answer);
    // Not executed and no error number: the printer did not know the command.
    return error == 0 ? 255 : error;
}

int ThermalLink::await(const std::function<bool(const Reply &, int &)> &wanted, int timeoutMs)
{
    const auto quiet = std::chrono::milliseconds(m_settings.timeouts.answer);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto lastHeard = Clock::now();
    bool probing = false;
    bool lastProbe = false;
    auto probeSent = lastHeard;
    int dle = -1;

    auto overdue = [this](int status) {
        if (status & DleFault) {
            m_problem = "the printer reports a mechanism or controller error";
            return int(rcPrinterFault);
        }
        if (status & DlePaperOut) {
            m_problem = "the printer is out of paper, or its battery is flat";
            return int(rcPaperOut);
        }
        m_problem = (status & DleOnline) ? "the printer is still busy" : "the printer is off-line";
        return int(rcPrinterBusy);
    };

    std::string bytes;
    for (;;) {
        // What came in beyond the last reply taken belongs to this wait.
        bytes.swap(m_pending);
        m_pending.clear();
        if (bytes.empty()) {
            const auto now = Clock::now();
            if (probing && now >= probeSent + quiet) {
                m_problem = m_settings.device + ": the printer does not answer";
                return lost(rcNoAnswer);
            }
            if (!probing && now >= deadline) {
                if (dle >= 0)
                    return overdue(dle);
                // Not heard from in this wait: one DLE tells a busy printer from a gone one.
                if (const int written = send(std::string(1, Dle)))
                    return written;
                probing = lastProbe = true;
                probeSent = now;
                continue;
            }
            if (!probing && now >= lastHeard + quiet) {
                // Silence in the middle of a frame: what was begun will not be finished.
                m_reader.reset();
                if (const int written = send(std::string(1, Dle)))
                    return written;
                probing = true;
                probeSent = now;
                continue;
            }
            const auto until = probing ? probeSent + quiet : std::min(deadline, lastHeard + quiet);
            const int n = m_port.read(bytes, Milliseconds(until - now));
            if (n < 0)
                return lost(n);
            if (n == 0)
                continue;
            lastHeard = Clock::now();
        }
        for (std::size_t k = 0; k < bytes.size(); ++k) {
            Reply reply;
            if (!m_reader.take(bytes[k], reply))
                continue;
            if (reply.kind == Reply::DleStatus) {
                dle = reply.status;
                probing = false;
                if (lastProbe)
                    return overdue(dle);
                continue;
            }
            int result = 0;
            if (wanted(reply, result)) {
                m_pending = bytes.substr(k + 1);
                return result;
            }
        }
    }
}

} // namespace thermalserial
