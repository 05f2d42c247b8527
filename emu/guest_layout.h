// Where things live in the emulated 32-bit address space. The DLL is mapped
// between these regions, away from its preferred base, so its base
// relocations are really applied.
#pragma once

#include <cstdint>

namespace emu::layout {

constexpr std::uint32_t kPage = 0x1000;

constexpr std::uint32_t kGdt = 0x00010000;         // one page: the segment descriptors
constexpr std::uint32_t kStackLimit = 0x00100000;  // lowest stack address
constexpr std::uint32_t kStackBase = 0x00200000;   // stack grows down from here
constexpr std::uint32_t kExeBase = 0x00400000;     // stand-in for the host program's module
constexpr std::uint32_t kHeap = 0x01000000;
constexpr std::uint32_t kHeapSize = 0x04000000;

// Images go at the first of these that is not their preferred base.
constexpr std::uint32_t kImageBases[] = {0x20000000, 0x30000000};

constexpr std::uint32_t kStandInCode = 0x7E000000; // one trap per imported function
constexpr std::uint32_t kStandInCodeSize = 0x10000;
constexpr std::uint32_t kStandInData = 0x7E010000; // msvcrt data objects (_iob, errno, ...)
constexpr std::uint32_t kStandInDataSize = 0x10000;
constexpr std::uint32_t kReturnTraps = 0x7E100000; // return addresses of host-made calls
constexpr std::uint32_t kTeb = 0x7FFDE000;
constexpr std::uint32_t kPeb = 0x7FFDF000;

// Thread block fields the runtime reads through FS.
constexpr std::uint32_t kTebStackBase = 0x04;
constexpr std::uint32_t kTebStackLimit = 0x08;
constexpr std::uint32_t kTebSelf = 0x18;
constexpr std::uint32_t kTebProcessId = 0x20;
constexpr std::uint32_t kTebThreadId = 0x24;
constexpr std::uint32_t kTebTlsPointer = 0x2C;
constexpr std::uint32_t kTebPeb = 0x30;
constexpr std::uint32_t kTebLastError = 0x34;
constexpr std::uint32_t kTebTlsSlots = 0xE10;      // 64 TlsAlloc slots
constexpr int kTlsSlotCount = 64;
constexpr std::uint32_t kPebImageBase = 0x08;
constexpr std::uint32_t kPebProcessHeap = 0x18;

constexpr std::uint32_t kProcessId = 0x1234;
constexpr std::uint32_t kThreadId = 0x1238;

}  // namespace emu::layout
