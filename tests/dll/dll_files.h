// What the DLL tests share: which DLL they run, its bytes, damaged copies
// of it under the build tree, and a fixture that fails (never skips) when the
// DLL has not been built.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "library.h"

namespace dlltest {

void SetDllPath(std::string path);
const std::string& DllPath();

using Bytes = std::vector<std::uint8_t>;
Bytes ReadFile(const std::string& path);
// Writes `bytes` as a DLL copy named after the running test (plus `tag`).
std::string WriteDamagedCopy(const Bytes& bytes, const std::string& tag);
// Offsets of every occurrence of `pattern` in `bytes`.
std::vector<std::size_t> FindAll(const Bytes& bytes, const Bytes& pattern);
Bytes Le32(std::uint32_t v);

// One call of a session: export name and its arguments.
struct SessionCall {
    const char* name;
    std::vector<std::uint32_t> args;
};
// A short session that makes all three kinds of driver request: register a
// board, port transfers, unregister at unload.
const std::vector<SessionCall>& StandardSession();
// Load, the calls, Unload on a fresh driver; returns the driver transcript.
std::vector<std::string> RunSession(conformance::Library& library, const std::vector<SessionCall>& calls);

class DllTest : public testing::Test {
protected:
    void SetUp() override;
    Bytes dll;  // the intact DLL's bytes
};

}  // namespace dlltest

namespace conformance {
// Test names and failure messages show the export's name, not its bytes.
inline void PrintTo(const ExportInfo& e, std::ostream* out) { *out << e.name; }
}  // namespace conformance
