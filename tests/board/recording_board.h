// A board whose port access only records what the board logic asked for,
// one line per call, and answers reads from a script.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "board.h"

namespace orvel {

class RecordingBoard : public Board {
public:
    void IoRangeRegister(std::uint32_t base) override;
    void IoRangeUnregister() override;
    std::int32_t PortByteGet(std::uint32_t port) override;
    std::int32_t DriverIsOpen() override;
    std::int32_t IoRangeIsRegistered() override;
    void PortByteSet(std::uint32_t port, std::int32_t value) override;

    std::vector<std::string> calls;
    std::map<std::uint32_t, std::int32_t> portReads;   // read value per port, 0 otherwise
    bool registrationAccepted = true;

private:
    bool registered_ = false;
};

}  // namespace orvel
