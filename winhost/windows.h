// Host stand-in for the few Windows kernel services the driver-backed board
// uses, so the same board code builds and runs on a non-Windows host. The
// services are served by the simulated WINDRVR driver.
#pragma once

#include <cstdint>

typedef void* HANDLE;
typedef std::uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef int BOOL;
typedef const char* LPCSTR;
typedef void* LPVOID;
struct HostOverlapped;
typedef HostOverlapped* LPOVERLAPPED;
struct HostSecurityAttributes;
typedef HostSecurityAttributes* LPSECURITY_ATTRIBUTES;

#define WINAPI
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001u;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);
BOOL WINAPI CloseHandle(HANDLE handle);
