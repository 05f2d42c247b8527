// The board behind the WINDRVR driver: every port byte is one device-control
// request on the board's own driver handle.
#pragma once

#include <windows.h>

#include "board.h"
#include "driver_records.h"

namespace orvel {

class WindrvrBoard final : public Board {
public:
    WindrvrBoard();    // opens the driver; a failure is kept in the fault flags
    ~WindrvrBoard();   // releases the port range and closes the handle

    void IoRangeRegister(std::uint32_t base) override;
    void IoRangeUnregister() override;
    std::int32_t PortByteGet(std::uint32_t port) override;
    std::int32_t DriverIsOpen() override;
    std::int32_t IoRangeIsRegistered() override;
    void PortByteSet(std::uint32_t port, std::int32_t value) override;

private:
    void Send(std::uint32_t code, void* record, std::uint32_t size);

    HANDLE driverHandle;
    CardRecord cardRecord;
};

}  // namespace orvel
