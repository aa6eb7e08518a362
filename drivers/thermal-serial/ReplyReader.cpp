#include "ReplyReader.h"

#include "ThermalFrame.h"

#include <charconv>

namespace thermalserial {

namespace {

// Frames we wait for are short; anything longer is noise.
constexpr std::size_t MaximumBody = 1024;

std::optional<int> Decimal(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text.size() > 3 || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

bool ReplyReader::take(char c, Reply &reply)
{
    const auto byte = static_cast<unsigned char>(c);
    switch (m_state) {
    case State::Idle:
        if (c == Esc) {
            m_state = State::Esc;
        } else if (byte >= 0x60 && byte <= 0x77) {
            reply.kind = byte < 0x70 ? Reply::EnqStatus : Reply::DleStatus;
            reply.status = byte;
            reply.body.clear();
            return true;
        }
        return false;
    case State::Esc:
        if (c == 'P') {
            m_body.clear();
            m_state = State::Frame;
        } else if (c != Esc) {
            m_state = State::Idle;
        }
        return false;
    case State::Frame:
        if (c == Esc)
            m_state = State::FrameEsc;
        else if (m_body.size() < MaximumBody)
            m_body += c;
        else
            reset();
        return false;
    case State::FrameEsc:
        if (c == '\\') {
            reply.kind = Reply::FrameBody;
            reply.status = 0;
            reply.body = m_body;
            reset();
            return true;
        }
        if (c == 'P') {
            m_body.clear();
            m_state = State::Frame;
        } else {
            reset();
        }
        return false;
    }
    return false;
}

std::optional<ErrorStatus> ParseErrorStatus(std::string_view body)
{
    const std::size_t z = body.find("#Z");
    if (z == std::string_view::npos || body.size() != z + 4)
        return std::nullopt;
    const auto error = Decimal(body.substr(0, z));
    if (!error)
        return std::nullopt;
    return ErrorStatus{*error, std::string(body.substr(z + 2))};
}

std::optional<int> ParseErrorNumber(std::string_view body)
{
    if (body.substr(0, 3) != "1#E")
        return std::nullopt;
    return Decimal(body.substr(3));
}

} // namespace thermalserial
