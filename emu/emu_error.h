// Errors the emulator raises. LoadError: the file cannot be run at all
// (not a PE32 i386 DLL, damaged tables, an import we have no stand-in for).
// GuestFault: the DLL misbehaved while running (bad memory access, stack
// imbalance, runaway loop, abort()).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace emu {

struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct LoadError : Error {
    using Error::Error;
};

struct GuestFault : Error {
    using Error::Error;
};

// "0x1c": how addresses and codes appear in messages.
std::string Hex(std::uint64_t value);

}  // namespace emu
