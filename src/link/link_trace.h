#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/serial_channel.h"

// What crossed a link, a line each, as a person reads it back: the local time to the
// millisecond, ">" for bytes sent or "<" for bytes received, and the bytes in hex:
//   14:03:27.518 > 0201FE41...
// "qorwctl --trace" prints these lines; a provisioning attempt keeps them in the ledger.

// The local time as a trace line starts: "14:03:27.518".
std::string TraceTimeStamp();
// One trace line without its line end.
std::string TraceLine(bool sent, const uint8_t* bytes, size_t n);

// Keeps the trace lines of a channel, the last limit bytes of them at most (whole lines), for
// as long as its hook is set. The hook is called from the channel's writer and reader threads.
class LinkTraceRecorder {
public:
    // The first line of a trace that lost its beginning.
    static constexpr const char* kEarlierLeftOut = "(earlier lines left out)";

    explicit LinkTraceRecorder(size_t limit) : limit_(limit) {}
    LinkTraceRecorder(const LinkTraceRecorder&) = delete;
    LinkTraceRecorder& operator=(const LinkTraceRecorder&) = delete;

    // Set it on a closed channel, and take it off (or close the channel) before the recorder goes.
    SerialChannel::TraceHook Hook();
    // The lines kept so far, each ending in '\n'; the recorder starts afresh.
    std::string Take();

private:
    void Append(const std::string& line);

    const size_t limit_;
    std::mutex mu_;
    std::string text_;
    bool cut_ = false;  // lines were dropped from the front
};
