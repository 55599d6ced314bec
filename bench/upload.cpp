// Time of a full upload of a web-capable module: over an unpaced pseudo-terminal, and with the
// simulated module held to 57600 and 9600 baud; each beside the wire time of the bytes that
// crossed (bytes x 10 bits / rate).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/device_operations.h"
#include "app/ui_host.h"
#include "app/utility_dlg.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"

namespace {

class QuietHost : public UiHost {
public:
    int messages = 0;
    std::string last;
    Answer MessageBox(const std::string& text, const std::string&, Icon, Buttons,
                      Answer defaultAnswer) override {
        ++messages;
        last = text;
        return defaultAnswer;
    }
    std::optional<std::string> OpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> SaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void ProcessPendingEvents() override {}
    void Pause(int) override {}
    void Beep() override {}
    bool OpenHelp(const std::string&) override { return false; }
    std::string ClipboardText() override { return {}; }
    void SetClipboardText(const std::string&) override {}
};

struct Run {
    const char* name;
    uint32_t pace;  // 0 = unpaced
    int baudIndex;  // the PC's rate and link timing
    int ids;        // identifiers queued: 0..ids-1
};

bool Measure(const Run& run) {
    SimOptions options;
    options.pace = run.pace;
    SimModule sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "upload: %s\n", error.c_str());
        return false;
    }
    setenv("QORW_COM1", sim.SlavePath().c_str(), 1);
    QuietHost host;
    SerialChannel channel;
    CUtilityDlg dlg(host);
    dlg.Doc().AttachChannel(channel);
    dlg.Start();
    dlg.Doc().ClearQueue();
    dlg.Link().comPort = 1;
    dlg.Link().pcBaudIndex = static_cast<uint16_t>(run.baudIndex);
    for (int id = 0; id < run.ids; ++id)
        dlg.Doc().QUEUE(id);
    size_t keys = dlg.Doc().QueueCount();

    auto start = std::chrono::steady_clock::now();
    int result = dlg.UploadFromDevice(true);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto stats = sim.Stats();
    uint64_t bytes = stats.bytesIn + stats.bytesOut;
    uint32_t rate = LinkProfileFor(run.baudIndex).baud;
    double wire = static_cast<double>(bytes) * 10.0 / rate;
    std::printf(
        "%-24s %3zu keys, %5zu requests, %7llu bytes: %8.3f s; wire time at %u baud "
        "%7.3f s; ratio %.2f%s\n",
        run.name, keys, sim.Requests().size(), static_cast<unsigned long long>(bytes), seconds,
        rate, wire, seconds / wire, result == 0 ? "" : (" FAILED: " + host.last).c_str());
    channel.Close();
    sim.Stop();
    return result == 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A reduced run ("quick") keeps the 9600 baud case to the single settings and a few tables.
    bool quick = argc > 1 && std::string(argv[1]) == "quick";
    const Run runs[] = {
        {"unpaced pseudo-terminal", 0, 0, QorDoc::kParamCount},
        {"paced at 57600 baud", 57600, 0, QorDoc::kParamCount},
        {quick ? "paced at 9600 (reduced)" : "paced at 9600 baud", 9600, 3,
         quick ? 20 : QorDoc::kParamCount},
    };
    bool ok = true;
    for (const Run& run : runs)
        ok = Measure(run) && ok;
    return ok ? 0 : 1;
}
