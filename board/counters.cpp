// Counters and watchdog.
#include "board.h"

namespace orvel {

// High byte first: the opposite order from the digitizer's result.
std::int32_t Board::CounterGet(std::int32_t counter) {
    PortByteSet(baseAdrs + COUNTER_CONTROL_PORT, static_cast<std::uint32_t>(counter) & COUNTER_MASK);
    const std::int32_t high = PortByteGet(baseAdrs + COUNTER_HIGH_PORT);
    const std::int32_t low = PortByteGet(baseAdrs + COUNTER_LOW_PORT);
    return high * 256 + low;
}

void Board::CounterReset(std::int32_t counter) {
    PortByteSet(baseAdrs + COUNTER_CONTROL_PORT,
                (static_cast<std::uint32_t>(counter) & COUNTER_MASK) | COUNTER_RESET_SELECT);
}

// The mode is not remembered: the board is the only place it is kept.
void Board::CountersModeSet(std::int32_t mode) {
    PortByteSet(baseAdrs + COUNTER_CONTROL_PORT,
                (static_cast<std::uint32_t>(mode) & COUNTER_MODE_MASK) | COUNTER_MODE_SELECT);
}

void Board::WatchdogEnableSet(std::int32_t enable) { EnablesWrite(ENABLE_WATCHDOG, enable); }

void Board::WatchdogRefresh() { PortByteSet(baseAdrs + WATCHDOG_REFRESH_PORT, 0); }

}  // namespace orvel
