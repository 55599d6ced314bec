#include "link/frame.h"

#include <algorithm>

namespace wire {

uint16_t Crc16Arc(const uint8_t* data, size_t n, uint16_t crc) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        }
    }
    return crc;
}

uint16_t Crc16Arc(const std::vector<uint8_t>& data, uint16_t crc) {
    return Crc16Arc(data.data(), data.size(), crc);
}

uint16_t FrameChecksum(const uint8_t* message, size_t n) {
    const uint8_t etx = kEtx;
    return Crc16Arc(&etx, 1, Crc16Arc(message, n));
}

std::vector<uint8_t> BuildFrame(const uint8_t* message, size_t n) {
    std::vector<uint8_t> frame;
    frame.reserve(2 * n + 6);
    frame.push_back(kDle);
    frame.push_back(kStx);
    for (size_t i = 0; i < n; ++i) {
        frame.push_back(message[i]);
        if (message[i] == kDle) frame.push_back(kDle);
    }
    frame.push_back(kDle);
    frame.push_back(kEtx);
    uint16_t crc = FrameChecksum(message, n);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

ReceiveMachine::Action ReceiveMachine::Feed(uint8_t byte) {
    auto append = [this](uint8_t b) {
        // Bytes past the longest message still count in the checksum.
        if (buffer_.size() < kMaxMessage) buffer_.push_back(b);
        crc_ = Crc16Arc(&b, 1, crc_);
    };
    switch (state_) {
        case 0:
            if (byte == kDle) state_ = 1;
            return Action::None;
        case 1:
            state_ = 0;
            switch (byte) {
                case kAck:
                    return Action::LinkAck;
                case kNak:
                    return Action::LinkNak;
                case kEnq:
                    return Action::Enquiry;
                case kStx:
                    buffer_.clear();
                    crc_ = 0;
                    state_ = 2;
                    return Action::None;
                default:
                    buffer_.clear();
                    return Action::Reject;
            }
        case 2:
            if (byte == kDle) {
                state_ = 3;
            } else {
                append(byte);
            }
            return Action::None;
        case 3:
            state_ = 2;
            switch (byte) {
                case kDle:
                    append(byte);
                    return Action::None;
                case kEtx: {
                    uint8_t etx = kEtx;
                    crc_ = Crc16Arc(&etx, 1, crc_);
                    state_ = 4;
                    return Action::None;
                }
                case kAck:
                    return Action::LinkAck;
                case kNak:
                    return Action::LinkNak;
                case kEnq:
                    return Action::Enquiry;
                default:
                    buffer_.clear();
                    state_ = 0;
                    return Action::Reject;
            }
        case 4:
            checksumLow_ = byte;
            state_ = 5;
            return Action::None;
        default: {
            state_ = 0;
            uint16_t received = static_cast<uint16_t>(byte << 8 | checksumLow_);
            if (received != crc_) {
                buffer_.clear();
                return Action::BadChecksum;
            }
            std::array<uint8_t, kHeaderSize> header{};
            std::copy_n(buffer_.begin(), std::min(buffer_.size(), kHeaderSize), header.begin());
            bool repeat = header == lastHeader_;
            lastHeader_ = header;
            if (repeat) {
                buffer_.clear();
                return Action::Repeat;
            }
            return Action::Accept;
        }
    }
}

void ReceiveMachine::Reset() {
    state_ = 0;
    crc_ = 0;
    checksumLow_ = 0;
    buffer_.clear();
    lastHeader_.fill(0);
}

}  // namespace wire

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::vector<uint8_t> HexToBytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    int high = -1;
    for (char c : hex) {
        int d = HexDigit(c);
        if (d < 0) continue;
        if (high < 0) {
            high = d;
        } else {
            bytes.push_back(static_cast<uint8_t>(high * 16 + d));
            high = -1;
        }
    }
    return bytes;
}

std::string BytesToHex(const uint8_t* bytes, size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.resize(2 * n);
    for (size_t i = 0; i < n; ++i) {
        hex[2 * i] = kDigits[bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return hex;
}
