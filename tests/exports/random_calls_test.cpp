// Any export with any arguments, in any order: the library never crashes,
// never reaches outside its table, and a board's traffic only ever goes
// through that board's own driver handle.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "export_list.h"
#include "orvel.h"
#include "sim_driver.h"

namespace {

using conformance::ExportInfo;
using conformance::kExports;

std::uint32_t Call(const ExportInfo& e, const std::vector<std::uint32_t>& a) {
    const std::string n = e.name;
    const auto b = static_cast<std::int32_t>(a[0]);
    const auto i1 = static_cast<std::int32_t>(a.size() > 1 ? a[1] : 0);
    const auto i2 = static_cast<std::int32_t>(a.size() > 2 ? a[2] : 0);
    const std::uint32_t u1 = a.size() > 1 ? a[1] : 0;
    if (n == "BoardReset") BoardReset(b);
    else if (n == "CounterGet") return CounterGet(b, i1);
    else if (n == "CounterReset") CounterReset(b, i1);
    else if (n == "CountersModeSet") CountersModeSet(b, i1);
    else if (n == "DacOutputSet") DacOutputSet(b, i1, i2);
    else if (n == "DacsEnableSet") DacsEnableSet(b, i1);
    else if (n == "Digitize") return Digitize(b);
    else if (n == "DigitizerChanSet") DigitizerChanSet(b, i1);
    else if (n == "FaultFlagsGet") return FaultFlagsGet(b);
    else if (n == "RelayChanGet") return RelayChanGet(b, u1);
    else if (n == "RelayChanOutputGet") return RelayChanOutputGet(b, u1);
    else if (n == "RelayChanSet") RelayChanSet(b, u1, i2);
    else if (n == "RelayGroupGet") return RelayGroupGet(b, u1);
    else if (n == "RelayGroupOutputGet") return RelayGroupOutputGet(b, u1);
    else if (n == "RelayGroupSet") RelayGroupSet(b, u1, i2);
    else if (n == "SetBaseAdrs") SetBaseAdrs(b, u1);
    else if (n == "StatusGet") return StatusGet(b);
    else if (n == "WatchdogEnableSet") WatchdogEnableSet(b, i1);
    else if (n == "WatchdogRefresh") WatchdogRefresh(b);
    return 0;
}

// Numbers that sit on the edges of every field and check.
std::uint32_t Arg(std::mt19937& rng) {
    static const std::uint32_t edges[] = {0,  1,  3,  4,  5,  6,  7,  8,  9,  15,         16,
                                          17, 47, 48, 49, 0xFF, 0x100, 0xFFFF, 0x10000,
                                          0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFF0};
    return rng() % 3 ? edges[rng() % std::size(edges)] : rng();
}

TEST(RandomCalls, StayOnTheirOwnBoard) {
    simdrv::Driver& driver = simdrv::TheDriver();
    driver.SetFailRequests(false);
    driver.ScriptPort(0x30B, {0x02, 0x00});   // a digitizer busy now and then
    std::mt19937 rng(20261211);
    const std::regex traffic(R"(^(W|R|reg|unreg) h(\d+) .*)");
    for (int i = 0; i < 20000; ++i) {
        const ExportInfo& e = kExports[rng() % std::size(kExports)];
        std::vector<std::uint32_t> args;
        // Mostly real boards, sometimes an index just outside or far away.
        args.push_back(rng() % 4 ? rng() % 16 : Arg(rng));
        for (int k = 1; k < e.argCount; ++k) args.push_back(Arg(rng));
        driver.ClearLog();
        const std::uint32_t result = Call(e, args);

        const auto board = static_cast<std::int32_t>(args[0]);
        const bool valid = board >= 0 && board < 16;
        const std::string call = std::string(e.name) + " board " + std::to_string(board);
        if (!valid) {
            EXPECT_TRUE(driver.Calls().empty()) << call;
            EXPECT_EQ(result, 0u) << call;
            continue;
        }
        for (const auto& line : driver.Transcript()) {
            std::smatch m;
            ASSERT_TRUE(std::regex_match(line, m, traffic)) << call << ": " << line;
            EXPECT_EQ(std::stoi(m[2]), board + 1) << call << ": " << line;
        }
        // Readings are 16 bits at most; the group shadow keeps all 32.
        const std::string name = e.name;
        if (name == "FaultFlagsGet") {
            EXPECT_LE(result, 3u) << call;
        } else if (e.returnsValue && name != "RelayGroupOutputGet") {
            EXPECT_LE(result, 0xFFFFu) << call;
        }
    }
}

}  // namespace
