// Stand-ins called directly, with their arguments on the emulated stack the
// way the DLL's code leaves them: what reaches the driver and what comes back
// into the DLL's memory.
#include <array>
#include <cstring>
#include <memory>

#include "dll_files.h"
#include "driver_records.h"
#include "emu_error.h"
#include "guest_layout.h"
#include "sim_driver.h"
#include "stand_ins.h"
#include "win32_process.h"

namespace dlltest {
namespace {

constexpr std::uint32_t kGenericRead = 0x80000000, kOpenExisting = 3;

class StandIns : public DllTest {
protected:
    void SetUp() override {
        DllTest::SetUp();
        if (!HasFatalFailure()) process = std::make_unique<emu::Process>(DllPath());
    }

    // Calls the stand-in as the DLL's `call [import]` would reach it.
    std::uint32_t Invoke(const char* dll, const char* name, const std::vector<std::uint32_t>& args) {
        const emu::StandIn* s = emu::FindStandIn(dll, name);
        if (!s) throw std::runtime_error(std::string("no stand-in ") + name);
        std::uint32_t esp = process->cpu().Esp() - 0x200;
        process->cpu().Write32(esp, 0);  // return address
        for (std::size_t i = 0; i < args.size(); ++i) process->cpu().Write32(esp + 4 + 4 * std::uint32_t(i), args[i]);
        return s->function(*process, emu::StandInArgs(*process, esp));
    }
    std::uint32_t Kernel32(const char* name, const std::vector<std::uint32_t>& args) {
        return Invoke("KERNEL32.dll", name, args);
    }
    template <typename T>
    std::uint32_t Put(const T& value) {
        std::uint32_t at = process->heap().Allocate(sizeof value, true);
        process->cpu().Write(at, &value, sizeof value);
        return at;
    }
    template <typename T>
    T Get(std::uint32_t at) {
        T value;
        process->cpu().Read(at, &value, sizeof value);
        return value;
    }
    std::uint32_t OpenDriver() {
        std::uint32_t path = process->heap().Allocate(sizeof simdrv::kDevicePath, true);
        process->cpu().Write(path, simdrv::kDevicePath, sizeof simdrv::kDevicePath);
        return Kernel32("CreateFileA", {path, kGenericRead, 3, 0, kOpenExisting, 0, 0});
    }

    std::unique_ptr<emu::Process> process;
};

// Register a board, read a scripted port, unregister, close: the driver
// answers into the DLL's records, and each step reaches it once.
TEST_F(StandIns, DriverRequestsAnswerTheRecordInPlace) {
    simdrv::Driver& driver = simdrv::TheDriver();
    driver.ScriptPort(0x305, {0xA5});
    const std::uint32_t h = OpenDriver();
    ASSERT_NE(h, simdrv::kInvalidHandle);

    orvel::CardRecord card{};
    card.itemCount = 1;
    card.items[0] = {orvel::ItemIo, 1, 0x300, 32, {}};
    const std::uint32_t cardAt = Put(card), returned = Put(std::uint32_t{0xDEAD});
    EXPECT_EQ(Kernel32("DeviceIoControl", {h, orvel::IoctlCardRegister, cardAt, sizeof card, 0, 0, returned, 0}), 1u);
    EXPECT_NE(Get<orvel::CardRecord>(cardAt).cardHandle, 0u);
    EXPECT_EQ(Get<std::uint32_t>(returned), sizeof card);

    orvel::TransferRecord read{};
    read.command = orvel::ReadPortByte;
    read.port = 0x305;
    const std::uint32_t readAt = Put(read);
    EXPECT_EQ(Kernel32("DeviceIoControl", {h, orvel::IoctlTransfer, readAt, sizeof read, 0, 0, returned, 0}), 1u);
    EXPECT_EQ(Get<orvel::TransferRecord>(readAt).data, 0xA5u);

    EXPECT_EQ(Kernel32("DeviceIoControl", {h, orvel::IoctlCardUnregister, cardAt, sizeof card, 0, 0, returned, 0}), 1u);
    EXPECT_EQ(Kernel32("CloseHandle", {h}), 1u);

    using K = simdrv::Call::Kind;
    const std::vector<std::pair<K, std::uint32_t>> expected = {
        {K::Open, 0}, {K::Request, orvel::IoctlCardRegister}, {K::Request, orvel::IoctlTransfer},
        {K::Request, orvel::IoctlCardUnregister}, {K::Close, 0}};
    std::vector<std::pair<K, std::uint32_t>> actual;
    for (const auto& call : driver.Calls()) {
        actual.emplace_back(call.kind, call.code);
        EXPECT_TRUE(call.ok) << call.line;
        EXPECT_EQ(call.handle, h) << call.line;
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(driver.OpenHandleCount(), 0);
}

TEST_F(StandIns, DeviceIoControlPassesOverlappedAndOutputBufferThrough) {
    const std::uint32_t h = OpenDriver();
    orvel::TransferRecord write{};
    write.command = orvel::WritePortByte;
    write.port = 0x300;
    write.data = 0x42;
    const std::uint32_t at = Put(write), overlapped = Put(std::array<std::uint32_t, 5>{});
    Kernel32("DeviceIoControl", {h, orvel::IoctlTransfer, at, sizeof write, at, sizeof write, 0, overlapped});
    const std::string line = simdrv::TheDriver().Calls().back().line;
    EXPECT_NE(line.find("out=24"), std::string::npos) << line;
    EXPECT_NE(line.find("overlapped"), std::string::npos) << line;
}

TEST_F(StandIns, AbsentDriverFailsTheOpenWithFileNotFound) {
    simdrv::TheDriver().SetPresent(false);
    EXPECT_EQ(OpenDriver(), simdrv::kInvalidHandle);
    EXPECT_EQ(process->LastError(), 2u);
}

// Handles of the stand-ins' own objects never reach the driver.
TEST_F(StandIns, OwnHandlesStayAwayFromTheDriver) {
    const std::uint32_t semaphore = Kernel32("CreateSemaphoreW", {0, 1, 1, 0});
    EXPECT_EQ(Kernel32("WaitForSingleObject", {semaphore, 0}), 0u);
    EXPECT_EQ(Kernel32("WaitForSingleObject", {semaphore, 0}), 0x102u) << "taken: times out";
    EXPECT_EQ(Kernel32("ReleaseSemaphore", {semaphore, 1, 0}), 1u);
    EXPECT_EQ(Kernel32("CloseHandle", {semaphore}), 1u);
    const std::uint32_t h = OpenDriver();
    EXPECT_EQ(Kernel32("WaitForSingleObject", {h, 0}), 0xFFFFFFFFu);
    EXPECT_EQ(simdrv::TheDriver().Calls().size(), 1u) << simdrv::TheDriver().TranscriptText();
}

// _initterm must really call every entry of the table, skipping nulls, and
// those calls may themselves trap into stand-ins (nested emulation).
TEST_F(StandIns, InittermCallsEveryEntry) {
    const std::uint32_t tick = process->TrapFor(*emu::FindStandIn("KERNEL32.dll", "GetTickCount"));
    const std::uint32_t table = Put(std::array<std::uint32_t, 3>{tick, 0, tick});
    const std::uint32_t before = process->tickCount_;
    Invoke("msvcrt.dll", "_initterm", {table, table + 12});
    EXPECT_EQ(process->tickCount_ - before, 2u * 16u);
}

TEST_F(StandIns, VirtualProtectChangesWhatVirtualQueryReports) {
    const std::uint32_t textPage = process->Base() + 0x1000;  // first section: code
    const std::uint32_t info = process->heap().Allocate(28, true), old = Put(std::uint32_t{0});
    ASSERT_EQ(Kernel32("VirtualQuery", {textPage, info, 28}), 28u);
    auto mbi = Get<std::array<std::uint32_t, 7>>(info);
    EXPECT_EQ(mbi[1], process->Base()) << "allocation base";
    EXPECT_EQ(mbi[5], 0x20u) << "PAGE_EXECUTE_READ";
    EXPECT_EQ(mbi[6], 0x1000000u) << "MEM_IMAGE";

    ASSERT_EQ(Kernel32("VirtualProtect", {textPage, 4, 0x40, old}), 1u);
    EXPECT_EQ(Get<std::uint32_t>(old), 0x20u);
    Kernel32("VirtualQuery", {textPage, info, 28});
    EXPECT_EQ((Get<std::array<std::uint32_t, 7>>(info)[5]), 0x40u);
}

TEST_F(StandIns, FreeingWhatWasNotAllocatedIsAFault) {
    const std::uint32_t block = Invoke("msvcrt.dll", "malloc", {16});
    Invoke("msvcrt.dll", "free", {block});
    EXPECT_THROW(Invoke("msvcrt.dll", "free", {block}), emu::GuestFault);
    EXPECT_THROW(Invoke("msvcrt.dll", "free", {process->Base()}), emu::GuestFault);
}

// What the DLL prints (the runtime's last words before abort()) must come out
// readable in the fault message, so the formatting must be right.
TEST_F(StandIns, FprintfFormatsFromTheDllsMemory) {
    struct Case {
        const char* format;
        std::vector<std::uint32_t> args;  // a string argument is the placeholder 0x5
        const char* printed;
    };
    const Case cases[] = {
        {"%d|%i|%u", {std::uint32_t(-5), 7, 0xFFFFFFFF}, "-5|7|4294967295"},
        {"%04x|%X|%-4d|", {0xAB, 0xBEEF, 3}, "00ab|BEEF|3   |"},
        {"%s=%c%%", {5, 'z'}, "name=z%"},
        {"%.3s|%5s", {5, 5}, "nam| name"},
        {"%I64x %lld", {0x89ABCDEF, 0x01234567, 0xFFFFFFFF, 0xFFFFFFFF}, "123456789abcdef -1"},
    };
    const std::uint32_t name = Put(std::array<char, 5>{'n', 'a', 'm', 'e', 0});
    const std::uint32_t stderrFile = emu::FindStandIn("msvcrt.dll", "_iob")->function(*process, {*process, 0}) + 64;
    for (const Case& c : cases) {
        process->console_.clear();
        std::vector<std::uint32_t> args = {stderrFile, process->heap().Allocate(64, true)};
        process->cpu().Write(args[1], c.format, std::strlen(c.format) + 1);
        for (std::uint32_t a : c.args) args.push_back(a == 5 ? name : a);
        Invoke("msvcrt.dll", "fprintf", args);
        EXPECT_EQ(process->ConsoleOutput(), c.printed) << c.format;
    }
}

}  // namespace
}  // namespace dlltest
