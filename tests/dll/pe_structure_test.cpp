// The DLL as a file and as a callee: what an application that links it by
// name or by ordinal relies on.
#include <algorithm>
#include <cctype>
#include <set>

#include "dll_files.h"
#include "emu_error.h"
#include "emulated_library.h"
#include "export_list.h"
#include "pe_image.h"

namespace dlltest {
namespace {

using conformance::ExportInfo;
using conformance::kExports;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

TEST_F(DllTest, IsARelocatable32BitX86Dll) {
    emu::PeImage image = emu::PeImage::Parse(dll);  // refuses anything but PE32 i386 DLLs
    EXPECT_EQ(image.machine, emu::pe::kMachineI386);
    EXPECT_TRUE(image.characteristics & emu::pe::kFileDll);
    EXPECT_TRUE(image.hasRelocationDirectory) << "Windows may load the DLL away from its preferred base";
    EXPECT_FALSE(image.relocations.empty());
}

TEST_F(DllTest, ExportsExactlyTheNineteenWithTheirOrdinals) {
    emu::PeImage image = emu::PeImage::Parse(dll);
    std::set<std::string> expected, actual;
    for (const auto& e : kExports) expected.insert(std::string(e.name) + " @" + std::to_string(e.ordinal));
    for (const auto& e : image.exports) {
        actual.insert((e.name.empty() ? "<no name>" : e.name) + " @" + std::to_string(e.ordinal));
        EXPECT_FALSE(e.forwarded) << e.name;
        EXPECT_EQ(e.name.find('@'), std::string::npos) << "decorated export name " << e.name;
        EXPECT_NE(e.name.rfind('_', 0), 0u) << "decorated export name " << e.name;
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(DllTest, ImportsOnlyFromSystemDlls) {
    // A DLL of the compiler's runtime (libgcc, libstdc++, libwinpthread) would
    // have to ship next to orvel.dll.
    const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll"};
    emu::PeImage image = emu::PeImage::Parse(dll);
    std::set<std::string> imported;
    for (const auto& imp : image.imports) imported.insert(Lower(imp.dll));
    for (const auto& name : imported) EXPECT_TRUE(system.count(name)) << "imports from " << name;
    EXPECT_TRUE(imported.count("kernel32.dll")) << "the driver is reached through KERNEL32";
}

// Every export is standard-call: it removes exactly 4 bytes per argument,
// whichever way it is bound. EmulatedLibrary::Call checks ESP on return.
class ExportStackCleanup : public DllTest, public testing::WithParamInterface<ExportInfo> {};

TEST_P(ExportStackCleanup, RemovesFourBytesPerArgument) {
    const ExportInfo& e = GetParam();
    for (bool byOrdinal : {false, true}) {
        SCOPED_TRACE(byOrdinal ? "by ordinal" : "by name");
        conformance::EmulatedLibrary library(DllPath(), byOrdinal);
        library.Load();
        library.Call(*conformance::FindExport("SetBaseAdrs"), {0, 0x300});  // a board that answers
        std::vector<std::uint32_t> args(std::size_t(e.argCount), 0);
        EXPECT_NO_THROW(library.Call(e, args));
        library.Unload();
    }
}

INSTANTIATE_TEST_SUITE_P(AllExports, ExportStackCleanup, testing::ValuesIn(kExports),
                         [](const testing::TestParamInfo<ExportInfo>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dlltest
