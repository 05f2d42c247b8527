// printf formatting for the msvcrt stand-ins: the format and its arguments
// are read from guest memory (`args` points at the first 32-bit slot, as a
// va_list does). %n is read past but never written through.
#pragma once

#include <cstdint>
#include <string>

namespace emu {

class Process;

std::string FormatGuest(Process& p, const std::string& format, std::uint32_t args);

}  // namespace emu
