#include "guest_heap.h"

#include <algorithm>
#include <vector>

#include "emu_error.h"
#include "x86_cpu.h"

namespace emu {

namespace {
constexpr std::uint32_t kAlign = 16;
constexpr std::uint32_t kGuard = 16;  // gap between blocks, so small overruns don't hit a neighbour
}

GuestHeap::GuestHeap(Cpu& cpu, std::uint32_t base, std::uint32_t size)
    : cpu_(cpu), next_(base + kGuard), end_(base + size) {
    cpu_.Map(base, size, 3);
}

std::uint32_t GuestHeap::Allocate(std::uint32_t size, bool zeroed) {
    std::uint32_t capacity = std::max<std::uint32_t>(kAlign, (size + kAlign - 1) / kAlign * kAlign);
    std::uint32_t address;
    auto reuse = freeBySize_.lower_bound(capacity);
    if (reuse != freeBySize_.end() && reuse->first <= capacity * 2) {
        capacity = reuse->first;
        address = reuse->second;
        freeBySize_.erase(reuse);
    } else {
        if (capacity + kGuard > end_ - next_) return 0;
        address = next_;
        next_ += capacity + kGuard;
    }
    live_[address] = size;
    capacity_[address] = capacity;
    std::vector<std::uint8_t> fill(capacity, zeroed ? 0x00 : 0xCD);
    cpu_.Write(address, fill.data(), fill.size());
    return address;
}

void GuestHeap::Free(std::uint32_t address) {
    if (address == 0) return;
    auto it = live_.find(address);
    if (it == live_.end()) throw GuestFault("free of " + Hex(address) + ", which is not a live heap block");
    live_.erase(it);
    freeBySize_.emplace(capacity_[address], address);
}

std::uint32_t GuestHeap::SizeOf(std::uint32_t address) const {
    auto it = live_.find(address);
    return it == live_.end() ? 0xFFFFFFFFu : it->second;
}

std::uint32_t GuestHeap::Reallocate(std::uint32_t address, std::uint32_t size) {
    if (address == 0) return Allocate(size, false);
    if (!Owns(address)) throw GuestFault("realloc of " + Hex(address) + ", which is not a live heap block");
    if (size <= capacity_[address]) {
        live_[address] = size;
        return address;
    }
    std::uint32_t fresh = Allocate(size, false);
    if (!fresh) return 0;
    std::vector<std::uint8_t> data(live_[address]);
    cpu_.Read(address, data.data(), data.size());
    cpu_.Write(fresh, data.data(), data.size());
    Free(address);
    return fresh;
}

}  // namespace emu
