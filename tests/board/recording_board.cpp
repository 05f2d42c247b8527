#include "recording_board.h"

#include <cstdio>

namespace orvel {
namespace {

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

}  // namespace

void RecordingBoard::IoRangeRegister(std::uint32_t base) {
    calls.push_back("register " + Hex(base));
    registered_ = registered_ || registrationAccepted;
}

void RecordingBoard::IoRangeUnregister() {
    calls.push_back("unregister");
    registered_ = false;
}

std::int32_t RecordingBoard::PortByteGet(std::uint32_t port) {
    calls.push_back("R " + Hex(port));
    return portReads[port];
}

std::int32_t RecordingBoard::DriverIsOpen() {
    calls.push_back("driver-is-open");
    return 1;
}

std::int32_t RecordingBoard::IoRangeIsRegistered() {
    calls.push_back("is-registered");
    return registered_ ? 1 : 0;
}

// The raw value, not the low byte: cutting it to a byte is the port's job.
void RecordingBoard::PortByteSet(std::uint32_t port, std::int32_t value) {
    calls.push_back("W " + Hex(port) + " " + Hex(static_cast<std::uint32_t>(value)));
}

}  // namespace orvel
