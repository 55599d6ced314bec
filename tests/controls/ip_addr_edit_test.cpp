#include "controls/ip_addr_edit.h"

#include <gtest/gtest.h>

#include "support/scripted_ui_host.h"

namespace {

const std::string kMissingValue = "Missing value in IP address.";
const std::string kThreeDigits =
    "Please enter 3 digit characters per octet.\n"
    "Range of possible correct values are 000 thru 255.";
const std::string kSubnet =
    "When Subnet IP address is not 0.0.0.0:\n"
    "The First octet must be 255,\n"
    "Followed by a continuous [binary] series of 1's until,\n"
    "Followed by a continuous [binary] series of 0's.\n"
    "Fourth octet of Subnet IP address cannot be 255.\n"
    "Please specify another value for this field.";

constexpr auto kHost = IpFieldKind::HostAddress;
constexpr auto kSubnetKind = IpFieldKind::SubnetMask;
constexpr auto kPlain = IpFieldKind::PlainMask;

TEST(AddressCheck, OutcomeOfEveryCodeAndKind) {
    struct Case {
        const char* text;
        IpFieldKind kind;
        int code;   // 0: passes
        int group;  // failing group
        int selStart, selEnd;
    } cases[] = {
        {"192.168.001.010", kHost, 0, -1, 0, 0},
        {"___.___.___.___", kHost, -8, 0, 0, 3},
        {"", kHost, -1, 0, 0, 0},
        {".168.001.010", kHost, -1, 0, 0, 0},
        {"192..001.010", kHost, -1, 1, 4, 4},
        {"192.168.001.", kHost, -1, 3, 12, 12},
        {"192.168.001", kHost, -2, 2, 8, 11},
        {"192.168", kHost, -2, 1, 4, 7},
        {"192", kHost, -2, 0, 0, 3},
        {"192.168.001.0101", kHost, -3, 3, 12, 16},
        {"192.168.001.01.", kHost, -3, 3, 12, 15},
        {"010.000.000.001x", kHost, -3, 3, 12, 16},
        {"127.000.000.001", kHost, -4, 0, 0, 3},
        {"224.000.000.001", kHost, -4, 0, 0, 3},
        {"223.255.255.254", kHost, 0, -1, 0, 0},
        {"000.000.001.000", kHost, -5, 2, 8, 11},
        {"000.001.000.000", kHost, -5, 1, 4, 7},
        {"000.000.000.000", kHost, 0, -1, 0, 0},
        {"010.000.000.255", kHost, -6, 3, 12, 15},
        {"010.000.000.255", kPlain, 0, -1, 0, 0},
        {"169.254.001.001", kHost, -9, 1, 4, 7},
        {"169.255.001.001", kHost, -9, 1, 4, 7},
        {"169.253.001.001", kHost, 0, -1, 0, 0},
        {"300.000.000.001", kHost, 300, 0, 0, 3},
        {"010.256.000.001", kPlain, 256, 1, 4, 7},
        {"999.999.999.999", kPlain, 999, 0, 0, 3},
        {"10.1.2.3", kHost, -8, 0, 0, 2},
        {"010.0a1.002.003", kPlain, -8, 1, 4, 7},
        {"010.001.002.03", kPlain, -8, 3, 12, 14},
        {"010.001.002.0_3", kPlain, -8, 3, 12, 15},
        {"255.255.255.255", kPlain, 0, -1, 0, 0},
        {"000.000.000.000", kSubnetKind, 0, -1, 0, 0},
        {"255.000.000.000", kSubnetKind, 0, -1, 0, 0},
        {"255.255.255.252", kSubnetKind, 0, -1, 0, 0},
        {"255.255.255.254", kSubnetKind, 0, -1, 0, 0},
        {"255.255.128.000", kSubnetKind, 0, -1, 0, 0},
        {"254.000.000.000", kSubnetKind, -7, 0, 0, 3},
        {"255.000.255.000", kSubnetKind, -7, 2, 8, 11},
        {"255.127.000.000", kSubnetKind, -7, 1, 4, 7},
        {"255.255.255.255", kSubnetKind, -7, 3, 12, 15},
        {"000.255.000.000", kSubnetKind, -7, 1, 4, 7},
        {"255.255.255.001", kSubnetKind, -7, 3, 12, 15},
        {"127.000.000.001", kSubnetKind, -7, 0, 0, 3},
    };
    for (const auto& c : cases) {
        AddressCheck r = CheckAddressText(c.text, c.kind);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(r.ok, c.code == 0);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.group, c.group);
        if (!r.ok) {
            EXPECT_EQ(r.selStart, c.selStart);
            EXPECT_EQ(r.selEnd, c.selEnd);
        }
    }
}

TEST(AddressCheck, OctetsOfAPassingText) {
    AddressCheck r = CheckAddressText("192.168.001.010", kHost);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.octets, (std::array<uint8_t, 4>{192, 168, 1, 10}));
}

TEST(AddressCheck, Messages) {
    EXPECT_EQ(AddressCheckMessage(-1), kMissingValue);
    EXPECT_EQ(AddressCheckMessage(-2), "Missing IP address '.' delimiter.");
    EXPECT_EQ(AddressCheckMessage(-3), "Extraneous IP address characters.");
    EXPECT_EQ(AddressCheckMessage(-4),
              "127 and greater than 223 are reserved values for the first IP address octet.\n"
              "Please specify another value between 0 and 223 for this field.");
    EXPECT_EQ(AddressCheckMessage(-5), "All IP address octects must be 0 when first one is.");
    EXPECT_EQ(AddressCheckMessage(-6),
              "255 is a reserved value for the IP address fourth octet.\n"
              "Please specify another value between 0 and 254 for this field.");
    EXPECT_EQ(AddressCheckMessage(-7), kSubnet);
    EXPECT_EQ(AddressCheckMessage(-8), kThreeDigits);
    EXPECT_EQ(AddressCheckMessage(-9),
              "Auto IP values 169.254 and 169.255 are not allowed for the first two IP address "
              "octets.\nPlease specify a value lower than 254 for the second octet.");
    EXPECT_EQ(AddressCheckMessage(300),
              "300 is not a valid entry.\nPlease specify a value between 0 and 255 for this "
              "field.");
    EXPECT_EQ(AddressCheckMessage(0), "");
    EXPECT_EQ(AddressCheckMessage(-10), "");
}

struct Entry : ::testing::Test {
    ScriptedUiHost ui;
    CIPAddrEdit ip{ui};
};

TEST_F(Entry, StartsWithTheAddressMaskAndDotsWhateverTheLocale) {
    EXPECT_EQ(ip.GetText(), "___.___.___.___");
    EXPECT_EQ(ip.PromptChar(), '_');
    EXPECT_EQ(ip.Kind(), IpFieldKind::HostAddress);
}

TEST_F(Entry, SetAndGetAddress) {
    ip.SetAddress(std::array<uint8_t, 4>{10, 1, 0, 200});
    EXPECT_EQ(ip.GetText(), "010.001.000.200");
    std::array<uint8_t, 4> out{9, 9, 9, 9};
    EXPECT_TRUE(ip.GetAddress(out));
    EXPECT_EQ(out, (std::array<uint8_t, 4>{10, 1, 0, 200}));
    EXPECT_FALSE(ip.GetAddress(static_cast<uint8_t*>(nullptr)));
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Entry, AFailedGetShowsOneMessageSelectsTheGroupAndZeroesTheOutput) {
    ip.SetText("192.168.001.255");
    std::array<uint8_t, 4> out{9, 9, 9, 9};
    ui.ExpectMessage();
    EXPECT_FALSE(ip.GetAddress(out));
    EXPECT_EQ(out, (std::array<uint8_t, 4>{0, 0, 0, 0}));
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].caption, "Error");
    EXPECT_EQ(ui.Messages()[0].icon, UiHost::Icon::Exclamation);
    EXPECT_EQ(ui.Messages()[0].buttons, UiHost::Buttons::Ok);
    EXPECT_EQ(ip.SelStart(), 12);
    EXPECT_EQ(ip.SelEnd(), 15);
    EXPECT_EQ(ip.GetText(), "192.168.001.255");
}

TEST_F(Entry, UntouchedEntryFailsWithTheThreeDigitMessage) {
    ui.ExpectMessage();
    EXPECT_FALSE(ip.CheckOnLeave());
    EXPECT_EQ(ui.LastMessage(), kThreeDigits);
    EXPECT_EQ(ip.SelStart(), 0);
    EXPECT_EQ(ip.SelEnd(), 3);
}

TEST_F(Entry, ARefusedLeaveAsksForTheFocus) {
    int focusRequests = 0;
    ip.SetFocusListener([&] { ++focusRequests; });
    ip.SetText("300.000.000.001");
    ui.ExpectMessage();
    EXPECT_FALSE(ip.Leave());
    EXPECT_EQ(ui.LastMessage(),
              "300 is not a valid entry.\nPlease specify a value between 0 and 255 for this "
              "field.");
    EXPECT_EQ(focusRequests, 1);
}

struct SubnetFit : ::testing::Test {
    ScriptedUiHost ui;
    CIPAddrEdit ip{ui, IpFieldKind::HostAddress};
    CIPAddrEdit mask{ui, IpFieldKind::SubnetMask};
    void SetUp() override { ip.SetSubnetField(&mask); }
};

TEST_F(SubnetFit, ClassDefaultsAndNotices) {
    struct Case {
        const char* address;
        const char* maskBefore;
        const char* maskAfter;
        const char* notice;  // null: none
    } cases[] = {
        {"010.000.000.001", "000.000.000.000", "255.000.000.000",
         "NOTICE: The Subnet Mask has been set to a Class A default value."},
        {"010.000.000.001", "255.255.000.000", "255.255.000.000", nullptr},
        {"000.000.000.000", "000.000.000.000", "000.000.000.000", nullptr},
        {"192.168.001.001", "255.255.000.000", "255.255.255.000",
         "NOTICE: The Subnet Mask has been set to a Class C default value."},
        {"192.168.001.001", "255.255.255.128", "255.255.255.128", nullptr},
        {"172.016.000.001", "255.000.000.000", "255.255.000.000",
         "NOTICE: The Subnet Mask has been set to a Class B default value."},
        {"172.016.000.001", "255.255.000.000", "255.255.000.000", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address + std::string(" / ") + c.maskBefore);
        ui.ClearMessages();
        ip.SetText(c.address);
        mask.SetText(c.maskBefore);
        if (c.notice)
            ui.ExpectMessage();
        EXPECT_TRUE(ip.CheckOnLeave());
        EXPECT_EQ(mask.GetText(), c.maskAfter);
        if (c.notice) {
            ASSERT_EQ(ui.Messages().size(), 1u);
            EXPECT_EQ(ui.Messages()[0].text, c.notice);
            EXPECT_EQ(ui.Messages()[0].icon, UiHost::Icon::Information);
            EXPECT_EQ(ui.Messages()[0].caption, UiHost::kProgramName);
        } else {
            EXPECT_TRUE(ui.Messages().empty());
        }
    }
}

TEST_F(SubnetFit, AnInvalidMaskShowsItsErrorThenTheNotice) {
    ip.SetText("010.000.000.001");
    mask.SetText("255.000.255.000");
    ui.ExpectMessage();
    ui.ExpectMessage();
    EXPECT_TRUE(ip.CheckOnLeave());
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(ui.Messages()[0].text, kSubnet);
    EXPECT_EQ(ui.Messages()[1].text,
              "NOTICE: The Subnet Mask has been set to a Class A default value.");
    EXPECT_EQ(mask.GetText(), "255.000.000.000");
}

TEST_F(SubnetFit, AFailingAddressLeavesTheMaskAlone) {
    ip.SetText("127.000.000.001");
    mask.SetText("000.000.000.000");
    ui.ExpectMessage();
    EXPECT_FALSE(ip.CheckOnLeave());
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(mask.GetText(), "000.000.000.000");
}

TEST_F(SubnetFit, OnlyTheQorAddressFieldFits) {
    CIPAddrEdit gateway(ui, IpFieldKind::HostAddress);
    gateway.SetText("010.000.000.001");
    EXPECT_TRUE(gateway.CheckOnLeave());
    EXPECT_EQ(mask.GetText(), "___.___.___.___");
}

TEST(ExchangeAddress, LoadsAndSaves) {
    ScriptedUiHost ui;
    CIPAddrEdit ip(ui, IpFieldKind::PlainMask);
    int focusRequests = 0;
    ip.SetFocusListener([&] { ++focusRequests; });
    std::array<uint8_t, 4> member{255, 255, 0, 1};
    EXPECT_TRUE(ExchangeAddress(ip, member, false));
    EXPECT_EQ(ip.GetText(), "255.255.000.001");
    ip.SetText("001.002.003.004");
    EXPECT_TRUE(ExchangeAddress(ip, member, true));
    EXPECT_EQ(member, (std::array<uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(focusRequests, 0);

    ip.SetText("001.002.003.");
    ui.ExpectMessage();
    EXPECT_FALSE(ExchangeAddress(ip, member, true));
    EXPECT_EQ(ui.Messages().size(), 1u) << "the check's own message only";
    EXPECT_EQ(ui.LastMessage(), kThreeDigits);
    EXPECT_EQ(member, (std::array<uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(ip.SelStart(), 0);
    EXPECT_EQ(ip.SelEnd(), 15);
    EXPECT_EQ(focusRequests, 1);
}

}  // namespace
