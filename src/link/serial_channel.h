#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "link/serial_port.h"

// Baud rate and waits the command layer sets together, by baud index 0..6.
struct LinkProfile {
    uint32_t baud;
    int16_t replyWait;  // units of 100 ms
    uint32_t ackWait;   // ms
};
// Any index outside 0..6 gives the row of index 2.
LinkProfile LinkProfileFor(int baudIndex);

// The program's connection to the module: frames messages, sends them with link acknowledgement
// and retry, and collects the module's messages through a reader thread that runs while the
// channel is open. Everything above it speaks hex text.
class SerialChannel {
public:
    static constexpr uint16_t kAcknowledged = 0;
    static constexpr uint16_t kAckWaitFailed = 7006;
    static constexpr uint16_t kTooManyNaks = 7007;
    static constexpr uint16_t kNoAcknowledge = 7008;
    static constexpr uint16_t kEmptyText = 7009;
    static constexpr uint16_t kStopped = 7010;

    static constexpr int kQueueSlots = 25;
    static constexpr uint16_t kResponseAck = 10;
    static constexpr uint16_t kResponseNak = 20;

    SerialChannel();
    ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    void SetPort(int16_t port) { port_ = port; }
    int16_t Port() const { return port_; }
    // A device path that Open uses in place of the COM number's device; empty: the COM number.
    // Channels of their own (one per port) reach their device this way, never by a setting
    // the whole process shares.
    void SetDevice(std::string path) { explicitDevice_ = std::move(path); }
    void SetBaudRate(uint32_t baud) { baud_ = baud; }
    uint32_t BaudRate() const { return baud_; }
    void SetAckWait(uint32_t ms) { ackWait_ = ms; }
    uint32_t AckWait() const { return ackWait_; }
    // 1..60 are kept as they are; anything else becomes 60.
    void SetReplyWait(int16_t units);
    int16_t GetReplyWait() const { return replyWait_; }
    void SetNakLimit(uint16_t n) { nakLimit_ = n; }
    void SetEnqLimit(uint16_t n) { enqLimit_ = n; }

    bool IsOpen() const;
    bool Open();
    // Stops the reader and releases the port. Safe to call from another thread while a wait is
    // pending: the wait ends at once.
    void Close();

    // A run that is being stopped: every wait ends at once, and until ClearStop no frame is sent
    // and Open fails. Any thread may ask; the operation under way ends through its usual
    // failure paths with the link result "stopped".
    void RequestStop();
    void ClearStop() { stopRequested_ = false; }
    bool StopRequested() const { return stopRequested_; }

    // The device the last Open used and, after a failed Open, the system's reason.
    const std::string& Device() const { return device_; }
    const std::string& OpenError() const { return openError_; }
    SerialPort::Problem OpenProblem() const { return openProblem_; }
    // The device went away while the channel was open (an adapter unplugged): the reader saw
    // the line hang up. Stays so until the next Open.
    bool DeviceGone() const { return gone_; }
    // The device Open uses in place of the COM number's; empty when none was set.
    const std::string& ExplicitDevice() const { return explicitDevice_; }

    uint16_t SendFrame(const std::string& hex);
    std::string SendAndReceive(const std::string& hex);
    std::string ReceiveNext();

    uint16_t LinkTransaction() const { return linkTransaction_; }
    void SetLinkTransaction(uint16_t n) { linkTransaction_ = n; }

    // Sees every byte sequence written (sent = true, on the writer's thread) and every frame and
    // control sequence received (on the reader thread), for diagnosing a link. Set it while the
    // channel is closed.
    using TraceHook = std::function<void(bool sent, const uint8_t* bytes, size_t n)>;
    void SetTraceHook(TraceHook hook) { trace_ = std::move(hook); }
    // Messages waiting in the reply queue.
    int PendingReplies() const;
    // CPU time the reader thread has used since it started; zero while closed.
    std::chrono::nanoseconds ReaderCpuTime() const;

private:
    struct Slot {
        std::array<uint8_t, wire::kMaxMessage> bytes;
        size_t length = 0;
    };

    void ReaderLoop();
    void Handle(wire::ReceiveMachine::Action action);
    void StoreMessage(const std::vector<uint8_t>& message);
    // Takes the slot at the read index as reply text; caller holds mu_ and the queue is not empty.
    std::string TakeLocked();
    // Waits for a message until the reply wait ends, or longer while one is still arriving.
    void WaitForReplyLocked(std::unique_lock<std::mutex>& lk);
    bool WriteBytes(const uint8_t* bytes, size_t n);
    void ResetQueueLocked();
    // The reader's end: the device hung up; every wait ends at once.
    void MarkGone();

    // Settings, used by the caller's thread only.
    int16_t port_ = 1;
    uint32_t baud_ = 19200;
    int16_t replyWait_ = 2;
    uint32_t ackWait_ = 100;
    uint16_t nakLimit_ = 1;
    uint16_t enqLimit_ = 1;
    uint16_t linkTransaction_;
    TraceHook trace_;
    std::string explicitDevice_;
    std::string device_;
    std::string openError_;
    SerialPort::Problem openProblem_ = SerialPort::Problem::None;

    // Shared with the reader, under mu_.
    mutable std::mutex mu_;
    std::condition_variable ackCv_;
    std::condition_variable replyCv_;
    std::vector<Slot> slots_;
    int readIndex_ = 0;
    int writeIndex_ = 0;
    bool queueNotEmpty_ = false;
    bool ackSignalled_ = false;
    uint16_t linkResponse_ = kResponseNak;
    bool midFrame_ = false;  // the reader is inside a frame
    std::chrono::steady_clock::time_point lastByte_{};

    std::atomic<bool> open_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> gone_{false};
    std::atomic<bool> stopRequested_{false};
    std::mutex writeMu_;  // one complete sequence on the wire at a time; the port's release
    std::mutex closeMu_;
    SerialPort serial_;
    std::thread reader_;
    wire::ReceiveMachine receiver_;  // the reader's own
};

// The one channel of the program, built on first use.
SerialChannel& ProgramChannel();
