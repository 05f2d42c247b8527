// The simulated driver behaves as the real one would towards a caller that
// gets things wrong: that is what makes the other tests' transcripts mean
// something.
#include <gtest/gtest.h>

#include "sim_driver.h"

namespace simdrv {
namespace {

using Lines = std::vector<std::string>;

struct Transfer {
    std::uint32_t command, port, unused[3], data;
};

struct Card {
    std::uint32_t count;
    std::uint32_t items[20][7];
    std::uint32_t reserved, cardHandle;
};
static_assert(sizeof(Card) == 572, "card record");

Card OneRange(std::uint32_t first) {
    Card c{};
    c.count = 1;
    c.items[0][0] = 3;
    c.items[0][1] = 1;
    c.items[0][2] = first;
    c.items[0][3] = 32;
    return c;
}

class SimDriverTest : public testing::Test {
protected:
    void SetUp() override { d.Reset(); }
    void TearDown() override { d.Reset(); }
    Handle OpenDevice() { return d.Open(kDevicePath, 0x80000000, 3, 3, 0x40000000); }
    Driver& d = TheDriver();
};

TEST_F(SimDriverTest, RefusesMalformedRequests) {
    const Handle h = OpenDevice();
    Transfer t{13, 0x300, {}, 0x12};
    Card c = OneRange(0x300);
    EXPECT_FALSE(d.Request(h, 0x9538240F, &t, 20, nullptr, 0, false));
    EXPECT_FALSE(d.Request(h, 0x95382433, &c, 568, nullptr, 0, false));
    EXPECT_FALSE(d.Request(h, 0x95382400, &t, sizeof t, nullptr, 0, false));
    EXPECT_FALSE(d.Request(kInvalidHandle, 0x9538240F, &t, sizeof t, nullptr, 0, false));
    EXPECT_FALSE(d.Request(0x1234, 0x9538240F, &t, sizeof t, nullptr, 0, false));
    t.command = 11;
    EXPECT_FALSE(d.Request(h, 0x9538240F, &t, sizeof t, nullptr, 0, false));
    EXPECT_FALSE(d.Close(0x1234));
    EXPECT_EQ(d.PortLatch(0x300), 0) << "no refused request may reach a port";
    EXPECT_EQ(d.Transcript(), (Lines{
        "open \\\\.\\WINDRVR access=0x80000000 share=0x3 disposition=3 flags=0x40000000 -> h1",
        "ioctl h1 0x9538240F size=20 -> failed",
        "ioctl h1 0x95382433 size=568 -> failed",
        "ioctl h1 0x95382400 size=24 -> failed",
        "W invalid 0x300 0x12 -> failed",
        "W bad:0x1234 0x300 0x12 -> failed",
        "T h1 command=11 0x300 -> failed",
        "close bad:0x1234 -> failed",
    }));
}

TEST_F(SimDriverTest, OpensOnlyItsOwnDeviceWhilePresent) {
    EXPECT_EQ(d.Open("\\\\.\\OTHER", 0, 0, 3, 0), kInvalidHandle);
    d.SetPresent(false);
    EXPECT_EQ(OpenDevice(), kInvalidHandle);
    d.SetPresent(true);
    EXPECT_NE(OpenDevice(), kInvalidHandle);
    EXPECT_EQ(d.OpenHandleCount(), 1);
}

TEST_F(SimDriverTest, PortRangesBelongToOneHandle) {
    const Handle a = OpenDevice(), b = OpenDevice();
    Card ca = OneRange(0x300), cb = OneRange(0x31F), cc = OneRange(0x310);
    ASSERT_TRUE(d.Request(a, 0x95382433, &ca, sizeof ca, nullptr, 0, false));
    EXPECT_EQ(ca.cardHandle, 1u);
    EXPECT_FALSE(d.Request(b, 0x95382433, &cb, sizeof cb, nullptr, 0, false));
    EXPECT_EQ(cb.cardHandle, 0u);
    EXPECT_TRUE(d.Request(a, 0x95382433, &cc, sizeof cc, nullptr, 0, false)) << "own ranges may overlap";
    EXPECT_FALSE(d.Request(b, 0x95382437, &ca, sizeof ca, nullptr, 0, false)) << "not b's card";
    EXPECT_TRUE(d.Close(a));
    EXPECT_EQ(d.RegisteredRangeCount(), 0) << "closing a handle frees its ranges";
    EXPECT_TRUE(d.Request(b, 0x95382433, &cb, sizeof cb, nullptr, 0, false));
}

TEST_F(SimDriverTest, ScriptedReadsThenLastByteThenLoopback) {
    const Handle h = OpenDevice();
    auto read = [&](std::uint32_t port) {
        Transfer t{10, port, {}, 0};
        d.Request(h, 0x9538240F, &t, sizeof t, nullptr, 0, false);
        return t.data;
    };
    Transfer w{13, 0x308, {}, 0x1A5};
    d.Request(h, 0x9538240F, &w, sizeof w, nullptr, 0, false);
    EXPECT_EQ(read(0x308), 0xA5u) << "an unscripted port reads back its latch";
    d.ScriptPort(0x30B, {2, 2, 0});
    EXPECT_EQ((std::vector<std::uint32_t>{read(0x30B), read(0x30B), read(0x30B), read(0x30B)}),
              (std::vector<std::uint32_t>{2, 2, 0, 0}));
}

TEST_F(SimDriverTest, FailedRequestsChangeNothing) {
    const Handle h = OpenDevice();
    d.SetFailRequests(true);
    Transfer t{10, 0x300, {}, 0x77};
    Card c = OneRange(0x300);
    EXPECT_FALSE(d.Request(h, 0x9538240F, &t, sizeof t, nullptr, 0, false));
    EXPECT_FALSE(d.Request(h, 0x95382433, &c, sizeof c, nullptr, 0, false));
    EXPECT_EQ(t.data, 0x77u);
    EXPECT_EQ(c.cardHandle, 0u);
    EXPECT_EQ(d.RegisteredRangeCount(), 0);
}

}  // namespace
}  // namespace simdrv
