#pragma once

// What both simulator libraries share: the log beside the library file, the scripted
// results, and texts shown as UTF-8.

#include <cstdint>
#include <string>

namespace simulator {

// The driver's code page of its texts: the Polish letters are shown as UTF-8, other bytes
// outside printable ASCII as \xNN.
enum class CodePage { Cp852, Mazovia };

// Called when the library is loaded and unloaded: the script is read afresh, and the
// log notes the load and the unload.
void Loaded();
void Unloaded();

// The result of the call about to be logged: the script's line for this call of the
// function within this load, else `normal`.
std::int32_t Result(const char *function, std::int32_t normal);

// One line of the log: "function(arguments) = result".
void LogCall(const char *function, const std::string &arguments, std::int32_t result);

std::string Text(const char *text, CodePage codePage);
std::string Number(std::int64_t value);

} // namespace simulator
