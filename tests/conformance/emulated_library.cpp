#include "emulated_library.h"

#include "emu_error.h"
#include "win32_process.h"

namespace conformance {

namespace {

// Runs `action`, turning the emulator's errors into LibraryFault.
template <typename F>
auto AsLibraryFault(F&& action) -> decltype(action()) {
    try {
        return action();
    } catch (const emu::Error& e) {
        throw LibraryFault(e.what());
    }
}

}  // namespace

EmulatedLibrary::EmulatedLibrary(std::string dllPath, bool byOrdinal)
    : dllPath_(std::move(dllPath)), byOrdinal_(byOrdinal) {}

EmulatedLibrary::~EmulatedLibrary() = default;

void EmulatedLibrary::Load() {
    process_.reset();
    AsLibraryFault([&] {
        auto process = std::make_unique<emu::Process>(dllPath_);
        process->Attach();
        process_ = std::move(process);
    });
}

void EmulatedLibrary::Unload() {
    if (!process_) return;
    std::unique_ptr<emu::Process> process = std::move(process_);
    AsLibraryFault([&] { process->Detach(); });
}

std::uint32_t EmulatedLibrary::Call(const ExportInfo& e, const std::vector<std::uint32_t>& args) {
    if (!process_) throw LibraryFault(std::string("call to ") + e.name + " while the DLL is not loaded");
    return AsLibraryFault([&] {
        return byOrdinal_ ? process_->CallExport(static_cast<std::uint32_t>(e.ordinal), args)
                          : process_->CallExport(e.name, args);
    });
}

}  // namespace conformance
