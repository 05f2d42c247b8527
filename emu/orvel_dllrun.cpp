// orvel_dllrun PATH.dll [--absent] CALL...
//
// Loads the DLL in the emulator (process attach), makes the calls, unloads it
// (process detach) and prints each call's result and the driver transcript.
// A CALL is the export name or #ordinal followed by its 32-bit arguments:
//     SetBaseAdrs:0:0x300     #16:0:0x300     StatusGet:0
// --absent runs with no driver installed (every open of the device fails).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "emu_error.h"
#include "simdriver/sim_driver.h"
#include "win32_process.h"

namespace {

struct PlannedCall {
    std::string text, name;
    std::uint32_t ordinal = 0;  // non-zero: call by ordinal
    std::vector<std::uint32_t> args;
};

bool Parse(const std::string& text, PlannedCall& call) {
    call.text = text;
    std::size_t start = 0;
    for (std::size_t end; start <= text.size(); start = end + 1) {
        end = text.find(':', start);
        if (end == std::string::npos) end = text.size();
        std::string field = text.substr(start, end - start);
        if (start == 0) {
            if (field.empty()) return false;
            if (field[0] == '#') call.ordinal = std::uint32_t(std::strtoul(field.c_str() + 1, nullptr, 0));
            else call.name = field;
            if (field[0] == '#' && call.ordinal == 0) return false;
        } else {
            char* rest = nullptr;
            call.args.push_back(std::uint32_t(std::strtoul(field.c_str(), &rest, 0)));
            if (field.empty() || *rest) return false;
        }
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: orvel_dllrun PATH.dll [--absent] CALL...\n"
                 "  CALL = NAME[:ARG...] or #ORDINAL[:ARG...], e.g. SetBaseAdrs:0:0x300 or #16:0:0x300\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string path = argv[1];
    bool absent = false;
    std::vector<PlannedCall> calls;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--absent") {
            absent = true;
            continue;
        }
        PlannedCall call;
        if (!Parse(arg, call)) {
            std::fprintf(stderr, "bad call: %s\n", arg.c_str());
            return Usage();
        }
        calls.push_back(call);
    }

    simdrv::Driver& driver = simdrv::TheDriver();
    driver.Reset();
    driver.SetPresent(!absent);
    int status = 0;
    try {
        emu::Process process(path);
        std::printf("loaded %s at %s (preferred base %s)\n", path.c_str(), emu::Hex(process.Base()).c_str(),
                    emu::Hex(process.Image().imageBase).c_str());
        process.Attach();
        std::printf("attach: ok\n");
        for (const auto& call : calls) {
            std::uint32_t result =
                call.ordinal ? process.CallExport(call.ordinal, call.args) : process.CallExport(call.name, call.args);
            std::printf("%s -> EAX %s (%d)\n", call.text.c_str(), emu::Hex(result).c_str(), int(result));
        }
        process.Detach();
        std::printf("detach: ok\n");
        if (!process.ConsoleOutput().empty()) std::printf("DLL output:\n%s\n", process.ConsoleOutput().c_str());
    } catch (const emu::Error& e) {
        std::printf("FAULT: %s\n", e.what());
        status = 1;
    }
    std::printf("driver transcript:\n%s\n", driver.TranscriptText().c_str());
    return status;
}
