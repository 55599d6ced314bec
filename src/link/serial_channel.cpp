#include "link/serial_channel.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace {

constexpr LinkProfile kProfiles[7] = {
    {57600, 2, 100}, {38400, 2, 100}, {19200, 2, 100},  {9600, 2, 200},
    {4800, 4, 500},  {2400, 6, 700},  {1200, 10, 1100},
};

}  // namespace

LinkProfile LinkProfileFor(int baudIndex) {
    return kProfiles[baudIndex >= 0 && baudIndex <= 6 ? baudIndex : 2];
}

SerialChannel::SerialChannel()
    : linkTransaction_(static_cast<uint16_t>(std::rand() & 0xFFFF)), slots_(kQueueSlots) {}

SerialChannel::~SerialChannel() {
    Close();
}

void SerialChannel::SetReplyWait(int16_t units) {
    replyWait_ = (units >= 1 && units <= 60) ? units : 60;
}

bool SerialChannel::IsOpen() const {
    return open_;
}

bool SerialChannel::Open() {
    if (open_) return true;
    std::lock_guard close(closeMu_);
    device_ = explicitDevice_.empty() ? DeviceForPort(port_) : explicitDevice_;
    openError_.clear();
    openProblem_ = SerialPort::Problem::None;
    gone_ = false;
    if (stopRequested_) {
        openError_ = "stopped";
        return false;
    }
    if (!serial_.Open(device_, baud_)) {
        openError_ = serial_.Error();
        openProblem_ = serial_.OpenProblem();
        return false;
    }
    {
        std::lock_guard lk(mu_);
        ResetQueueLocked();
        midFrame_ = false;
        ackSignalled_ = false;
        linkResponse_ = kResponseNak;
        stop_ = false;
    }
    receiver_.Reset();
    try {
        reader_ = std::thread(&SerialChannel::ReaderLoop, this);
    } catch (const std::system_error& e) {
        std::lock_guard w(writeMu_);
        serial_.Close();
        openError_ = device_ + ": " + e.what();
        return false;
    }
    open_ = true;
    return true;
}

void SerialChannel::Close() {
    std::lock_guard close(closeMu_);
    if (!open_ && !reader_.joinable()) return;
    {
        std::lock_guard w(writeMu_);
        serial_.Purge();
    }
    {
        std::lock_guard lk(mu_);
        stop_ = true;
    }
    serial_.Wake();
    ackCv_.notify_all();
    replyCv_.notify_all();
    // The reader uses the port and the receive buffers: it must be gone before they are released.
    if (reader_.joinable()) reader_.join();
    {
        std::lock_guard w(writeMu_);
        serial_.Close();
    }
    receiver_.Reset();
    {
        std::lock_guard lk(mu_);
        ResetQueueLocked();
    }
    open_ = false;
}

void SerialChannel::ResetQueueLocked() {
    readIndex_ = 0;
    writeIndex_ = 0;
    queueNotEmpty_ = false;
}

bool SerialChannel::WriteBytes(const uint8_t* bytes, size_t n) {
    int err = 0;
    {
        std::lock_guard w(writeMu_);
        if (!serial_.IsOpen()) return false;
        if (trace_) trace_(true, bytes, n);
        if (serial_.Write(bytes, n)) return true;
        err = errno;
    }
    // A write may find the line hung up before the reader does.
    if (err == EIO || err == ENXIO || err == ENODEV) MarkGone();
    return false;
}

uint16_t SerialChannel::SendFrame(const std::string& hex) {
    if (hex.empty()) return kEmptyText;
    std::string text = hex;
    bool fill = text.size() >= 12 && (text[8] == 'T' || text[8] == 't');
    if (fill) text.replace(8, 4, "0000");
    std::vector<uint8_t> message = HexToBytes(text);
    if (fill && message.size() >= wire::kHeaderSize) {
        message[4] = static_cast<uint8_t>(linkTransaction_ & 0xFF);
        message[5] = static_cast<uint8_t>(linkTransaction_ >> 8);
    }
    std::vector<uint8_t> frame = wire::BuildFrame(message);
    ++linkTransaction_;

    {
        std::lock_guard lk(mu_);
        ackSignalled_ = false;
    }
    if (stopRequested_) return kStopped;
    if (!WriteBytes(frame.data(), frame.size())) return kAckWaitFailed;
    uint16_t naks = 0, enqs = 0;
    const uint8_t enq[2] = {wire::kDle, wire::kEnq};
    while (!stop_) {
        uint16_t response;
        {
            std::unique_lock lk(mu_);
            bool signalled = ackCv_.wait_for(lk, std::chrono::milliseconds(ackWait_), [this] {
                return ackSignalled_ || stop_ || gone_ || stopRequested_;
            });
            if (stopRequested_) return kStopped;
            if (stop_ || gone_) break;
            response = signalled ? linkResponse_ : 0;
            ackSignalled_ = false;
        }
        if (response == kResponseAck) return kAcknowledged;
        if (response == kResponseNak) {
            if (naks >= nakLimit_) return kTooManyNaks;
            if (!WriteBytes(frame.data(), frame.size())) return kAckWaitFailed;
            ++naks;
            continue;
        }
        if (enqs >= enqLimit_) return kNoAcknowledge;
        if (!WriteBytes(enq, sizeof enq)) return kAckWaitFailed;
        ++enqs;
    }
    // Closed while waiting, or the device went away: the frame was not acknowledged.
    return kAckWaitFailed;
}

std::string SerialChannel::SendAndReceive(const std::string& hex) {
    {
        std::lock_guard lk(mu_);
        ResetQueueLocked();
    }
    if (SendFrame(hex) != kAcknowledged) return {};
    std::unique_lock lk(mu_);
    WaitForReplyLocked(lk);
    if (!queueNotEmpty_) return {};
    return TakeLocked();
}

std::string SerialChannel::ReceiveNext() {
    // Checked and waited for under one lock, so a message stored in between is not missed.
    std::unique_lock lk(mu_);
    WaitForReplyLocked(lk);
    if (!queueNotEmpty_) return {};
    return TakeLocked();
}

void SerialChannel::WaitForReplyLocked(std::unique_lock<std::mutex>& lk) {
    using Clock = std::chrono::steady_clock;
    auto ready = [this] { return queueNotEmpty_ || stop_ || gone_ || stopRequested_; };
    auto deadline = Clock::now() + std::chrono::milliseconds(100 * replyWait_);
    if (replyCv_.wait_until(lk, deadline, ready)) return;
    // At the slow rates a long reply takes longer on the wire than the reply wait: one that has
    // begun may finish while its bytes keep coming, up to the time of the longest message.
    constexpr auto kGap = std::chrono::milliseconds(100);
    auto limit = deadline + std::chrono::microseconds(10'000'000LL * 2 * wire::kMaxMessage /
                                                      std::max<uint32_t>(baud_, 1200));
    while (!ready() && midFrame_) {
        auto until = std::min(lastByte_ + kGap, limit);
        if (until <= Clock::now()) return;
        replyCv_.wait_until(lk, until, ready);
    }
}

std::string SerialChannel::TakeLocked() {
    const Slot& slot = slots_[readIndex_];
    readIndex_ = (readIndex_ + 1) % kQueueSlots;
    if (readIndex_ == writeIndex_) queueNotEmpty_ = false;
    size_t skip = slot.length >= wire::kHeaderSize ? 2 : 0;
    return BytesToHex(slot.bytes.data() + skip, slot.length - skip);
}

int SerialChannel::PendingReplies() const {
    std::lock_guard lk(mu_);
    if (!queueNotEmpty_) return 0;
    int n = (writeIndex_ - readIndex_ + kQueueSlots) % kQueueSlots;
    return n == 0 ? kQueueSlots : n;
}

void SerialChannel::StoreMessage(const std::vector<uint8_t>& message) {
    {
        std::lock_guard lk(mu_);
        Slot& slot = slots_[writeIndex_];
        slot.length = std::min(message.size(), slot.bytes.size());
        std::copy_n(message.begin(), slot.length, slot.bytes.begin());
        // A full queue loses its oldest message.
        if (writeIndex_ == readIndex_ && queueNotEmpty_)
            readIndex_ = (readIndex_ + 1) % kQueueSlots;
        writeIndex_ = (writeIndex_ + 1) % kQueueSlots;
        queueNotEmpty_ = true;
    }
    replyCv_.notify_all();
}

void SerialChannel::Handle(wire::ReceiveMachine::Action action) {
    using Action = wire::ReceiveMachine::Action;
    static const uint8_t kAckSeq[2] = {wire::kDle, wire::kAck};
    static const uint8_t kNakSeq[2] = {wire::kDle, wire::kNak};
    static const uint8_t kEnqSeq[2] = {wire::kDle, wire::kEnq};
    if (trace_) {
        if (action == Action::LinkAck) trace_(false, kAckSeq, 2);
        if (action == Action::LinkNak) trace_(false, kNakSeq, 2);
        if (action == Action::Enquiry) trace_(false, kEnqSeq, 2);
        if (action == Action::Accept || action == Action::Repeat) {
            trace_(false, receiver_.Message().data(), receiver_.Message().size());
        }
    }
    switch (action) {
        case Action::None:
            return;
        case Action::LinkAck:
        case Action::LinkNak: {
            {
                std::lock_guard lk(mu_);
                linkResponse_ = action == Action::LinkAck ? kResponseAck : kResponseNak;
                ackSignalled_ = true;
            }
            ackCv_.notify_all();
            return;
        }
        case Action::Enquiry:
        case Action::Reject:
        case Action::BadChecksum:
            WriteBytes(kNakSeq, 2);
            return;
        case Action::Accept:
            WriteBytes(kAckSeq, 2);
            StoreMessage(receiver_.Message());
            return;
        case Action::Repeat:
            WriteBytes(kAckSeq, 2);
            return;
    }
}

void SerialChannel::RequestStop() {
    {
        std::lock_guard lk(mu_);
        stopRequested_ = true;
    }
    ackCv_.notify_all();
    replyCv_.notify_all();
}

void SerialChannel::MarkGone() {
    {
        std::lock_guard lk(mu_);
        gone_ = true;
    }
    ackCv_.notify_all();
    replyCv_.notify_all();
}

void SerialChannel::ReaderLoop() {
    uint8_t buffer[512];
    int emptyReads = 0;
    while (!stop_) {
        SerialPort::WaitResult r = serial_.Wait(-1);
        if (stop_ || r == SerialPort::WaitResult::Woken) break;
        // A device that went away: stop reading rather than spin, and end the waits at once
        // rather than after their time-outs.
        if (r == SerialPort::WaitResult::Hangup) {
            MarkGone();
            break;
        }
        if (r == SerialPort::WaitResult::Timeout) continue;
        int n = serial_.Read(buffer, sizeof buffer);
        if (n < 0 || (n == 0 && ++emptyReads > 8)) {
            if (!stop_) MarkGone();
            break;
        }
        if (n == 0) continue;
        emptyReads = 0;
        for (int i = 0; i < n && !stop_; ++i)
            Handle(receiver_.Feed(buffer[i]));
        std::lock_guard lk(mu_);
        lastByte_ = std::chrono::steady_clock::now();
        midFrame_ = receiver_.State() >= 2;
    }
}

std::chrono::nanoseconds SerialChannel::ReaderCpuTime() const {
    if (!open_) return {};
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(const_cast<std::thread&>(reader_).native_handle(), &clock) != 0 ||
        clock_gettime(clock, &ts) != 0) {
        return {};
    }
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

SerialChannel& ProgramChannel() {
    static SerialChannel channel;
    return channel;
}
