// The driver-backed board against the simulated driver: the records it sends,
// byte for byte, and the requests its life causes.
#include <gtest/gtest.h>

#include <memory>

#include "sim_driver.h"
#include "windrvr_board.h"

namespace orvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

void Put32(Bytes& b, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

Bytes CardRecordBytes(std::uint32_t count, const std::vector<std::uint32_t>& bases) {
    Bytes b(572, 0);
    Put32(b, 0, count);
    for (std::size_t i = 0; i < bases.size(); ++i) {
        const std::size_t item = 4 + 28 * i;
        Put32(b, item + 0, 3);
        Put32(b, item + 4, 1);
        Put32(b, item + 8, bases[i]);
        Put32(b, item + 12, 32);
    }
    return b;
}

class WindrvrBoardTest : public testing::Test {
protected:
    void SetUp() override { driver.Reset(); }
    void TearDown() override { driver.Reset(); }
    const simdrv::Call& Last() const { return driver.Calls().back(); }
    simdrv::Driver& driver = simdrv::TheDriver();
};

TEST_F(WindrvrBoardTest, OpensItsOwnHandleAndClosesIt) {
    {
        WindrvrBoard board;
        EXPECT_EQ(board.DriverIsOpen(), 1);
        EXPECT_EQ(board.IoRangeIsRegistered(), 0);
        EXPECT_EQ(board.FaultFlagsGet(), 0);
        EXPECT_EQ(driver.OpenHandleCount(), 1);
    }
    EXPECT_EQ(driver.Transcript(),
              (Lines{"open \\\\.\\WINDRVR access=0x80000000 share=0x3 disposition=3 flags=0x40000000 -> h1",
                     "close h1"}));
}

TEST_F(WindrvrBoardTest, WithoutDriverNoCallAtDestruction) {
    driver.SetPresent(false);
    {
        WindrvrBoard board;
        EXPECT_EQ(board.DriverIsOpen(), 0);
        EXPECT_EQ(board.FaultFlagsGet(), FaultDriverNotOpen);
        driver.ClearLog();
    }
    EXPECT_EQ(driver.Transcript(), Lines{});
}

TEST_F(WindrvrBoardTest, TransferRecordsByteForByte) {
    WindrvrBoard board;
    board.PortByteSet(0x309, 0x1A5);
    EXPECT_EQ(Last().code, 0x9538240Fu);
    EXPECT_EQ(Last().record, (Bytes{13, 0, 0, 0, 0x09, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, 0, 0, 0xA5, 0, 0, 0}));
    driver.ScriptPort(0x30B, {0x5A});
    EXPECT_EQ(board.PortByteGet(0x30B), 0x5A);
    EXPECT_EQ(Last().record, (Bytes{10, 0, 0, 0, 0x0B, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(WindrvrBoardTest, RegistrationRecordsByteForByte) {
    {
        WindrvrBoard board;
        board.SetBaseAdrs(0x300);
        EXPECT_EQ(Last().code, 0x95382433u);
        EXPECT_EQ(Last().record, CardRecordBytes(1, {0x300}));
        EXPECT_EQ(board.IoRangeIsRegistered(), 1);
        board.SetBaseAdrs(0x310);
        const auto& calls = driver.Calls();
        ASSERT_GE(calls.size(), 2u);
        // Unregistration sends the kept record, with the driver's card handle.
        Bytes unreg = CardRecordBytes(1, {0x300});
        Put32(unreg, 568, 1);
        EXPECT_EQ(calls[calls.size() - 2].code, 0x95382437u);
        EXPECT_EQ(calls[calls.size() - 2].record, unreg);
        EXPECT_EQ(Last().record, CardRecordBytes(1, {0x310}));
        driver.ClearLog();
    }
    EXPECT_EQ(driver.Transcript(), (Lines{"unreg h1 card 2 [io 0x310 len 32]", "close h1"}));
    EXPECT_EQ(driver.RegisteredRangeCount(), 0);
}

// Only placement empties the record before claiming; called on its own while
// the driver keeps refusing, the record fills up to its 20 items and stops.
TEST_F(WindrvrBoardTest, RegistrationRecordNeverOverflows) {
    driver.SetRefuseRegistrations(true);
    WindrvrBoard board;
    driver.ClearLog();
    for (int i = 0; i < 25; ++i) board.IoRangeRegister(0x300 + 0x20 * i);
    ASSERT_EQ(driver.Calls().size(), 20u);
    std::vector<std::uint32_t> bases;
    for (int i = 0; i < 20; ++i) bases.push_back(0x300 + 0x20 * i);
    EXPECT_EQ(Last().record, CardRecordBytes(20, bases));
    EXPECT_EQ(board.IoRangeIsRegistered(), 0);
    board.IoRangeUnregister();
    driver.SetRefuseRegistrations(false);
    board.IoRangeRegister(0x400);
    // Unregistration empties the record by its count alone; the driver reads
    // only the counted items, so the older ones may stay behind.
    bases[0] = 0x400;
    Bytes expected = CardRecordBytes(20, bases);
    Put32(expected, 0, 1);
    EXPECT_EQ(Last().record, expected);
}

TEST_F(WindrvrBoardTest, RegisterWhileRegisteredSendsNothing) {
    WindrvrBoard board;
    board.IoRangeRegister(0x300);
    driver.ClearLog();
    board.IoRangeRegister(0x340);
    EXPECT_EQ(driver.Transcript(), Lines{});
    EXPECT_EQ(board.IoRangeIsRegistered(), 1);
}

}  // namespace
}  // namespace orvel
