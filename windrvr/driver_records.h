// The WINDRVR driver's control codes and the records sent with them, laid
// out byte for byte as the driver reads them (little-endian 32-bit fields).
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvel {

// Device-control codes: device type in bits 16..31, access in 14..15,
// function in 2..13, transfer method in 0..1.
constexpr std::uint32_t ControlCode(std::uint32_t deviceType, std::uint32_t function,
                                    std::uint32_t method, std::uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
constexpr std::uint32_t WINDRVR_DEVICE_TYPE = 0x9538;
constexpr std::uint32_t METHOD_NEITHER_ = 3;   // the driver reads the caller's buffer in place
constexpr std::uint32_t ANY_ACCESS = 0;

constexpr std::uint32_t IoctlTransfer = ControlCode(WINDRVR_DEVICE_TYPE, 0x903, METHOD_NEITHER_, ANY_ACCESS);
constexpr std::uint32_t IoctlCardRegister = ControlCode(WINDRVR_DEVICE_TYPE, 0x90C, METHOD_NEITHER_, ANY_ACCESS);
constexpr std::uint32_t IoctlCardUnregister = ControlCode(WINDRVR_DEVICE_TYPE, 0x90D, METHOD_NEITHER_, ANY_ACCESS);
static_assert(IoctlTransfer == 0x9538240F, "transfer code");
static_assert(IoctlCardRegister == 0x95382433, "card register code");
static_assert(IoctlCardUnregister == 0x95382437, "card unregister code");

constexpr std::uint32_t ReadPortByte = 10;
constexpr std::uint32_t WritePortByte = 13;
constexpr std::uint32_t ItemIo = 3;

// One byte in or out of one port.
struct TransferRecord {
    std::uint32_t command;    // ReadPortByte or WritePortByte
    std::uint32_t port;       // absolute I/O port
    std::uint32_t unused[3];  // not used by byte commands
    std::uint32_t data;       // bits 0..7: byte to write, or the byte the driver read
};

// One resource of a card: here always an I/O port range.
struct CardItem {
    std::uint32_t type;       // ItemIo
    std::uint32_t flag;       // 1
    std::uint32_t address;    // first port
    std::uint32_t length;     // number of ports
    std::uint32_t rest[3];    // not used for port ranges
};

constexpr std::uint32_t CARD_ITEMS_MAX = 20;

// The registration record: sent to register, kept, and sent again to
// unregister; the driver answers with a nonzero cardHandle.
struct CardRecord {
    std::uint32_t itemCount;
    CardItem items[CARD_ITEMS_MAX];
    std::uint32_t reserved;
    std::uint32_t cardHandle;   // 0 = not registered
};

static_assert(sizeof(TransferRecord) == 24, "TransferRecord size");
static_assert(offsetof(TransferRecord, port) == 4, "TransferRecord.port");
static_assert(offsetof(TransferRecord, data) == 20, "TransferRecord.data");
static_assert(sizeof(CardItem) == 28, "CardItem size");
static_assert(offsetof(CardItem, address) == 8, "CardItem.address");
static_assert(offsetof(CardItem, length) == 12, "CardItem.length");
static_assert(sizeof(CardRecord) == 572, "CardRecord size");
static_assert(offsetof(CardRecord, items) == 4, "CardRecord.items");
static_assert(offsetof(CardRecord, reserved) == 564, "CardRecord.reserved");
static_assert(offsetof(CardRecord, cardHandle) == 568, "CardRecord.cardHandle");

}  // namespace orvel
