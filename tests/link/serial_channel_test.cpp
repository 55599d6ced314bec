#include "link/serial_channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>

#include "link/sim_link.h"
#include "support/port_test_tree.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(DeviceForPort, AsksTheProgramsPortMap) {
    ResetTestPorts({UsbPort("/dev/ttyUSB0", "usb-X-if00", "X", "1")});
    EXPECT_EQ(DeviceForPort(1), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceForPort(3), "/dev/ttyS2");
    setenv("QORW_COM3", "/dev/ttyUSB7", 1);
    EXPECT_EQ(DeviceForPort(3), "/dev/ttyUSB7");
    setenv("QORW_COM3", "", 1);  // set but empty counts as unset
    EXPECT_EQ(DeviceForPort(3), "/dev/ttyS2");
    ResetTestPorts();
}

TEST(SerialChannel, DefaultsAndReplyWaitRule) {
    SerialChannel c;
    EXPECT_EQ(c.Port(), 1);
    EXPECT_EQ(c.BaudRate(), 19200u);
    EXPECT_EQ(c.GetReplyWait(), 2);
    EXPECT_EQ(c.AckWait(), 100u);
    EXPECT_FALSE(c.IsOpen());
    struct {
        int16_t set, stored;
    } cases[] = {{1, 1}, {60, 60}, {20, 20}, {100, 60}, {0, 60}, {-5, 60}, {61, 60}};
    for (auto k : cases) {
        c.SetReplyWait(k.set);
        EXPECT_EQ(c.GetReplyWait(), k.stored) << k.set;
    }
}

TEST(SerialChannel, LinkTimingProfile) {
    struct {
        int index;
        uint32_t baud;
        int16_t reply;
        uint32_t ack;
    } rows[] = {{0, 57600, 2, 100},  {1, 38400, 2, 100}, {2, 19200, 2, 100},
                {3, 9600, 2, 200},   {4, 4800, 4, 500},  {5, 2400, 6, 700},
                {6, 1200, 10, 1100}, {7, 19200, 2, 100}, {-1, 19200, 2, 100}};
    for (auto r : rows) {
        LinkProfile p = LinkProfileFor(r.index);
        EXPECT_EQ(p.baud, r.baud) << r.index;
        EXPECT_EQ(p.replyWait, r.reply) << r.index;
        EXPECT_EQ(p.ackWait, r.ack) << r.index;
    }
}

TEST(SerialChannel, OpenFailureNamesDeviceAndReason) {
    setenv("QORW_COM9", "/nonexistent/ttyQ9", 1);
    SerialChannel c;
    c.SetPort(9);
    EXPECT_FALSE(c.Open());
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(c.OpenError(), "/nonexistent/ttyQ9: No such file or directory");
    setenv("QORW_COM9", "/dev/null", 1);
    EXPECT_FALSE(c.Open());
    EXPECT_EQ(c.OpenError().rfind("/dev/null: not a terminal device; ", 0), 0u);
    EXPECT_EQ(c.OpenProblem(), SerialPort::Problem::NotSerial);
    EXPECT_EQ(c.SendFrame("FE000100TTTT000006"), SerialChannel::kAckWaitFailed);
    c.Close();  // closing a channel that never opened is harmless
    unsetenv("QORW_COM9");
}

TEST(SerialChannel, EmptyTextIsRefused) {
    SerialChannel c;
    EXPECT_EQ(c.SendFrame(""), SerialChannel::kEmptyText);
}

TEST(SerialChannel, ReadRoundTripFillsTheTransaction) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    EXPECT_TRUE(l.channel.Open());  // already open: nothing happens
    l.channel.SetLinkTransaction(0x1234);
    std::string reply = l.channel.SendAndReceive("FD000100TTTT000002");
    EXPECT_EQ(reply,
              "41003412"
              "6800");  // no destination and source bytes
    EXPECT_EQ(l.channel.LinkTransaction(), 0x1235);
    auto requests = l.sim.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].node, 0xFD);
    EXPECT_EQ(requests[0].transaction, 0x1234);

    // A text with its own transaction keeps it, and the counter still rises.
    reply = l.channel.SendAndReceive("F8000100ABCD000054");
    EXPECT_EQ(reply.substr(0, 8), "4100ABCD");
    EXPECT_EQ(reply.size(), 8u + 2 * 84);
    EXPECT_EQ(l.channel.LinkTransaction(), 0x1236);
    EXPECT_EQ(l.sim.Requests().back().transaction, 0xCDAB);
}

TEST(SerialChannel, TransactionFillAfterFFFF) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    l.channel.SetLinkTransaction(0xFFFF);
    EXPECT_EQ(l.channel.SendFrame("F8000100tttt000054"), 0);
    EXPECT_EQ(l.channel.SendFrame("F8000100TTTT000054"), 0);
    ASSERT_TRUE(Eventually([&] { return l.sim.Requests().size() == 2; }));
    EXPECT_EQ(l.sim.Requests()[0].transaction, 0xFFFF);
    EXPECT_EQ(l.sim.Requests()[1].transaction, 0x0000);
    EXPECT_EQ(l.sim.Requests()[0].data, Bytes{0x54});
}

TEST(SerialChannel, NakedTwiceGives7007AfterTwoTransmissions) {
    SimOptions o;
    o.nakFirst = 5;
    SimLink l(o);
    ASSERT_TRUE(l.channel.Open());
    EXPECT_EQ(l.channel.SendFrame("FD000100TTTT000002"), SerialChannel::kTooManyNaks);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    auto s = l.sim.Stats();
    EXPECT_EQ(s.naksOut, 2);
    EXPECT_EQ(s.enqsIn, 0);
    EXPECT_EQ(s.framesIn, 0);
}

TEST(SerialChannel, NakedOnceIsSentAgain) {
    SimOptions o;
    o.nakFirst = 1;
    SimLink l(o);
    ASSERT_TRUE(l.channel.Open());
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100");
    EXPECT_EQ(l.sim.Stats().framesIn, 1);  // the resend is not taken for a repeat
}

TEST(SerialChannel, NeverAnsweredGives7008AfterOneEnquiry) {
    SimOptions o;
    o.silent = true;
    SimLink l(o);
    ASSERT_TRUE(l.channel.Open());
    auto start = Clock::now();
    EXPECT_EQ(l.channel.SendFrame("FD000100TTTT000002"), SerialChannel::kNoAcknowledge);
    EXPECT_GE(MsSince(start), 2 * 40 - 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    auto s = l.sim.Stats();
    EXPECT_EQ(s.framesIn, 1);
    EXPECT_EQ(s.enqsIn, 1);
}

TEST(SerialChannel, LostAcknowledgementIsRecoveredByTheEnquiry) {
    SimOptions o;
    o.dropAck = 1;
    SimLink l(o);
    ASSERT_TRUE(l.channel.Open());
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100");
    EXPECT_EQ(l.sim.Stats().enqsIn, 1);
}

TEST(SerialChannel, AckInsideAnIncomingFrame) {
    SimOptions o;
    o.dropAck = 1;  // the only acknowledgement comes inside the reply
    SimLink l(o);
    l.sim.SetResponder([&](const SimRequest& r) {
        Bytes reply = {
            0x00, r.node, 0x41, 0x00, uint8_t(r.transaction), uint8_t(r.transaction >> 8),
            0x68, 0x00};
        Bytes frame = wire::BuildFrame(reply);
        frame.insert(frame.begin() + 6, {0x10, 0x06});
        l.sim.WriteRaw(frame);
        return Bytes{};
    });
    ASSERT_TRUE(l.channel.Open());
    l.channel.SetLinkTransaction(0x0102);
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002"), "410002016800");
    EXPECT_EQ(l.sim.Stats().enqsIn, 0);
}

TEST(SerialChannel, BadChecksumIsNakedAndTheResendTaken) {
    SimOptions o;
    o.corruptFirst = 1;
    SimLink l(o);
    l.channel.SetReplyWait(3);
    ASSERT_TRUE(l.channel.Open());
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100");
    EXPECT_EQ(l.sim.Stats().naksIn, 1);
}

TEST(SerialChannel, RepeatedHeaderIsAcknowledgedTwiceQueuedOnce) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    Bytes m = {0x00, 0xFE, 0x06, 0x00, 0x11, 0x22, 0x01};
    l.sim.SendMessage(m);
    l.sim.SendMessage(m);
    ASSERT_TRUE(Eventually([&] { return l.sim.Stats().acksIn == 2; }));
    EXPECT_EQ(l.channel.PendingReplies(), 1);
    EXPECT_EQ(l.channel.ReceiveNext(), "0600112201");
    EXPECT_EQ(l.channel.ReceiveNext(), "");
}

TEST(SerialChannel, TwentySixthUnreadMessagePushesOutTheFirst) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    for (int i = 1; i <= 26; ++i)
        l.sim.SendMessage({0x00, 0xFE, 0x06, 0x00, uint8_t(i), 0x00});
    ASSERT_TRUE(Eventually([&] { return l.sim.Stats().acksIn == 26; }));
    EXPECT_EQ(l.channel.PendingReplies(), 25);
    for (int i = 2; i <= 26; ++i) {
        char expect[16];
        std::snprintf(expect, sizeof expect, "0600%02X00", i);
        EXPECT_EQ(l.channel.ReceiveNext(), expect);
    }
    EXPECT_EQ(l.channel.PendingReplies(), 0);
}

TEST(SerialChannel, ShortMessageIsGivenWhole) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    l.sim.SendMessage({0x41, 0x00, 0x01});
    EXPECT_EQ(l.channel.ReceiveNext(), "410001");
}

TEST(SerialChannel, SendAndReceiveDiscardsEarlierMessages) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    l.sim.SendMessage({0x00, 0xFE, 0x06, 0x00, 0x77, 0x00});
    ASSERT_TRUE(Eventually([&] { return l.channel.PendingReplies() == 1; }));
    l.channel.SetLinkTransaction(0x0005);
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002"), "410005006800");
}

TEST(SerialChannel, OnlyAcknowledgedGivesEmptyAfterTheReplyWait) {
    SimLink l;
    l.sim.SetResponder([](const SimRequest&) { return Bytes{}; });
    ASSERT_TRUE(l.channel.Open());
    auto start = Clock::now();
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002"), "");
    EXPECT_GE(MsSince(start), 95);
    EXPECT_EQ(l.sim.Stats().acksOut, 1);
}

TEST(SerialChannel, NoiseFromTheModuleDoesNotDisturb) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    l.sim.WriteRaw({0x00, 0x10, 0x41, 0xFF, 0x10, 0x02, 0x01, 0x10, 0x02, 0x03});
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100");
}

// A read the module acknowledges but never answers, pending on another thread.
std::future<std::string> PendingReplyWait(SimLink& l) {
    l.sim.SetResponder([](const SimRequest&) { return Bytes{}; });
    l.channel.SetReplyWait(60);
    EXPECT_TRUE(l.channel.Open());
    auto waiting = std::async(std::launch::async,
                              [&] { return l.channel.SendAndReceive("FD000100TTTT000002"); });
    EXPECT_TRUE(Eventually([&] { return l.sim.Stats().acksOut == 1; }));
    return waiting;
}

TEST(SerialChannel, CloseWhileAReplyWaitIsPendingReturnsAtOnce) {
    SimLink l;
    auto waiting = PendingReplyWait(l);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto start = Clock::now();
    l.channel.Close();
    EXPECT_LT(MsSince(start), 500);
    EXPECT_FALSE(l.channel.IsOpen());
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(500)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), "");
}

TEST(SerialChannel, AStopEndsTheWaitAtOnceAndRefusesTheNextRequestUntilCleared) {
    SimLink l;
    auto waiting = PendingReplyWait(l);
    l.channel.RequestStop();
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(500)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), "");
    EXPECT_EQ(l.channel.SendFrame("FD000100TTTT000002"), SerialChannel::kStopped);
    EXPECT_EQ(l.sim.Stats().framesIn, 1);  // the refused frame never left
    l.channel.Close();
    EXPECT_FALSE(l.channel.Open());
    l.channel.ClearStop();
    l.sim.SetResponder(nullptr);
    ASSERT_TRUE(l.channel.Open());
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100");
}

TEST(SerialChannel, ReopenKeepsSettingsAndCounter) {
    SimLink l;
    l.channel.SetLinkTransaction(0x0100);
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(l.channel.Open());
        EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100") << round;
        l.channel.Close();
        EXPECT_FALSE(l.channel.IsOpen());
    }
    EXPECT_EQ(l.channel.LinkTransaction(), 0x0103);
    EXPECT_EQ(l.channel.GetReplyWait(), 1);
    EXPECT_EQ(l.channel.BaudRate(), 57600u);
}

TEST(SerialChannel, DeviceThatGoesAwayFailsSendsAndStillCloses) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    EXPECT_FALSE(l.channel.DeviceGone());
    l.sim.Hangup();
    EXPECT_TRUE(Eventually([&] { return l.channel.DeviceGone(); }));
    // Without waiting out the acknowledgement wait.
    l.channel.SetAckWait(5000);
    auto sent = Clock::now();
    EXPECT_NE(l.channel.SendFrame("FD000100TTTT000002"), SerialChannel::kAcknowledged);
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002"), "");
    EXPECT_LT(MsSince(sent), 500);
    // The reader left instead of spinning on the dead device.
    EXPECT_LT(l.channel.ReaderCpuTime(), std::chrono::milliseconds(50));
    auto start = Clock::now();
    l.channel.Close();
    EXPECT_LT(MsSince(start), 500);
    EXPECT_TRUE(l.channel.DeviceGone());  // still known after the close that followed

    // Plugged back in: a fresh open forgets it.
    SimModule again;
    ASSERT_TRUE(again.Start());
    l.channel.SetDevice(again.SlavePath());
    ASSERT_TRUE(l.channel.Open());
    EXPECT_FALSE(l.channel.DeviceGone());
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100");
    l.channel.Close();
    again.Stop();
}

}  // namespace

namespace {

TEST(SerialChannel, ReplyStillArrivingWhenTheReplyWaitEndsIsTaken) {
    SimOptions o;
    o.pace = 2400;  // the 84-byte block takes about 400 ms on the wire
    SimLink l(o);
    l.channel.SetBaudRate(2400);
    l.channel.SetAckWait(300);
    ASSERT_TRUE(l.channel.Open());
    std::string reply = l.channel.SendAndReceive("F8000100TTTT000054");
    EXPECT_EQ(reply.size(), 8u + 2 * 84);
}

TEST(SerialChannel, StalledFrameEndsTheWaitSoonAfterTheReplyWait) {
    SimLink l;
    l.sim.SetResponder([&](const SimRequest&) {
        l.sim.WriteRaw({0x10, 0x02, 0x00, 0xFD, 0x41});  // a reply that breaks off
        return Bytes{};
    });
    ASSERT_TRUE(l.channel.Open());
    auto start = Clock::now();
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002"), "");
    EXPECT_LT(MsSince(start), 400);
}

}  // namespace
