// Simulated WINDRVR driver with a simulated board behind it.
//
// Stands where the kernel driver stands: the host stand-in of the Windows
// kernel services (and the emulator that runs the real DLL) hand every
// CreateFileA / DeviceIoControl / CloseHandle aimed at the driver to the
// single Driver instance. It serves the three control codes the library
// uses, keeps the registered port ranges, loops port writes back to reads
// unless a test scripted what a port returns, and logs every call as one
// transcript line, so a test can compare the board's whole traffic.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace simdrv {

// Handles are plain 32-bit numbers, as they are inside a 32-bit process.
using Handle = std::uint32_t;
constexpr Handle kInvalidHandle = 0xFFFFFFFFu;

constexpr char kDevicePath[] = "\\\\.\\WINDRVR";

// One entry of the driver's log.
struct Call {
    enum class Kind { Open, Request, Close };
    Kind kind = Kind::Request;
    Handle handle = kInvalidHandle;   // handle used, or handed out by an open
    std::uint32_t code = 0;           // request: control code
    std::vector<std::uint8_t> record; // request: input record as it arrived
    bool ok = false;                  // what the call returned
    std::string line;                 // the transcript line
};

class Driver {
public:
    Driver();   // present and empty; ORVEL_SIM_TRACE=1 prints each call as it is made

    // --- what the kernel services reach -------------------------------
    Handle Open(const char* path, std::uint32_t access, std::uint32_t share,
                std::uint32_t disposition, std::uint32_t flags);
    // `record` is the caller's input buffer, answered in place.
    bool Request(Handle handle, std::uint32_t code, void* record,
                 std::uint32_t recordSize, const void* out, std::uint32_t outSize,
                 bool overlapped);
    bool Close(Handle handle);

    // --- what tests control -------------------------------------------
    void Reset();                        // back to a present, empty driver
    void SetPresent(bool present);       // absent: every open fails
    void SetRefuseRegistrations(bool refuse);
    void SetFailRequests(bool fail);     // every request fails, nothing done
    // Reads of `port` return these bytes in turn, then keep returning the last.
    void ScriptPort(std::uint32_t port, const std::vector<std::uint8_t>& bytes);
    // The byte a port's output latch holds (last byte written, 0 if none).
    std::uint8_t PortLatch(std::uint32_t port) const;

    // --- what tests read ----------------------------------------------
    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<std::string> Transcript() const;   // one line per call
    std::string TranscriptText() const;            // the same, newline-joined
    void ClearLog() { calls_.clear(); }
    int OpenHandleCount() const { return static_cast<int>(open_.size()); }
    int RegisteredRangeCount() const;

private:
    struct Span {
        std::uint32_t first;
        std::uint32_t length;
    };
    struct Card {
        Handle owner;
        std::vector<Span> spans;
    };
    struct PortInput {
        std::deque<std::uint8_t> queue;
        std::uint8_t last = 0;
    };

    std::string Describe(Handle h, std::uint32_t code, const std::uint8_t* record) const;
    bool Transfer(std::uint8_t* record, std::string& line);
    bool CardRegister(Handle h, std::uint8_t* record, std::string& line);
    bool CardUnregister(Handle h, std::uint8_t* record, std::string& line);
    bool Claimed(const Span& span, Handle except) const;
    std::uint8_t PortRead(std::uint32_t port);
    std::string HandleName(Handle h) const;
    void Log(Call::Kind kind, Handle h, std::uint32_t code, std::vector<std::uint8_t> record,
             bool ok, std::string line);

    bool trace_ = false;
    bool present_ = true;
    bool refuseRegistrations_ = false;
    bool failRequests_ = false;
    Handle nextHandle_ = 0x100;
    std::uint32_t nextCard_ = 1;
    std::map<Handle, int> open_;                 // handle -> its number in the transcript
    int opened_ = 0;
    std::map<std::uint32_t, Card> cards_;        // card handle -> what it registered
    std::map<std::uint32_t, std::uint8_t> latch_;
    std::map<std::uint32_t, PortInput> scripted_;
    std::vector<Call> calls_;
};

// The one driver in the process.
Driver& TheDriver();

}  // namespace simdrv
