// A 32-bit x86 CPU on unicorn, set up the way a Windows thread sees it:
// flat 32-bit code/data/stack segments and FS on the thread block.
//
// Imported functions are traps: each is an `int` instruction in the stand-in
// page. A trap stops emulation and the trap handler runs in C++ outside of
// unicorn, so a stand-in may itself call back into guest code (Call) - the
// unicorn build we use does not support starting emulation from a hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct uc_struct;

namespace emu {

class Cpu {
public:
    // fsBase: the thread block FS points at.
    explicit Cpu(std::uint32_t fsBase);
    ~Cpu();
    Cpu(const Cpu&) = delete;
    Cpu& operator=(const Cpu&) = delete;

    // --- memory (unicorn protection bits: 1 read, 2 write, 4 exec) --------
    void Map(std::uint32_t address, std::uint32_t size, int prot);
    void Protect(std::uint32_t address, std::uint32_t size, int prot);
    bool TryRead(std::uint32_t address, void* out, std::size_t size);
    void Read(std::uint32_t address, void* out, std::size_t size);  // GuestFault if unmapped
    void Write(std::uint32_t address, const void* in, std::size_t size);
    std::uint32_t Read32(std::uint32_t address);
    void Write32(std::uint32_t address, std::uint32_t value);
    std::string ReadCString(std::uint32_t address, std::size_t maxLength = 65536);
    std::u16string ReadWString(std::uint32_t address, std::size_t maxLength = 65536);

    // --- registers ---------------------------------------------------------
    std::uint32_t Eax();
    std::uint32_t Esp();
    std::uint32_t Eip();
    void SetEax(std::uint32_t v);
    void SetEsp(std::uint32_t v);
    void SetEip(std::uint32_t v);
    void Push(std::uint32_t v);

    // --- traps ---------------------------------------------------------------
    // Writes a new trap into the stand-in page and returns its address.
    std::uint32_t AddTrap();
    static constexpr std::uint32_t kTrapSize = 4;  // int 0x2E; jmp back to it (never reached)
    // Called with the trap index, ESP at the guest's return address. The
    // handler must set EIP (and ESP) to where the guest continues.
    std::function<void(int)> onTrap;
    // Names a guest address in fault messages.
    std::function<std::string(std::uint32_t)> describe;

    // Calls guest code at `function` with 32-bit stack arguments and runs it
    // until it returns. ESP is restored afterwards; the result tells how many
    // argument bytes the callee removed itself.
    struct CallResult {
        std::uint32_t eax;
        std::int64_t bytesRemoved;
    };
    CallResult Call(std::uint32_t function, const std::vector<std::uint32_t>& args);

    // Remembers the last translated block executed inside [begin, end), so
    // a test can locate the instruction that returned from a call.
    void TrackBlocks(std::uint32_t begin, std::uint32_t end);
    std::uint32_t LastBlockEnd() const { return lastBlockEnd_; }

    static constexpr std::uint64_t kInstructionLimit = 200'000'000;  // per run between traps
    static constexpr std::uint64_t kTrapLimit = 5'000'000;           // stand-in calls per top-level call

private:
    void SetUpSegments(std::uint32_t fsBase);
    void Run(std::uint32_t eip, std::uint32_t stopAt);
    [[noreturn]] void Fail(const std::string& what, std::uint32_t eip);

    friend struct CpuHooks;

    uc_struct* uc_ = nullptr;
    int trapCount_ = 0;
    int depth_ = 0;
    std::uint64_t trapsThisCall_ = 0;
    int pendingTrap_ = -1;
    std::string pendingFault_;
    std::uint32_t faultEip_ = 0;
    std::uint32_t lastBlockEnd_ = 0;
    bool trackingBlocks_ = false;
};

}  // namespace emu
