// One build of the library under test, loaded and called the way an
// application would: the host shared object through dlopen, or the shipped
// 32-bit DLL inside the CPU emulator. Every conformance case runs through
// this interface, so both builds answer the same table.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "export_list.h"

namespace conformance {

// Raised when the build misbehaves in a way no transcript shows
// (a callee that removes the wrong number of bytes, a crash, a missing export).
struct LibraryFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Library {
public:
    virtual ~Library() = default;
    virtual std::string Name() const = 0;
    // Process attach: builds the board table (opens the driver sixteen times).
    virtual void Load() = 0;
    // Process detach: destroys the board table.
    virtual void Unload() = 0;
    // Calls an export by its plain name, or by ordinal when the build supports
    // it; each argument is one 32-bit stack slot. Returns EAX / the result
    // (meaningless for exports without a value).
    virtual std::uint32_t Call(const ExportInfo& e, const std::vector<std::uint32_t>& args) = 0;
};

}  // namespace conformance
