#pragma once

#include <string>

namespace thermalserial {

// thermal-serial.log beside the library: one line for every call that did not succeed,
// "yyyy-mm-dd hh:mm:ss function = result: why", for whoever looks after the printer. The
// result files carry only the number. Past 1 MiB the log starts afresh, the old one kept
// as thermal-serial.log.1.
void LogFailure(const std::string &directory, const char *function, int result, const std::string &why);

} // namespace thermalserial
