#pragma once

#include <string>

namespace driverlib {

// The directory of the driver library file that this code was linked into, with its
// trailing '/' ("./" when the loader cannot tell): the library's files (its settings,
// its log) live beside it, wherever the program directory is.
std::string LibraryDirectory();

} // namespace driverlib
