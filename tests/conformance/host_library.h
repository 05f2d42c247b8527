// The host build of the library, loaded with dlopen and unloaded with dlclose
// so that its board table is built and destroyed as in a real process.
#pragma once

#include <string>

#include "library.h"

namespace conformance {

class HostLibrary final : public Library {
public:
    explicit HostLibrary(std::string path) : path_(std::move(path)) {}
    ~HostLibrary() override;
    std::string Name() const override { return "host"; }
    void Load() override;
    void Unload() override;
    std::uint32_t Call(const ExportInfo& e, const std::vector<std::uint32_t>& args) override;

private:
    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace conformance
