// What a call costs on the host build: the export, the board logic, the
// stand-in kernel service and the simulated driver with its log. The driver's
// log is cleared between batches so memory stays flat.
#include <benchmark/benchmark.h>

#include "orvel.h"
#include "sim_driver.h"

namespace {

void Place() {
    SetBaseAdrs(0, 0x300);
    simdrv::TheDriver().ClearLog();
}

void BM_RelayChanSet(benchmark::State& state) {
    Place();
    std::uint32_t relay = 0;
    for (auto _ : state) {
        RelayChanSet(0, relay++ % 48, 1);
        if ((relay & 1023) == 0) simdrv::TheDriver().ClearLog();
    }
    state.counters["requests/call"] = 1;
}
BENCHMARK(BM_RelayChanSet);

void BM_DigitizeIdle(benchmark::State& state) {
    Place();
    simdrv::TheDriver().ScriptPort(0x30B, {0x00});
    std::uint32_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Digitize(0));
        if ((++n & 255) == 0) simdrv::TheDriver().ClearLog();
    }
    state.counters["requests/call"] = 4;
}
BENCHMARK(BM_DigitizeIdle);

void BM_DigitizeTimeout(benchmark::State& state) {
    Place();
    simdrv::TheDriver().ScriptPort(0x30B, {0x02});
    for (auto _ : state) {
        benchmark::DoNotOptimize(Digitize(0));
        simdrv::TheDriver().ClearLog();
    }
    state.counters["requests/call"] = 202;
}
BENCHMARK(BM_DigitizeTimeout);

void BM_RelayChanOutputGet(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(RelayChanOutputGet(0, 13));
}
BENCHMARK(BM_RelayChanOutputGet);

}  // namespace

BENCHMARK_MAIN();
