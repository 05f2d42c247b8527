// One emulated Windows process with one DLL loaded in it: the image mapped
// away from its preferred base and relocated, imports bound to stand-ins,
// a thread block, a stack and a heap. Attach/Detach run the TLS callbacks and
// the entry point the way the Windows loader does; CallExport calls an export
// with the standard calling convention and checks the callee's stack clean-up.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "guest_heap.h"
#include "pe_image.h"
#include "stand_ins.h"
#include "x86_cpu.h"

namespace emu {

struct ProcessOptions {
    std::uint32_t imageBase = 0;  // 0: a base other than the preferred one
};

class Process {
public:
    // Throws LoadError when the file is not a PE32 i386 DLL, cannot be
    // relocated, or imports something without a stand-in.
    explicit Process(const std::string& dllPath, ProcessOptions options = {});
    Process(PeImage image, const std::string& dllPath, ProcessOptions options = {});

    void Attach();  // DLL_PROCESS_ATTACH; GuestFault if DllMain returns FALSE
    void Detach();  // DLL_PROCESS_DETACH, then the process-exit handlers
    std::uint32_t CallExport(const std::string& name, const std::vector<std::uint32_t>& args);
    std::uint32_t CallExport(std::uint32_t ordinal, const std::vector<std::uint32_t>& args);
    // RVA just past the last DLL code block executed (the returning
    // instruction of the last call ends there).
    std::uint32_t LastBlockEndRva() const { return cpu_.LastBlockEnd() - base_; }

    const PeImage& Image() const { return image_; }
    std::uint32_t Base() const { return base_; }
    Cpu& cpu() { return cpu_; }
    GuestHeap& heap() { return heap_; }
    const std::string& ConsoleOutput() const { return console_; }

    // --- state the stand-ins share ------------------------------------------
    std::string console_;                          // what the DLL wrote to stdout/stderr
    std::vector<std::uint32_t> exitHandlers_;      // msvcrt atexit/_onexit, run at process end
    std::uint64_t tlsSlotsInUse_ = 0;              // bit per TlsAlloc slot
    struct Semaphore {
        std::int32_t count, maximum;
    };
    std::map<std::uint32_t, Semaphore> semaphores_;
    std::uint32_t nextObjectHandle_ = 0x00A00004;  // far from the driver's handles
    std::uint32_t tickCount_ = 1000;

    std::uint32_t LastError();
    void SetLastError(std::uint32_t code);
    // Guest address to call for a stand-in (GetProcAddress on system DLLs).
    std::uint32_t TrapFor(const StandIn& standIn);
    // Calls guest code (cdecl) from inside a stand-in, returns EAX.
    std::uint32_t CallGuestCdecl(std::uint32_t function, const std::vector<std::uint32_t>& args = {});
    // VirtualQuery / VirtualProtect on the image pages. Windows PAGE_* values.
    std::uint32_t PageProtection(std::uint32_t address, std::uint32_t* regionBase, std::uint32_t* regionSize,
                                 std::uint32_t* allocationBase, std::uint32_t* type);
    bool ChangeProtection(std::uint32_t address, std::uint32_t size, std::uint32_t protection,
                          std::uint32_t* old);
    // Names a guest address: export+offset inside the DLL, a stand-in, ...
    std::string Describe(std::uint32_t address) const;

private:
    void MapImage();
    void BindImports(std::vector<std::uint8_t>& memory);
    void SetUpThread();
    void SetUpTls();
    void RunInitializers(std::uint32_t reason);
    std::uint32_t CallChecked(std::uint32_t function, const std::vector<std::uint32_t>& args,
                              const std::string& what, bool calleeCleans);
    void OnTrap(int index);

    PeImage image_;
    std::string path_;
    std::uint32_t base_;
    Cpu cpu_;
    GuestHeap heap_;
    std::vector<const StandIn*> traps_;             // trap index -> stand-in
    std::map<const StandIn*, std::uint32_t> trapAddress_;
    std::map<std::uint32_t, std::uint32_t> pageProtection_;  // image page -> PAGE_*
    bool attached_ = false;
};

}  // namespace emu
