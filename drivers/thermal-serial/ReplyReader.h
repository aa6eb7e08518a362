#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace thermalserial {

// One thing the printer sent: a status byte (ENQ: 0x60 to 0x6F, DLE: 0x70 to 0x77) or the
// body of a frame (between ESC P and ESC \).
struct Reply {
    enum Kind { EnqStatus, DleStatus, FrameBody } kind = FrameBody;
    unsigned char status = 0;
    std::string body;
};

// Splits the bytes from the printer into replies. Status bytes count only outside a frame;
// a frame broken by another ESC is dropped, one that restarts with ESC P begins again, and
// bytes outside frames that are no status (line noise) are skipped.
class ReplyReader {
public:
    // Takes one byte; true when it completed a reply, which is then in `reply`.
    bool take(char c, Reply &reply);
    bool inFrame() const { return m_state == State::Frame || m_state == State::FrameEsc; }
    void reset() { m_state = State::Idle; m_body.clear(); }

private:
    enum class State { Idle, Esc, Frame, FrameEsc } m_state = State::Idle;
    std::string m_body;
};

// The error status that follows every command in error modes 2 and 3, "Pe#Zxx": the
// error number (0 = accepted) and the identifier of the command it answers.
struct ErrorStatus {
    int error = 0;
    std::string command;
};
std::optional<ErrorStatus> ParseErrorStatus(std::string_view body);

// The answer to #n, "1#EPe": the last error number.
std::optional<int> ParseErrorNumber(std::string_view body);

// Bits of the status bytes.
inline constexpr unsigned char EnqCommandOk = 0x04;  // CMD: the last command was executed
inline constexpr unsigned char EnqInTransaction = 0x02; // PAR
// TRF: the last transaction ended correctly. Set in the same indivisible step as the
// receipt's printing and totals, and kept across a power failure.
inline constexpr unsigned char EnqTransactionEnded = 0x01;
inline constexpr unsigned char DleOnline = 0x04;     // ONL
inline constexpr unsigned char DlePaperOut = 0x02;   // PE/AKK: paper or battery
inline constexpr unsigned char DleFault = 0x01;      // ERR: mechanism or controller

} // namespace thermalserial
