// Stand-ins for the system functions the DLL imports. Each one does what the
// Windows function does for a single-threaded process, in a few lines; the
// three the board traffic goes through (CreateFileA, DeviceIoControl,
// CloseHandle) hand over to the simulated driver.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace emu {

class Process;

// The arguments of a trapped call: 32-bit stack slots above the return address.
class StandInArgs {
public:
    StandInArgs(Process& process, std::uint32_t esp) : process_(process), esp_(esp) {}
    std::uint32_t operator[](int index) const;
    std::uint32_t AddressOf(int index) const { return esp_ + 4 + 4 * std::uint32_t(index); }

private:
    Process& process_;
    std::uint32_t esp_;
};

enum class CallKind {
    Stdcall,  // callee removes its arguments (KERNEL32)
    Cdecl,    // caller removes them (msvcrt)
    Data,     // an exported variable: `function` returns its guest address
};

struct StandIn {
    const char* dll;
    const char* name;
    CallKind kind;
    int argCount;  // stdcall: bytes removed = 4 * argCount
    std::uint32_t (*function)(Process&, const StandInArgs&);
};

const std::vector<StandIn>& Kernel32StandIns();
const std::vector<StandIn>& MsvcrtStandIns();
// Matches the DLL name case-insensitively, the function name exactly.
const StandIn* FindStandIn(const std::string& dll, const std::string& name);

// Sets up the msvcrt data objects (_iob, errno, locale strings) in guest memory.
void PrepareMsvcrtData(Process& process);

}  // namespace emu
