#include "x86_cpu.h"

#include <unicorn/unicorn.h>

#include "emu_error.h"
#include "guest_layout.h"

namespace emu {

namespace {

constexpr std::uint8_t kTrapVector = 0x2E;
constexpr std::uint32_t kReturnTrapStride = 16;

// GDT slots: 1 code, 2 data (DS/ES/SS/GS), 3 thread block (FS).
constexpr std::uint16_t kCodeSelector = 1 << 3, kDataSelector = 2 << 3, kFsSelector = 3 << 3;

std::uint64_t Descriptor(std::uint32_t base, std::uint32_t limit, std::uint8_t access, bool pages) {
    std::uint64_t flags = pages ? 0xC : 0x4;  // 4 KiB granularity (or bytes), 32-bit
    return (limit & 0xFFFFull) | (std::uint64_t(base & 0xFFFFFF) << 16) | (std::uint64_t(access) << 40) |
           (std::uint64_t((limit >> 16) & 0xF) << 48) | (flags << 52) | (std::uint64_t(base >> 24) << 56);
}

void Check(uc_err err, const std::string& what) {
    if (err != UC_ERR_OK) throw Error("unicorn: " + what + ": " + uc_strerror(err));
}

const char* InterruptName(std::uint32_t n) {
    switch (n) {
        case 0: return "divide error";
        case 1: return "debug trap";
        case 3: return "breakpoint (int3)";
        case 4: return "overflow trap";
        case 5: return "bound range exceeded";
        case 6: return "invalid opcode";
        case 13: return "general protection fault";
        case 14: return "page fault";
        case 0x29: return "fast-fail (int 0x29)";
        default: return "interrupt";
    }
}

const char* AccessName(int type) {
    switch (type) {
        case UC_MEM_READ_UNMAPPED: return "read of unmapped memory";
        case UC_MEM_WRITE_UNMAPPED: return "write to unmapped memory";
        case UC_MEM_FETCH_UNMAPPED: return "execution of unmapped memory";
        case UC_MEM_READ_PROT: return "read of protected memory";
        case UC_MEM_WRITE_PROT: return "write to read-only memory";
        case UC_MEM_FETCH_PROT: return "execution of non-executable memory";
        default: return "invalid memory access";
    }
}

}  // namespace

// Unicorn hooks: they only record what happened and stop the CPU; the run
// loop turns that into a trap call or a fault.
struct CpuHooks {
    static void Interrupt(uc_engine* uc, std::uint32_t number, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        std::uint32_t eip = cpu->Eip();
        std::uint32_t trap = eip - 2;
        if (number == kTrapVector && trap >= layout::kStandInCode &&
            trap < layout::kStandInCode + std::uint32_t(cpu->trapCount_) * Cpu::kTrapSize &&
            (trap - layout::kStandInCode) % Cpu::kTrapSize == 0) {
            cpu->pendingTrap_ = static_cast<int>((trap - layout::kStandInCode) / Cpu::kTrapSize);
        } else {
            cpu->pendingFault_ = std::string(InterruptName(number)) + " " + Hex(number);
            cpu->faultEip_ = eip;
        }
        uc_emu_stop(uc);
    }
    static bool InvalidMemory(uc_engine*, uc_mem_type type, std::uint64_t address, int size, std::int64_t,
                              void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        cpu->pendingFault_ = std::string(AccessName(type)) + " at " + Hex(address) + " (" +
                             std::to_string(size) + " bytes)";
        cpu->faultEip_ = cpu->Eip();
        return false;
    }
    static bool InvalidInstruction(uc_engine*, void* user) {
        auto* cpu = static_cast<Cpu*>(user);
        cpu->pendingFault_ = "invalid or unsupported instruction";
        cpu->faultEip_ = cpu->Eip();
        return false;
    }
    static void Block(uc_engine*, std::uint64_t address, std::uint32_t size, void* user) {
        static_cast<Cpu*>(user)->lastBlockEnd_ = static_cast<std::uint32_t>(address + size);
    }
};

Cpu::Cpu(std::uint32_t fsBase) {
    Check(uc_open(UC_ARCH_X86, UC_MODE_32, &uc_), "open");
    Map(layout::kStandInCode, layout::kStandInCodeSize, UC_PROT_READ | UC_PROT_EXEC);
    Map(layout::kReturnTraps, layout::kPage, UC_PROT_READ | UC_PROT_EXEC);
    std::vector<std::uint8_t> int3(layout::kPage, 0xCC);  // reaching a return trap by mistake faults
    Write(layout::kReturnTraps, int3.data(), int3.size());
    SetUpSegments(fsBase);

    uc_hook h;
    Check(uc_hook_add(uc_, &h, UC_HOOK_INTR, reinterpret_cast<void*>(&CpuHooks::Interrupt), this, 1, 0), "hook");
    Check(uc_hook_add(uc_, &h, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&CpuHooks::InvalidMemory), this, 1, 0),
          "hook");
    Check(uc_hook_add(uc_, &h, UC_HOOK_INSN_INVALID, reinterpret_cast<void*>(&CpuHooks::InvalidInstruction), this,
                      1, 0),
          "hook");
}

Cpu::~Cpu() {
    if (uc_) uc_close(uc_);
}

void Cpu::SetUpSegments(std::uint32_t fsBase) {
    // Unicorn starts in 32-bit mode with 16-bit segment descriptors cached and
    // no way to set the FS base directly: load a GDT and reload every segment.
    Map(layout::kGdt, layout::kPage, UC_PROT_READ | UC_PROT_WRITE);
    std::uint64_t gdt[4] = {0, Descriptor(0, 0xFFFFF, 0x9B, true), Descriptor(0, 0xFFFFF, 0x93, true),
                            Descriptor(fsBase, 0xFFF, 0x93, false)};
    Write(layout::kGdt, gdt, sizeof gdt);
    uc_x86_mmr gdtr{};
    gdtr.base = layout::kGdt;
    gdtr.limit = sizeof gdt - 1;
    Check(uc_reg_write(uc_, UC_X86_REG_GDTR, &gdtr), "GDTR");
    struct {
        int reg;
        std::uint32_t selector;
    } segments[] = {{UC_X86_REG_CS, kCodeSelector}, {UC_X86_REG_SS, kDataSelector}, {UC_X86_REG_DS, kDataSelector},
                    {UC_X86_REG_ES, kDataSelector}, {UC_X86_REG_GS, kDataSelector}, {UC_X86_REG_FS, kFsSelector}};
    for (auto& s : segments) Check(uc_reg_write(uc_, s.reg, &s.selector), "segment register");
}

void Cpu::Map(std::uint32_t address, std::uint32_t size, int prot) {
    Check(uc_mem_map(uc_, address, size, static_cast<std::uint32_t>(prot)), "map " + Hex(address));
}

void Cpu::Protect(std::uint32_t address, std::uint32_t size, int prot) {
    Check(uc_mem_protect(uc_, address, size, static_cast<std::uint32_t>(prot)), "protect " + Hex(address));
}

bool Cpu::TryRead(std::uint32_t address, void* out, std::size_t size) {
    return uc_mem_read(uc_, address, out, size) == UC_ERR_OK;
}

void Cpu::Read(std::uint32_t address, void* out, std::size_t size) {
    if (!TryRead(address, out, size))
        throw GuestFault("stand-in read of " + std::to_string(size) + " bytes at unmapped " + Hex(address));
}

void Cpu::Write(std::uint32_t address, const void* in, std::size_t size) {
    if (uc_mem_write(uc_, address, in, size) != UC_ERR_OK)
        throw GuestFault("stand-in write of " + std::to_string(size) + " bytes at unmapped " + Hex(address));
}

std::uint32_t Cpu::Read32(std::uint32_t address) {
    std::uint32_t v;
    Read(address, &v, 4);
    return v;
}

void Cpu::Write32(std::uint32_t address, std::uint32_t value) { Write(address, &value, 4); }

std::string Cpu::ReadCString(std::uint32_t address, std::size_t maxLength) {
    std::string s;
    for (char c; s.size() < maxLength; ++address) {
        Read(address, &c, 1);
        if (!c) return s;
        s.push_back(c);
    }
    throw GuestFault("unterminated string at " + Hex(address));
}

std::u16string Cpu::ReadWString(std::uint32_t address, std::size_t maxLength) {
    std::u16string s;
    for (char16_t c; s.size() < maxLength; address += 2) {
        Read(address, &c, 2);
        if (!c) return s;
        s.push_back(c);
    }
    throw GuestFault("unterminated wide string at " + Hex(address));
}

namespace {
std::uint32_t ReadReg(uc_engine* uc, int reg) {
    std::uint32_t v = 0;
    uc_reg_read(uc, reg, &v);
    return v;
}
}  // namespace

std::uint32_t Cpu::Eax() { return ReadReg(uc_, UC_X86_REG_EAX); }
std::uint32_t Cpu::Esp() { return ReadReg(uc_, UC_X86_REG_ESP); }
std::uint32_t Cpu::Eip() { return ReadReg(uc_, UC_X86_REG_EIP); }
void Cpu::SetEax(std::uint32_t v) { uc_reg_write(uc_, UC_X86_REG_EAX, &v); }
void Cpu::SetEsp(std::uint32_t v) { uc_reg_write(uc_, UC_X86_REG_ESP, &v); }
void Cpu::SetEip(std::uint32_t v) { uc_reg_write(uc_, UC_X86_REG_EIP, &v); }

void Cpu::Push(std::uint32_t v) {
    std::uint32_t esp = Esp() - 4;
    Write32(esp, v);
    SetEsp(esp);
}

std::uint32_t Cpu::AddTrap() {
    std::uint32_t address = layout::kStandInCode + std::uint32_t(trapCount_) * Cpu::kTrapSize;
    if (address + Cpu::kTrapSize > layout::kStandInCode + layout::kStandInCodeSize) throw Error("too many stand-ins");
    const std::uint8_t code[Cpu::kTrapSize] = {0xCD, kTrapVector, 0xEB, 0xFC};
    Write(address, code, sizeof code);
    ++trapCount_;
    return address;
}

void Cpu::TrackBlocks(std::uint32_t begin, std::uint32_t end) {
    if (trackingBlocks_) return;
    uc_hook h;
    Check(uc_hook_add(uc_, &h, UC_HOOK_BLOCK, reinterpret_cast<void*>(&CpuHooks::Block), this, begin, end - 1),
          "block hook");
    trackingBlocks_ = true;
}

Cpu::CallResult Cpu::Call(std::uint32_t function, const std::vector<std::uint32_t>& args) {
    if (depth_ >= int(layout::kPage / kReturnTrapStride)) throw GuestFault("calls nested too deeply");
    if (depth_ == 0) trapsThisCall_ = 0;
    std::uint32_t savedEsp = Esp(), savedEip = Eip();
    for (auto it = args.rbegin(); it != args.rend(); ++it) Push(*it);
    std::uint32_t returnTrap = layout::kReturnTraps + std::uint32_t(depth_) * kReturnTrapStride;
    Push(returnTrap);
    ++depth_;
    try {
        Run(function, returnTrap);
    } catch (...) {
        --depth_;
        throw;
    }
    --depth_;
    CallResult result{Eax(), std::int64_t(Esp()) - (std::int64_t(savedEsp) - 4 * std::int64_t(args.size()))};
    SetEsp(savedEsp);
    SetEip(savedEip);
    return result;
}

void Cpu::Run(std::uint32_t eip, std::uint32_t stopAt) {
    for (;;) {
        pendingTrap_ = -1;
        pendingFault_.clear();
        uc_err err = uc_emu_start(uc_, eip, stopAt, 0, kInstructionLimit);
        eip = Eip();
        if (!pendingFault_.empty()) Fail(pendingFault_, faultEip_);
        if (err != UC_ERR_OK) Fail(uc_strerror(err), eip);
        if (pendingTrap_ >= 0) {
            if (++trapsThisCall_ > kTrapLimit)
                Fail("runaway: more than " + std::to_string(kTrapLimit) + " stand-in calls", eip);
            onTrap(pendingTrap_);
            eip = Eip();
            continue;
        }
        if (eip == stopAt) return;
        Fail("runaway: more than " + std::to_string(kInstructionLimit) + " instructions without a stand-in call",
             eip);
    }
}

void Cpu::Fail(const std::string& what, std::uint32_t eip) {
    throw GuestFault(what + " at EIP " + Hex(eip) + (describe ? " (" + describe(eip) + ")" : ""));
}

}  // namespace emu
