#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "host/progress.h"
#include "link/sim_link.h"
#include "model/qor_doc.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// A document on a simulated module whose channel is already open with short waits.
struct DocLink : SimLink {
    explicit DocLink(SimOptions o = {}) : SimLink(o) {
        doc.AttachChannel(channel);
        EXPECT_TRUE(channel.Open());
    }
    QorDoc doc;
};

Bytes Reply(const SimRequest& r, uint8_t command, uint8_t status, uint16_t transaction,
            Bytes data = {}) {
    Bytes m = {0x00, r.node, command, status, uint8_t(transaction), uint8_t(transaction >> 8)};
    for (uint8_t b : data)
        m.push_back(b);
    return m;
}

TEST(CommandProtocol, ResultTexts) {
    const char* texts[] = {"ERROR_SUCCESS",
                           "WT4RSP_IS_SET",
                           "Communication Error",
                           "ERROR_CNVRT_RXBFR",
                           "Invalid Comm Port Selected",
                           "WT4RSP_GOT_RESET",
                           "Received incorrect data amount",
                           "Unable to Connect to QOR\nPlease check cable / Port Settings",
                           "No Response from QOR",
                           "ERR_ILLEG_INTL_BXLDWT4RSPSVCCDE_STATE",
                           "ERR_VALIDATION",
                           "ERR_XMIT",
                           "Stopped"};
    for (int i = 0; i < 13; ++i)
        EXPECT_STREQ(QorDoc::ResultText(i), texts[i]) << i;
    EXPECT_STREQ(QorDoc::ResultText(13), "");
    EXPECT_STREQ(QorDoc::ResultText(-1), "");
}

TEST(CommandProtocol, TransactionNumbersFollowEachOtherAndWrap) {
    DocLink l;
    l.doc.TransactionNumber() = 0xFFFE;
    CParam& baud = *l.doc.ParamOf(0xFD);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(l.doc.ReadParameter(0xFD, baud), 0);
    auto log = l.sim.Requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].transaction, 0xFFFE);
    EXPECT_EQ(log[1].transaction, 0xFFFF);
    EXPECT_EQ(log[2].transaction, 0x0000);
    EXPECT_EQ(l.doc.TransactionNumber(), 1);
}

TEST(CommandProtocol, RequestNodeAndAddressByKey) {
    struct {
        int key;
        uint8_t node;
        uint16_t address;
    } cases[] = {{0, 0x00, 0},  {1, 0xC8, 1},   {30, 0xC8, 30}, {31, 0xC9, 1},  {70, 0xC9, 40},
                 {71, 0x47, 0}, {100, 0x64, 0}, {200, 0xC8, 0}, {0xFE, 0xFE, 0}};
    DocLink l;
    CTextParam text;
    for (auto c : cases) {
        l.sim.ClearRequests();
        l.doc.ReadParameter(c.key, text);
        l.doc.WriteParameter(c.key, text);
        auto log = l.sim.Requests();
        ASSERT_EQ(log.size(), 2u) << c.key;
        for (const auto& r : log) {
            EXPECT_EQ(r.node, c.node) << c.key;
            EXPECT_EQ(r.address, c.address) << c.key;
        }
        EXPECT_EQ(log[0].command, 0x01);
        EXPECT_EQ(log[0].data, Bytes{84});  // the size asked for
        EXPECT_EQ(log[1].command, 0x08);
        EXPECT_EQ(log[1].data.size(), 84u);
    }
}

TEST(CommandProtocol, MismatchedTransactionTakesExactlyOneFurtherReply) {
    DocLink l;
    l.sim.SetResponder([&](const SimRequest& r) {
        for (uint16_t t :
             {uint16_t(r.transaction + 100), uint16_t(r.transaction + 101), r.transaction}) {
            l.sim.WriteRaw(wire::BuildFrame(Reply(r, 0x41, 0, t, {0x67, 0x00})));
        }
        return Bytes{};
    });
    l.doc.TransactionNumber() = 0x0010;
    std::string reply = l.doc.Transact("FD000100TTTT000002");
    EXPECT_EQ(reply,
              "41007500"
              "6700");  // the second reply, although it does not match either
    ASSERT_TRUE(Eventually([&] { return l.channel.PendingReplies() == 1; }));
}

// A stray reply with another transaction number, then one shorter than the reply header: the
// short one is taken as a read with no data, never sliced past its end.
TEST(CommandProtocol, ReplyShorterThanItsHeaderReadsAsNoData) {
    // Messages shorter than a header keep every byte in their reply text: "4100" and so on.
    for (Bytes tail : {Bytes{0x41, 0x00}, Bytes{0x41, 0x00, 0x12}, Bytes{0x41, 0x00, 0x12, 0x34}}) {
        DocLink l;
        l.sim.SetResponder([&](const SimRequest& r) {
            l.sim.WriteRaw(wire::BuildFrame(Reply(r, 0x41, 0, uint16_t(r.transaction + 7))));
            l.sim.WriteRaw(wire::BuildFrame(tail));
            return Bytes{};
        });
        CIpAddrParam address;
        address.text = "010.001.002.003";
        EXPECT_EQ(l.doc.ReadParameter(0xF2, address), 0) << tail.size();
        EXPECT_EQ(address.text, "000.000.000.000");
        EXPECT_TRUE(address.fromDevice);
    }
}

TEST(CommandProtocol, WriteRepliesGiveResults) {
    struct {
        const char* name;
        bool answer;
        uint8_t command, status;
        int result;
    } cases[] = {{"4800", true, 0x48, 0x00, 0},
                 {"4810", true, 0x48, 0x10, 2},
                 {"4100", true, 0x41, 0x00, 2},
                 {"none", false, 0, 0, 8}};
    for (auto c : cases) {
        DocLink l;
        l.sim.SetResponder([&](const SimRequest& r) {
            return c.answer ? Reply(r, c.command, c.status, r.transaction) : Bytes{};
        });
        EXPECT_EQ(l.doc.WriteParameter(0xFD, *l.doc.ParamOf(0xFD)), c.result) << c.name;
    }
}

TEST(CommandProtocol, WriteSendsTheDeviceForm) {
    DocLink l;
    l.doc.SET(QorDoc::kIdBaud, "38400");
    l.doc.SET(QorDoc::kIdEnableRouting, "NO");
    l.doc.SET(QorDoc::kIdFrom, "AB");
    EXPECT_EQ(l.doc.WriteParameter(0xFD, *l.doc.ParamOf(0xFD)), 0);
    EXPECT_EQ(l.doc.WriteParameter(0xF9, *l.doc.ParamOf(0xF9)), 0);
    // Keys whose form is produced empty send no data.
    EXPECT_EQ(l.doc.WriteParameter(0xFE, *l.doc.ParamOf(0xFE)), 0);
    auto log = l.sim.Requests();
    EXPECT_EQ(log[0].data, (Bytes{0x06, 0x00}));
    EXPECT_EQ(log[1].data.size(), 84u);
    EXPECT_EQ(Bytes(log[1].data.begin(), log[1].data.begin() + 4), (Bytes{0x02, 0x00, 0x42, 0x41}));
    EXPECT_TRUE(log[2].data.empty());
    EXPECT_EQ(l.sim.Ram(0xFD), (Bytes{0x06, 0x00}));
}

TEST(CommandProtocol, ReadDecodesAndMarksTheParameter) {
    DocLink l;
    Bytes block(40, 0);
    block[0] = 192, block[2] = 168, block[4] = 1, block[6] = 10;
    l.sim.SetRam(0xFA, block);
    CParam& p = *l.doc.ParamOf(0xFA);
    EXPECT_EQ(l.doc.ReadParameter(0xFA, p), 0);
    EXPECT_EQ(l.doc.GET(QorDoc::kIdIpAddress), "192.168.001.010");
    EXPECT_TRUE(p.fromDevice);
    EXPECT_EQ(l.doc.ReadParameter(0xFE, *l.doc.ParamOf(0xFE)), 0);
    EXPECT_EQ(l.doc.GET(QorDoc::kIdHwAddress), "00:00:BC:1A:2B:3C");

    // A refused read changes nothing.
    l.sim.SetResponder([](const SimRequest& r) { return Reply(r, 0x41, 0x01, r.transaction); });
    CParam& baud = *l.doc.ParamOf(0xFD);
    baud.text = "1200";
    EXPECT_EQ(l.doc.ReadParameter(0xFD, baud), 2);
    EXPECT_EQ(baud.text, "1200");
    EXPECT_FALSE(baud.fromDevice);
    l.sim.SetResponder([](const SimRequest&) { return Bytes{}; });
    EXPECT_EQ(l.doc.ReadParameter(0xFD, baud), 8);
}

TEST(CommandProtocol, IdentifyByFirmwareRevision) {
    struct {
        const char* firmware;
        bool web;
        bool longBlock;
        bool capable;
    } cases[] = {{"2.0", true, false, false},  {"1.99", true, false, false},
                 {"2.01", true, true, true},   {"3.12", true, true, true},
                 {"3.12", false, true, false}, {"10.0", true, true, true}};
    for (auto c : cases) {
        SimOptions o;
        o.firmware = c.firmware;
        o.web = c.web;
        DocLink l(o);
        l.doc.SetWebCapable(true);  // Identify starts from a clear flag
        EXPECT_EQ(l.doc.Identify(), 0) << c.firmware;
        auto log = l.sim.Requests();
        ASSERT_EQ(log.size(), c.longBlock ? 2u : 1u) << c.firmware;
        EXPECT_EQ(log[0].data, Bytes{0x54});
        if (c.longBlock) {
            EXPECT_EQ(log[1].data, Bytes{0xA8});
        }
        EXPECT_EQ(l.doc.WebCapable(), c.capable) << c.firmware;
    }
}

TEST(CommandProtocol, IdentifyFailures) {
    DocLink l;
    l.sim.SetResponder([](const SimRequest&) { return Bytes{}; });
    EXPECT_EQ(l.doc.Identify(), 8);
    l.sim.SetResponder([](const SimRequest& r) { return Reply(r, 0x41, 0x02, r.transaction); });
    EXPECT_EQ(l.doc.Identify(), 2);
    // A short block: no revision to read, no web pages.
    l.sim.SetResponder([](const SimRequest& r) {
        return Reply(r, 0x41, 0, r.transaction, {1, 2});
    });
    EXPECT_EQ(l.doc.Identify(), 0);
    EXPECT_FALSE(l.doc.WebCapable());
}

TEST(CommandProtocol, ConnectAnswersTheModulesOwnMessage) {
    DocLink l;
    l.channel.Close();
    l.sim.SetResponder([](const SimRequest& r) -> std::optional<Bytes> {
        if (r.command != 0x01) return std::nullopt;
        return Reply(r, 0x06, 0x00, r.transaction, {0xAA, 0xBB});
    });
    EXPECT_EQ(l.doc.Connect(0, l.port, nullptr, nullptr), 0);
    ASSERT_TRUE(Eventually([&] { return l.sim.Requests().size() == 2; }));
    auto log = l.sim.Requests();
    EXPECT_EQ(log[0].node, 0xFE);
    EXPECT_EQ(log[0].data, Bytes{6});
    EXPECT_EQ(log[1].command, 0x46);
    EXPECT_EQ(log[1].node, 0xFE);
    EXPECT_EQ(log[1].transaction, log[0].transaction);
    EXPECT_EQ(log[1].data, (Bytes{0xAA, 0xBB}));
}

TEST(CommandProtocol, ConnectAppliesTheProfileOnlyWhileClosed) {
    DocLink l;
    l.channel.Close();
    EXPECT_EQ(l.doc.Connect(3, l.port, nullptr, nullptr), 0);
    EXPECT_EQ(l.channel.BaudRate(), 9600u);
    EXPECT_EQ(l.channel.AckWait(), 200u);
    EXPECT_EQ(l.doc.Connect(0, l.port, nullptr, nullptr), 0);  // open: settings stay
    EXPECT_EQ(l.channel.BaudRate(), 9600u);
    EXPECT_EQ(l.doc.Connect(3, 99, nullptr, nullptr), 0);
    EXPECT_EQ(l.channel.Port(), l.port);
}

TEST(CommandProtocol, ConnectTakesAnUnaskedMessageAfterASilentProbe) {
    DocLink l;
    l.channel.Close();
    l.sim.SetResponder([&](const SimRequest& r) -> std::optional<Bytes> {
        if (r.command != 0x01) return std::nullopt;
        std::thread([&l] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            l.sim.SendMessage({0x00, 0xFE, 0x06, 0x00, 0x44, 0x33, 0x01});
        }).detach();
        return Bytes{};
    });
    CProgressWnd progress;
    progress.SetRange(0, 3);
    auto start = Clock::now();
    EXPECT_EQ(l.doc.Connect(0, l.port, &progress, nullptr), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(progress.Pos(), 2);
    EXPECT_EQ(l.channel.GetReplyWait(), 2);  // the profile's wait again
    ASSERT_TRUE(Eventually([&] { return l.sim.Requests().size() == 2; }));
    EXPECT_EQ(l.sim.Requests()[1].command, 0x46);
    EXPECT_EQ(l.sim.Requests()[1].transaction, 0x3344);
}

TEST(CommandProtocol, ConnectToASilentModuleWaitsSixSecondsThenGives7) {
    SimOptions o;
    o.silent = true;
    DocLink l(o);
    l.channel.Close();
    auto start = Clock::now();
    EXPECT_EQ(l.doc.Connect(0, l.port, nullptr, nullptr), 7);
    auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(6000));
    EXPECT_LT(waited, std::chrono::milliseconds(7500));
}

TEST(CommandProtocol, ConnectToAMissingDeviceGives4) {
    setenv("QORW_COM12", "/nonexistent/ttyQ12", 1);
    QorDoc doc;
    SerialChannel channel;
    doc.AttachChannel(channel);
    EXPECT_EQ(doc.Connect(0, 12, nullptr, nullptr), 4);
    EXPECT_EQ(channel.OpenError(), "/nonexistent/ttyQ12: No such file or directory");
    EXPECT_EQ(doc.SendReset(1), 4);
}

TEST(CommandProtocol, SendResetAlwaysClosesTheChannel) {
    {
        DocLink l;
        EXPECT_EQ(l.doc.SendReset(2), 0);
        EXPECT_FALSE(l.channel.IsOpen());
        auto log = l.sim.Requests();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].node, 0xF8);
        EXPECT_EQ(log[0].data, (Bytes{0x02, 0x00}));
    }
    {
        DocLink l;
        l.sim.SetResponder([](const SimRequest&) { return Bytes{}; });
        EXPECT_EQ(l.doc.SendReset(1), 2);  // no reply is not "No Response" here
        EXPECT_FALSE(l.channel.IsOpen());
    }
}

TEST(CommandProtocol, AwaitModuleTakesWhateverComes) {
    SimOptions o;
    o.restartSilenceMs = 50;
    DocLink l(o);
    l.channel.Close();
    l.sim.Restart();
    CProgressWnd progress;
    progress.SetRange(0, 26);
    EXPECT_EQ(l.doc.AwaitModule(0, l.port, &progress, nullptr), 0);
    EXPECT_EQ(progress.Pos(), 2);
    EXPECT_EQ(l.channel.GetReplyWait(), 20);
    EXPECT_TRUE(l.sim.Requests().empty());  // nothing was sent
}

TEST(CommandProtocol, DisconnectClosesAndForgetsTheHardwareAddress) {
    DocLink l;
    l.doc.SET(QorDoc::kIdHwAddress, "00:00:BC:1A:2B:3C");
    l.doc.Disconnect();
    EXPECT_EQ(l.doc.GET(QorDoc::kIdHwAddress), "");
    EXPECT_FALSE(l.channel.IsOpen());
    l.doc.Disconnect();  // closed already: harmless
}

}  // namespace
