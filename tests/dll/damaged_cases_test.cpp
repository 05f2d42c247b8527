// Damaged builds of the DLL run through the whole conformance table: exactly
// the cases that pin the damaged behaviour must fail, and say how.
#include <functional>

#include "case_runner.h"
#include "dll_files.h"
#include "emulated_library.h"
#include "pe_image.h"

namespace dlltest {
namespace {

using conformance::Case;
using conformance::Step;

bool AnyExpectedLine(const Case& c, const std::function<bool(const Step&, const std::string&)>& pred) {
    for (const Step& s : c.steps)
        for (const std::string& line : s.transcript)
            if (pred(s, line)) return true;
    return false;
}

// Runs every case on `dllPath`; each case must fail exactly when `pinned`
// says the damage shows in it, with `evidence` in its report.
void ExpectTableCatches(const std::string& dllPath, const std::function<bool(const Case&)>& pinned,
                        const std::string& evidence) {
    int failed = 0;
    for (const Case& c : conformance::ReadCaseFolder(ORVEL_CASES_DIR)) {
        conformance::EmulatedLibrary library(dllPath, false);
        const std::string report = conformance::RunCase(c, library);
        SCOPED_TRACE(c.file + ": " + c.name + "\n" + report);
        if (pinned(c)) {
            ++failed;
            EXPECT_FALSE(report.empty());
            EXPECT_NE(report.find(evidence), std::string::npos);
        } else {
            EXPECT_EQ(report, "");
        }
    }
    EXPECT_GT(failed, 0) << "no case pins this damage";
}

// Built from the product's sources with board 0 torn down first.
TEST_F(DllTest, UnloadOrderMutantFailsTheUnloadCases) {
    const std::string mutant = DllPath().substr(0, DllPath().rfind('/') + 1) + "mutants/unload-order/orvel.dll";
    ASSERT_FALSE(ReadFile(mutant).empty()) << mutant << " is missing: cmake --build --preset win32 builds it";
    const auto checksUnloadTraffic = [](const Case& c) {
        return AnyExpectedLine(c, [](const Step& s, const std::string&) { return s.kind == Step::Kind::Unload; });
    };
    ExpectTableCatches(mutant, checksUnloadTraffic, "close h1");
}

// The intact DLL with the registered range's length stored as 16, not 32:
// `mov dword [reg + disp8], 32` just before the registration request.
TEST_F(DllTest, RecordLengthMutantFailsEveryRegistrationCase) {
    const auto code = FindAll(dll, Le32(0x95382433));
    ASSERT_EQ(code.size(), 1u) << "one registration request in the DLL";
    std::vector<std::size_t> stores;
    for (std::size_t at = code[0] > 64 ? code[0] - 64 : 0; at + 7 <= code[0]; ++at)
        if (dll[at] == 0xC7 && (dll[at + 1] & 0xF8) == 0x40 && dll[at + 1] != 0x44 &&
            Bytes(dll.begin() + std::ptrdiff_t(at) + 3, dll.begin() + std::ptrdiff_t(at) + 7) == Le32(32))
            stores.push_back(at);
    ASSERT_EQ(stores.size(), 1u) << "the length store was not found where this compiler puts it";
    Bytes damaged = dll;
    damaged[stores[0] + 3] = 16;

    const auto sendsRecords = [](const Case& c) {
        return AnyExpectedLine(c, [](const Step&, const std::string& line) {
            return line.find("[io ") != std::string::npos;
        });
    };
    ExpectTableCatches(WriteDamagedCopy(damaged, "length"), sendsRecords, "len 16");
}

}  // namespace
}  // namespace dlltest
