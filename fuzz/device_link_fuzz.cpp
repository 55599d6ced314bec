// The command layer and the device operations against a module that answers each request with
// whatever the input says: its normal answer, an arbitrary message, a reply head with data of
// any length, or a stray reply with another transaction number followed by any of those. The
// messages travel as real frames over a pseudo-terminal into the channel's reader thread, so
// they reach the operations through the receive path the program uses. Whatever comes, no
// operation may crash, every result is a known code, and after a window command the commands
// are enabled again and the progress window is closed.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/utility_dlg.h"
#include "fuzz_host.h"
#include "link/frame.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"
#include "qorsim/sim_module.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Read and written single keys: a text, an address, the identity node and keys the module does
// not keep.
constexpr int kKeys[] = {0x01, 0x2A, 0x64, 0xC7, 0xF2, 0xF8, 0xFA, 0xFD, 0xFE, 0x00, 0x47};

struct Rig {
    SimModule sim{Options()};
    SerialChannel channel;
    using Clock = std::chrono::steady_clock;
    std::mutex mu;
    std::condition_variable wake;
    FuzzInput replies{nullptr, 0};
    bool answerWhenDone = true;
    bool stop = false;
    Clock::time_point lastAsked = Clock::now();
    std::thread watchdog;

    static SimOptions Options() {
        SimOptions o;
        o.restartSilenceMs = 1;
        o.announceIntervalMs = 5;
        return o;
    }

    Rig() {
        std::string error;
        if (!sim.Start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            std::abort();
        }
        channel.SetDevice(sim.SlavePath());
        sim.SetResponder([this](const SimRequest& r) { return Answer(r); });
        watchdog = std::thread([this] { Watch(); });
    }
    ~Rig() {
        {
            std::lock_guard lk(mu);
            stop = true;
        }
        wake.notify_all();
        watchdog.join();
    }

    // A message the receiver drops leaves the program waiting, after a connect probe up to six
    // seconds for anything the module sends. A module that has been asked nothing for a while
    // speaks by itself, which ends such a wait early and keeps the fuzzer fast.
    void Watch() {
        std::unique_lock lk(mu);
        while (!stop) {
            wake.wait_for(lk, std::chrono::milliseconds(50));
            if (stop || Clock::now() - lastAsked < std::chrono::milliseconds(250)) continue;
            lastAsked = Clock::now();
            lk.unlock();
            sim.SendMessage({0x00, 0xFE, 0x06, 0x00, 0x34, 0x12, 0, 0, 0xBC, 0x1A, 0x2B, 0x3C});
            lk.lock();
        }
    }

    Bytes Head(const SimRequest& r, uint8_t command, uint16_t transaction) {
        return {0x00, r.node, command, 0x00, uint8_t(transaction), uint8_t(transaction >> 8)};
    }

    // One message as the input chooses it; nothing when the input is used up.
    std::optional<Bytes> Message(const SimRequest& r, uint8_t how) {
        switch (how % 3) {
            case 0:
                return std::nullopt;
            case 1: {
                std::string s = replies.Text(96);
                return Bytes(s.begin(), s.end());
            }
            default: {
                uint8_t command = replies.Byte() & 1 ? 0x41 : 0x48;
                Bytes m = Head(r, command, r.transaction);
                std::string data = replies.Text(200);
                // A reply cut anywhere, its head included.
                m.resize(std::min<size_t>(m.size(), 2 + replies.Byte() % 8));
                m.insert(m.end(), data.begin(), data.end());
                return m;
            }
        }
    }

    std::optional<Bytes> Answer(const SimRequest& r) {
        std::lock_guard lk(mu);
        lastAsked = Clock::now();
        // Once the input is used up the module answers normally, or refuses every request so
        // that a long operation ends at once; either way nothing waits for long.
        if (replies.Empty()) {
            if (answerWhenDone) return std::nullopt;
            return Bytes{0x00, r.node, uint8_t(r.command | 0x40), 0x01, uint8_t(r.transaction),
                         uint8_t(r.transaction >> 8)};
        }
        uint8_t how = replies.Byte();
        if (how & 0x80) {
            // A stray reply first, with another transaction number.
            sim.WriteRaw(wire::BuildFrame(Head(r, 0x41, uint16_t(r.transaction + 1 + how % 5))));
        }
        std::optional<Bytes> m = Message(r, how >> 2);
        if (m && m->empty()) m->push_back(0);  // always something: an empty reply waits long
        return m;
    }
};

void CheckCode(int code) {
    FUZZ_CHECK(code >= 0 && code <= 11);
}

void CheckWindow(CUtilityDlg& dlg) {
    FUZZ_CHECK(dlg.IsWindowEnabled());
    FUZZ_CHECK(dlg.QorButton().IsEnabled());
    FUZZ_CHECK(!dlg.Progress().IsOpen());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    if (size < 2 || size > 4096)
        return 0;
    FuzzInput ops(data, 2);
    uint8_t op = ops.Byte();
    uint8_t keys = ops.Byte();
    {
        std::lock_guard lk(rig.mu);
        rig.replies = FuzzInput(data + 2, size - 2);
        rig.answerWhenDone = (op & 0x80) != 0;
    }
    FuzzUiHost ui;
    CUtilityDlg dlg(ui);
    dlg.Start();
    dlg.Doc().AttachChannel(rig.channel);
    dlg.Link().pcBaudIndex = 0;
    QorDoc& doc = dlg.Doc();

    switch (op % 4) {
        case 0:
            dlg.OnQor();
            CheckWindow(dlg);
            break;
        case 1:
            dlg.OnRam();
            CheckWindow(dlg);
            break;
        case 2:
            dlg.OnQor();
            CheckWindow(dlg);
            dlg.OnRam();
            CheckWindow(dlg);
            break;
        default: {
            int code = doc.Connect(0, 1, nullptr, &ui);
            CheckCode(code);
            if (code == 0) {
                code = doc.Identify();
                CheckCode(code);
            }
            for (int i = 0; code == 0 && i < 4; ++i) {
                int key = kKeys[(keys + 3 * i) % (sizeof kKeys / sizeof kKeys[0])];
                CParam* param = doc.ParamOf(key);
                CTextParam spare;
                CParam& p = param ? *param : spare;
                code = (op >> 2) & (1 << i) ? doc.WriteParameter(key, p) : doc.ReadParameter(key, p);
                CheckCode(code);
            }
            break;
        }
    }
    // The next input starts on a closed link and a module that answers normally.
    {
        std::lock_guard lk(rig.mu);
        rig.replies = FuzzInput(nullptr, 0);
        rig.answerWhenDone = true;
    }
    doc.Disconnect();
    rig.channel.Close();
    return 0;
}
