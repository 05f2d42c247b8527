// The sixteen boards: built at load, destroyed at unload, nothing else.
#pragma once

#include <cstdint>

#include "windrvr_board.h"

namespace orvel {

constexpr std::int32_t BOARD_COUNT = 16;

// Destroyed in reverse order at unload: board 15 first.
extern WindrvrBoard BoardTable[BOARD_COUNT];

// The board at `index`, or null outside 0..15.
inline WindrvrBoard* BoardAt(std::int32_t index) {
    return static_cast<std::uint32_t>(index) < static_cast<std::uint32_t>(BOARD_COUNT) ? &BoardTable[index]
                                                                                        : nullptr;
}

}  // namespace orvel
