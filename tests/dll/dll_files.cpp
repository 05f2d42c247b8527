#include "dll_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "dll_path.h"
#include "export_list.h"
#include "sim_driver.h"

namespace dlltest {

namespace {
std::string& PathSlot() {
    static std::string path;
    return path;
}
}  // namespace

void SetDllPath(std::string path) { PathSlot() = std::move(path); }
const std::string& DllPath() { return PathSlot(); }

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string WriteDamagedCopy(const Bytes& bytes, const std::string& tag) {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name() + "." + tag + ".dll";
    std::replace(name.begin(), name.end(), '/', '_');
    std::filesystem::create_directories(ORVEL_DAMAGED_DLL_DIR);
    std::string path = std::string(ORVEL_DAMAGED_DLL_DIR) + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<std::size_t> FindAll(const Bytes& bytes, const Bytes& pattern) {
    std::vector<std::size_t> found;
    for (auto it = bytes.begin();
         (it = std::search(it, bytes.end(), pattern.begin(), pattern.end())) != bytes.end(); ++it)
        found.push_back(static_cast<std::size_t>(it - bytes.begin()));
    return found;
}

Bytes Le32(std::uint32_t v) {
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}

const std::vector<SessionCall>& StandardSession() {
    static const std::vector<SessionCall> calls = {
        {"SetBaseAdrs", {0, 0x300}},
        {"RelayChanSet", {0, 1, 1}},
        {"StatusGet", {0}},
    };
    return calls;
}

std::vector<std::string> RunSession(conformance::Library& library, const std::vector<SessionCall>& calls) {
    simdrv::TheDriver().Reset();
    library.Load();
    for (const auto& call : calls) library.Call(*conformance::FindExport(call.name), call.args);
    library.Unload();
    return simdrv::TheDriver().Transcript();
}

void DllTest::SetUp() {
    simdrv::TheDriver().Reset();
    ASSERT_TRUE(emu::DllExists(DllPath())) << emu::MissingDllMessage(DllPath());
    dll = ReadFile(DllPath());
}

}  // namespace dlltest
