#include "emu_error.h"

#include <cstdio>

namespace emu {

std::string Hex(std::uint64_t value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
    return buf;
}

}  // namespace emu
