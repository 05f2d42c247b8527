#include "sim_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace simdrv {
namespace {

// The driver's side of the three control codes and their records.
constexpr std::uint32_t kTransfer = 0x9538240F;
constexpr std::uint32_t kCardRegister = 0x95382433;
constexpr std::uint32_t kCardUnregister = 0x95382437;
constexpr std::uint32_t kTransferSize = 24;
constexpr std::uint32_t kCardSize = 572;

constexpr std::uint32_t kReadPortByte = 10;
constexpr std::uint32_t kWritePortByte = 13;
constexpr std::uint32_t kItemIo = 3;
constexpr std::uint32_t kMaxItems = 20;
constexpr std::uint32_t kItemSize = 28;
constexpr std::uint32_t kItemsOffset = 4;
constexpr std::uint32_t kCardReservedOffset = 564;
constexpr std::uint32_t kCardHandleOffset = 568;

std::uint32_t Get32(const std::uint8_t* p, std::uint32_t offset) {
    return std::uint32_t(p[offset]) | std::uint32_t(p[offset + 1]) << 8 |
           std::uint32_t(p[offset + 2]) << 16 | std::uint32_t(p[offset + 3]) << 24;
}

void Put32(std::uint8_t* p, std::uint32_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[offset + i] = std::uint8_t(v >> (8 * i));
}

std::string Hex(std::uint32_t v, int width = 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", width, v);
    return buf;
}

// Fields of a record that a well-behaved caller leaves zero, shown only when
// they are not, so that a clean transcript stays short.
std::string NonZeroFields(const std::uint8_t* p, std::uint32_t from, std::uint32_t to) {
    std::string s;
    for (std::uint32_t off = from; off < to; off += 4)
        if (std::uint32_t v = Get32(p, off))
            s += " @" + std::to_string(off) + "=" + Hex(v);
    return s;
}

std::string DescribeItem(const std::uint8_t* item) {
    const std::uint32_t type = Get32(item, 0), flag = Get32(item, 4);
    const std::uint32_t addr = Get32(item, 8), len = Get32(item, 12);
    std::string rest = NonZeroFields(item, 16, kItemSize);
    if (type == kItemIo && flag == 1 && rest.empty())
        return "io " + Hex(addr) + " len " + std::to_string(len);
    return "item type " + std::to_string(type) + " flag " + std::to_string(flag) + " " +
           Hex(addr) + " len " + std::to_string(len) + rest;
}

// "[io 0x300 len 32]" plus anything unusual elsewhere in the record.
std::string DescribeCard(const std::uint8_t* rec) {
    const std::uint32_t count = Get32(rec, 0);
    const std::uint32_t shown = count < kMaxItems ? count : kMaxItems;
    std::string s = "[";
    for (std::uint32_t i = 0; i < shown; ++i) {
        if (i) s += ", ";
        s += DescribeItem(rec + kItemsOffset + kItemSize * i);
    }
    s += "]";
    if (count > kMaxItems) s += " count=" + std::to_string(count);
    s += NonZeroFields(rec, kItemsOffset + kItemSize * shown, kCardHandleOffset);
    return s;
}

}  // namespace

Driver::Driver() {
    // Lets a person watch a program's board traffic as it happens.
    const char* trace = std::getenv("ORVEL_SIM_TRACE");
    trace_ = trace != nullptr && *trace != '\0' && *trace != '0';
}

Driver& TheDriver() {
    static Driver driver;
    return driver;
}

std::string Driver::HandleName(Handle h) const {
    auto it = open_.find(h);
    if (it != open_.end()) return "h" + std::to_string(it->second);
    if (h == kInvalidHandle) return "invalid";
    return "bad:" + Hex(h);
}

void Driver::Log(Call::Kind kind, Handle h, std::uint32_t code, std::vector<std::uint8_t> record,
                 bool ok, std::string line) {
    Call c;
    c.kind = kind;
    c.handle = h;
    c.code = code;
    c.record = std::move(record);
    c.ok = ok;
    c.line = std::move(line);
    if (trace_) std::printf("  driver: %s\n", c.line.c_str());
    calls_.push_back(std::move(c));
}

Handle Driver::Open(const char* path, std::uint32_t access, std::uint32_t share,
                    std::uint32_t disposition, std::uint32_t flags) {
    const bool ok = present_ && path && std::strcmp(path, kDevicePath) == 0;
    Handle h = kInvalidHandle;
    if (ok) {
        h = nextHandle_;
        nextHandle_ += 4;
        open_[h] = ++opened_;
    }
    std::string line = std::string("open ") + (path ? path : "(null)") + " access=" +
                       Hex(access) + " share=" + Hex(share) + " disposition=" +
                       std::to_string(disposition) + " flags=" + Hex(flags) + " -> " +
                       HandleName(h);
    Log(Call::Kind::Open, h, 0, {}, ok, std::move(line));
    return h;
}

bool Driver::Close(Handle h) {
    const bool ok = open_.count(h) != 0;
    std::string line = "close " + HandleName(h);
    if (ok) {
        // A handle that goes away takes its registrations with it.
        for (auto it = cards_.begin(); it != cards_.end();)
            it = it->second.owner == h ? cards_.erase(it) : std::next(it);
        open_.erase(h);
    } else {
        line += " -> failed";
    }
    Log(Call::Kind::Close, h, 0, {}, ok, std::move(line));
    return ok;
}

std::string Driver::Describe(Handle h, std::uint32_t code, const std::uint8_t* rec) const {
    const std::string who = HandleName(h);
    if (code == kTransfer) {
        const std::uint32_t command = Get32(rec, 0), port = Get32(rec, 4);
        const std::uint32_t data = Get32(rec, 20);
        if (command == kWritePortByte)
            return "W " + who + " " + Hex(port) + " " + Hex(data & 0xFF, 2) +
                   NonZeroFields(rec, 8, 20) + (data > 0xFF ? " data=" + Hex(data) : "");
        if (command == kReadPortByte)
            return "R " + who + " " + Hex(port) + NonZeroFields(rec, 8, 24);
        return "T " + who + " command=" + std::to_string(command) + " " + Hex(port);
    }
    if (code == kCardRegister) {
        const std::uint32_t in = Get32(rec, kCardHandleOffset);
        return "reg " + who + " " + DescribeCard(rec) +
               (in ? " card-in=" + std::to_string(in) : "");
    }
    return "unreg " + who + " card " + std::to_string(Get32(rec, kCardHandleOffset)) + " " +
           DescribeCard(rec);
}

bool Driver::Request(Handle h, std::uint32_t code, void* record, std::uint32_t recordSize,
                     const void* out, std::uint32_t outSize, bool overlapped) {
    auto rec = static_cast<std::uint8_t*>(record);
    // The log keeps the record as the caller sent it, before the driver answers.
    std::vector<std::uint8_t> sent;
    if (rec) sent.assign(rec, rec + recordSize);

    const std::uint32_t expected = code == kTransfer ? kTransferSize
                                   : (code == kCardRegister || code == kCardUnregister)
                                       ? kCardSize
                                       : 0;
    std::string line;
    bool ok = false;
    if (expected == 0 || recordSize != expected || rec == nullptr) {
        line = "ioctl " + HandleName(h) + " " + Hex(code, 8) + " size=" +
               std::to_string(recordSize) + " -> failed";
    } else {
        line = Describe(h, code, rec);
        if (open_.count(h) == 0 || failRequests_)
            line += " -> failed";
        else if (code == kTransfer)
            ok = Transfer(rec, line);
        else if (code == kCardRegister)
            ok = CardRegister(h, rec, line);
        else
            ok = CardUnregister(h, rec, line);
    }
    if (out || outSize) line += " out=" + std::to_string(outSize);
    if (overlapped) line += " overlapped";
    Log(Call::Kind::Request, h, code, std::move(sent), ok, std::move(line));
    return ok;
}

bool Driver::Transfer(std::uint8_t* rec, std::string& line) {
    const std::uint32_t command = Get32(rec, 0), port = Get32(rec, 4);
    if (command == kWritePortByte) {
        latch_[port] = std::uint8_t(Get32(rec, 20));
        return true;
    }
    if (command == kReadPortByte) {
        const std::uint8_t byte = PortRead(port);
        Put32(rec, 20, byte);
        line += " -> " + Hex(byte, 2);
        return true;
    }
    line += " -> failed";
    return false;
}

std::uint8_t Driver::PortRead(std::uint32_t port) {
    auto it = scripted_.find(port);
    if (it == scripted_.end()) return PortLatch(port);   // the simulated board loops outputs back
    PortInput& in = it->second;
    if (!in.queue.empty()) {
        in.last = in.queue.front();
        in.queue.pop_front();
    }
    return in.last;
}

bool Driver::CardRegister(Handle h, std::uint8_t* rec, std::string& line) {
    const std::uint32_t count = Get32(rec, 0);
    bool refused = refuseRegistrations_ || count == 0 || count > kMaxItems;
    Card wanted{h, {}};
    for (std::uint32_t i = 0; !refused && i < count; ++i) {
        const std::uint8_t* item = rec + kItemsOffset + kItemSize * i;
        const Span span{Get32(item, 8), Get32(item, 12)};
        refused = Get32(item, 0) != kItemIo || span.length == 0 || Claimed(span, h);
        wanted.spans.push_back(span);
    }
    if (refused) {
        line += " -> refused";
        return false;
    }
    const std::uint32_t card = nextCard_++;
    cards_[card] = wanted;
    Put32(rec, kCardHandleOffset, card);
    line += " -> card " + std::to_string(card);
    return true;
}

// A port range belongs to one handle at a time.
bool Driver::Claimed(const Span& span, Handle except) const {
    for (const auto& entry : cards_) {
        if (entry.second.owner == except) continue;
        for (const Span& other : entry.second.spans)
            if (span.first < other.first + other.length && other.first < span.first + span.length)
                return true;
    }
    return false;
}

bool Driver::CardUnregister(Handle h, std::uint8_t* rec, std::string& line) {
    auto it = cards_.find(Get32(rec, kCardHandleOffset));
    if (it == cards_.end() || it->second.owner != h) {
        line += " -> failed";
        return false;
    }
    cards_.erase(it);
    return true;
}

int Driver::RegisteredRangeCount() const {
    int n = 0;
    for (const auto& entry : cards_) n += static_cast<int>(entry.second.spans.size());
    return n;
}

void Driver::Reset() {
    const bool trace = trace_;
    *this = Driver();
    trace_ = trace;
}
void Driver::SetPresent(bool present) { present_ = present; }
void Driver::SetRefuseRegistrations(bool refuse) { refuseRegistrations_ = refuse; }
void Driver::SetFailRequests(bool fail) { failRequests_ = fail; }

void Driver::ScriptPort(std::uint32_t port, const std::vector<std::uint8_t>& bytes) {
    PortInput& in = scripted_[port];
    in.queue.assign(bytes.begin(), bytes.end());
}

std::uint8_t Driver::PortLatch(std::uint32_t port) const {
    auto it = latch_.find(port);
    return it == latch_.end() ? 0 : it->second;
}

std::vector<std::string> Driver::Transcript() const {
    std::vector<std::string> lines;
    for (const Call& c : calls_) lines.push_back(c.line);
    return lines;
}

std::string Driver::TranscriptText() const {
    std::string text;
    for (const Call& c : calls_) text += c.line + "\n";
    return text;
}

}  // namespace simdrv
