#include "link/frame.h"

#include <gtest/gtest.h>

namespace {

using Action = wire::ReceiveMachine::Action;
using Bytes = std::vector<uint8_t>;

TEST(Frame, WorkedExamples) {
    struct Case {
        Bytes message, frame;
    } cases[] = {
        {{0xFE, 0x00, 0x01, 0x00, 0x34, 0x12, 0x00, 0x00, 0x06},
         {0x10, 0x02, 0xFE, 0x00, 0x01, 0x00, 0x34, 0x12, 0x00, 0x00, 0x06, 0x10, 0x03, 0x5A,
          0x2C}},
        {{0xF8, 0x00, 0x08, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00},
         {0x10, 0x02, 0xF8, 0x00, 0x08, 0x00, 0x10, 0x10, 0x00, 0x00, 0x01, 0x00, 0x10, 0x03, 0x96,
          0xDE}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wire::BuildFrame(c.message), c.frame);
}

TEST(Frame, ChecksumBytesAreNeverDoubled) {
    // Search a message whose checksum holds a 0x10 byte: it must appear once.
    for (int b = 0; b < 256; ++b) {
        Bytes m = {0x01, static_cast<uint8_t>(b)};
        uint16_t crc = wire::FrameChecksum(m.data(), m.size());
        if ((crc & 0xFF) != 0x10 && (crc >> 8) != 0x10) continue;
        Bytes f = wire::BuildFrame(m);
        EXPECT_EQ(f[f.size() - 2], crc & 0xFF);
        EXPECT_EQ(f[f.size() - 1], crc >> 8);
        EXPECT_EQ(f.size(), 2u + m.size() + (b == 0x10) + 4u);
        return;
    }
    FAIL() << "no message with a 0x10 in its checksum";
}

TEST(HexText, BothDirections) {
    EXPECT_EQ(HexToBytes("0aFf10"), (Bytes{0x0A, 0xFF, 0x10}));
    EXPECT_EQ(HexToBytes("4 1-0x0"), (Bytes{0x41, 0x00}));  // others skipped, lone digit dropped
    EXPECT_EQ(HexToBytes(""), Bytes{});
    EXPECT_EQ(BytesToHex(Bytes{0x00, 0xAB, 0x10, 0xFF}), "00AB10FF");
}

// Feeds bytes and returns every action that is not None.
std::vector<Action> Feed(wire::ReceiveMachine& m, const Bytes& bytes) {
    std::vector<Action> out;
    for (uint8_t b : bytes) {
        Action a = m.Feed(b);
        if (a != Action::None) out.push_back(a);
    }
    return out;
}

TEST(ReceiveMachine, StateTableRows) {
    struct Row {
        const char* name;
        Bytes prefix;  // brings the machine into the state
        int stateBefore;
        uint8_t byte;
        Action action;
        int stateAfter;
    } rows[] = {
        {"0 DLE", {}, 0, 0x10, Action::None, 1},
        {"0 other", {}, 0, 0x41, Action::None, 0},
        {"1 ACK", {0x10}, 1, 0x06, Action::LinkAck, 0},
        {"1 NAK", {0x10}, 1, 0x15, Action::LinkNak, 0},
        {"1 ENQ", {0x10}, 1, 0x05, Action::Enquiry, 0},
        {"1 STX", {0x10}, 1, 0x02, Action::None, 2},
        {"1 other", {0x10}, 1, 0x41, Action::Reject, 0},
        {"2 DLE", {0x10, 0x02}, 2, 0x10, Action::None, 3},
        {"2 other", {0x10, 0x02}, 2, 0x41, Action::None, 2},
        {"3 DLE", {0x10, 0x02, 0x10}, 3, 0x10, Action::None, 2},
        {"3 ETX", {0x10, 0x02, 0x10}, 3, 0x03, Action::None, 4},
        {"3 ACK", {0x10, 0x02, 0x10}, 3, 0x06, Action::LinkAck, 2},
        {"3 NAK", {0x10, 0x02, 0x10}, 3, 0x15, Action::LinkNak, 2},
        {"3 ENQ", {0x10, 0x02, 0x10}, 3, 0x05, Action::Enquiry, 2},
        {"3 STX", {0x10, 0x02, 0x10}, 3, 0x02, Action::Reject, 0},
        {"3 other", {0x10, 0x02, 0x10}, 3, 0x41, Action::Reject, 0},
        {"4 any", {0x10, 0x02, 0x10, 0x03}, 4, 0x99, Action::None, 5},
        {"5 bad", {0x10, 0x02, 0x10, 0x03, 0x00}, 5, 0x00, Action::BadChecksum, 0},
    };
    for (const auto& r : rows) {
        wire::ReceiveMachine m;
        EXPECT_TRUE(Feed(m, r.prefix).empty()) << r.name;
        ASSERT_EQ(m.State(), r.stateBefore) << r.name;
        EXPECT_EQ(m.Feed(r.byte), r.action) << r.name;
        EXPECT_EQ(m.State(), r.stateAfter) << r.name;
    }
}

TEST(ReceiveMachine, UndoublesAndAcceptsAGoodFrame) {
    Bytes message = {0x00, 0xF8, 0x41, 0x00, 0x10, 0x10, 0x10, 0x03};
    wire::ReceiveMachine m;
    EXPECT_EQ(Feed(m, wire::BuildFrame(message)), std::vector<Action>{Action::Accept});
    EXPECT_EQ(m.Message(), message);
}

TEST(ReceiveMachine, ControlSequencesInsideAFrameLetItContinue) {
    Bytes message = {0x00, 0xFE, 0x41, 0x00, 0x01, 0x02, 0xAA};
    Bytes frame = wire::BuildFrame(message);
    frame.insert(frame.begin() + 5, {0x10, 0x06, 0x10, 0x15, 0x10, 0x05});
    wire::ReceiveMachine m;
    EXPECT_EQ(Feed(m, frame), (std::vector<Action>{Action::LinkAck, Action::LinkNak,
                                                   Action::Enquiry, Action::Accept}));
    EXPECT_EQ(m.Message(), message);
}

TEST(ReceiveMachine, StxInsideAFrameDropsItAndTheNextFrameStillComesThrough) {
    Bytes good = {0x00, 0xFE, 0x41, 0x00, 0x05, 0x00};
    Bytes bytes = {0x10, 0x02, 0x01, 0x02, 0x10, 0x02};
    Bytes frame = wire::BuildFrame(good);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    wire::ReceiveMachine m;
    EXPECT_EQ(Feed(m, bytes), (std::vector<Action>{Action::Reject, Action::Accept}));
    EXPECT_EQ(m.Message(), good);
}

TEST(ReceiveMachine, RepeatedHeaderIsARepeatUntilAnotherComes) {
    Bytes a = {0x00, 0xFE, 0x06, 0x00, 0x07, 0x00, 0x01};
    Bytes a2 = {0x00, 0xFE, 0x06, 0x00, 0x07, 0x00, 0x02};  // same header, other data
    Bytes b = {0x00, 0xFE, 0x06, 0x00, 0x08, 0x00, 0x01};
    wire::ReceiveMachine m;
    EXPECT_EQ(Feed(m, wire::BuildFrame(a)), std::vector<Action>{Action::Accept});
    EXPECT_EQ(Feed(m, wire::BuildFrame(a2)), std::vector<Action>{Action::Repeat});
    EXPECT_EQ(Feed(m, wire::BuildFrame(b)), std::vector<Action>{Action::Accept});
    EXPECT_EQ(Feed(m, wire::BuildFrame(a)), std::vector<Action>{Action::Accept});
    m.ForgetLastHeader();
    EXPECT_EQ(Feed(m, wire::BuildFrame(a)), std::vector<Action>{Action::Accept});
}

TEST(ReceiveMachine, OverlongFrameIsCutButItsChecksumStillCounts) {
    Bytes big(3000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 7 + 1);
    wire::ReceiveMachine m;
    EXPECT_EQ(Feed(m, wire::BuildFrame(big)), std::vector<Action>{Action::Accept});
    ASSERT_EQ(m.Message().size(), wire::kMaxMessage);
    EXPECT_TRUE(std::equal(m.Message().begin(), m.Message().end(), big.begin()));
}

TEST(ReceiveMachine, NoiseBetweenFramesIsIgnored) {
    Bytes noise = {0x00, 0xFF, 0x03, 0x02, 0x41};
    Bytes message = {0x00, 0xFE, 0x41, 0x00, 0x09, 0x00};
    Bytes frame = wire::BuildFrame(message);
    noise.insert(noise.end(), frame.begin(), frame.end());
    wire::ReceiveMachine m;
    EXPECT_EQ(Feed(m, noise), std::vector<Action>{Action::Accept});
}

}  // namespace
