#include "qorsim/sim_module.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "link/serial_port.h"

namespace {

constexpr uint8_t kNodeWebLow = 0xC8;   // keys 1..30, and key 200 at address 0
constexpr uint8_t kNodeWebHigh = 0xC9;  // keys 31..70 at address key - 30
constexpr uint8_t kIdentityKey = 0xF8;
constexpr uint8_t kHwAddrKey = 0xFE;
constexpr uint8_t kAddrBlockKey = 0xFA;
constexpr uint8_t kBaudKey = 0xFD;

constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusNoKey = 0x02;

void Encode16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = static_cast<uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

// Counted text: count, then the characters in swapped pairs.
void PutCountedText(std::vector<uint8_t>& form, const std::string& text) {
    size_t n = std::min<size_t>(text.size(), 82);
    Encode16(form, 0, static_cast<uint16_t>(n));
    for (size_t i = 0; i < n; ++i)
        form[2 + (i ^ 1)] = static_cast<uint8_t>(text[i]);
}

void PutAddress(std::vector<uint8_t>& form, size_t at, int a, int b, int c, int d) {
    form[at] = static_cast<uint8_t>(a);
    form[at + 2] = static_cast<uint8_t>(b);
    form[at + 4] = static_cast<uint8_t>(c);
    form[at + 6] = static_cast<uint8_t>(d);
}

// "3.12" as the five characters the identity text carries after "FW=": "03.12".
std::string RevisionText(const std::string& firmware) {
    size_t dot = firmware.find('.');
    std::string major = firmware.substr(0, dot);
    std::string minor = dot == std::string::npos ? "" : firmware.substr(dot + 1);
    while (major.size() < 2)
        major.insert(major.begin(), '0');
    while (minor.size() < 2)
        minor.push_back('0');
    return major.substr(major.size() - 2) + "." + minor.substr(0, 2);
}

}  // namespace

std::string SimRequest::Line() const {
    char head[80];
    std::snprintf(head, sizeof head,
                  "cmd=%02X node=%02X addr=%04X key=%s trans=%04X data=", command, node, address,
                  key < 0 ? "--" : BytesToHex(std::vector<uint8_t>{uint8_t(key)}).c_str(),
                  transaction);
    return head + BytesToHex(data);
}

SimModule::SimModule(SimOptions options)
    : options_(std::move(options)),
      nakLeft_(options_.nakFirst),
      dropLeft_(options_.dropAck),
      corruptLeft_(options_.corruptFirst) {
    LoadDefaults(rom_);
    ram_ = rom_;
    announceTransaction_ = static_cast<uint16_t>(std::random_device{}());
}

SimModule::~SimModule() {
    Stop();
}

int SimModule::KeySize(int key) const {
    if (key >= 1 && key <= 70) return options_.web ? 84 : 0;
    if (key >= 100 && key <= 149) return 8;
    if (key >= 150 && key <= 199) return 84;
    switch (key) {
        case 0xF1:
        case 0xF4:
        case 0xF6:
        case 0xF7:
        case 0xFC:
        case 0xFD:
            return 2;
        case 0xF2:
        case 0xF3:
        case 0xF8:
        case 0xF9:
            return 84;
        case 0xF5:
        case 0xFB:
            return 8;
        case 0xFA:
            return 40;
        case 0xFE:
            return 6;
        default:
            return 0;
    }
}

int SimModule::KeyFor(uint8_t node, uint16_t address) {
    if (node == kNodeWebLow && address >= 1 && address <= 30) return address;
    if (node == kNodeWebHigh && address >= 1 && address <= 40) return address + 30;
    if (address == 0) return node;
    return -1;
}

void SimModule::LoadDefaults(std::map<int, std::vector<uint8_t>>& image) const {
    image.clear();
    for (int key = 0; key < 256; ++key) {
        int size = KeySize(key);
        if (size > 0 && key != kIdentityKey && key != kHwAddrKey)
            image[key] = std::vector<uint8_t>(size, 0);
    }
    std::vector<uint8_t>& block = image[kAddrBlockKey];
    PutAddress(block, 0, 10, 0, 0, 100);
    PutAddress(block, 8, 255, 0, 0, 0);
    PutAddress(block, 32, 255, 255, 255, 255);
    image[kBaudKey][0] = 104;                        // 9600, routing enabled
    PutCountedText(image[0xF9], "qor@example.com");  // the sender the e-mail page requires
    if (options_.web) PutCountedText(image[1], "QORW");
}

std::vector<uint8_t> SimModule::IdentityBlock(bool longBlock) const {
    std::vector<uint8_t> block(longBlock ? 168 : 84, 0);
    std::string text = options_.web ? "QORW RS-232/Ethernet Module SN 00012345 Boot 1.02"
                                    : "QOR RS-232/Ethernet Module SN 00012345 Boot 1.02";
    text.resize(56, ' ');
    text += "FW=" + RevisionText(options_.firmware) + " Diag OK";
    PutCountedText(block, text);
    if (longBlock) {
        const char* caps = options_.web ? "00000010" : "00000000";
        std::memcpy(block.data() + 90, caps, 8);
    }
    return block;
}

bool SimModule::Start(std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return fail("grantpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
    slavePath_ = name;
    // Keeping the slave open keeps the master readable while the utility has it closed.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) return fail("open slave");
    termios tio{};
    if (tcgetattr(slave_, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tcsetattr(slave_, TCSANOW, &tio);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) return fail("eventfd");
    if (!options_.logPath.empty()) {
        log_ = std::fopen(options_.logPath.c_str(), "a");
        if (!log_) return fail(options_.logPath.c_str());
    }
    stop_ = false;
    thread_ = std::thread(&SimModule::Run, this);
    return true;
}

void SimModule::Stop() {
    stop_ = true;
    if (wake_ >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    for (int* fd : {&master_, &slave_, &wake_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    if (log_) std::fclose(log_);
    log_ = nullptr;
}

void SimModule::Hangup() {
    // The thread polls the master side: it closes it on its way out, so nothing uses it after.
    stop_ = true;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
}

std::vector<SimRequest> SimModule::Requests() const {
    std::lock_guard lk(mu_);
    return requests_;
}

void SimModule::ClearRequests() {
    std::lock_guard lk(mu_);
    requests_.clear();
}

SimModule::Counters SimModule::Stats() const {
    std::lock_guard lk(mu_);
    return counters_;
}

void SimModule::ResetStats() {
    std::lock_guard lk(mu_);
    counters_ = {};
}

void SimModule::SetResponder(Responder responder) {
    std::lock_guard lk(mu_);
    responder_ = std::move(responder);
}

std::vector<uint8_t> SimModule::Ram(int key) const {
    std::lock_guard lk(mu_);
    auto it = ram_.find(key);
    return it == ram_.end() ? std::vector<uint8_t>{} : it->second;
}

std::vector<uint8_t> SimModule::Rom(int key) const {
    std::lock_guard lk(mu_);
    auto it = rom_.find(key);
    return it == rom_.end() ? std::vector<uint8_t>{} : it->second;
}

void SimModule::SetRam(int key, const std::vector<uint8_t>& bytes) {
    std::lock_guard lk(mu_);
    std::vector<uint8_t>& form = ram_[key];
    form = bytes;
    form.resize(KeySize(key) > 0 ? KeySize(key) : bytes.size(), 0);
}

bool SimModule::Announcing() const {
    std::lock_guard lk(mu_);
    return announcing_;
}

void SimModule::Restart() {
    std::lock_guard lk(mu_);
    quietUntil_ = Clock::now() + std::chrono::milliseconds(options_.restartSilenceMs);
    announcing_ = true;
    nextAnnounce_ = quietUntil_;
    ++announceTransaction_;
    receiver_.Reset();
    uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);  // the wait has a new deadline
}

void SimModule::SendMessage(const std::vector<uint8_t>& message) {
    std::lock_guard lk(mu_);
    SendFrameLocked(message);
}

void SimModule::WriteRaw(const std::vector<uint8_t>& bytes) {
    WriteOut(bytes.data(), bytes.size());
}

bool SimModule::AtModuleRate() const {
    if (options_.rate == 0) return true;
    // The pseudo-terminal keeps one setting for both ends: the rate the utility opened it at.
    termios tio{};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) return true;
    return cfgetospeed(&tio) == SerialPort::RateConstant(options_.rate);
}

void SimModule::WriteOut(const uint8_t* bytes, size_t n) {
    if (options_.silent) return;
    std::lock_guard w(writeMu_);
    if (master_ < 0 || stop_) return;
    // Sent at another rate than the line's, bytes arrive as garbage: never a DLE, so never
    // anything the utility's link could take for a frame or an acknowledgement.
    std::vector<uint8_t> garbled;
    if (!AtModuleRate()) {
        garbled.assign(bytes, bytes + n);
        for (uint8_t& b : garbled) b = static_cast<uint8_t>(0x80 | (b ^ 0x55));
        bytes = garbled.data();
    }
    auto byteTime = options_.pace ? std::chrono::nanoseconds(10'000'000'000LL / options_.pace)
                                  : std::chrono::nanoseconds(0);
    // Only a line that has fallen idle restarts the clock; a late wake-up inside the bytes is
    // made up on the next ones (restarting there would add every scheduling delay to the time).
    if (options_.pace) nextOut_ = std::max(nextOut_, Clock::now());
    size_t done = 0;
    int stalls = 0;
    while (done < n) {
        size_t chunk = n - done;
        if (options_.pace) {
            // One byte at a time, each a byte time after the one before, as a UART delivers it.
            nextOut_ += byteTime;
            std::this_thread::sleep_until(nextOut_);
            chunk = 1;
        }
        ssize_t wr = ::write(master_, bytes + done, chunk);
        if (wr > 0) {
            done += static_cast<size_t>(wr);
            continue;
        }
        if (wr < 0 && errno == EINTR) continue;
        // Nobody is draining the line: what does not fit is lost, as on a real wire.
        if (wr < 0 && (errno != EAGAIN || ++stalls > 10)) return;
        pollfd p = {master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
}

void SimModule::SendFrameLocked(const std::vector<uint8_t>& message) {
    std::vector<uint8_t> frame = wire::BuildFrame(message);
    lastSent_ = frame;
    resends_ = 0;
    if (corruptLeft_ > 0) {
        --corruptLeft_;
        frame.back() ^= 0x5A;
    }
    ++counters_.framesOut;
    counters_.bytesOut += frame.size();
    WriteOut(frame.data(), frame.size());
}

void SimModule::SendControl(uint8_t code) {
    const uint8_t seq[2] = {wire::kDle, code};
    if (code == wire::kAck) ++counters_.acksOut;
    if (code == wire::kNak) ++counters_.naksOut;
    counters_.bytesOut += 2;
    WriteOut(seq, 2);
}

void SimModule::PaceIn(Clock::time_point readAt) {
    if (!options_.pace) return;
    // A byte arrives no sooner than a byte time after the one before.
    nextIn_ =
        std::max(nextIn_, readAt) + std::chrono::nanoseconds(10'000'000'000LL / options_.pace);
    std::this_thread::sleep_until(nextIn_);
}

void SimModule::Run() {
    uint8_t buffer[512];
    while (!stop_) {
        int timeout = -1;
        {
            std::lock_guard lk(mu_);
            if (announcing_) {
                auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextAnnounce_ -
                                                                                  Clock::now());
                timeout = static_cast<int>(std::max<int64_t>(0, wait.count()));
            }
        }
        pollfd fds[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
        int n = ::poll(fds, 2, timeout);
        if (stop_) break;
        if (n < 0 && errno != EINTR) break;
        if (n > 0 && (fds[1].revents & POLLIN)) {
            uint64_t count;
            [[maybe_unused]] ssize_t r = ::read(wake_, &count, sizeof count);
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            ssize_t got = ::read(master_, buffer, sizeof buffer);
            if (got > 0 && !AtModuleRate()) {
                // A frame at another rate is garbage to this module: it breaks off whatever
                // it was receiving and answers nothing.
                std::lock_guard lk(mu_);
                counters_.garbledIn += static_cast<uint64_t>(got);
                receiver_.Reset();
            } else if (got > 0) {
                auto readAt = Clock::now();
                for (ssize_t i = 0; i < got && !stop_; ++i) {
                    PaceIn(readAt);
                    OnBytes(buffer + i, 1);
                }
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                break;
            }
        } else if (n > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
            // No slave holder left; cannot happen while we keep ours, but do not spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::lock_guard lk(mu_);
        if (announcing_ && Clock::now() >= nextAnnounce_) {
            // The announcement keeps its header, so a receiver drops the repeats.
            std::vector<uint8_t> message = {0x00, kHwAddrKey, 0x06, 0x00, 0, 0};
            Encode16(message, 4, announceTransaction_);
            message.insert(message.end(), options_.hardwareAddress.begin(),
                           options_.hardwareAddress.end());
            SendFrameLocked(message);
            nextAnnounce_ = Clock::now() + std::chrono::milliseconds(options_.announceIntervalMs);
        }
    }
    // Hangup() asked for the master side to go: close it here, where nothing polls it any more.
    std::lock_guard w(writeMu_);
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void SimModule::OnBytes(const uint8_t* bytes, size_t n) {
    using Action = wire::ReceiveMachine::Action;
    std::lock_guard lk(mu_);
    counters_.bytesIn += n;
    // A module that is restarting hears nothing.
    if (Clock::now() < quietUntil_) return;
    for (size_t i = 0; i < n; ++i) {
        Action a = receiver_.Feed(bytes[i]);
        switch (a) {
            case Action::None:
                break;
            case Action::LinkAck:
                ++counters_.acksIn;
                break;
            case Action::LinkNak:
                ++counters_.naksIn;
                if (!lastSent_.empty() && resends_ < 3) {
                    ++resends_;
                    ++counters_.framesOut;
                    counters_.bytesOut += lastSent_.size();
                    WriteOut(lastSent_.data(), lastSent_.size());
                }
                break;
            case Action::Enquiry:
                ++counters_.enqsIn;
                SendControl(lastAccepted_ ? wire::kAck : wire::kNak);
                break;
            case Action::Reject:
            case Action::BadChecksum:
                ++counters_.badIn;
                lastAccepted_ = false;
                SendControl(wire::kNak);
                break;
            case Action::Repeat:
                ++counters_.repeatsIn;
                lastAccepted_ = true;
                SendControl(wire::kAck);
                break;
            case Action::Accept: {
                if (nakLeft_ > 0) {
                    --nakLeft_;
                    lastAccepted_ = false;
                    receiver_.ForgetLastHeader();  // the resend must not count as a repeat
                    SendControl(wire::kNak);
                    break;
                }
                ++counters_.framesIn;
                lastAccepted_ = true;
                if (dropLeft_ > 0) {
                    --dropLeft_;
                } else {
                    SendControl(wire::kAck);
                }
                OnFrame(receiver_.Message());
                break;
            }
        }
    }
}

void SimModule::OnFrame(const std::vector<uint8_t>& message) {
    announcing_ = false;  // spoken to
    if (message.size() < wire::kHeaderSize) return;
    SimRequest request;
    request.node = message[0];
    request.command = message[2];
    request.transaction = static_cast<uint16_t>(message[4] | message[5] << 8);
    if (request.command == 0x01 || request.command == 0x08) {
        if (message.size() >= 8) {
            request.address = static_cast<uint16_t>(message[6] | message[7] << 8);
        }
        if (message.size() > 8) request.data.assign(message.begin() + 8, message.end());
    } else {
        // Other messages carry no address: their data follows the header.
        request.data.assign(message.begin() + wire::kHeaderSize, message.end());
    }
    request.key = KeyFor(request.node, request.address);
    requests_.push_back(request);
    if (log_) {
        std::fprintf(log_, "%s\n", request.Line().c_str());
        std::fflush(log_);
    }
    std::optional<std::vector<uint8_t>> reply;
    if (responder_) reply = responder_(request);
    if (!reply) reply = Answer(request, message);
    if (reply && !reply->empty()) SendFrameLocked(*reply);
    if (request.command == 0x08 && request.key == kIdentityKey && !request.data.empty() && reply &&
        !reply->empty() && (*reply)[3] == kStatusOk) {
        DoReset(request.data[0]);
    }
}

std::optional<std::vector<uint8_t>> SimModule::Answer(const SimRequest& request,
                                                      const std::vector<uint8_t>& message) {
    // The answer goes back to the sender, from the node asked.
    std::vector<uint8_t> reply = {
        message[1], message[0], static_cast<uint8_t>(request.command | 0x40),
        kStatusOk,  message[4], message[5]};
    int key = request.key;
    int size = KeySize(key);
    if (request.command == 0x01) {
        if (size == 0 || request.data.empty()) {
            reply[3] = kStatusNoKey;
            return reply;
        }
        size_t asked = request.data[0];
        std::vector<uint8_t> form;
        if (key == kIdentityKey) {
            form = IdentityBlock(asked > 84);
        } else if (key == kHwAddrKey) {
            form.assign(options_.hardwareAddress.begin(), options_.hardwareAddress.end());
        } else {
            form = ram_[key];
        }
        form.resize(asked, 0);
        reply.insert(reply.end(), form.begin(), form.end());
        return reply;
    }
    if (request.command == 0x08) {
        if (size == 0) {
            reply[3] = kStatusNoKey;
        } else if (key != kIdentityKey && key != kHwAddrKey && !request.data.empty()) {
            std::vector<uint8_t>& form = ram_[key];
            std::copy_n(request.data.begin(), std::min<size_t>(request.data.size(), form.size()),
                        form.begin());
        }
        return reply;
    }
    if (request.command == 0x46) return std::vector<uint8_t>{};  // answer to our announcement
    reply[3] = kStatusNoKey;
    return reply;
}

void SimModule::DoReset(int kind) {
    ++counters_.resets;
    counters_.lastResetKind = kind;
    switch (kind) {
        case 0:
            rom_ = ram_;
            break;
        case 1:
            break;
        case 2:
            LoadDefaults(rom_);
            break;
        case 3: {
            std::vector<uint8_t> keep = ram_[kAddrBlockKey];
            LoadDefaults(rom_);
            // IP address, subnet mask and gateway survive.
            std::copy_n(keep.begin(), 24, rom_[kAddrBlockKey].begin());
            break;
        }
        default:
            return;
    }
    ram_ = rom_;
    quietUntil_ = Clock::now() + std::chrono::milliseconds(options_.restartSilenceMs);
    announcing_ = true;
    nextAnnounce_ = quietUntil_;
    ++announceTransaction_;
    receiver_.Reset();
}
