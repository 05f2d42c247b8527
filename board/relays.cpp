// Relay outputs: 48 relays in six groups of eight, one latch per group.
#include "board.h"

namespace orvel {
namespace {

std::int32_t RelayMask(std::uint32_t relay) { return 1 << (relay % RELAYS_PER_GROUP); }

}  // namespace

// The whole group is rewritten from the shadow; the latch is never read first.
void Board::RelayChanSet(std::uint32_t relay, std::int32_t on) {
    if (relay >= RELAY_COUNT) return;
    const std::uint32_t group = relay / RELAYS_PER_GROUP;
    if (on)
        relayShadow[group] |= RelayMask(relay);
    else
        relayShadow[group] &= ~RelayMask(relay);
    PortByteSet(baseAdrs + RELAY_GROUP_PORTS[group], relayShadow[group]);
}

// The relay's bit in its place (0x20 for relay 13), not 0 or 1.
std::int32_t Board::RelayChanGet(std::uint32_t relay) {
    if (relay >= RELAY_COUNT) return 0;
    return PortByteGet(baseAdrs + RELAY_GROUP_PORTS[relay / RELAYS_PER_GROUP]) & RelayMask(relay);
}

std::int32_t Board::RelayChanOutputGet(std::uint32_t relay) {
    if (relay >= RELAY_COUNT) return 0;
    return relayShadow[relay / RELAYS_PER_GROUP] & RelayMask(relay);
}

// The shadow keeps all 32 bits as passed; the latch takes the low byte.
void Board::RelayGroupSet(std::uint32_t group, std::int32_t value) {
    if (group >= RELAY_GROUP_COUNT) return;
    relayShadow[group] = value;
    PortByteSet(baseAdrs + RELAY_GROUP_PORTS[group], value);
}

std::int32_t Board::RelayGroupGet(std::uint32_t group) {
    if (group >= RELAY_GROUP_COUNT) return 0;
    return PortByteGet(baseAdrs + RELAY_GROUP_PORTS[group]);
}

std::int32_t Board::RelayGroupOutputGet(std::uint32_t group) {
    if (group >= RELAY_GROUP_COUNT) return 0;
    return relayShadow[group];
}

}  // namespace orvel
