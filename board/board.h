// One board as the library sees it: fault flags, base address, the shadows of
// what was last written to its output latches, and every board operation.
// The operations reach the hardware only through the six port-access
// operations at the end, which a concrete board supplies.
#pragma once

#include <cstdint>

#include "register_map.h"

namespace orvel {

constexpr std::int32_t FaultRangeNotRegistered = 0x01;
constexpr std::int32_t FaultDriverNotOpen = 0x02;

class Board {
public:
    Board();
    // Not virtual: boards are only destroyed as the concrete objects of the board table.
    ~Board() {}

    // The order of these declarations is the layout of the dispatch table,
    // shared with builds of the library that have other board models. The
    // ReservedNN slots are operations this board model does not have.
    virtual void BoardReset();
    virtual void Reserved01(std::int32_t, std::int32_t) {}
    virtual std::int32_t Reserved02(std::int32_t) { return 0; }
    virtual std::int32_t CounterGet(std::int32_t counter);
    virtual void Reserved04(std::int32_t, std::int32_t) {}
    virtual void Reserved05(std::int32_t, std::int32_t) {}
    virtual void CountersModeSet(std::int32_t mode);
    virtual void Reserved07(std::int32_t, std::int32_t) {}
    virtual void CounterReset(std::int32_t counter);
    virtual void DacsEnableSet(std::int32_t enable);
    virtual void DacOutputSet(std::int32_t output, std::int32_t value);
    virtual std::int32_t Digitize();
    virtual void DigitizerChanSet(std::int32_t channel);
    virtual void Reserved13(std::int32_t) {}
    virtual std::int32_t FaultFlagsGet();
    virtual void Reserved15(std::int32_t, std::int32_t) {}
    virtual void Reserved16(std::int32_t) {}
    virtual std::int32_t Reserved17() { return 0; }
    virtual std::int32_t RelayChanGet(std::uint32_t relay);
    virtual std::int32_t RelayChanOutputGet(std::uint32_t relay);
    virtual void RelayChanSet(std::uint32_t relay, std::int32_t on);
    virtual void Reserved21(std::int32_t, std::int32_t) {}
    virtual std::int32_t RelayGroupGet(std::uint32_t group);
    virtual std::int32_t RelayGroupOutputGet(std::uint32_t group);
    virtual void RelayGroupSet(std::uint32_t group, std::int32_t value);
    virtual void SetBaseAdrs(std::uint32_t base);
    virtual std::int32_t StatusGet();
    virtual void WatchdogEnableSet(std::int32_t enable);
    virtual void WatchdogRefresh();

    // Port access.
    virtual void IoRangeRegister(std::uint32_t base) = 0;   // no-op while a range is held
    virtual void IoRangeUnregister() = 0;                   // release and forget, if any
    virtual std::int32_t PortByteGet(std::uint32_t port) = 0;  // 0..255
    virtual std::int32_t DriverIsOpen() = 0;                // 1 or 0
    virtual std::int32_t IoRangeIsRegistered() = 0;         // 1 or 0
    virtual void PortByteSet(std::uint32_t port, std::int32_t value) = 0;  // low 8 bits

protected:
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    std::int32_t faultFlags;
    std::uint32_t baseAdrs;
    std::int32_t enableShadow;        // bit 0 watchdog, bit 1 analog outputs
    std::int32_t relayShadow[RELAY_GROUP_COUNT];

private:
    void EnablesWrite(std::int32_t bit, std::int32_t enable);
};

}  // namespace orvel
