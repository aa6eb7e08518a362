#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace thermalserial {

enum class FlowControl { None, RtsCts, XonXoff };

// How long the driver waits, in milliseconds: for the answer to a plain command and to a
// DLE status query, for a command that prints a receipt's end or a cancel, and for a
// report, which may keep the printer busy for minutes.
struct Timeouts {
    int answer = 3000;
    int printing = 30000;
    int report = 600000;
};

// The port of COMn: its device and line settings, from [Porty] of Ostrevo.ini.
struct PortSettings {
    std::string device;
    int baud = 9600;
    int dataBits = 8;
    char parity = 'N'; // N, E or O
    int stopBits = 1;
    FlowControl flow = FlowControl::None;
    Timeouts timeouts;
};

// The value of KEY in [SECTION] of an INI file's bytes, read as the Windows profile
// functions do: names without regard to case, the first of equal keys counts, the value
// trimmed of blanks and of one pair of enclosing quotes.
std::optional<std::string> IniValue(std::string_view ini, std::string_view section, std::string_view key);

// The settings of port `com` (1 for COM1): `COMn=` names the device (default
// /dev/ttyS<n-1>); `Predkosc`, `Format` (8N1), `Przeplyw` (brak, RTS/CTS, XON/XOFF),
// `CzasOdpowiedzi`, `CzasWydruku`, `CzasRaportu` (ms) apply to every port. `baud` is the
// speed asked for when `Predkosc` is absent. Nothing when a value is unusable; `error`
// then says which.
std::optional<PortSettings> ReadPortSettings(std::string_view ini, int com, int baud, std::string &error);

// "COM1" to "COM255" (any letter case): the number; 0 for anything else.
int ComNumber(const char *name);

} // namespace thermalserial
