// The board logic against a port-access layer that only records: what the
// operations ask of the port-access interface, in order.
#include <gtest/gtest.h>

#include <cstring>

#include "recording_board.h"

namespace orvel {
namespace {

using Lines = std::vector<std::string>;

TEST(BoardLogic, ConstructionTouchesNoPort) {
    RecordingBoard board;
    EXPECT_EQ(board.calls, Lines{});
    EXPECT_EQ(board.FaultFlagsGet(), 0);
    for (std::uint32_t g = 0; g < RELAY_GROUP_COUNT; ++g) EXPECT_EQ(board.RelayGroupOutputGet(g), 0);
}

TEST(BoardLogic, PlacementReleasesClaimsThenChecks) {
    RecordingBoard board;
    board.SetBaseAdrs(0x300);
    board.SetBaseAdrs(0);
    board.registrationAccepted = false;
    board.SetBaseAdrs(0x310);
    EXPECT_EQ(board.calls, (Lines{"unregister", "register 0x300", "is-registered",
                                  "unregister", "register 0x310", "is-registered"}));
    EXPECT_EQ(board.FaultFlagsGet(), FaultRangeNotRegistered);
    board.registrationAccepted = true;
    board.SetBaseAdrs(0x320);
    EXPECT_EQ(board.FaultFlagsGet(), FaultRangeNotRegistered) << "fault bits are sticky";
}

// The value handed to the port-access layer keeps its upper bits; only the
// port takes the low byte. The logic must not rely on masking it itself
// where the layer below masks anyway.
TEST(BoardLogic, RelayGroupValueReachesPortAccessWhole) {
    RecordingBoard board;
    board.SetBaseAdrs(0x300);
    board.calls.clear();
    board.RelayGroupSet(1, 0x1FF);
    board.DacOutputSet(1, 0x12345678);
    EXPECT_EQ(board.calls, (Lines{"W 0x309 0x1FF", "W 0x302 0x78", "W 0x303 0x56", "R 0x300"}));
}

// No board operation asks whether the driver is open, and the
// registration calls belong to placement alone.
TEST(BoardLogic, OnlyPlacementUsesRegistration) {
    RecordingBoard board;
    board.portReads[STATUS_PORT] = STATUS_DIGITIZER_BUSY;
    board.BoardReset();
    board.CounterGet(1);
    board.CounterReset(1);
    board.CountersModeSet(1);
    board.DacOutputSet(1, 1);
    board.DacsEnableSet(1);
    board.Digitize();
    board.DigitizerChanSet(1);
    board.FaultFlagsGet();
    board.RelayChanGet(1);
    board.RelayChanOutputGet(1);
    board.RelayChanSet(1, 1);
    board.RelayGroupGet(1);
    board.RelayGroupOutputGet(1);
    board.RelayGroupSet(1, 1);
    board.StatusGet();
    board.WatchdogEnableSet(1);
    board.WatchdogRefresh();
    for (const auto& call : board.calls)
        EXPECT_TRUE(call[0] == 'R' || call[0] == 'W') << call;
}

// Itanium C++ ABI (gcc on Linux and mingw alike): a pointer to a virtual
// member holds 1 + the byte offset of its slot in the dispatch table.
template <typename Pmf>
int Slot(Pmf pmf) {
    struct Raw {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } raw;
    static_assert(sizeof(Pmf) == sizeof(Raw), "Itanium member pointer");
    std::memcpy(&raw, &pmf, sizeof raw);
    return static_cast<int>((raw.ptr - 1) / sizeof(void*));
}

// Builds of the library with other board models share this table's layout.
TEST(BoardLogic, DispatchTableOrder) {
    const std::vector<std::pair<int, int>> slots = {
        {Slot(&Board::BoardReset), 0},         {Slot(&Board::Reserved01), 1},
        {Slot(&Board::Reserved02), 2},         {Slot(&Board::CounterGet), 3},
        {Slot(&Board::Reserved04), 4},         {Slot(&Board::Reserved05), 5},
        {Slot(&Board::CountersModeSet), 6},    {Slot(&Board::Reserved07), 7},
        {Slot(&Board::CounterReset), 8},       {Slot(&Board::DacsEnableSet), 9},
        {Slot(&Board::DacOutputSet), 10},      {Slot(&Board::Digitize), 11},
        {Slot(&Board::DigitizerChanSet), 12},  {Slot(&Board::Reserved13), 13},
        {Slot(&Board::FaultFlagsGet), 14},     {Slot(&Board::Reserved15), 15},
        {Slot(&Board::Reserved16), 16},        {Slot(&Board::Reserved17), 17},
        {Slot(&Board::RelayChanGet), 18},      {Slot(&Board::RelayChanOutputGet), 19},
        {Slot(&Board::RelayChanSet), 20},      {Slot(&Board::Reserved21), 21},
        {Slot(&Board::RelayGroupGet), 22},     {Slot(&Board::RelayGroupOutputGet), 23},
        {Slot(&Board::RelayGroupSet), 24},     {Slot(&Board::SetBaseAdrs), 25},
        {Slot(&Board::StatusGet), 26},         {Slot(&Board::WatchdogEnableSet), 27},
        {Slot(&Board::WatchdogRefresh), 28},   {Slot(&Board::IoRangeRegister), 29},
        {Slot(&Board::IoRangeUnregister), 30}, {Slot(&Board::PortByteGet), 31},
        {Slot(&Board::DriverIsOpen), 32},      {Slot(&Board::IoRangeIsRegistered), 33},
        {Slot(&Board::PortByteSet), 34},
    };
    for (std::size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i].first, slots[i].second) << "entry " << i;
}

TEST(BoardLogic, ReservedSlotsDoNothing) {
    RecordingBoard board;
    board.Reserved01(1, 2);
    board.Reserved04(1, 2);
    board.Reserved05(1, 2);
    board.Reserved07(1, 2);
    board.Reserved13(1);
    board.Reserved15(1, 2);
    board.Reserved16(1);
    board.Reserved21(1, 2);
    EXPECT_EQ(board.Reserved02(7), 0);
    EXPECT_EQ(board.Reserved17(), 0);
    EXPECT_EQ(board.calls, Lines{});
}

}  // namespace
}  // namespace orvel
