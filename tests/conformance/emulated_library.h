// The shipped 32-bit DLL, run inside the CPU emulator. Each Load() starts a
// fresh emulated process, maps the DLL and runs its process attach; every
// misbehaviour the emulator sees (stack imbalance, crash, missing stand-in)
// comes out as LibraryFault.
#pragma once

#include <memory>
#include <string>

#include "library.h"

namespace emu {
class Process;
}

namespace conformance {

class EmulatedLibrary : public Library {
public:
    EmulatedLibrary(std::string dllPath, bool byOrdinal);
    ~EmulatedLibrary() override;

    std::string Name() const override { return byOrdinal_ ? "dll-by-ordinal" : "dll"; }
    void Load() override;
    void Unload() override;
    std::uint32_t Call(const ExportInfo& e, const std::vector<std::uint32_t>& args) override;

    // The running process, for tests that look inside (null when unloaded).
    emu::Process* process() { return process_.get(); }

private:
    std::string dllPath_;
    bool byOrdinal_;
    std::unique_ptr<emu::Process> process_;
};

}  // namespace conformance
