// Whole uploads and downloads over a line that misbehaves. A relay on a pseudo-terminal sits
// between the utility's port and the simulated module and, by a seeded random choice per link
// unit, answers requests with NAK in the module's stead, spoils checksums, loses
// acknowledgements, repeats frames, falls silent or hangs up. Whatever happens, the operation
// either completes with exactly the module's values, or fails with its result code, "Offline"
// and an empty transfer queue; no wait is longer than the link's own limits; and no value the
// module did not send ever reaches the document (or, downloading, the module).
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/utility_dlg.h"
#include "link/frame.h"
#include "link/port_problem.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"
#include "qorsim/sim_module.h"
#include "support/scripted_ui_host.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 23;

// The longest quiet time the link allows inside a transfer at the profiles the window uses
// (57600 and 38400): a frame NAKed once, then an enquiry that goes unanswered (two
// acknowledgement waits of 100 ms), and a reply wait of 200 ms taken twice when the first reply
// carries the wrong transaction. The slack covers a loaded machine and the sanitizers.
constexpr auto kLinkQuiet = std::chrono::milliseconds(2 * 100 + 2 * 200);
constexpr auto kSlack = std::chrono::milliseconds(900);

// Cuts a byte stream into link units: whole frames, two-byte control sequences, stray bytes.
class UnitSplitter {
public:
    void Feed(const uint8_t* p, size_t n, std::vector<Bytes>& out) {
        for (size_t i = 0; i < n; ++i) {
            uint8_t b = p[i];
            cur_.push_back(b);
            switch (state_) {
                case 0:
                    if (b == wire::kDle) {
                        state_ = 1;
                    } else {
                        Emit(out);
                    }
                    break;
                case 1:
                    if (b == wire::kStx) {
                        state_ = 2;
                    } else {
                        Emit(out);
                    }
                    break;
                case 2:
                    if (b == wire::kDle) state_ = 3;
                    break;
                case 3:
                    state_ = b == wire::kEtx ? 4 : 2;
                    break;
                case 4:
                    state_ = 5;
                    break;
                default:
                    Emit(out);
                    break;
            }
        }
    }
    void Reset() {
        cur_.clear();
        state_ = 0;
    }
    static bool IsFrame(const Bytes& u) {
        return u.size() >= 6 && u[0] == wire::kDle && u[1] == wire::kStx;
    }
    static bool IsControl(const Bytes& u, uint8_t code) {
        return u.size() == 2 && u[0] == wire::kDle && u[1] == code;
    }

private:
    void Emit(std::vector<Bytes>& out) {
        out.push_back(std::move(cur_));
        cur_.clear();
        state_ = 0;
    }
    Bytes cur_;
    int state_ = 0;
};

// What the relay does to the line, each a probability per unit.
struct Faults {
    double nakRequest = 0;      // answer a request frame with DLE NAK; the module never sees it
    double corruptRequest = 0;  // spoil a request frame's checksum
    double repeatRequest = 0;   // deliver a request frame twice
    double dropAck = 0;         // lose a DLE ACK, in either direction
    double corruptReply = 0;    // spoil a module frame's checksum
    double repeatReply = 0;     // deliver a module frame twice
    int silentAfter = -1;       // module frames let through before the module falls silent
    int hangupAfter = -1;       // module frames let through before the utility's line goes
};

// A pseudo-terminal whose slave the utility opens, relayed unit by unit to the simulated
// module's slave side.
class FaultyWire {
public:
    explicit FaultyWire(SimModule& sim) : sim_(sim) {}
    ~FaultyWire() { Stop(); }

    bool Start() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) return false;
        path_ = name;
        // Held open so the master stays readable while the utility has the line closed.
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        moduleSide_ = ::open(sim_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (slave_ < 0 || moduleSide_ < 0 || wake_ < 0) return false;
        for (int fd : {slave_, moduleSide_}) {
            termios tio{};
            if (tcgetattr(fd, &tio) == 0) {
                cfmakeraw(&tio);
                tio.c_cflag |= CLOCAL | CREAD;
                tcsetattr(fd, TCSANOW, &tio);
            }
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread(&FaultyWire::Run, this);
        return true;
    }

    void Stop() {
        if (thread_.joinable()) {
            stop_ = true;
            uint64_t one = 1;
            [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);
            thread_.join();
        }
        for (int* fd : {&master_, &slave_, &moduleSide_, &wake_}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    const std::string& SlavePath() const { return path_; }

    // New faults, a fresh random sequence and fresh counts.
    void Set(const Faults& faults, uint32_t seed) {
        std::lock_guard lk(mu_);
        faults_ = faults;
        rng_.seed(seed);
        fromUtility_.Reset();
        fromModule_.Reset();
        moduleFrames_ = 0;
        utilityTimes_.clear();
        injected_ = 0;
    }
    void Clear() { Set(Faults{}, 1); }

    // When the utility sent each unit since the last Set.
    std::vector<Clock::time_point> UtilityTimes() const {
        std::lock_guard lk(mu_);
        return utilityTimes_;
    }
    int Injected() const {
        std::lock_guard lk(mu_);
        return injected_;
    }
    bool HungUp() const {
        std::lock_guard lk(mu_);
        return hungUp_;
    }

private:
    void Run() {
        uint8_t buf[1024];
        while (!stop_) {
            int utilityFd;
            {
                std::lock_guard lk(mu_);
                utilityFd = hungUp_ ? -1 : master_;
            }
            pollfd fds[3] = {{utilityFd, POLLIN, 0}, {moduleSide_, POLLIN, 0}, {wake_, POLLIN, 0}};
            if (::poll(fds, 3, 20) < 0 && errno != EINTR) break;
            if (stop_) break;
            if (utilityFd >= 0 && (fds[0].revents & POLLIN)) {
                ssize_t n = ::read(utilityFd, buf, sizeof buf);
                if (n > 0) FromUtility(buf, static_cast<size_t>(n));
            }
            if (fds[1].revents & POLLIN) {
                ssize_t n = ::read(moduleSide_, buf, sizeof buf);
                if (n > 0) FromModule(buf, static_cast<size_t>(n));
            }
        }
    }

    bool Roll(double p) {
        if (p <= 0) return false;
        bool hit = std::uniform_real_distribution<double>(0, 1)(rng_) < p;
        injected_ += hit;
        return hit;
    }

    static void WriteAll(int fd, const Bytes& bytes) {
        size_t done = 0;
        int stalls = 0;
        while (fd >= 0 && done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && ++stalls < 100) {
                pollfd p = {fd, POLLOUT, 0};
                ::poll(&p, 1, 10);
            } else {
                return;  // nobody drains the line: the bytes are lost, as on a wire
            }
        }
    }

    void FromUtility(const uint8_t* p, size_t n) {
        std::lock_guard lk(mu_);
        std::vector<Bytes> units;
        fromUtility_.Feed(p, n, units);
        for (Bytes& u : units) {
            utilityTimes_.push_back(Clock::now());
            // The connect probe goes through untouched: a probe left unanswered costs the
            // connect its six-second wait, which is not what these tests are about.
            const bool exempt = moduleFrames_ == 0;
            if (UnitSplitter::IsFrame(u) && !exempt) {
                if (Roll(faults_.nakRequest)) {
                    WriteAll(master_, {wire::kDle, wire::kNak});
                    continue;
                }
                if (Roll(faults_.corruptRequest)) u.back() ^= 0x21;
                WriteAll(moduleSide_, u);
                if (Roll(faults_.repeatRequest)) WriteAll(moduleSide_, u);
                continue;
            }
            if (UnitSplitter::IsControl(u, wire::kAck) && !exempt && Roll(faults_.dropAck))
                continue;
            WriteAll(moduleSide_, u);
        }
    }

    void FromModule(const uint8_t* p, size_t n) {
        std::lock_guard lk(mu_);
        std::vector<Bytes> units;
        fromModule_.Feed(p, n, units);
        for (Bytes& u : units) {
            const bool frame = UnitSplitter::IsFrame(u);
            const bool exempt = moduleFrames_ == 0;
            if (frame) ++moduleFrames_;
            if (hungUp_) continue;
            int through = frame ? moduleFrames_ - 1 : moduleFrames_;
            if (faults_.hangupAfter >= 0 && through >= faults_.hangupAfter) {
                // The adapter is unplugged: the utility's side of the line goes away.
                ::close(master_);
                master_ = -1;
                hungUp_ = true;
                continue;
            }
            if (faults_.silentAfter >= 0 && through >= faults_.silentAfter) continue;
            if (frame && !exempt) {
                if (Roll(faults_.corruptReply)) u[u.size() - 2] ^= 0x44;
                WriteAll(master_, u);
                if (Roll(faults_.repeatReply)) WriteAll(master_, u);
                continue;
            }
            if (UnitSplitter::IsControl(u, wire::kAck) && !exempt && Roll(faults_.dropAck))
                continue;
            WriteAll(master_, u);
        }
    }

    SimModule& sim_;
    int master_ = -1, slave_ = -1, moduleSide_ = -1, wake_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mu_;
    Faults faults_;
    std::mt19937 rng_{1};
    UnitSplitter fromUtility_, fromModule_;
    int moduleFrames_ = 0;
    bool hungUp_ = false;
    int injected_ = 0;
    std::vector<Clock::time_point> utilityTimes_;
};

using Values = std::map<int, std::string>;

// The main window with its real pages, talking through its own channel on COM<kPort>.
struct Window {
    Window() {
        ui.AllowMessages();
        dlg.Doc().AttachChannel(channel);
        dlg.Start();
        dlg.Link().comPort = kPort;
        dlg.Link().pcBaudIndex = 0;
    }
    ~Window() { channel.Close(); }

    Values All() {
        Values v;
        for (int id = 0; id < QorDoc::kParamCount; ++id) v[id] = dlg.Doc().GET(id);
        return v;
    }

    ScriptedUiHost ui;
    SerialChannel channel;
    CUtilityDlg dlg{ui};
};

struct Outcome {
    int code = -1;
    Clock::duration took{};
    Clock::duration longestQuiet{};
    size_t utilityUnits = 0;
};

class FaultInjectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        SimOptions o;
        o.restartSilenceMs = 50;
        o.announceIntervalMs = 50;
        sim = std::make_unique<SimModule>(o);
        ASSERT_TRUE(sim->Start());
        NewWire();
    }
    void TearDown() override {
        wire.reset();
        sim->Stop();
    }

    void NewWire() {
        wire.reset();
        wire = std::make_unique<FaultyWire>(*sim);
        ASSERT_TRUE(wire->Start());
        setenv(("QORW_COM" + std::to_string(kPort)).c_str(), wire->SlavePath().c_str(), 1);
    }

    // Gives the module values of its own in the tables, so that a value that arrived can be
    // told from a default; each variant gives other values.
    void SeedModule(int variant = 0) {
        QorDoc form;
        auto put = [&](int id, const std::string& text) {
            int key = QorDoc::KeyOf(id);
            CParam* param = form.ParamOf(key);
            ASSERT_NE(param, nullptr) << id;
            form.SET(id, text);
            Bytes bytes(static_cast<size_t>(param->Size()));
            param->ToDevice(bytes.data(), form);
            sim->SetRam(key, bytes);
        };
        char text[64];
        for (int d = 0; d < 50; ++d) {
            std::snprintf(text, sizeof text, "010.%03d.%03d.%03d", d, (100 + d + variant) % 256,
                          1 + d);
            put(QorDoc::kIdFirstRoute + d, text);
            std::snprintf(text, sizeof text, "op%02d.%d@plant.example.com", d, variant);
            put(QorDoc::kIdFirstEmailDest + d, text);
        }
        for (int i = 0; i < 40; ++i) {
            std::snprintf(text, sizeof text, "Conveyor %02d temperature %d", i + 1, variant);
            put(QorDoc::kIdFirstWebDataDesc + i, text);
        }
    }

    // Every device key of the document and the module's form of it now.
    std::map<int, Bytes> ModuleImage() {
        std::map<int, Bytes> image;
        for (int id = 0; id < QorDoc::kParamCount; ++id) {
            int key = QorDoc::KeyOf(id);
            if (key >= 0) image[key] = sim->Ram(key);
        }
        return image;
    }
    void RestoreModule(const std::map<int, Bytes>& image) {
        for (const auto& [key, bytes] : image) {
            if (!bytes.empty()) sim->SetRam(key, bytes);
        }
    }

    // What a clean upload reads from the module now.
    Values CleanUpload() {
        wire->Clear();
        Window w;
        EXPECT_EQ(w.dlg.UploadFromDevice(true), 0) << w.ui.LastMessage();
        return w.All();
    }

    template <typename Op>
    Outcome Run(Op op) {
        Outcome out;
        auto start = Clock::now();
        out.code = op();
        auto end = Clock::now();
        out.took = end - start;
        std::vector<Clock::time_point> times = wire->UtilityTimes();
        out.utilityUnits = times.size();
        times.insert(times.begin(), start);
        times.push_back(end);
        for (size_t i = 1; i < times.size(); ++i)
            out.longestQuiet = std::max(out.longestQuiet, times[i] - times[i - 1]);
        return out;
    }

    // What every operation promises, whatever the line did.
    void ExpectWithinLimits(const Outcome& out) {
        using std::chrono::duration_cast;
        using std::chrono::milliseconds;
        EXPECT_LE(out.longestQuiet, kLinkQuiet + kSlack)
            << duration_cast<milliseconds>(out.longestQuiet).count() << " ms without a unit sent";
        auto bound = kLinkQuiet * static_cast<int>(out.utilityUnits + 1) + kSlack;
        EXPECT_LE(out.took, bound) << duration_cast<milliseconds>(out.took).count() << " ms for "
                                   << out.utilityUnits << " units";
    }
    static void ExpectFailedCleanly(Window& w, int code) {
        EXPECT_NE(QorDoc::ResultText(code)[0], '\0') << code;
        EXPECT_EQ(w.dlg.StatusField().Text(), CUtilityDlg::kOffline);
        EXPECT_TRUE(w.dlg.Doc().IsQueueEmpty());
        EXPECT_FALSE(w.channel.IsOpen());
        EXPECT_EQ(w.dlg.Doc().GET(QorDoc::kIdHwAddress), "");
        std::vector<std::string> texts = w.ui.MessageTexts();
        // A line that hung up is no link error: it is reported as the device gone, once.
        std::string expected = w.channel.DeviceGone() ? port_problem::DeviceGoneMessage(w.channel)
                                                      : QorDoc::ResultText(code);
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end())
            << "the failure was not reported with its text";
    }

    // The pages' checks after a transfer may queue the local flags again (246, 247), which no
    // transfer sends; nothing else may be left.
    static void ExpectNothingLeftToTransfer(Window& w) {
        for (uint8_t key : w.dlg.Doc().Queue())
            EXPECT_TRUE(key == 0xF6 || key == 0xF7) << "key " << int(key) << " left in the queue";
    }

    // An upload under faults, judged against what a clean upload reads.
    void UploadUnder(const Faults& faults, uint32_t seed, int* failures = nullptr) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Values module = CleanUpload();
        Window w;
        Values before = w.All();
        wire->Set(faults, seed);
        Outcome out = Run([&] { return w.dlg.UploadFromDevice(true); });
        ExpectWithinLimits(out);
        Values after = w.All();
        if (out.code == 0) {
            EXPECT_EQ(w.dlg.ValueSource(), CUtilityDlg::kDeviceValues);
            ExpectNothingLeftToTransfer(w);
            for (const auto& [id, text] : module) EXPECT_EQ(after[id], text) << "identifier " << id;
        } else {
            if (failures) ++*failures;
            ExpectFailedCleanly(w, out.code);
            for (const auto& [id, text] : after) {
                if (id == QorDoc::kIdHwAddress) continue;
                EXPECT_TRUE(text == before[id] || text == module[id])
                    << "identifier " << id << " holds \"" << text << "\", neither the old \""
                    << before[id] << "\" nor the module's \"" << module[id] << "\"";
            }
        }
    }

    // A download of values of its own into the module, under faults; a clean upload then
    // tells what the module holds.
    void DownloadUnder(const Faults& faults, uint32_t seed, int* failures = nullptr) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::map<int, Bytes> original = ModuleImage();
        Values oldValues = CleanUpload();
        SeedModule(static_cast<int>(seed));
        Window w;
        ASSERT_EQ(w.dlg.UploadFromDevice(true), 0) << w.ui.LastMessage();
        Values newValues = w.All();
        RestoreModule(original);

        w.dlg.Link().downloadAll = 1;
        wire->Set(faults, seed);
        Outcome out = Run([&] { return w.dlg.DownloadToDevice(); });
        ExpectWithinLimits(out);
        if (out.code == 0) {
            ExpectNothingLeftToTransfer(w);
        } else {
            if (failures) ++*failures;
            ExpectFailedCleanly(w, out.code);
        }
        w.channel.Close();  // one reader on the line at a time
        if (wire->HungUp()) NewWire();
        Values held = CleanUpload();
        for (const auto& [id, text] : held) {
            if (out.code == 0) {
                EXPECT_EQ(text, newValues[id]) << "identifier " << id;
            } else {
                EXPECT_TRUE(text == oldValues[id] || text == newValues[id])
                    << "the module holds \"" << text << "\" for identifier " << id;
            }
        }
    }

    std::unique_ptr<SimModule> sim;
    std::unique_ptr<FaultyWire> wire;
};

// The relay itself changes nothing on a clean line.
TEST_F(FaultInjectionTest, CleanLineUploadsTheModulesValues) {
    SeedModule();
    Values v = CleanUpload();
    EXPECT_EQ(v[QorDoc::kIdFirstRoute + 7], "010.007.107.008");
    EXPECT_EQ(v[QorDoc::kIdFirstEmailDest + 3], "op03.0@plant.example.com");
    EXPECT_EQ(wire->Injected(), 0);
}

TEST_F(FaultInjectionTest, RandomNaksDuringUpload) {
    SeedModule();
    Faults f;
    f.nakRequest = 0.05;
    for (uint32_t seed : {11u, 12u, 13u}) UploadUnder(f, seed);
}

TEST_F(FaultInjectionTest, RandomNaksDuringDownload) {
    Faults f;
    f.nakRequest = 0.05;
    for (uint32_t seed : {21u, 22u}) DownloadUnder(f, seed);
}

TEST_F(FaultInjectionTest, DroppedAcknowledgements) {
    SeedModule();
    Faults f;
    f.dropAck = 0.04;
    UploadUnder(f, 31);
    DownloadUnder(f, 32);
}

TEST_F(FaultInjectionTest, CorruptedChecksumsBothWays) {
    SeedModule();
    Faults f;
    f.corruptRequest = 0.04;
    f.corruptReply = 0.04;
    UploadUnder(f, 41);
    DownloadUnder(f, 42);
}

TEST_F(FaultInjectionTest, RepeatedFramesBothWays) {
    SeedModule();
    Faults f;
    f.repeatRequest = 0.1;
    f.repeatReply = 0.1;
    int failures = 0;
    UploadUnder(f, 51, &failures);
    DownloadUnder(f, 52, &failures);
    // A repeat is acknowledged and dropped: nothing here is a reason to fail.
    EXPECT_EQ(failures, 0);
}

TEST_F(FaultInjectionTest, ModuleFallsSilentInTheMiddleOfAnUpload) {
    SeedModule();
    Faults f;
    f.silentAfter = 40;
    int failures = 0;
    UploadUnder(f, 61, &failures);
    EXPECT_EQ(failures, 1);
}

TEST_F(FaultInjectionTest, ModuleFallsSilentInTheMiddleOfADownload) {
    Faults f;
    f.silentAfter = 40;
    int failures = 0;
    DownloadUnder(f, 71, &failures);
    EXPECT_EQ(failures, 1);
}

// The module hears and acknowledges, but answers nothing from the 30th request on.
TEST_F(FaultInjectionTest, ModuleStopsAnsweringButStillAcknowledges) {
    SeedModule();
    Values module = CleanUpload();
    std::atomic<int> asked{0};
    sim->SetResponder([&](const SimRequest&) -> std::optional<Bytes> {
        if (++asked > 30) return Bytes{};
        return std::nullopt;
    });
    Window w;
    wire->Clear();
    Outcome out = Run([&] { return w.dlg.UploadFromDevice(true); });
    sim->SetResponder(nullptr);
    EXPECT_EQ(out.code, QorDoc::kNoResponse);
    ExpectWithinLimits(out);
    ExpectFailedCleanly(w, out.code);
}

TEST_F(FaultInjectionTest, LineGoesAwayInTheMiddleOfAnUpload) {
    SeedModule();
    Faults f;
    f.hangupAfter = 25;
    int failures = 0;
    UploadUnder(f, 81, &failures);
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(wire->HungUp());
}

TEST_F(FaultInjectionTest, LineGoesAwayInTheMiddleOfADownload) {
    Faults f;
    f.hangupAfter = 25;
    int failures = 0;
    DownloadUnder(f, 91, &failures);
    EXPECT_EQ(failures, 1);
}

// Everything at once, at rates a bad cable might show.
TEST_F(FaultInjectionTest, MixedFaults) {
    SeedModule();
    Faults f;
    f.nakRequest = 0.02;
    f.corruptRequest = 0.02;
    f.repeatRequest = 0.03;
    f.dropAck = 0.02;
    f.corruptReply = 0.02;
    f.repeatReply = 0.03;
    for (uint32_t seed : {101u, 102u}) {
        UploadUnder(f, seed);
        DownloadUnder(f, seed + 50);
    }
}

}  // namespace
