#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The module's link framing: DLE STX, the message with every 0x10 doubled, DLE ETX, then a
// CRC-16/ARC over the message and the ETX, low byte first. Pure code, shared by the channel and
// the simulated module.
namespace wire {

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

constexpr size_t kMaxMessage = 2400;  // longest message kept by a receiver
constexpr size_t kHeaderSize = 6;     // destination, source, command, status, transaction

uint16_t Crc16Arc(const uint8_t* data, size_t n, uint16_t crc = 0);
uint16_t Crc16Arc(const std::vector<uint8_t>& data, uint16_t crc = 0);

// The checksum a frame carries for these message bytes.
uint16_t FrameChecksum(const uint8_t* message, size_t n);

std::vector<uint8_t> BuildFrame(const uint8_t* message, size_t n);
inline std::vector<uint8_t> BuildFrame(const std::vector<uint8_t>& message) {
    return BuildFrame(message.data(), message.size());
}

}  // namespace wire

// Hex text as the layers above the link speak it: digits in pairs, high digit first; any other
// character is skipped while a digit is awaited and a lone last digit is dropped.
std::vector<uint8_t> HexToBytes(const std::string& hex);
// Two upper-case digits per byte, no separators.
std::string BytesToHex(const uint8_t* bytes, size_t n);
inline std::string BytesToHex(const std::vector<uint8_t>& bytes) {
    return BytesToHex(bytes.data(), bytes.size());
}

namespace wire {

// The receiver's side of the framing, one byte at a time: states 0 idle, 1 DLE outside a frame,
// 2 inside a frame, 3 DLE inside a frame, 4 checksum low byte next, 5 checksum high byte next.
class ReceiveMachine {
public:
    enum class Action {
        None,
        LinkAck,      // DLE ACK arrived
        LinkNak,      // DLE NAK arrived
        Enquiry,      // DLE ENQ arrived
        Reject,       // an unexpected DLE sequence; the frame so far is dropped
        BadChecksum,  // a complete frame whose checksum does not match
        Accept,       // a good frame with a new header: Message() holds it
        Repeat,       // a good frame with the same header as the last one
    };

    Action Feed(uint8_t byte);

    int State() const { return state_; }
    const std::vector<uint8_t>& Message() const { return buffer_; }
    // Back to idle with empty buffers and a zero last header.
    void Reset();
    // Lets the next frame with the last header through again (for a receiver that refused a good
    // frame and expects it once more).
    void ForgetLastHeader() { lastHeader_.fill(0); }

private:
    int state_ = 0;
    uint16_t crc_ = 0;
    uint8_t checksumLow_ = 0;
    std::vector<uint8_t> buffer_;
    std::array<uint8_t, kHeaderSize> lastHeader_{};
};

}  // namespace wire
