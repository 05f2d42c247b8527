// The heap behind malloc/HeapAlloc in the emulated process: a region of guest
// memory with the block list kept on the host side. Freed blocks are reused
// by size. Freeing something that is not a live block is reported as a
// fault, because on Windows it corrupts the heap.
#pragma once

#include <cstdint>
#include <map>

namespace emu {

class Cpu;

class GuestHeap {
public:
    GuestHeap(Cpu& cpu, std::uint32_t base, std::uint32_t size);
    // 0 when out of memory. Fresh blocks are filled with 0xCD unless zeroed,
    // so code that reads memory it never wrote does not get lucky zeros.
    std::uint32_t Allocate(std::uint32_t size, bool zeroed);
    void Free(std::uint32_t address);  // 0 is ignored
    std::uint32_t Reallocate(std::uint32_t address, std::uint32_t size);
    bool Owns(std::uint32_t address) const { return live_.count(address) != 0; }
    std::uint32_t SizeOf(std::uint32_t address) const;

private:
    Cpu& cpu_;
    std::uint32_t next_, end_;
    std::map<std::uint32_t, std::uint32_t> live_;                   // address -> requested size
    std::map<std::uint32_t, std::uint32_t> capacity_;               // address -> usable size
    std::multimap<std::uint32_t, std::uint32_t> freeBySize_;        // capacity -> address
};

}  // namespace emu
