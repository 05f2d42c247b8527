// The host's kernel services: each call goes to the simulated driver, as it
// would go to the WINDRVR driver through the kernel.
#include <windows.h>

#include "sim_driver.h"

namespace {

simdrv::Handle ToDriver(HANDLE h) {
    return static_cast<simdrv::Handle>(reinterpret_cast<std::uintptr_t>(h));
}

HANDLE FromDriver(simdrv::Handle h) {
    return h == simdrv::kInvalidHandle ? INVALID_HANDLE_VALUE
                                       : reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(h));
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    // The driver's device takes neither security attributes nor a template.
    if (security != nullptr || templateFile != nullptr) return INVALID_HANDLE_VALUE;
    return FromDriver(simdrv::TheDriver().Open(path, access, share, disposition, flags));
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
    const bool ok = simdrv::TheDriver().Request(ToDriver(device), code, in, inSize, out, outSize,
                                                overlapped != nullptr);
    if (bytesReturned) *bytesReturned = ok ? inSize : 0;
    return ok ? 1 : 0;
}

BOOL WINAPI CloseHandle(HANDLE handle) { return simdrv::TheDriver().Close(ToDriver(handle)) ? 1 : 0; }
