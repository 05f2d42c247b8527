// The board's 32-port window as the library uses it: offsets from baseAdrs.
// Every access is a single byte.
#pragma once

#include <cstdint>

namespace orvel {

constexpr std::uint32_t PORT_RANGE_LENGTH = 32;   // ports claimed from the base

// Analog output n: low data byte at 2n, high byte at 2n + 1 (offsets 0..7).
// Offset 0 is also read once after each update to latch the outputs.
constexpr std::uint32_t DAC_DATA_PORT = 0;
constexpr std::uint32_t DAC_DATA_PORT_COUNT = 8;
constexpr std::uint32_t DAC_OUTPUT_MASK = 3;

// Relay group latches; 11 to 15 in between belong to other functions.
constexpr std::uint32_t RELAY_GROUP_COUNT = 6;
constexpr std::uint32_t RELAYS_PER_GROUP = 8;
constexpr std::uint32_t RELAY_COUNT = RELAY_GROUP_COUNT * RELAYS_PER_GROUP;
constexpr std::uint32_t RELAY_GROUP_PORTS[RELAY_GROUP_COUNT] = {8, 9, 10, 16, 17, 18};

// Read: status byte. Written with 0 as the first step of a board reset.
constexpr std::uint32_t STATUS_PORT = 11;
constexpr std::uint32_t STATUS_DIGITIZER_BUSY = 0x02;

// Write: control. With CONTROL_ENABLES set the low bits are the enables,
// otherwise the digitizer channel. Read: digitizer result, low byte.
constexpr std::uint32_t CONTROL_PORT = 12;
constexpr std::uint32_t CONTROL_ENABLES = 0x08;
constexpr std::int32_t ENABLE_WATCHDOG = 0x01;
constexpr std::int32_t ENABLE_DACS = 0x02;
constexpr std::uint32_t DIGITIZER_CHAN_MASK = 7;
constexpr std::uint32_t DIGITIZER_RESULT_LOW_PORT = 12;

// Write 0: start a conversion. Read: digitizer result, high byte.
constexpr std::uint32_t DIGITIZER_START_PORT = 13;
constexpr std::uint32_t DIGITIZER_RESULT_HIGH_PORT = 13;
constexpr std::int32_t DIGITIZE_TIMEOUT = 0x7FFF;     // reading reported when busy too long
constexpr int DIGITIZE_BUSY_RETRIES = 200;            // status re-reads after the first

// Write: counter control (mode / reset / select). Read: selected counter, low byte.
constexpr std::uint32_t COUNTER_CONTROL_PORT = 14;
constexpr std::uint32_t COUNTER_LOW_PORT = 14;
constexpr std::uint32_t COUNTER_MODE_SELECT = 0x08;
constexpr std::uint32_t COUNTER_RESET_SELECT = 0x04;
constexpr std::uint32_t COUNTER_MASK = 3;
constexpr std::uint32_t COUNTER_MODE_MASK = 7;

// Write 0: refresh the watchdog. Read: selected counter, high byte.
constexpr std::uint32_t WATCHDOG_REFRESH_PORT = 15;
constexpr std::uint32_t COUNTER_HIGH_PORT = 15;

}  // namespace orvel
