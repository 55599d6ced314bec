// Time of a full upload ("QOR"), a full download ("QOR RAM") and a download with reset and
// read-back ("QOR ROM") of a web-capable module: over an unpaced pseudo-terminal, and with the
// simulated module held to 57600 and 9600 baud; each beside the wire time of the bytes that
// crossed (bytes x 10 bits / rate), all round trips included.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/device_operations.h"
#include "host/silent_ui_host.h"
#include "app/utility_dlg.h"
#include "link/serial_channel.h"
#include "pages/utility_settings_page.h"
#include "qorsim/sim_module.h"

namespace {

struct Run {
    const char* name;
    uint32_t pace;  // 0 = unpaced
    int baudIndex;  // the PC's rate and link timing
};

struct Phase {
    const char* command;
    int result;
    double seconds;
    uint64_t bytes;
    size_t requests;
};

// Prints one command's figures beside the wire time of the bytes that crossed.
void Report(const Run& run, const Phase& p, const std::string& failure) {
    uint32_t rate = LinkProfileFor(run.baudIndex).baud;
    double wire = static_cast<double>(p.bytes) * 10.0 / rate;
    std::printf("%-26s %-8s %4zu requests, %6llu bytes: %7.3f s; wire at %5u baud %7.3f s; "
                "ratio %.3f%s\n",
                run.name, p.command, p.requests, static_cast<unsigned long long>(p.bytes),
                p.seconds, rate, wire, p.seconds / wire,
                p.result == 0 ? "" : (" FAILED: " + failure).c_str());
}

bool Measure(const Run& run) {
    SimOptions options;
    options.pace = run.pace;
    // The module's restart takes little time here, so that ROM shows the link's own share.
    options.restartSilenceMs = 20;
    options.announceIntervalMs = 20;
    SimModule sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "upload: %s\n", error.c_str());
        return false;
    }
    setenv("QORW_COM1", sim.SlavePath().c_str(), 1);
    SilentUiHost host;  // its Pause returns at once: the pauses after a reset are left out
    SerialChannel channel;
    CUtilityDlg dlg(host);
    dlg.Doc().AttachChannel(channel);
    dlg.Start();
    dlg.Link().comPort = 1;
    dlg.Link().pcBaudIndex = static_cast<uint16_t>(run.baudIndex);

    auto timed = [&](const char* command, auto&& operation) {
        auto before = sim.Stats();
        size_t requests = sim.Requests().size();
        auto start = std::chrono::steady_clock::now();
        int result = operation();
        Phase p{command, result,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                sim.Stats().bytesIn + sim.Stats().bytesOut - before.bytesIn - before.bytesOut,
                sim.Requests().size() - requests};
        Report(run, p, host.lastMessage);
        return result == 0;
    };

    // Every page read, as "QOR" does.
    bool ok = timed("QOR", [&] { return dlg.UploadFromDevice(true); });
    // Every page written back, as "QOR RAM" does with the download choice "All".
    dlg.UtilitySettingsPage().DownloadGroup().Select(CUtilitySettingsPage::kDownloadAll);
    ok = ok && timed("QOR RAM", [&] {
        host.messages = 0;
        dlg.RamButton().Click();
        return host.messages == 0 ? 0 : 1;
    });
    // Written, the module reset, awaited, reconnected and read back again.
    ok = ok && timed("QOR ROM", [&] {
        host.messages = 0;
        dlg.RomButton().Click();
        return host.messages == 0 && sim.Stats().resets > 0 ? 0 : 1;
    });
    channel.Close();
    sim.Stop();
    return ok;
}

}  // namespace

int main() {
    const Run runs[] = {
        {"unpaced pseudo-terminal", 0, 0},
        {"paced at 57600 baud", 57600, 0},
        {"paced at 9600 baud", 9600, 3},
    };
    bool ok = true;
    for (const Run& run : runs)
        ok = Measure(run) && ok;
    return ok ? 0 : 1;
}
