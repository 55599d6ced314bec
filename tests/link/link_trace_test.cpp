// A kept link trace: whole lines as --trace prints them, only the end of a long one.
#include "link/link_trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "link/frame.h"

namespace {

TEST(LinkTraceRecorder, KeepsTheLastLinesWholeWithinItsLimit) {
    uint8_t frame[] = {0x10, 0x02, 0x00, 0xFF, 0x08, 0x00, 0x10, 0x03};
    const std::regex line(R"(\d\d:\d\d:\d\d\.\d{3} [<>] 100200FF08[0-9A-F]{2}1003)");
    struct Case {
        size_t limit;
        int lines;
        bool cut;  // the first lines are left out
    } cases[] = {{4096, 10, false}, {4096, 1000, true}, {100, 3, false}, {100, 4, true}};
    const size_t lineSize = 32;  // time, direction, 16 digits, line end
    for (const Case& c : cases) {
        LinkTraceRecorder recorder(c.limit);
        SerialChannel::TraceHook hook = recorder.Hook();
        for (int i = 0; i < c.lines; ++i) {
            frame[5] = static_cast<uint8_t>(i);  // which line it is
            hook(i % 2 == 0, frame, sizeof frame);
        }
        std::string kept = recorder.Take();
        std::istringstream in(kept);
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first == LinkTraceRecorder::kEarlierLeftOut, c.cut) << c.lines;
        int whole = first == LinkTraceRecorder::kEarlierLeftOut ? 0 : 1;
        std::string last = first;
        for (std::string l; std::getline(in, l); ++whole) {
            EXPECT_TRUE(std::regex_match(l, line)) << l;
            last = l;
        }
        EXPECT_EQ(last.substr(last.size() - 6, 2), BytesToHex(frame + 5, 1)) << c.lines;
        EXPECT_LE(kept.size() - (c.cut ? first.size() + 1 : 0), c.limit);
        EXPECT_EQ(kept.back(), '\n');
        // All of them, or as many of the last ones as fit.
        EXPECT_EQ(whole, c.cut ? static_cast<int>(c.limit / lineSize) : c.lines) << c.lines;
        EXPECT_EQ(recorder.Take(), "");
    }
}

}  // namespace
