// Runs every conformance case against the host build and, where the
// emulator is built, against the shipped DLL by name and by ordinal.
#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
#include <memory>

#include "case_runner.h"
#include "host_library.h"
#ifdef ORVEL_HAVE_EMULATOR
#include "dll_path.h"
#include "emulated_library.h"
#endif

namespace conformance {
namespace {

const std::vector<Case>& AllCases() {
    static const std::vector<Case> cases = ReadCaseFolder(ORVEL_CASES_DIR);
    return cases;
}

struct Param {
    std::string backend;
    std::size_t index;
};

void PrintTo(const Param& p, std::ostream* os) {
    *os << p.backend << " " << AllCases()[p.index].file << ":" << AllCases()[p.index].line;
}

std::vector<Param> Params(const std::string& backend) {
    std::vector<Param> params;
    for (std::size_t i = 0; i < AllCases().size(); ++i) params.push_back({backend, i});
    return params;
}

std::string TestName(const testing::TestParamInfo<Param>& info) {
    const Case& c = AllCases()[info.param.index];
    // "10-load-unload.case" + "unload closes" -> "10_load_unload_unload_closes_7"
    std::string name;
    for (char ch : c.file.substr(0, c.file.find('.')) + " " + c.name + " " + std::to_string(info.param.index)) {
        const bool keep = std::isalnum(static_cast<unsigned char>(ch));
        if (keep || (!name.empty() && name.back() != '_')) name += keep ? ch : '_';
    }
    return name;
}

// The DLL these tests run: --dll=PATH, ORVEL_DLL, or the build tree's.
std::string dllPath;

std::unique_ptr<Library> MakeLibrary(const std::string& backend) {
    if (backend == "host") return std::make_unique<HostLibrary>(ORVEL_HOST_LIBRARY);
#ifdef ORVEL_HAVE_EMULATOR
    if (!emu::DllExists(dllPath)) throw std::runtime_error(emu::MissingDllMessage(dllPath));
    return std::make_unique<EmulatedLibrary>(dllPath, backend == "dll-by-ordinal");
#else
    return nullptr;
#endif
}

class Conformance : public testing::TestWithParam<Param> {};

TEST_P(Conformance, MatchesTable) {
    const Case& c = AllCases()[GetParam().index];
    std::unique_ptr<Library> library;
    try {
        library = MakeLibrary(GetParam().backend);
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    ASSERT_TRUE(library);
    const std::string report = RunCase(c, *library);
    EXPECT_TRUE(report.empty()) << "case '" << c.name << "' (" << c.file << ":" << c.line << ") on "
                                << library->Name() << ":\n" << report;
}

INSTANTIATE_TEST_SUITE_P(Host, Conformance, testing::ValuesIn(Params("host")), TestName);
#ifdef ORVEL_HAVE_EMULATOR
INSTANTIATE_TEST_SUITE_P(Dll, Conformance, testing::ValuesIn(Params("dll")), TestName);
INSTANTIATE_TEST_SUITE_P(DllByOrdinal, Conformance, testing::ValuesIn(Params("dll-by-ordinal")), TestName);
#endif

}  // namespace
}  // namespace conformance

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifdef ORVEL_HAVE_EMULATOR
    conformance::dllPath = emu::DllPath(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
