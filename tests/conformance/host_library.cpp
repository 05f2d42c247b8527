#include "host_library.h"

#include <dlfcn.h>

#include <cstdint>

namespace conformance {

HostLibrary::~HostLibrary() {
    if (handle_) dlclose(handle_);
}

void HostLibrary::Load() {
    if (handle_) throw LibraryFault("host library already loaded");
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw LibraryFault(std::string("dlopen: ") + dlerror());
}

void HostLibrary::Unload() {
    if (!handle_) throw LibraryFault("host library not loaded");
    void* h = handle_;
    handle_ = nullptr;
    if (dlclose(h) != 0) throw LibraryFault(std::string("dlclose: ") + dlerror());
    // A library that stays mapped has not been unloaded: its boards still live.
    if (void* still = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(still);
        throw LibraryFault("the host library stayed loaded after dlclose");
    }
}

// Every argument is one 32-bit value, as on the DLL's stack; the host ABI
// passes them in registers, so call through the exact prototype.
std::uint32_t HostLibrary::Call(const ExportInfo& e, const std::vector<std::uint32_t>& a) {
    if (!handle_) throw LibraryFault("host library not loaded");
    void* sym = dlsym(handle_, e.name);
    if (!sym) throw LibraryFault(std::string("no export ") + e.name);
    if (static_cast<int>(a.size()) != e.argCount) throw LibraryFault("wrong argument count");
    using U = std::uint32_t;
    if (e.returnsValue) {
        switch (a.size()) {
        case 1: return reinterpret_cast<U (*)(U)>(sym)(a[0]);
        case 2: return reinterpret_cast<U (*)(U, U)>(sym)(a[0], a[1]);
        }
    } else {
        switch (a.size()) {
        case 1: reinterpret_cast<void (*)(U)>(sym)(a[0]); return 0;
        case 2: reinterpret_cast<void (*)(U, U)>(sym)(a[0], a[1]); return 0;
        case 3: reinterpret_cast<void (*)(U, U, U)>(sym)(a[0], a[1], a[2]); return 0;
        }
    }
    throw LibraryFault(std::string("unexpected shape of ") + e.name);
}

}  // namespace conformance
