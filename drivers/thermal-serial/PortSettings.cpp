#include "PortSettings.h"

#include <charconv>
#include <cctype>

namespace thermalserial {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
            return false;
    }
    return true;
}

std::optional<int> Number(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

bool IsStandardSpeed(int baud)
{
    for (const int speed : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400})
        if (baud == speed)
            return true;
    return false;
}

} // namespace

std::optional<std::string> IniValue(std::string_view ini, std::string_view section, std::string_view key)
{
    bool inSection = false;
    bool sectionSeen = false;
    while (!ini.empty()) {
        std::size_t end = 0;
        while (end < ini.size() && ini[end] != '\r' && ini[end] != '\n')
            ++end;
        const std::string_view line = Trim(ini.substr(0, end));
        ini.remove_prefix(end);
        while (!ini.empty() && (ini.front() == '\r' || ini.front() == '\n'))
            ini.remove_prefix(1);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            const bool match = SameName(Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)), section);
            // The first of two sections of one name counts.
            inSection = match && !sectionSeen;
            sectionSeen = sectionSeen || match;
            continue;
        }
        if (!inSection || line.empty() || line.front() == ';')
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0 || !SameName(Trim(line.substr(0, equals)), key))
            continue;
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            return std::string(value.substr(1, value.size() - 2));
        // A comment after the value ("COM1=/dev/ttyUSB0   ; the till's printer"), as in
        // the README: a ';' after a blank ends it.
        for (std::size_t k = 1; k < value.size(); ++k) {
            if (value[k] == ';' && IsBlank(value[k - 1])) {
                value = Trim(value.substr(0, k));
                break;
            }
        }
        return std::string(value);
    }
    return std::nullopt;
}

int ComNumber(const char *name)
{
    if (!name)
        return 0;
    const std::string_view text(name);
    if (text.size() < 4 || !SameName(text.substr(0, 3), "COM") || text[3] == '0')
        return 0;
    return Number(text.substr(3), 1, 255).value_or(0);
}

std::optional<PortSettings> ReadPortSettings(std::string_view ini, int com, int baud, std::string &error)
{
    PortSettings settings;
    const std::string comKey = "COM" + std::to_string(com);
    settings.device = IniValue(ini, "Porty", comKey).value_or("");
    if (settings.device.empty())
        settings.device = "/dev/ttyS" + std::to_string(com - 1);

    auto value = [&](const char *key) { return IniValue(ini, "Porty", key); };
    auto bad = [&](const char *key, const std::string &text) {
        error = std::string("[Porty] ") + key + "=" + text + " is not usable";
        return std::nullopt;
    };

    settings.baud = baud;
    if (const auto speed = value("Predkosc")) {
        const auto number = Number(*speed, 1, 4000000);
        if (!number)
            return bad("Predkosc", *speed);
        settings.baud = *number;
    }
    if (!IsStandardSpeed(settings.baud)) {
        error = "a speed of " + std::to_string(settings.baud) + " baud is not one a serial port takes";
        return std::nullopt;
    }
    if (const auto format = value("Format")) {
        // Data bits, parity, stop bits: 8N1, 7E1, 8N2.
        const std::string f = *format;
        const char parity = f.size() == 3 ? char(std::toupper(static_cast<unsigned char>(f[1]))) : '?';
        if (f.size() != 3 || f[0] < '5' || f[0] > '8' || (parity != 'N' && parity != 'E' && parity != 'O')
            || (f[2] != '1' && f[2] != '2'))
            return bad("Format", f);
        settings.dataBits = f[0] - '0';
        settings.parity = parity;
        settings.stopBits = f[2] - '0';
    }
    if (const auto flow = value("Przeplyw")) {
        if (SameName(*flow, "brak") || SameName(*flow, "none") || flow->empty())
            settings.flow = FlowControl::None;
        else if (SameName(*flow, "RTS/CTS") || SameName(*flow, "sprzetowy"))
            settings.flow = FlowControl::RtsCts;
        else if (SameName(*flow, "XON/XOFF") || SameName(*flow, "programowy"))
            settings.flow = FlowControl::XonXoff;
        else
            return bad("Przeplyw", *flow);
    }
    const struct {
        const char *key;
        int *target;
    } times[] = {{"CzasOdpowiedzi", &settings.timeouts.answer},
                 {"CzasWydruku", &settings.timeouts.printing},
                 {"CzasRaportu", &settings.timeouts.report}};
    for (const auto &time : times) {
        if (const auto text = value(time.key)) {
            // Ten milliseconds to a day.
            const auto number = Number(*text, 10, 86400000);
            if (!number)
                return bad(time.key, *text);
            *time.target = *number;
        }
    }
    return settings;
}

} // namespace thermalserial
