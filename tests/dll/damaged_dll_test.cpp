// Copies of the DLL damaged on purpose: each fault must show, either as a
// LibraryFault from the runner or as a different driver transcript. If one
// of these passes silently, the emulated test suite could miss the same
// fault in a real build.
#include <set>

#include "dll_files.h"
#include "emu_error.h"
#include "emulated_library.h"
#include "export_list.h"
#include "pe_image.h"
#include "sim_driver.h"
#include "win32_process.h"

namespace dlltest {
namespace {

using conformance::ExportInfo;
using conformance::kExports;
using conformance::LibraryFault;

std::string ExportName(const testing::TestParamInfo<ExportInfo>& info) { return info.param.name; }

// The LibraryFault message of calling `e` with `args`, or "" when none.
std::string FaultOfCall(conformance::Library& library, const ExportInfo& e, std::vector<std::uint32_t> args) {
    library.Load();
    try {
        library.Call(e, args);
    } catch (const LibraryFault& f) {
        return f.what();
    }
    library.Unload();
    return "";
}

// --- a callee that removes the wrong number of bytes ---------------------------

class PatchedReturn : public DllTest, public testing::WithParamInterface<ExportInfo> {};

TEST_P(PatchedReturn, IsCaughtAsStackImbalance) {
    const ExportInfo& e = GetParam();
    const std::vector<std::uint32_t> args(std::size_t(e.argCount), 0);
    const std::uint32_t bytes = 4 * std::uint32_t(e.argCount);

    // Find the instruction that returns from the export: it ends the last
    // block of DLL code the call ran.
    emu::Process intact(DllPath());
    intact.Attach();
    intact.CallExport(e.name, args);
    const std::uint32_t ret = intact.LastBlockEndRva() - 3;
    const std::size_t at = emu::PeImage::Parse(dll).RvaToOffset(ret);
    ASSERT_EQ(dll[at], 0xC2) << e.name << " did not return through `ret imm16` at RVA " << emu::Hex(ret);
    ASSERT_EQ(dll[at + 1] | dll[at + 2] << 8, int(bytes)) << e.name << " is not standard-call";

    Bytes damaged = dll;
    damaged[at + 1] = std::uint8_t(bytes + 4);
    conformance::EmulatedLibrary library(WriteDamagedCopy(damaged, "ret"), false);
    const std::string fault = FaultOfCall(library, e, args);
    EXPECT_NE(fault.find(e.name), std::string::npos) << fault;
    EXPECT_NE(fault.find("removed " + std::to_string(bytes + 4) + " bytes"), std::string::npos) << fault;
    EXPECT_NE(fault.find("stack imbalance"), std::string::npos) << fault;
}

INSTANTIATE_TEST_SUITE_P(AllExports, PatchedReturn, testing::ValuesIn(kExports), ExportName);

// --- a caller whose export table has the wrong argument count -----------------

class WrongArgumentCount : public DllTest, public testing::WithParamInterface<ExportInfo> {};

TEST_P(WrongArgumentCount, IsCaughtAsStackImbalance) {
    for (int delta : {-1, +1}) {
        for (bool byOrdinal : {false, true}) {
            ExportInfo wrong = GetParam();
            wrong.argCount += delta;
            SCOPED_TRACE(std::to_string(wrong.argCount) + " arguments" + (byOrdinal ? ", by ordinal" : ""));
            conformance::EmulatedLibrary library(DllPath(), byOrdinal);
            const std::string fault =
                FaultOfCall(library, wrong, std::vector<std::uint32_t>(std::size_t(wrong.argCount), 0));
            EXPECT_NE(fault.find(wrong.name), std::string::npos) << fault;
            EXPECT_NE(fault.find("stack imbalance"), std::string::npos) << fault;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllExports, WrongArgumentCount, testing::ValuesIn(kExports), ExportName);

// --- code that crashes or never returns --------------------------------------

struct Crash {
    const char* what;
    Bytes code;           // written over the start of StatusGet
    const char* message;  // part of the LibraryFault text
};

void PrintTo(const Crash& c, std::ostream* out) { *out << c.what; }

const Crash kCrashes[] = {
    {"null_read", {0x31, 0xC0, 0x8B, 0x00}, "read of unmapped memory at 0x0"},  // xor eax,eax; mov eax,[eax]
    {"breakpoint", {0xCC}, "int3"},
    {"undefined_instruction", {0x0F, 0x0B}, "invalid"},                        // ud2
    {"endless_loop", {0xEB, 0xFE}, "runaway"},                                 // jmp $
};

class CrashingExport : public DllTest, public testing::WithParamInterface<Crash> {};

TEST_P(CrashingExport, IsALibraryFaultNamingTheExport) {
    const emu::PeImage image = emu::PeImage::Parse(dll);
    const std::uint32_t rva = image.FindExport("StatusGet")->rva;
    const Bytes& code = GetParam().code;
    for (std::uint32_t fixup : image.relocations)
        ASSERT_FALSE(fixup + 4 > rva && fixup < rva + code.size()) << "a relocation would change the patch";
    Bytes damaged = dll;
    std::copy(code.begin(), code.end(), damaged.begin() + std::ptrdiff_t(image.RvaToOffset(rva)));

    conformance::EmulatedLibrary library(WriteDamagedCopy(damaged, GetParam().what), false);
    const std::string fault = FaultOfCall(library, *conformance::FindExport("StatusGet"), {0});
    EXPECT_NE(fault.find(GetParam().message), std::string::npos) << fault;
    EXPECT_NE(fault.find("EIP 0x"), std::string::npos) << fault;
    EXPECT_NE(fault.find(", StatusGet"), std::string::npos) << fault;  // "RVA 0x..., StatusGet+0x1"
}

INSTANTIATE_TEST_SUITE_P(Patched, CrashingExport, testing::ValuesIn(kCrashes),
                         [](const testing::TestParamInfo<Crash>& info) { return std::string(info.param.what); });

// --- a wrong constant changes what reaches the driver --------------------------

TEST_F(DllTest, PatchedControlCodeChangesTheTranscript) {
    conformance::EmulatedLibrary intact(DllPath(), false);
    const auto expected = RunSession(intact, StandardSession());
    std::set<std::uint32_t> codes;
    for (const auto& call : simdrv::TheDriver().Calls())
        if (call.kind == simdrv::Call::Kind::Request) codes.insert(call.code);
    ASSERT_EQ(codes.size(), 3u) << "the session should register, transfer and unregister";

    for (std::uint32_t code : codes) {
        SCOPED_TRACE("control code " + emu::Hex(code));
        const auto at = FindAll(dll, Le32(code));
        ASSERT_FALSE(at.empty()) << "the code is not a constant in the DLL";
        const std::uint32_t wrong = code + 4;  // the next function number of the device
        Bytes damaged = dll;
        for (std::size_t offset : at) std::copy_n(Le32(wrong).begin(), 4, damaged.begin() + offset);

        conformance::EmulatedLibrary patched(WriteDamagedCopy(damaged, emu::Hex(code)), false);
        EXPECT_NE(RunSession(patched, StandardSession()), expected);
        bool sentWrongCode = false;
        for (const auto& call : simdrv::TheDriver().Calls()) sentWrongCode |= call.code == wrong;
        EXPECT_TRUE(sentWrongCode);
    }
}

TEST_F(DllTest, PatchedDevicePathChangesTheTranscript) {
    conformance::EmulatedLibrary intact(DllPath(), false);
    const auto expected = RunSession(intact, StandardSession());

    const std::string device = simdrv::kDevicePath;
    const auto at = FindAll(dll, Bytes(device.begin(), device.end() + 1));
    ASSERT_FALSE(at.empty()) << device << " is not a string in the DLL";
    Bytes damaged = dll;
    for (std::size_t offset : at) damaged[offset + device.size() - 1] = 'X';  // ...\WINDRVX

    conformance::EmulatedLibrary patched(WriteDamagedCopy(damaged, "path"), false);
    EXPECT_NE(RunSession(patched, StandardSession()), expected);
    int opens = 0;
    for (const auto& call : simdrv::TheDriver().Calls()) {
        if (call.kind != simdrv::Call::Kind::Open) continue;
        ++opens;
        EXPECT_FALSE(call.ok) << call.line;
    }
    EXPECT_GT(opens, 0);
}

}  // namespace
}  // namespace dlltest
