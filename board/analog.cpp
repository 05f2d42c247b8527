// Analog outputs and the digitizer.
#include "board.h"

namespace orvel {

// The output number is masked, not checked: 4 is output 0, 5 is output 1.
void Board::DacOutputSet(std::int32_t output, std::int32_t value) {
    const std::uint32_t low = DAC_DATA_PORT + (static_cast<std::uint32_t>(output) & DAC_OUTPUT_MASK) * 2;
    PortByteSet(baseAdrs + low, value & 0xFF);
    PortByteSet(baseAdrs + low + 1, (value >> 8) & 0xFF);
    PortByteGet(baseAdrs + DAC_DATA_PORT);   // latches the new value, whichever output
}

void Board::DacsEnableSet(std::int32_t enable) { EnablesWrite(ENABLE_DACS, enable); }

// The control port carries both enables at once, so each enable is written
// together with the other one's last state.
void Board::EnablesWrite(std::int32_t bit, std::int32_t enable) {
    if (enable)
        enableShadow |= bit;
    else
        enableShadow &= ~bit;
    PortByteSet(baseAdrs + CONTROL_PORT, enableShadow | CONTROL_ENABLES);
}

// Bit 3 clear selects the channel; the enables are neither read nor changed.
void Board::DigitizerChanSet(std::int32_t channel) {
    PortByteSet(baseAdrs + CONTROL_PORT, static_cast<std::uint32_t>(channel) & DIGITIZER_CHAN_MASK);
}

// The busy poll is bounded by its count, not by time: no waiting primitive.
std::int32_t Board::Digitize() {
    PortByteSet(baseAdrs + DIGITIZER_START_PORT, 0);
    std::int32_t status = PortByteGet(baseAdrs + STATUS_PORT);
    for (int retries = DIGITIZE_BUSY_RETRIES; status & STATUS_DIGITIZER_BUSY; --retries) {
        if (retries == 0) return DIGITIZE_TIMEOUT;
        status = PortByteGet(baseAdrs + STATUS_PORT);
    }
    const std::int32_t low = PortByteGet(baseAdrs + DIGITIZER_RESULT_LOW_PORT);
    const std::int32_t high = PortByteGet(baseAdrs + DIGITIZER_RESULT_HIGH_PORT);
    return high * 256 + low;
}

}  // namespace orvel
