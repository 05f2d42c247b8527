// KERNEL32 stand-ins (stdcall: each removes its own arguments).
#include <algorithm>
#include <cctype>

#include "emu_error.h"
#include "guest_layout.h"
#include "simdriver/sim_driver.h"
#include "stand_ins.h"
#include "win32_process.h"

namespace emu {

namespace {

using A = const StandInArgs&;

constexpr std::uint32_t kTrue = 1, kFalse = 0;
constexpr std::uint32_t kErrorFileNotFound = 2, kErrorInvalidHandle = 6, kErrorBadLength = 24,
                        kErrorGenFailure = 31, kErrorInvalidParameter = 87, kErrorInsufficientBuffer = 122,
                        kErrorModNotFound = 126, kErrorProcNotFound = 127, kErrorTooManyPosts = 298,
                        kErrorInvalidAddress = 487;
constexpr std::uint32_t kInfinite = 0xFFFFFFFF, kWaitTimeout = 0x102, kWaitFailed = 0xFFFFFFFF;
constexpr std::uint32_t kHeapZeroMemory = 0x08;

// Module handles of the system DLLs for GetModuleHandle/GetProcAddress.
// Nothing is mapped there: they only name the DLL.
constexpr std::uint32_t kKernel32Handle = 0x7C800000, kMsvcrtHandle = 0x77C10000;

// --- files and the driver ---------------------------------------------------

std::uint32_t OpenFile(Process& p, const std::string& path, A a) {
    // As the host build's kernel services: the device takes neither security
    // attributes nor a template file.
    if (a[3] || a[6]) {
        p.SetLastError(kErrorInvalidParameter);
        return simdrv::kInvalidHandle;
    }
    simdrv::Handle h = simdrv::TheDriver().Open(path.c_str(), a[1], a[2], a[4], a[5]);
    p.SetLastError(h == simdrv::kInvalidHandle ? kErrorFileNotFound : 0);
    return h;
}

std::uint32_t CreateFileA(Process& p, A a) { return OpenFile(p, p.cpu().ReadCString(a[0]), a); }

std::uint32_t CreateFileW(Process& p, A a) {
    std::string path;
    for (char16_t c : p.cpu().ReadWString(a[0])) path.push_back(c < 0x80 ? char(c) : '?');
    return OpenFile(p, path, a);
}

// The input record goes to the driver and comes back answered in place.
std::uint32_t DeviceIoControl(Process& p, A a) {
    std::uint32_t handle = a[0], code = a[1], in = a[2], inSize = a[3], out = a[4], outSize = a[5],
                  returned = a[6], overlapped = a[7];
    std::vector<std::uint8_t> record(inSize), outCopy(std::max<std::uint32_t>(outSize, 1));
    if (in) p.cpu().Read(in, record.data(), inSize);
    const void* outHost = nullptr;
    if (out == in && out) {
        outHost = record.data();
    } else if (out) {
        p.cpu().TryRead(out, outCopy.data(), outSize);
        outHost = outCopy.data();
    }
    bool ok = simdrv::TheDriver().Request(handle, code, in ? record.data() : nullptr, inSize, outHost, outSize,
                                          overlapped != 0);
    if (in) p.cpu().Write(in, record.data(), inSize);
    if (returned) p.cpu().Write32(returned, ok ? inSize : 0);  // the record is the answer
    p.SetLastError(ok ? 0 : kErrorGenFailure);
    return ok ? kTrue : kFalse;
}

std::uint32_t CloseHandle(Process& p, A a) {
    if (p.semaphores_.erase(a[0])) return kTrue;
    bool ok = simdrv::TheDriver().Close(a[0]);
    if (!ok) p.SetLastError(kErrorInvalidHandle);
    return ok ? kTrue : kFalse;
}

// --- errors, process and thread --------------------------------------------

std::uint32_t GetLastError(Process& p, A) { return p.LastError(); }
std::uint32_t SetLastError(Process& p, A a) {
    p.SetLastError(a[0]);
    return 0;
}
std::uint32_t GetCurrentProcess(Process&, A) { return 0xFFFFFFFF; }
std::uint32_t GetCurrentThread(Process&, A) { return 0xFFFFFFFE; }
std::uint32_t GetCurrentProcessId(Process&, A) { return layout::kProcessId; }
std::uint32_t GetCurrentThreadId(Process&, A) { return layout::kThreadId; }
std::uint32_t ReturnTrue(Process&, A) { return kTrue; }
std::uint32_t ReturnZero(Process&, A) { return 0; }

[[noreturn]] std::uint32_t ExitProcess(Process&, A a) {
    throw GuestFault("the DLL ended the process (exit code " + std::to_string(a[0]) + ")");
}
[[noreturn]] std::uint32_t TerminateProcess(Process&, A a) {
    throw GuestFault("the DLL terminated the process (exit code " + std::to_string(a[1]) + ")");
}
[[noreturn]] std::uint32_t RaiseException(Process&, A a) {
    throw GuestFault("the DLL raised exception " + Hex(a[0]) + ", which nothing here handles");
}

std::uint32_t OutputDebugStringA(Process& p, A a) {
    p.console_ += "[debug] " + p.cpu().ReadCString(a[0]) + "\n";
    return 0;
}

// --- time (deterministic: every call moves the clock a little) --------------

std::uint32_t GetTickCount(Process& p, A) { return p.tickCount_ += 16; }

std::uint32_t GetSystemTimeAsFileTime(Process& p, A a) {
    std::uint64_t t = 132223104000000000ull + std::uint64_t(p.tickCount_ += 16) * 10000;  // 2020-01-01 on
    p.cpu().Write(a[0], &t, 8);
    return 0;
}

std::uint32_t QueryPerformanceCounter(Process& p, A a) {
    std::uint64_t t = std::uint64_t(p.tickCount_ += 16) * 10000;
    p.cpu().Write(a[0], &t, 8);
    return kTrue;
}

std::uint32_t QueryPerformanceFrequency(Process& p, A a) {
    std::uint64_t f = 10000000;
    p.cpu().Write(a[0], &f, 8);
    return kTrue;
}

// --- critical sections: one thread, so only ownership is tracked ------------
// Layout: DebugInfo, LockCount, RecursionCount, OwningThread, LockSemaphore, SpinCount.

std::uint32_t InitializeCriticalSection(Process& p, A a) {
    const std::uint32_t fresh[6] = {0, 0xFFFFFFFF, 0, 0, 0, 0};
    p.cpu().Write(a[0], fresh, sizeof fresh);
    return kTrue;
}

std::uint32_t EnterCriticalSection(Process& p, A a) {
    std::uint32_t cs[6];
    p.cpu().Read(a[0], cs, sizeof cs);
    if (cs[2] > 0 && cs[3] != layout::kThreadId)
        throw GuestFault("critical section " + Hex(a[0]) + " is held by another thread");
    cs[1] += 1;
    cs[2] += 1;
    cs[3] = layout::kThreadId;
    p.cpu().Write(a[0], cs, sizeof cs);
    return kTrue;
}

std::uint32_t LeaveCriticalSection(Process& p, A a) {
    std::uint32_t cs[6];
    p.cpu().Read(a[0], cs, sizeof cs);
    if (cs[2] == 0 || cs[3] != layout::kThreadId)
        throw GuestFault("LeaveCriticalSection on " + Hex(a[0]) + ", which this thread does not hold");
    cs[1] -= 1;
    if (--cs[2] == 0) cs[3] = 0;
    p.cpu().Write(a[0], cs, sizeof cs);
    return 0;
}

// --- thread-local storage slots (in the thread block) -----------------------

std::uint32_t TlsSlot(std::uint32_t index) { return layout::kTeb + layout::kTebTlsSlots + 4 * index; }

std::uint32_t TlsAlloc(Process& p, A) {
    for (int i = 0; i < layout::kTlsSlotCount; ++i) {
        if (!(p.tlsSlotsInUse_ >> i & 1)) {
            p.tlsSlotsInUse_ |= std::uint64_t(1) << i;
            p.cpu().Write32(TlsSlot(i), 0);
            return std::uint32_t(i);
        }
    }
    return 0xFFFFFFFF;
}

bool ValidTls(Process& p, std::uint32_t index) {
    if (index < std::uint32_t(layout::kTlsSlotCount) && (p.tlsSlotsInUse_ >> index & 1)) return true;
    p.SetLastError(kErrorInvalidParameter);
    return false;
}

std::uint32_t TlsFree(Process& p, A a) {
    if (!ValidTls(p, a[0])) return kFalse;
    p.tlsSlotsInUse_ &= ~(std::uint64_t(1) << a[0]);
    return kTrue;
}

std::uint32_t TlsGetValue(Process& p, A a) {
    if (!ValidTls(p, a[0])) return 0;
    p.SetLastError(0);
    return p.cpu().Read32(TlsSlot(a[0]));
}

std::uint32_t TlsSetValue(Process& p, A a) {
    if (!ValidTls(p, a[0])) return kFalse;
    p.cpu().Write32(TlsSlot(a[0]), a[1]);
    return kTrue;
}

// --- semaphores (the C++ runtime's mutexes) ---------------------------------

std::uint32_t CreateSemaphore(Process& p, A a) {
    std::uint32_t handle = p.nextObjectHandle_;
    p.nextObjectHandle_ += 4;
    p.semaphores_[handle] = {std::int32_t(a[1]), std::int32_t(a[2])};
    return handle;
}

std::uint32_t ReleaseSemaphore(Process& p, A a) {
    auto it = p.semaphores_.find(a[0]);
    if (it == p.semaphores_.end()) {
        p.SetLastError(kErrorInvalidHandle);
        return kFalse;
    }
    if (std::int64_t(it->second.count) + std::int32_t(a[1]) > it->second.maximum) {
        p.SetLastError(kErrorTooManyPosts);
        return kFalse;
    }
    if (a[2]) p.cpu().Write32(a[2], std::uint32_t(it->second.count));
    it->second.count += std::int32_t(a[1]);
    return kTrue;
}

std::uint32_t WaitForSingleObject(Process& p, A a) {
    auto it = p.semaphores_.find(a[0]);
    if (it == p.semaphores_.end()) {
        p.SetLastError(kErrorInvalidHandle);
        return kWaitFailed;
    }
    if (it->second.count > 0) {
        --it->second.count;
        return 0;
    }
    if (a[1] == kInfinite)
        throw GuestFault("deadlock: waits forever on semaphore " + Hex(a[0]) + " in a single-threaded process");
    return kWaitTimeout;
}

// --- memory -------------------------------------------------------------------

std::uint32_t VirtualQuery(Process& p, A a) {
    if (a[2] < 28) {
        p.SetLastError(kErrorBadLength);
        return 0;
    }
    std::uint32_t base, size, allocationBase, type;
    std::uint32_t protection = p.PageProtection(a[0], &base, &size, &allocationBase, &type);
    constexpr std::uint32_t kMemCommit = 0x1000, kMemFree = 0x10000, kPageExecuteWriteCopy = 0x80;
    constexpr std::uint32_t kMemImage = 0x1000000;
    std::uint32_t allocationProtection = type == kMemImage ? kPageExecuteWriteCopy : protection;
    std::uint32_t info[7] = {base, allocationBase, allocationProtection, size,
                             type ? kMemCommit : kMemFree, protection, type};
    p.cpu().Write(a[1], info, sizeof info);
    return sizeof info;
}

std::uint32_t VirtualProtect(Process& p, A a) {
    std::uint32_t old = 0;
    if (!p.ChangeProtection(a[0], a[1], a[2], &old)) {
        p.SetLastError(kErrorInvalidAddress);
        return kFalse;
    }
    if (a[3]) p.cpu().Write32(a[3], old);
    return kTrue;
}

std::uint32_t GetProcessHeap(Process&, A) { return layout::kHeap; }
std::uint32_t HeapAlloc(Process& p, A a) { return p.heap().Allocate(a[2], a[1] & kHeapZeroMemory); }
std::uint32_t HeapReAlloc(Process& p, A a) { return p.heap().Reallocate(a[2], a[3]); }
std::uint32_t HeapSize(Process& p, A a) { return p.heap().SizeOf(a[2]); }
std::uint32_t HeapFree(Process& p, A a) {
    p.heap().Free(a[2]);
    return kTrue;
}

// --- modules --------------------------------------------------------------------

std::string ModuleKey(std::string name) {
    name = name.substr(name.find_last_of("\\/") + 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name.find('.') == std::string::npos) name += ".dll";
    return name;
}

std::uint32_t FindModule(Process& p, const std::string& name) {
    std::string key = ModuleKey(name);
    if (key == "kernel32.dll") return kKernel32Handle;
    if (key == "msvcrt.dll") return kMsvcrtHandle;
    if (key == ModuleKey(p.Image().exportDllName)) return p.Base();
    p.SetLastError(kErrorModNotFound);
    return 0;
}

std::string NarrowName(Process& p, std::uint32_t address, bool wide) {
    if (!wide) return p.cpu().ReadCString(address);
    std::string s;
    for (char16_t c : p.cpu().ReadWString(address)) s.push_back(c < 0x80 ? char(c) : '?');
    return s;
}

std::uint32_t GetModuleHandleA(Process& p, A a) { return a[0] ? FindModule(p, NarrowName(p, a[0], false)) : layout::kExeBase; }
std::uint32_t GetModuleHandleW(Process& p, A a) { return a[0] ? FindModule(p, NarrowName(p, a[0], true)) : layout::kExeBase; }
std::uint32_t LoadLibraryA(Process& p, A a) { return a[0] ? FindModule(p, NarrowName(p, a[0], false)) : 0; }
std::uint32_t LoadLibraryW(Process& p, A a) { return a[0] ? FindModule(p, NarrowName(p, a[0], true)) : 0; }

std::uint32_t GetProcAddress(Process& p, A a) {
    std::uint32_t module = a[0], which = a[1];
    bool byOrdinal = which < 0x10000;
    std::string name = byOrdinal ? std::string() : p.cpu().ReadCString(which);
    if (module == p.Base()) {
        const PeExport* e = byOrdinal ? p.Image().FindExport(which) : p.Image().FindExport(name);
        if (e && !e->forwarded) return p.Base() + e->rva;
    } else if (!byOrdinal && (module == kKernel32Handle || module == kMsvcrtHandle)) {
        const StandIn* s = FindStandIn(module == kKernel32Handle ? "KERNEL32.dll" : "msvcrt.dll", name);
        if (s) return s->kind == CallKind::Data ? s->function(p, StandInArgs(p, 0)) : p.TrapFor(*s);
    }
    p.SetLastError(kErrorProcNotFound);
    return 0;
}

// --- text conversion: code pages are treated as Latin-1 ----------------------

std::uint32_t MultiByteToWideChar(Process& p, A a) {
    std::uint32_t src = a[2], dst = a[4], dstLen = a[5];
    std::string text = std::int32_t(a[3]) < 0 ? p.cpu().ReadCString(src) + '\0' : std::string(a[3], '\0');
    if (std::int32_t(a[3]) >= 0) p.cpu().Read(src, text.data(), text.size());
    if (dstLen == 0) return std::uint32_t(text.size());
    if (dstLen < text.size()) {
        p.SetLastError(kErrorInsufficientBuffer);
        return 0;
    }
    std::u16string wide(text.begin(), text.end());
    for (std::size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<unsigned char>(text[i]);
    p.cpu().Write(dst, wide.data(), 2 * wide.size());
    return std::uint32_t(wide.size());
}

std::uint32_t WideCharToMultiByte(Process& p, A a) {
    std::uint32_t src = a[2], dst = a[4], dstLen = a[5], usedDefault = a[7];
    std::u16string wide;
    if (std::int32_t(a[3]) < 0) {
        wide = p.cpu().ReadWString(src) + u'\0';
    } else {
        wide.resize(a[3]);
        p.cpu().Read(src, wide.data(), 2 * wide.size());
    }
    std::string text;
    bool replaced = false;
    for (char16_t c : wide) {
        replaced |= c > 0xFF;
        text.push_back(c > 0xFF ? '?' : char(c));
    }
    if (usedDefault) p.cpu().Write32(usedDefault, replaced);
    if (dstLen == 0) return std::uint32_t(text.size());
    if (dstLen < text.size()) {
        p.SetLastError(kErrorInsufficientBuffer);
        return 0;
    }
    p.cpu().Write(dst, text.data(), text.size());
    return std::uint32_t(text.size());
}

constexpr const char* k32 = "KERNEL32.dll";
constexpr CallKind S = CallKind::Stdcall;

}  // namespace

const std::vector<StandIn>& Kernel32StandIns() {
    static const std::vector<StandIn> table = {
        {k32, "CloseHandle", S, 1, CloseHandle},
        {k32, "CreateFileA", S, 7, CreateFileA},
        {k32, "CreateFileW", S, 7, CreateFileW},
        {k32, "CreateSemaphoreA", S, 4, CreateSemaphore},
        {k32, "CreateSemaphoreW", S, 4, CreateSemaphore},
        {k32, "DeleteCriticalSection", S, 1, ReturnZero},
        {k32, "DeviceIoControl", S, 8, DeviceIoControl},
        {k32, "DisableThreadLibraryCalls", S, 1, ReturnTrue},
        {k32, "EnterCriticalSection", S, 1, EnterCriticalSection},
        {k32, "ExitProcess", S, 1, ExitProcess},
        {k32, "FreeLibrary", S, 1, ReturnTrue},
        {k32, "GetCurrentProcess", S, 0, GetCurrentProcess},
        {k32, "GetCurrentProcessId", S, 0, GetCurrentProcessId},
        {k32, "GetCurrentThread", S, 0, GetCurrentThread},
        {k32, "GetCurrentThreadId", S, 0, GetCurrentThreadId},
        {k32, "GetLastError", S, 0, GetLastError},
        {k32, "GetModuleHandleA", S, 1, GetModuleHandleA},
        {k32, "GetModuleHandleW", S, 1, GetModuleHandleW},
        {k32, "GetProcAddress", S, 2, GetProcAddress},
        {k32, "GetProcessHeap", S, 0, GetProcessHeap},
        {k32, "GetSystemTimeAsFileTime", S, 1, GetSystemTimeAsFileTime},
        {k32, "GetTickCount", S, 0, GetTickCount},
        {k32, "HeapAlloc", S, 3, HeapAlloc},
        {k32, "HeapFree", S, 3, HeapFree},
        {k32, "HeapReAlloc", S, 4, HeapReAlloc},
        {k32, "HeapSize", S, 3, HeapSize},
        {k32, "InitializeCriticalSection", S, 1, InitializeCriticalSection},
        {k32, "InitializeCriticalSectionAndSpinCount", S, 2, InitializeCriticalSection},
        {k32, "IsDBCSLeadByteEx", S, 2, ReturnZero},
        {k32, "IsDebuggerPresent", S, 0, ReturnZero},
        {k32, "LeaveCriticalSection", S, 1, LeaveCriticalSection},
        {k32, "LoadLibraryA", S, 1, LoadLibraryA},
        {k32, "LoadLibraryW", S, 1, LoadLibraryW},
        {k32, "MultiByteToWideChar", S, 6, MultiByteToWideChar},
        {k32, "OutputDebugStringA", S, 1, OutputDebugStringA},
        {k32, "QueryPerformanceCounter", S, 1, QueryPerformanceCounter},
        {k32, "QueryPerformanceFrequency", S, 1, QueryPerformanceFrequency},
        {k32, "RaiseException", S, 4, RaiseException},
        {k32, "ReleaseSemaphore", S, 3, ReleaseSemaphore},
        {k32, "SetLastError", S, 1, SetLastError},
        {k32, "SetUnhandledExceptionFilter", S, 1, ReturnZero},
        {k32, "Sleep", S, 1, ReturnZero},
        {k32, "TerminateProcess", S, 2, TerminateProcess},
        {k32, "TlsAlloc", S, 0, TlsAlloc},
        {k32, "TlsFree", S, 1, TlsFree},
        {k32, "TlsGetValue", S, 1, TlsGetValue},
        {k32, "TlsSetValue", S, 2, TlsSetValue},
        {k32, "TryEnterCriticalSection", S, 1, EnterCriticalSection},
        {k32, "VirtualProtect", S, 4, VirtualProtect},
        {k32, "VirtualQuery", S, 3, VirtualQuery},
        {k32, "WaitForSingleObject", S, 2, WaitForSingleObject},
        {k32, "WideCharToMultiByte", S, 8, WideCharToMultiByte},
    };
    return table;
}

}  // namespace emu
