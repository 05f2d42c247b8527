// Board-level operations: placement, reset, status and fault flags.
#include "board.h"

namespace orvel {

// baseAdrs starts at 0 like the rest, so an unplaced board addresses the
// ports from 0 up.
Board::Board() : faultFlags(0), baseAdrs(0), enableShadow(0), relayShadow{} {}

void Board::SetBaseAdrs(std::uint32_t base) {
    baseAdrs = base;
    if (base == 0) return;   // unplaced: an earlier registration stays in force
    IoRangeUnregister();
    IoRangeRegister(base);
    if (!IoRangeIsRegistered()) faultFlags |= FaultRangeNotRegistered;
}

void Board::BoardReset() {
    PortByteSet(baseAdrs + STATUS_PORT, 0);
    // The relay and control latches are not written: only what the library
    // remembers of them is forgotten.
    enableShadow = 0;
    for (std::int32_t& shadow : relayShadow) shadow = 0;
    for (std::uint32_t k = 0; k < DAC_DATA_PORT_COUNT; ++k) PortByteSet(baseAdrs + DAC_DATA_PORT + k, 0);
    PortByteGet(baseAdrs + DAC_DATA_PORT);   // latches the zeroed outputs
}

std::int32_t Board::StatusGet() { return PortByteGet(baseAdrs + STATUS_PORT); }

std::int32_t Board::FaultFlagsGet() { return faultFlags; }

}  // namespace orvel
