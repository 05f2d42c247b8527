// The emulator's loader on the real DLL: what it refuses, and that where it
// maps the image does not change what the DLL does.
#include <functional>

#include "dll_files.h"
#include "emu_error.h"
#include "emulated_library.h"
#include "pe_image.h"
#include "sim_driver.h"
#include "win32_process.h"

namespace dlltest {
namespace {

std::uint32_t PeHeader(const Bytes& b) { return b[0x3C] | b[0x3D] << 8 | b[0x3E] << 16 | std::uint32_t(b[0x3F]) << 24; }

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

void RenameImport(Bytes& b, const std::string& from, const std::string& to) {
    const auto at = FindAll(b, Bytes(from.begin(), from.end() + 1));
    ASSERT_EQ(at.size(), 1u) << from;
    std::copy(to.begin(), to.end(), b.begin() + std::ptrdiff_t(at[0]));
}

struct Refusal {
    const char* what;
    std::function<void(Bytes&)> damage;
    const char* message;  // part of the LibraryFault text
};

void PrintTo(const Refusal& r, std::ostream* out) { *out << r.what; }

const Refusal kRefusals[] = {
    {"no_MZ_header", [](Bytes& b) { b[0] = 'Z'; }, "no MZ header"},
    {"x86_64_machine", [](Bytes& b) { Put16(b, PeHeader(b) + 4, 0x8664); }, "not a PE32 i386 DLL"},
    {"PE32plus_header", [](Bytes& b) { Put16(b, PeHeader(b) + 24, 0x20B); }, "not a PE32 i386 DLL"},
    {"program_not_DLL", [](Bytes& b) { b[PeHeader(b) + 23] &= ~0x20; }, "not a PE32 i386 DLL"},
    {"import_without_stand_in", [](Bytes& b) { RenameImport(b, "DeviceIoControl", "DeviceIoContrXl"); },
     "no stand-in for KERNEL32.dll!DeviceIoContrXl"},
};

class LoaderRefuses : public DllTest, public testing::WithParamInterface<Refusal> {};

TEST_P(LoaderRefuses, WithAMessageSayingWhy) {
    Bytes damaged = dll;
    GetParam().damage(damaged);
    if (HasFatalFailure()) return;
    conformance::EmulatedLibrary library(WriteDamagedCopy(damaged, GetParam().what), false);
    try {
        library.Load();
        FAIL() << "loaded";
    } catch (const conformance::LibraryFault& f) {
        EXPECT_NE(std::string(f.what()).find(GetParam().message), std::string::npos) << f.what();
    }
    EXPECT_TRUE(simdrv::TheDriver().Calls().empty()) << "nothing of the DLL may run";
}

INSTANTIATE_TEST_SUITE_P(Damaged, LoaderRefuses, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.what); });

// Misapplied base relocations would crash or change the traffic, so the same
// session must give the same transcript wherever the image is mapped.
TEST_F(DllTest, SameTranscriptAtEveryImageBase) {
    const std::uint32_t preferred = emu::PeImage::Parse(dll).imageBase;
    auto session = [&](std::uint32_t base) {
        simdrv::TheDriver().Reset();
        emu::Process process(DllPath(), emu::ProcessOptions{base});
        process.Attach();
        for (const auto& call : StandardSession()) process.CallExport(call.name, call.args);
        process.Detach();
        return simdrv::TheDriver().Transcript();
    };
    const auto atPreferred = session(preferred);
    EXPECT_FALSE(atPreferred.empty());
    for (std::uint32_t base : {0x20000000u, 0x30000000u, 0x40000000u}) {
        if (base == preferred) continue;
        EXPECT_EQ(session(base), atPreferred) << "mapped at " << emu::Hex(base);
    }
    EXPECT_NE(emu::Process(DllPath()).Base(), preferred) << "by default the image is mapped away from its base";
}

}  // namespace
}  // namespace dlltest
