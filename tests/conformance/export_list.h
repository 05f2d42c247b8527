// The nineteen exports as a caller sees them: plain name, ordinal, how many
// 32-bit arguments the callee removes, and whether it returns a value.
#pragma once

#include <cstdint>
#include <string>

namespace conformance {

struct ExportInfo {
    const char* name;
    int ordinal;
    int argCount;
    bool returnsValue;
};

inline constexpr ExportInfo kExports[] = {
    {"BoardReset", 1, 1, false},          {"CounterGet", 2, 2, true},
    {"CounterReset", 3, 2, false},        {"CountersModeSet", 4, 2, false},
    {"DacOutputSet", 5, 3, false},        {"DacsEnableSet", 6, 2, false},
    {"Digitize", 7, 1, true},             {"DigitizerChanSet", 8, 2, false},
    {"FaultFlagsGet", 9, 1, true},        {"RelayChanGet", 10, 2, true},
    {"RelayChanOutputGet", 11, 2, true},  {"RelayChanSet", 12, 3, false},
    {"RelayGroupGet", 13, 2, true},       {"RelayGroupOutputGet", 14, 2, true},
    {"RelayGroupSet", 15, 3, false},      {"SetBaseAdrs", 16, 2, false},
    {"StatusGet", 17, 1, true},           {"WatchdogEnableSet", 18, 2, false},
    {"WatchdogRefresh", 19, 1, false},
};

inline const ExportInfo* FindExport(const std::string& name) {
    for (const auto& e : kExports)
        if (name == e.name) return &e;
    return nullptr;
}

}  // namespace conformance
