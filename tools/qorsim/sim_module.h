#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/frame.h"

// A simulated module on the master side of a pseudo-terminal: it speaks the module's end of the
// link framing and answers read and write requests for every device key from a RAM and a ROM
// image, carries out the reset kinds and announces itself after a restart.
struct SimOptions {
    std::string firmware = "3.12";  // major.minor, as the identity block reports it
    bool web = true;                // reports the web capability and keeps keys 1..70
    uint32_t pace = 0;              // baud rate the bytes are held to; 0 = as fast as possible
    uint32_t rate = 0;              // the only line rate it understands; 0 = any rate
    int nakFirst = 0;               // NAK the first N good frames
    int dropAck = 0;                // leave the first N good frames without acknowledgement
    int corruptFirst = 0;           // spoil the checksum of the first N frames sent
    bool silent = false;            // never send anything
    std::string logPath;            // one line per request
    int restartSilenceMs = 1000;    // quiet time after a reset
    int announceIntervalMs = 300;   // between announcements until spoken to
    std::array<uint8_t, 6> hardwareAddress = {0x00, 0x00, 0xBC, 0x1A, 0x2B, 0x3C};
};

struct SimRequest {
    uint8_t command = 0;
    uint8_t node = 0;
    uint16_t transaction = 0;
    uint16_t address = 0;
    int key = -1;               // -1 when node and address name no key
    std::vector<uint8_t> data;  // a read's size byte, or the bytes written

    std::string Line() const;
};

class SimModule {
public:
    struct Counters {
        int framesIn = 0, repeatsIn = 0, badIn = 0, acksIn = 0, naksIn = 0, enqsIn = 0;
        int framesOut = 0, acksOut = 0, naksOut = 0;
        uint64_t bytesIn = 0, bytesOut = 0;
        int resets = 0, lastResetKind = -1;
        uint64_t garbledIn = 0;  // bytes that came at another rate than the module's
    };
    // Returns the message to send instead of the normal answer, an empty message for none, or
    // nothing to answer normally.
    using Responder = std::function<std::optional<std::vector<uint8_t>>(const SimRequest&)>;

    explicit SimModule(SimOptions options = {});
    ~SimModule();
    SimModule(const SimModule&) = delete;
    SimModule& operator=(const SimModule&) = delete;

    bool Start(std::string* error = nullptr);
    void Stop();
    const std::string& SlavePath() const { return slavePath_; }

    std::vector<SimRequest> Requests() const;
    void ClearRequests();
    Counters Stats() const;
    void ResetStats();
    void SetResponder(Responder responder);

    // Frames and sends a message of the module's own.
    void SendMessage(const std::vector<uint8_t>& message);
    void WriteRaw(const std::vector<uint8_t>& bytes);
    // Drops the master side, as an unplugged adapter would.
    void Hangup();

    std::vector<uint8_t> Ram(int key) const;
    std::vector<uint8_t> Rom(int key) const;
    void SetRam(int key, const std::vector<uint8_t>& bytes);
    // Device form size of a key this module keeps; 0 for any other.
    int KeySize(int key) const;
    bool Announcing() const;
    // As after a reset: quiet, then announcements until spoken to.
    void Restart();

    static int KeyFor(uint8_t node, uint16_t address);
    // The 84-byte identity block (long = the 168-byte one).
    std::vector<uint8_t> IdentityBlock(bool longBlock) const;

private:
    using Clock = std::chrono::steady_clock;

    void Run();
    void OnBytes(const uint8_t* bytes, size_t n);
    void OnFrame(const std::vector<uint8_t>& message);
    std::optional<std::vector<uint8_t>> Answer(const SimRequest& request,
                                               const std::vector<uint8_t>& message);
    void DoReset(int kind);
    void LoadDefaults(std::map<int, std::vector<uint8_t>>& image) const;
    void SendFrameLocked(const std::vector<uint8_t>& message);
    void SendControl(uint8_t code);
    void WriteOut(const uint8_t* bytes, size_t n);
    void PaceIn(Clock::time_point readAt);
    // Whether the line is set to the module's rate (always, for a module of any rate).
    bool AtModuleRate() const;

    SimOptions options_;
    int master_ = -1;
    int slave_ = -1;  // held for the pseudo-terminal's whole life
    int wake_ = -1;
    std::string slavePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mu_;  // everything below
    std::map<int, std::vector<uint8_t>> ram_, rom_;
    std::vector<SimRequest> requests_;
    Counters counters_;
    Responder responder_;
    wire::ReceiveMachine receiver_;
    std::vector<uint8_t> lastSent_;
    int resends_ = 0;
    bool lastAccepted_ = false;
    int nakLeft_, dropLeft_, corruptLeft_;
    Clock::time_point quietUntil_{};
    bool announcing_ = false;
    Clock::time_point nextAnnounce_{};
    uint16_t announceTransaction_ = 0;
    FILE* log_ = nullptr;

    std::mutex writeMu_;
    Clock::time_point nextOut_{};
    Clock::time_point nextIn_{};
};
