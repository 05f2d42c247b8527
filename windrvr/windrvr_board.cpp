#include "windrvr_board.h"

namespace orvel {
namespace {

const char DRIVER_DEVICE_PATH[] = "\\\\.\\WINDRVR";

// The driver's byte count for every request of every board lands here;
// nothing reads it, so boards may share it.
DWORD bytesReturned;

}  // namespace

WindrvrBoard::WindrvrBoard() : Board(), cardRecord{} {
    driverHandle = CreateFileA(DRIVER_DEVICE_PATH, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (driverHandle == INVALID_HANDLE_VALUE) faultFlags |= FaultDriverNotOpen;
}

WindrvrBoard::~WindrvrBoard() {
    if (driverHandle == INVALID_HANDLE_VALUE) return;
    IoRangeUnregister();
    CloseHandle(driverHandle);
}

// The driver answers in the record itself. No overlapped structure is passed,
// so each request is complete when DeviceIoControl returns; its result is not
// looked at: a refused registration shows as cardHandle 0, a failed read as 0.
void WindrvrBoard::Send(std::uint32_t code, void* record, std::uint32_t size) {
    DeviceIoControl(driverHandle, code, record, size, nullptr, 0, &bytesReturned, nullptr);
}

void WindrvrBoard::IoRangeRegister(std::uint32_t base) {
    if (cardRecord.cardHandle != 0) return;
    // The record has room for 20 items; a full record is not sent again.
    if (cardRecord.itemCount >= CARD_ITEMS_MAX) return;
    CardItem& item = cardRecord.items[cardRecord.itemCount++];
    item.type = ItemIo;
    item.flag = 1;
    item.address = base;
    item.length = PORT_RANGE_LENGTH;
    Send(IoctlCardRegister, &cardRecord, sizeof cardRecord);
}

void WindrvrBoard::IoRangeUnregister() {
    if (cardRecord.cardHandle != 0) {
        Send(IoctlCardUnregister, &cardRecord, sizeof cardRecord);
        cardRecord.cardHandle = 0;
    }
    cardRecord.itemCount = 0;
}

// The record is zeroed first, so a read the driver did not perform yields 0.
std::int32_t WindrvrBoard::PortByteGet(std::uint32_t port) {
    TransferRecord transfer{};
    transfer.command = ReadPortByte;
    transfer.port = port;
    Send(IoctlTransfer, &transfer, sizeof transfer);
    return static_cast<std::int32_t>(transfer.data & 0xFF);
}

void WindrvrBoard::PortByteSet(std::uint32_t port, std::int32_t value) {
    TransferRecord transfer{};
    transfer.command = WritePortByte;
    transfer.port = port;
    transfer.data = static_cast<std::uint32_t>(value) & 0xFF;
    Send(IoctlTransfer, &transfer, sizeof transfer);
}

std::int32_t WindrvrBoard::DriverIsOpen() { return driverHandle != INVALID_HANDLE_VALUE ? 1 : 0; }

std::int32_t WindrvrBoard::IoRangeIsRegistered() { return cardRecord.cardHandle != 0 ? 1 : 0; }

}  // namespace orvel
