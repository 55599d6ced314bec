#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/params.h"
#include "model/qor_doc.h"

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}

// Encodes identifier id's current value and returns the bytes produced.
std::vector<uint8_t> Encode(QorDoc& doc, int id) {
    CParam* p = doc.ParamOf(QorDoc::KeyOf(id));
    std::vector<uint8_t> buf(p->Size(), 0xEE);
    int n = p->ToDevice(buf.data(), doc);
    buf.resize(n);
    return buf;
}

std::string Decode(QorDoc& doc, int id, const std::string& hex) {
    doc.ParamOf(QorDoc::KeyOf(id))->FromDevice(doc, hex);
    return doc.GET(id);
}

TEST(HexToBytes, PairsSkipsNonDigitsAndDropsLoneDigit) {
    EXPECT_EQ(HexToBytes("00ff1A"), (std::vector<uint8_t>{0x00, 0xFF, 0x1A}));
    EXPECT_EQ(HexToBytes("0 0-f\nF"), (std::vector<uint8_t>{0x00, 0xFF}));
    EXPECT_EQ(HexToBytes("ABC"), (std::vector<uint8_t>{0xAB}));
    EXPECT_TRUE(HexToBytes("").empty());
}

TEST(CountedText, ShortTextsEncodeWithSwappedPairs) {
    struct Case {
        std::string text, hexPrefix;
    } cases[] = {
        {"AB", "0200" "4241" "0000"},
        {"ABC", "0300" "4241" "0043" "0000"},
        {"", "0000" "0000"},
    };
    for (const auto& c : cases) {
        QorDoc doc;
        doc.SET(176, c.text);
        auto bytes = Encode(doc, 176);
        ASSERT_EQ(bytes.size(), 84u);
        EXPECT_EQ(Hex(bytes).substr(0, c.hexPrefix.size()), c.hexPrefix) << c.text;
        EXPECT_EQ(Hex(bytes).find_first_not_of('0', c.hexPrefix.size()), std::string::npos);
        EXPECT_EQ(Decode(doc, 176, Hex(bytes)), c.text);
    }
}

TEST(CountedText, EightyTwoCharactersFillTheFormAndComeBack) {
    QorDoc doc;
    std::string text;
    for (int i = 0; i < 82; ++i) text.push_back(static_cast<char>('!' + i));
    doc.SET(100, text);
    auto bytes = Encode(doc, 100);
    EXPECT_EQ(bytes[0], 82);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], text[1]);
    EXPECT_EQ(bytes[3], text[0]);
    EXPECT_EQ(bytes[83], text[80]);
    EXPECT_EQ(Decode(doc, 100, Hex(bytes)), text);
}

TEST(CountedText, LongerTextIsCutAt82) {
    QorDoc doc;
    doc.SET(100, std::string(200, 'x'));
    auto bytes = Encode(doc, 100);
    ASSERT_EQ(bytes.size(), 84u);
    EXPECT_EQ(bytes[0], 82);
    EXPECT_EQ(Decode(doc, 100, Hex(bytes)), std::string(82, 'x'));
}

TEST(CountedText, ShortReplyReadsAsZeros) {
    QorDoc doc;
    EXPECT_EQ(Decode(doc, 176, "03004241"), "AB");
    EXPECT_EQ(Decode(doc, 176, "0300"), "");
    EXPECT_EQ(Decode(doc, 176, ""), "");
}

TEST(CountedText, ReadOnlyTextProducesNothingButDecodes) {
    QorDoc doc;
    doc.SET(170, "FW=3.12");
    EXPECT_TRUE(Encode(doc, 170).empty());
    EXPECT_EQ(Decode(doc, 170, "07005746333D312E0032"), "FW=3.12");
}

TEST(Baud, EncodingFollowsRoutingFlag) {
    struct Case {
        std::string baud, routing;
        uint8_t code;
    } cases[] = {
        {"Auto", "NO", 0},     {"Auto", "YES", 100}, {"Auto", "", 100},
        {"1200", "NO", 1},     {"57600", "NO", 7},   {"57600", "YES", 107},
        {"9600", "", 104},     {"bogus", "NO", 0},   {"19200", "YES", 105},
    };
    for (const auto& c : cases) {
        QorDoc doc;
        doc.SET(183, c.baud);
        doc.SET(186, c.routing);
        EXPECT_EQ(Encode(doc, 183), (std::vector<uint8_t>{c.code, 0}))
            << c.baud << "/" << c.routing;
    }
}

TEST(Baud, DecodingSetsRoutingThroughUpdate) {
    struct Case {
        std::string hex, baud, routing;
    } cases[] = {
        {"6500", "1200", "YES"}, {"6B00", "57600", "YES"}, {"6400", "Auto", "YES"},
        {"0400", "9600", "NO"},  {"0000", "Auto", "NO"},   {"0800", "Auto", "NO"},
        {"FF00", "Auto", "NO"},
    };
    for (const auto& c : cases) {
        QorDoc doc;
        EXPECT_EQ(Decode(doc, 183, c.hex), c.baud) << c.hex;
        EXPECT_EQ(doc.GET(186), c.routing) << c.hex;
        // Routing is set with UPDATE, so its key is queued like any stored value.
        EXPECT_TRUE(doc.IsQueued(0xF6)) << c.hex;
    }
}

TEST(ListCodes, SpeedDuplexAndIpConfigBothWays) {
    struct Case {
        int id;
        std::string text;
        uint8_t code;
    } cases[] = {
        {184, "Auto Negotiate", 0},       {184, "10 Mbps half-duplex", 1},
        {184, "10 Mbps full-duplex", 2},  {184, "100 Mbps half-duplex", 3},
        {184, "100 Mbps full-duplex", 4}, {182, "Bootp", 0},
        {182, "Soft", 1},                 {182, "Bootp Fallback", 2},
        {182, "Bootp Always", 3},         {182, "DHCP", 4},
    };
    for (const auto& c : cases) {
        QorDoc doc;
        doc.SET(c.id, c.text);
        EXPECT_EQ(Encode(doc, c.id), (std::vector<uint8_t>{c.code, 0})) << c.text;
        doc.SET(c.id, "");
        EXPECT_EQ(Decode(doc, c.id, Hex({c.code, 0})), c.text);
    }
    QorDoc doc;
    doc.SET(184, "Half");
    EXPECT_EQ(Encode(doc, 184), (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(Decode(doc, 182, "0500"), "Bootp");
    EXPECT_EQ(Decode(doc, 184, "0900"), "Auto Negotiate");
}

TEST(Flag, BothWays) {
    QorDoc doc;
    doc.SET(179, "1");
    EXPECT_EQ(Encode(doc, 179), (std::vector<uint8_t>{1, 0}));
    doc.SET(179, "YES");
    EXPECT_EQ(Encode(doc, 179), (std::vector<uint8_t>{0, 0}));
    EXPECT_EQ(Decode(doc, 179, "0000"), "0");
    EXPECT_EQ(Decode(doc, 179, "0100"), "1");
}

TEST(IpAddress, EncodesOctetsInEvenBytes) {
    struct Case {
        std::string text;
        std::vector<uint8_t> bytes;
        std::string decoded;
    } cases[] = {
        {"192.168.001.010", {0xC0, 0, 0xA8, 0, 1, 0, 0x0A, 0}, "192.168.001.010"},
        {"1.2.3.4", {1, 0, 2, 0, 3, 0, 4, 0}, "001.002.003.004"},
        {"255.255.255.000", {255, 0, 255, 0, 255, 0, 0, 0}, "255.255.255.000"},
        {"000.000.000.000", {0, 0, 0, 0, 0, 0, 0, 0}, "000.000.000.000"},
        {"256.0.0.1", {0, 0, 0, 0, 0, 0, 1, 0}, "000.000.000.001"},  // modulo 256
        {"1.2.3.4.5", {1, 0, 2, 0, 3, 0, 4, 0}, "001.002.003.004"},  // never past the form
    };
    for (const auto& c : cases) {
        QorDoc doc;
        doc.SET(0, c.text);
        EXPECT_EQ(Encode(doc, 0), c.bytes) << c.text;
        EXPECT_EQ(Decode(doc, 0, Hex(c.bytes)), c.decoded);
    }
}

TEST(AddressBlock, FiveFieldsInIdentifierOrder) {
    QorDoc doc;
    const char* texts[] = {"010.001.002.003", "255.255.255.000", "010.001.002.254",
                           "000.000.000.000", "255.000.000.255"};
    for (int i = 0; i < 5; ++i) doc.SET(171 + i, texts[i]);
    auto bytes = Encode(doc, 173);
    ASSERT_EQ(bytes.size(), 40u);
    EXPECT_EQ(Hex(bytes), "0A00010002000300" "FF00FF00FF000000" "0A0001000200FE00"
                          "0000000000000000" "FF0000000000FF00");
    QorDoc other;
    other.ParamOf(0xFA)->FromDevice(other, Hex(bytes));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(other.GET(171 + i), texts[i]);
}

TEST(HardwareAddress, FormatsTwelveCharacters) {
    QorDoc doc;
    EXPECT_EQ(Decode(doc, 185, "0000BC1A2B3C"), "00:00:BC:1A:2B:3C");
    EXPECT_EQ(Decode(doc, 185, "0000BC1A2B3C99"), "00:00:BC:1A:2B:3C");
    EXPECT_TRUE(Encode(doc, 185).empty());
}

TEST(LocalParams, NeverTravel) {
    QorDoc doc;
    doc.SET(186, "YES");
    EXPECT_TRUE(Encode(doc, 186).empty());
    EXPECT_EQ(doc.ParamOf(0xF6)->Size(), 2);
    EXPECT_EQ(Decode(doc, 187, "0100"), "");
}

TEST(Sizes, EveryKindHasItsFormSize) {
    QorDoc doc;
    struct Case {
        int id, size;
    } cases[] = {{0, 8},    {49, 8},   {50, 84},  {99, 84},  {100, 84}, {169, 84},
                 {170, 84}, {171, 40}, {176, 84}, {177, 84}, {178, 84}, {179, 2},
                 {180, 8},  {181, 8},  {182, 2},  {183, 2},  {184, 2},  {185, 6},
                 {186, 2},  {187, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(doc.ParamOf(QorDoc::KeyOf(c.id))->Size(), c.size) << c.id;
    }
}

}  // namespace
