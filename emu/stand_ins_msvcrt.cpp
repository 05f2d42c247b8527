// msvcrt stand-ins (cdecl: the caller removes the arguments) and the
// msvcrt variables the DLL imports as data.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "emu_error.h"
#include "guest_format.h"
#include "guest_layout.h"
#include "stand_ins.h"
#include "win32_process.h"

namespace emu {

namespace {

using A = const StandInArgs&;

// Where msvcrt's objects live in the stand-in data page.
namespace data {
constexpr std::uint32_t kIob = layout::kStandInData + 0x000;  // stdin, stdout, stderr: 32-byte FILEs
constexpr std::uint32_t kFileSize = 32;
constexpr std::uint32_t kErrno = layout::kStandInData + 0x100;
constexpr std::uint32_t kMbCurMax = layout::kStandInData + 0x104;
constexpr std::uint32_t kFmode = layout::kStandInData + 0x108;
constexpr std::uint32_t kCommode = layout::kStandInData + 0x10C;
constexpr std::uint32_t kLocaleC = layout::kStandInData + 0x110;     // "C"
constexpr std::uint32_t kDecimalPoint = layout::kStandInData + 0x114;  // "."
constexpr std::uint32_t kEmpty = layout::kStandInData + 0x116;       // ""
constexpr std::uint32_t kLconv = layout::kStandInData + 0x120;       // 10 strings, 8 chars
constexpr std::uint32_t kErrorText = layout::kStandInData + 0x200;   // strerror's buffer
}  // namespace data

constexpr std::int32_t kEbadf = 9;

[[noreturn]] void Abort(Process& p, const std::string& why) {
    std::string out = p.ConsoleOutput();
    throw GuestFault(why + (out.empty() ? "" : "; the DLL printed:\n" + out));
}

// --- start-up and shut-down --------------------------------------------------

// Runs every non-null function pointer in [begin, end): the C++ constructors.
std::uint32_t Initterm(Process& p, A a) {
    for (std::uint32_t entry = a[0]; entry < a[1]; entry += 4)
        if (std::uint32_t f = p.cpu().Read32(entry)) p.CallGuestCdecl(f);
    return 0;
}

// Same, but stops at the first initializer that returns non-zero.
std::uint32_t InittermE(Process& p, A a) {
    for (std::uint32_t entry = a[0]; entry < a[1]; entry += 4)
        if (std::uint32_t f = p.cpu().Read32(entry))
            if (std::uint32_t r = p.CallGuestCdecl(f)) return r;
    return 0;
}

std::uint32_t Atexit(Process& p, A a) {
    p.exitHandlers_.push_back(a[0]);
    return 0;
}

std::uint32_t Onexit(Process& p, A a) {
    p.exitHandlers_.push_back(a[0]);
    return a[0];
}

// Appends to a DLL-owned table of exit functions, growing it on our heap.
std::uint32_t DllOnexit(Process& p, A a) {
    std::uint32_t begin = p.cpu().Read32(a[1]), end = p.cpu().Read32(a[2]);
    std::uint32_t count = begin ? (end - begin) / 4 : 0;
    std::uint32_t table = p.heap().Reallocate(begin, 4 * (count + 1));
    if (!table) return 0;
    p.cpu().Write32(table + 4 * count, a[0]);
    p.cpu().Write32(a[1], table);
    p.cpu().Write32(a[2], table + 4 * (count + 1));
    return a[0];
}

[[noreturn]] std::uint32_t AmsgExit(Process& p, A a) {
    Abort(p, "the DLL called _amsg_exit(" + std::to_string(a[0]) + ") (C runtime start-up error)");
}
[[noreturn]] std::uint32_t AbortStandIn(Process& p, A) { Abort(p, "the DLL called abort()"); }
[[noreturn]] std::uint32_t ExitStandIn(Process& p, A a) {
    Abort(p, "the DLL called exit(" + std::to_string(a[0]) + ")");
}
std::uint32_t Zero(Process&, A) { return 0; }

// --- memory -----------------------------------------------------------------------

std::uint32_t Malloc(Process& p, A a) { return p.heap().Allocate(a[0], false); }
std::uint32_t Calloc(Process& p, A a) {
    std::uint64_t size = std::uint64_t(a[0]) * a[1];
    if (size > 0xFFFFFFFFu) return 0;
    return p.heap().Allocate(std::uint32_t(size), true);
}
std::uint32_t Realloc(Process& p, A a) { return p.heap().Reallocate(a[0], a[1]); }
std::uint32_t Free(Process& p, A a) {
    p.heap().Free(a[0]);
    return 0;
}

std::vector<std::uint8_t> Bytes(Process& p, std::uint32_t address, std::uint32_t size) {
    std::vector<std::uint8_t> v(size);
    if (size) p.cpu().Read(address, v.data(), size);
    return v;
}

std::uint32_t Memcpy(Process& p, A a) {  // also memmove: the copy goes through a host buffer
    auto v = Bytes(p, a[1], a[2]);
    if (!v.empty()) p.cpu().Write(a[0], v.data(), v.size());
    return a[0];
}

std::uint32_t Memset(Process& p, A a) {
    std::vector<std::uint8_t> v(a[2], std::uint8_t(a[1]));
    if (!v.empty()) p.cpu().Write(a[0], v.data(), v.size());
    return a[0];
}

std::uint32_t Memcmp(Process& p, A a) {
    auto x = Bytes(p, a[0], a[2]), y = Bytes(p, a[1], a[2]);
    auto m = std::mismatch(x.begin(), x.end(), y.begin());
    return m.first == x.end() ? 0 : std::uint32_t(*m.first < *m.second ? -1 : 1);
}

std::uint32_t Memchr(Process& p, A a) {
    auto v = Bytes(p, a[0], a[2]);
    auto it = std::find(v.begin(), v.end(), std::uint8_t(a[1]));
    return it == v.end() ? 0 : a[0] + std::uint32_t(it - v.begin());
}

// --- strings ---------------------------------------------------------------------

std::string Str(Process& p, std::uint32_t address) { return p.cpu().ReadCString(address); }

std::uint32_t Strlen(Process& p, A a) { return std::uint32_t(Str(p, a[0]).size()); }

std::uint32_t Wcslen(Process& p, A a) { return std::uint32_t(p.cpu().ReadWString(a[0]).size()); }

int Sign(int v) { return v < 0 ? -1 : v > 0; }

std::uint32_t Strcmp(Process& p, A a) {
    return std::uint32_t(Sign(std::strcmp(Str(p, a[0]).c_str(), Str(p, a[1]).c_str())));
}

std::uint32_t Strncmp(Process& p, A a) {
    std::string x = p.cpu().ReadCString(a[0], a[2] + 1ull), y = p.cpu().ReadCString(a[1], a[2] + 1ull);
    return std::uint32_t(Sign(std::strncmp(x.c_str(), y.c_str(), a[2])));
}

// strchr and strrchr: the guest address of the first or last `c`; the
// terminator counts as part of the string.
std::uint32_t FindChar(Process& p, A a, bool last) {
    std::string s = Str(p, a[0]);
    char c = char(a[1]);
    if (c == 0) return a[0] + std::uint32_t(s.size());
    auto pos = last ? s.rfind(c) : s.find(c);
    return pos == std::string::npos ? 0 : a[0] + std::uint32_t(pos);
}

std::uint32_t Strchr(Process& p, A a) { return FindChar(p, a, false); }
std::uint32_t Strrchr(Process& p, A a) { return FindChar(p, a, true); }

std::uint32_t Strcpy(Process& p, A a) {
    std::string s = Str(p, a[1]);
    p.cpu().Write(a[0], s.c_str(), s.size() + 1);
    return a[0];
}

std::uint32_t Strncpy(Process& p, A a) {
    std::string s = p.cpu().ReadCString(a[1], a[2] + 1ull);
    s.resize(a[2], '\0');  // pads with NULs, does not terminate a truncated copy
    if (!s.empty()) p.cpu().Write(a[0], s.data(), s.size());
    return a[0];
}

std::uint32_t Strcat(Process& p, A a) {
    std::uint32_t end = a[0] + std::uint32_t(Str(p, a[0]).size());
    std::string s = Str(p, a[1]);
    p.cpu().Write(end, s.c_str(), s.size() + 1);
    return a[0];
}

std::uint32_t Atoi(Process& p, A a) { return std::uint32_t(std::atoi(Str(p, a[0]).c_str())); }

std::uint32_t StrtolLike(Process& p, A a, bool isSigned) {
    std::string s = Str(p, a[0]);
    char* end = nullptr;
    std::uint32_t v = isSigned ? std::uint32_t(std::strtol(s.c_str(), &end, int(a[2])))
                               : std::uint32_t(std::strtoul(s.c_str(), &end, int(a[2])));
    if (a[1]) p.cpu().Write32(a[1], a[0] + std::uint32_t(end - s.c_str()));
    return v;
}
std::uint32_t Strtol(Process& p, A a) { return StrtolLike(p, a, true); }
std::uint32_t Strtoul(Process& p, A a) { return StrtolLike(p, a, false); }

std::uint32_t Strerror(Process& p, A a) {
    std::string text = std::strerror(int(a[0]));
    text.resize(std::min<std::size_t>(text.size(), 255));
    p.cpu().Write(data::kErrorText, text.c_str(), text.size() + 1);
    return data::kErrorText;
}

std::uint32_t Errno(Process&, A) { return data::kErrno; }

void SetErrno(Process& p, std::int32_t e) { p.cpu().Write32(data::kErrno, std::uint32_t(e)); }

// --- locale: only "C" exists ---------------------------------------------------

std::uint32_t Setlocale(Process& p, A a) {
    if (!a[1]) return data::kLocaleC;
    std::string name = Str(p, a[1]);
    return name.empty() || name == "C" ? data::kLocaleC : 0;
}

std::uint32_t Localeconv(Process&, A) { return data::kLconv; }
std::uint32_t Getenv(Process&, A) { return 0; }

// --- output: stdout and stderr go to the process console ------------------------

// 0 stdin, 1 stdout, 2 stderr, -1 not one of ours.
int StreamNumber(std::uint32_t file) {
    if (file < data::kIob || file >= data::kIob + 3 * data::kFileSize || (file - data::kIob) % data::kFileSize)
        return -1;
    return int((file - data::kIob) / data::kFileSize);
}

bool WriteStream(Process& p, std::uint32_t file, const std::string& text) {
    int n = StreamNumber(file);
    if (n != 1 && n != 2) return false;
    p.console_ += text;
    return true;
}

std::uint32_t Vfprintf(Process& p, A a) {
    std::string text = FormatGuest(p, Str(p, a[1]), a[2]);
    return WriteStream(p, a[0], text) ? std::uint32_t(text.size()) : std::uint32_t(-1);
}

std::uint32_t Fprintf(Process& p, A a) {
    std::string text = FormatGuest(p, Str(p, a[1]), a.AddressOf(2));
    return WriteStream(p, a[0], text) ? std::uint32_t(text.size()) : std::uint32_t(-1);
}

std::uint32_t Printf(Process& p, A a) {
    std::string text = FormatGuest(p, Str(p, a[0]), a.AddressOf(1));
    p.console_ += text;
    return std::uint32_t(text.size());
}

std::uint32_t Vsnprintf(Process& p, A a) {  // _vsnprintf: -1 when truncated, no NUL then
    std::string text = FormatGuest(p, Str(p, a[2]), a[3]);
    std::uint32_t room = a[1];
    if (text.size() < room) {
        p.cpu().Write(a[0], text.c_str(), text.size() + 1);
        return std::uint32_t(text.size());
    }
    if (room) p.cpu().Write(a[0], text.data(), room);
    return text.size() == room ? room : std::uint32_t(-1);
}

std::uint32_t Fputc(Process& p, A a) {
    return WriteStream(p, a[1], std::string(1, char(a[0]))) ? (a[0] & 0xFF) : std::uint32_t(-1);
}

std::uint32_t Fputs(Process& p, A a) { return WriteStream(p, a[1], Str(p, a[0])) ? 0 : std::uint32_t(-1); }

std::uint32_t Fwrite(Process& p, A a) {
    auto v = Bytes(p, a[0], a[1] * a[2]);
    return WriteStream(p, a[3], std::string(v.begin(), v.end())) ? a[2] : 0;
}

std::uint32_t Write(Process& p, A a) {
    if (a[0] != 1 && a[0] != 2) {
        SetErrno(p, kEbadf);
        return std::uint32_t(-1);
    }
    auto v = Bytes(p, a[1], a[2]);
    p.console_.append(v.begin(), v.end());
    return a[2];
}

// No files exist in here.
std::uint32_t BadFile(Process& p, A) {
    SetErrno(p, kEbadf);
    return std::uint32_t(-1);
}

std::uint32_t IobFunc(Process&, A) { return data::kIob; }
std::uint32_t FmodeAddress(Process&, A) { return data::kFmode; }
std::uint32_t CommodeAddress(Process&, A) { return data::kCommode; }
std::uint32_t MbCurMaxAddress(Process&, A) { return data::kMbCurMax; }

constexpr const char* kCrt = "msvcrt.dll";
constexpr CallKind C = CallKind::Cdecl, D = CallKind::Data;

}  // namespace

void PrepareMsvcrtData(Process& p) {
    Cpu& cpu = p.cpu();
    cpu.Map(layout::kStandInData, layout::kStandInDataSize, 3);
    for (std::uint32_t n = 0; n < 3; ++n) {
        std::uint32_t file[8] = {0, 0, 0, n == 0 ? 0x1u : 0x2u, n, 0, 0, 0};  // _flag read/write, _file
        cpu.Write(data::kIob + n * data::kFileSize, file, sizeof file);
    }
    cpu.Write32(data::kMbCurMax, 1);
    cpu.Write(data::kLocaleC, "C", 2);
    cpu.Write(data::kDecimalPoint, ".", 2);
    std::uint32_t lconv[10] = {data::kDecimalPoint};
    for (int i = 1; i < 10; ++i) lconv[i] = data::kEmpty;
    cpu.Write(data::kLconv, lconv, sizeof lconv);
    std::uint8_t charFields[8];
    std::memset(charFields, 127, sizeof charFields);  // CHAR_MAX: not available in "C"
    cpu.Write(data::kLconv + sizeof lconv, charFields, sizeof charFields);
}

const std::vector<StandIn>& MsvcrtStandIns() {
    static const std::vector<StandIn> table = {
        {kCrt, "__dllonexit", C, 3, DllOnexit},
        {kCrt, "__iob_func", C, 0, IobFunc},
        {kCrt, "__mb_cur_max", D, 0, MbCurMaxAddress},
        {kCrt, "__p__commode", C, 0, CommodeAddress},
        {kCrt, "__p__fmode", C, 0, FmodeAddress},
        {kCrt, "__set_app_type", C, 1, Zero},
        {kCrt, "_amsg_exit", C, 1, AmsgExit},
        {kCrt, "_close", C, 1, BadFile},
        {kCrt, "_commode", D, 0, CommodeAddress},
        {kCrt, "_errno", C, 0, Errno},
        {kCrt, "_exit", C, 1, ExitStandIn},
        {kCrt, "_fmode", D, 0, FmodeAddress},
        {kCrt, "_initterm", C, 2, Initterm},
        {kCrt, "_initterm_e", C, 2, InittermE},
        {kCrt, "_iob", D, 0, IobFunc},
        {kCrt, "_lock", C, 1, Zero},
        {kCrt, "_onexit", C, 1, Onexit},
        {kCrt, "_read", C, 3, BadFile},
        {kCrt, "_unlock", C, 1, Zero},
        {kCrt, "_vsnprintf", C, 4, Vsnprintf},
        {kCrt, "_write", C, 3, Write},
        {kCrt, "abort", C, 0, AbortStandIn},
        {kCrt, "atexit", C, 1, Atexit},
        {kCrt, "atoi", C, 1, Atoi},
        {kCrt, "calloc", C, 2, Calloc},
        {kCrt, "exit", C, 1, ExitStandIn},
        {kCrt, "fflush", C, 1, Zero},
        {kCrt, "fprintf", C, 2, Fprintf},
        {kCrt, "fputc", C, 2, Fputc},
        {kCrt, "fputs", C, 2, Fputs},
        {kCrt, "free", C, 1, Free},
        {kCrt, "fwrite", C, 4, Fwrite},
        {kCrt, "getenv", C, 1, Getenv},
        {kCrt, "localeconv", C, 0, Localeconv},
        {kCrt, "malloc", C, 1, Malloc},
        {kCrt, "memchr", C, 3, Memchr},
        {kCrt, "memcmp", C, 3, Memcmp},
        {kCrt, "memcpy", C, 3, Memcpy},
        {kCrt, "memmove", C, 3, Memcpy},
        {kCrt, "memset", C, 3, Memset},
        {kCrt, "printf", C, 1, Printf},
        {kCrt, "realloc", C, 2, Realloc},
        {kCrt, "setlocale", C, 2, Setlocale},
        {kCrt, "signal", C, 2, Zero},
        {kCrt, "strcat", C, 2, Strcat},
        {kCrt, "strchr", C, 2, Strchr},
        {kCrt, "strcmp", C, 2, Strcmp},
        {kCrt, "strcpy", C, 2, Strcpy},
        {kCrt, "strerror", C, 1, Strerror},
        {kCrt, "strlen", C, 1, Strlen},
        {kCrt, "strncmp", C, 3, Strncmp},
        {kCrt, "strncpy", C, 3, Strncpy},
        {kCrt, "strrchr", C, 2, Strrchr},
        {kCrt, "strtol", C, 3, Strtol},
        {kCrt, "strtoul", C, 3, Strtoul},
        {kCrt, "vfprintf", C, 3, Vfprintf},
        {kCrt, "wcslen", C, 1, Wcslen},
    };
    return table;
}

const StandIn* FindStandIn(const std::string& dll, const std::string& name) {
    auto sameDll = [&](const char* known) {
        return dll.size() == std::strlen(known) &&
               std::equal(dll.begin(), dll.end(), known, [](char x, char y) { return std::tolower(x) == std::tolower(y); });
    };
    for (const auto* table : {&Kernel32StandIns(), &MsvcrtStandIns()})
        for (const StandIn& s : *table)
            if (sameDll(s.dll) && name == s.name) return &s;
    return nullptr;
}

}  // namespace emu
