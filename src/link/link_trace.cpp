#include "link/link_trace.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

#include "link/frame.h"

std::string TraceTimeStamp() {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    tm local{};
    ::localtime_r(&now.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(now.tv_usec / 1000));
    return text;
}

std::string TraceLine(bool sent, const uint8_t* bytes, size_t n) {
    return TraceTimeStamp() + (sent ? " > " : " < ") + BytesToHex(bytes, n);
}

SerialChannel::TraceHook LinkTraceRecorder::Hook() {
    return [this](bool sent, const uint8_t* bytes, size_t n) { Append(TraceLine(sent, bytes, n)); };
}

void LinkTraceRecorder::Append(const std::string& line) {
    std::lock_guard lk(mu_);
    text_ += line;
    text_ += '\n';
    // Dropping the front only now and then keeps the cost per line constant.
    if (text_.size() <= 2 * limit_) return;
    size_t from = text_.find('\n', text_.size() - limit_ - 1);
    text_.erase(0, from + 1);
    cut_ = true;
}

std::string LinkTraceRecorder::Take() {
    std::lock_guard lk(mu_);
    std::string text;
    size_t from = 0;
    if (text_.size() > limit_) {
        from = text_.find('\n', text_.size() - limit_ - 1) + 1;
        cut_ = true;
    }
    if (cut_) text = std::string(kEarlierLeftOut) + "\n";
    text.append(text_, from, std::string::npos);
    text_.clear();
    cut_ = false;
    return text;
}
