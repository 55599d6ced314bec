// The receiver's framing state machine fed arbitrary bytes, mixed with well-formed frames of
// arbitrary messages. Each byte's action and next state are compared with a reference written
// straight from the state table; a frame built for a message and fed from the idle state must
// come back as that message (or as a repeat of it). The hex text conversions go round trip.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_host.h"
#include "link/frame.h"

namespace {

using Action = wire::ReceiveMachine::Action;

// The state table, written out plainly.
struct Reference {
    int state = 0;
    uint16_t crc = 0;
    uint8_t low = 0;
    std::vector<uint8_t> buf;
    std::array<uint8_t, 6> last{};

    void Add(uint8_t b) {
        if (buf.size() < wire::kMaxMessage)
            buf.push_back(b);
        crc = wire::Crc16Arc(&b, 1, crc);
    }

    Action Feed(uint8_t b) {
        switch (state) {
            case 0:
                if (b == 0x10)
                    state = 1;
                return Action::None;
            case 1:
                state = 0;
                if (b == 0x06) return Action::LinkAck;
                if (b == 0x15) return Action::LinkNak;
                if (b == 0x05) return Action::Enquiry;
                if (b == 0x02) {
                    buf.clear();
                    crc = 0;
                    state = 2;
                    return Action::None;
                }
                buf.clear();
                return Action::Reject;
            case 2:
                if (b == 0x10)
                    state = 3;
                else
                    Add(b);
                return Action::None;
            case 3:
                state = 2;
                if (b == 0x10) {
                    Add(b);
                    return Action::None;
                }
                if (b == 0x03) {
                    uint8_t etx = 0x03;
                    crc = wire::Crc16Arc(&etx, 1, crc);
                    state = 4;
                    return Action::None;
                }
                if (b == 0x06) return Action::LinkAck;
                if (b == 0x15) return Action::LinkNak;
                if (b == 0x05) return Action::Enquiry;
                buf.clear();
                state = 0;
                return Action::Reject;
            case 4:
                low = b;
                state = 5;
                return Action::None;
            default: {
                state = 0;
                if (static_cast<uint16_t>(b * 256 + low) != crc) {
                    buf.clear();
                    return Action::BadChecksum;
                }
                std::array<uint8_t, 6> h{};
                std::copy_n(buf.begin(), std::min<size_t>(buf.size(), 6), h.begin());
                bool repeat = h == last;
                last = h;
                if (repeat) {
                    buf.clear();
                    return Action::Repeat;
                }
                return Action::Accept;
            }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    wire::ReceiveMachine rx;
    Reference ref;

    auto feed = [&](uint8_t b) {
        Action got = rx.Feed(b);
        Action want = ref.Feed(b);
        FUZZ_CHECK(got == want);
        FUZZ_CHECK(rx.State() == ref.state);
        FUZZ_CHECK(rx.Message().size() <= wire::kMaxMessage);
        if (got == Action::Accept)
            FUZZ_CHECK(rx.Message() == ref.buf);
        return got;
    };

    while (!in.Empty()) {
        uint8_t op = in.Byte();
        size_t n = in.Byte();
        if (op & 0x80)
            n = n * 16;  // now and then a message past the receiver's limit
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < n && !in.Empty(); ++i)
            bytes.push_back(in.Byte());
        if (op & 1) {
            std::vector<uint8_t> frame = wire::BuildFrame(bytes);
            FUZZ_CHECK(frame.size() >= bytes.size() + 6);
            // Bit 1: damage one byte of the frame.
            if (op & 2) {
                size_t at = in.Byte() % frame.size();
                frame[at] ^= static_cast<uint8_t>(in.Byte() | 1);
            }
            const bool clean = (op & 2) == 0 && rx.State() == 0;
            Action last = Action::None;
            for (size_t i = 0; i < frame.size(); ++i) {
                last = feed(frame[i]);
                if (clean && i + 1 < frame.size())
                    FUZZ_CHECK(last == Action::None);
            }
            if (clean) {
                FUZZ_CHECK(last == Action::Accept || last == Action::Repeat);
                FUZZ_CHECK(rx.State() == 0);
                if (last == Action::Accept) {
                    size_t keep = std::min(bytes.size(), wire::kMaxMessage);
                    FUZZ_CHECK(rx.Message().size() == keep);
                    FUZZ_CHECK(std::equal(bytes.begin(), bytes.begin() + keep,
                                          rx.Message().begin()));
                }
            }
        } else {
            for (uint8_t b : bytes)
                feed(b);
        }
        if (op & 4) {
            std::string hex = BytesToHex(bytes);
            FUZZ_CHECK(hex.size() == 2 * bytes.size());
            FUZZ_CHECK(HexToBytes(hex) == bytes);
            std::string text(bytes.begin(), bytes.end());
            FUZZ_CHECK(HexToBytes(text).size() <= text.size() / 2);
        }
        if ((op & 0x78) == 0x78) {
            rx.Reset();
            ref = Reference{};
        } else if ((op & 0x78) == 0x70) {
            rx.ForgetLastHeader();
            ref.last.fill(0);
        }
    }
    return 0;
}
