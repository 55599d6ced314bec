#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"

// Simulated modules for provisioning runs: each reports a hardware address of its own
// (00:00:BC:1A:2B:nn) and counts the writes it is sent.
struct FleetSim {
    explicit FleetSim(int n, SimOptions options = {}) : number(n) {
        options.restartSilenceMs = 50;
        options.announceIntervalMs = 50;
        sim = std::make_unique<SimModule>(options);
        started = sim->Start();
        sim->SetResponder([this](const SimRequest& r) -> std::optional<std::vector<uint8_t>> {
            if (absent) return std::vector<uint8_t>{};
            if (r.command == 0x08) {
                ++writes;
                if (dropWrites) return std::vector<uint8_t>{};
            }
            if (r.command == 0x01 && r.key == 0xFE) {
                return std::vector<uint8_t>{0x00,
                                            0xFE,
                                            0x41,
                                            0x00,
                                            static_cast<uint8_t>(r.transaction & 0xFF),
                                            static_cast<uint8_t>(r.transaction >> 8),
                                            0x00,
                                            0x00,
                                            0xBC,
                                            0x1A,
                                            0x2B,
                                            static_cast<uint8_t>(number.load())};
            }
            return std::nullopt;
        });
    }
    ~FleetSim() { sim->Stop(); }

    std::string Path() const { return sim->SlavePath(); }
    std::string Hw() const {
        char text[32];
        std::snprintf(text, sizeof text, "00:00:BC:1A:2B:%02X", number.load());
        return text;
    }

    std::atomic<int> number;          // a new number: another module on the same port
    std::atomic<bool> absent{false};  // taken off the port: nothing answers
    bool started = false;
    std::unique_ptr<SimModule> sim;
    std::atomic<int> writes{0};
    std::atomic<bool> dropWrites{false};  // writes go unanswered: the unit fails
};

// A window on a channel of its own to one device, as a person would read a module back.
struct DeviceWindow {
    explicit DeviceWindow(const std::string& device) {
        channel.SetDevice(device);
        dlg.Doc().AttachChannel(channel);
        dlg.Start();
    }
    ~DeviceWindow() { channel.Close(); }
    // "&QOR"; true when it read the module without a word.
    bool Upload() {
        size_t before = ui.Messages().size();
        dlg.OnQor();
        return ui.Messages().size() == before;
    }

    SerialChannel channel;
    FleetUiHost ui;
    CUtilityDlg dlg{ui};
};

// A template as a technician makes one: what a module out of the box holds, read back and saved
// as a text file. also, where given, sees the window that read it. False when a step failed.
inline bool SaveOutOfBoxTemplate(const std::string& path,
                                 const std::function<void(CUtilityDlg&)>& also = {}) {
    FleetSim source(0xEE);
    DeviceWindow w(source.Path());
    if (!source.started || !w.Upload() || !w.dlg.SaveTextFile(path)) return false;
    if (also) also(w.dlg);
    return true;
}
