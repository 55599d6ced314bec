#include "fleet/provisioner.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <thread>

#include "app/device_operations.h"
#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "fleet/param_compare.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"
#include "pages/ip_addr_page.h"

namespace {

constexpr const char* kPhaseNames[] = {
    "waiting",      "identifying", "preview", "downloading", "storing", "verifying",  "done",
    "already-done", "no-row-left", "failed",  "interrupted", "removal", "port-failed"};

constexpr const char* kReadBackDiffers = "read-back differs: ";
constexpr const char* kNoModule = "no module answers";
constexpr const char* kTakeAway = "take the module off the port";

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

}  // namespace

const char* PhaseName(UnitPhase phase) {
    return kPhaseNames[static_cast<int>(phase)];
}

bool IsFinalPhase(UnitPhase phase) {
    switch (phase) {
        case UnitPhase::Done:
        case UnitPhase::AlreadyDone:
        case UnitPhase::NoRowLeft:
        case UnitPhase::Failed:
        case UnitPhase::Interrupted:
        case UnitPhase::PortFailed:
        case UnitPhase::Preview:
            return true;
        default:
            return false;
    }
}

// One port: its own channel, and a fresh window (document and pages) for every module.
class Provisioner::Worker {
public:
    Worker(Provisioner& owner, const std::string& port, const std::atomic<bool>& stop)
        : owner_(owner), options_(owner.options_), stop_(stop) {
        event_.port = port;
        channel_.SetDevice(port);
    }
    ~Worker() { channel_.Close(); }

    void Run();

private:
    struct Module {
        int result = QorDoc::kSuccess;
        std::string hw, firmware, series;
    };

    std::unique_ptr<CUtilityDlg> NewWindow(FleetUiHost& ui);
    Module Probe();
    // Provisions the module as a claim of the ledger gave it its row: the final phase and text.
    void Provision(const UnitConfig& unit, const Ledger::Claim& claim);
    void Phase(UnitPhase phase, int percent = -1, std::string text = {});
    void Count(UnitPhase phase);
    bool AllRowsDone() {
        return owner_.ledger_.DoneRows(owner_.plan_) >= static_cast<int>(owner_.plan_.units.size());
    }

    Provisioner& owner_;
    const ProvisionOptions& options_;
    const std::atomic<bool>& stop_;
    SerialChannel channel_;
    FleetEvent event_;
    bool shown_ = false;  // event_ has been emitted
};

std::unique_ptr<CUtilityDlg> Provisioner::Worker::NewWindow(FleetUiHost& ui) {
    auto dlg = std::make_unique<CUtilityDlg>(ui);
    // Before Start: its going offline must close this port's channel, not the program's.
    dlg->Doc().AttachChannel(channel_);
    dlg->Start();
    if (options_.baudIndex >= 0)
        dlg->Link().pcBaudIndex = static_cast<uint16_t>(options_.baudIndex);
    return dlg;
}

void Provisioner::Worker::Phase(UnitPhase phase, int percent, std::string text) {
    if (shown_ && phase == event_.phase && percent == event_.percent && text == event_.text) return;
    shown_ = true;
    event_.phase = phase;
    event_.percent = percent;
    event_.text = std::move(text);
    owner_.Emit(event_);
}

void Provisioner::Worker::Count(UnitPhase phase) {
    std::lock_guard lk(owner_.mu_);
    ProvisionSummary& s = owner_.summary_;
    switch (phase) {
        case UnitPhase::Done:
            ++s.done;
            break;
        case UnitPhase::AlreadyDone:
            ++s.alreadyDone;
            break;
        case UnitPhase::NoRowLeft:
            ++s.noRowLeft;
            break;
        case UnitPhase::Failed:
            ++s.failed;
            break;
        case UnitPhase::Interrupted:
            ++s.interrupted;
            break;
        case UnitPhase::PortFailed:
            ++s.portFailures;
            break;
        default:
            break;
    }
}

Provisioner::Worker::Module Provisioner::Worker::Probe() {
    FleetUiHost ui(&stop_, options_.pauseScale);
    auto dlg = NewWindow(ui);
    QorDoc& doc = dlg->Doc();
    Module m;
    m.result = doc.Connect(dlg->Link().pcBaudIndex, 1, nullptr, &ui);
    if (m.result == QorDoc::kSuccess) m.result = doc.Identify();
    for (int id : {QorDoc::kIdDiagnostics, QorDoc::kIdHwAddress}) {
        int key = QorDoc::KeyOf(id);
        if (m.result == QorDoc::kSuccess) m.result = doc.ReadParameter(key, *doc.ParamOf(key));
    }
    if (m.result == QorDoc::kSuccess) {
        m.hw = NormaliseHwAddress(doc.GET(QorDoc::kIdHwAddress));
        m.firmware = CIpAddrPage::FirmwareText(doc.GET(QorDoc::kIdDiagnostics));
        // The series as the IP address page makes it out from the firmware revision.
        dlg->IpAddrPage().LoadFromDocument(doc);
        m.series = dlg->IpAddrPage().SeriesList().CurText();
        if (m.hw.empty()) m.result = QorDoc::kCommunicationError;
    }
    channel_.Close();
    return m;
}

void Provisioner::Worker::Run() {
    std::string present;  // the module last dealt with, while it is still there
    bool announcedRemoval = false;
    try {
        for (;;) {
            if (stop_) break;
            if (options_.watch && AllRowsDone()) break;
            if (present.empty()) Phase(UnitPhase::Waiting);
            Module m = Probe();
            if (m.result != QorDoc::kSuccess) {
                present.clear();
                announcedRemoval = false;
                std::string why =
                    m.result == QorDoc::kInvalidPort
                        ? OneLine(QorDoc::ResultText(m.result)) + ": " + channel_.OpenError()
                        : kNoModule;
                if (options_.preview || (!options_.watch && m.result == QorDoc::kInvalidPort)) {
                    UnitPhase p = options_.preview ? UnitPhase::Preview : UnitPhase::PortFailed;
                    if (p == UnitPhase::PortFailed) Count(p);
                    Phase(p, -1, why);
                    break;
                }
                // A station waits for its adapter as for its module.
                Phase(UnitPhase::Waiting, -1, m.result == QorDoc::kInvalidPort ? why : "");
                FleetUiHost(&stop_).Wait(options_.probeIntervalMs);
                continue;
            }
            if (m.hw == present) {
                // The module just done is still on the port.
                if (!announcedRemoval) Phase(UnitPhase::Removal, -1, kTakeAway);
                announcedRemoval = true;
                FleetUiHost(&stop_).Wait(options_.probeIntervalMs);
                continue;
            }
            std::string port = event_.port;
            event_ = {};
            event_.port = port;
            event_.hw = FormatHwAddress(m.hw);
            event_.firmware = m.firmware;
            event_.series = m.series;
            Phase(UnitPhase::Identifying);
            Ledger::Claim claim;
            Ledger::Module module{m.hw, event_.port, m.firmware, m.series};
            Ledger::ClaimOptions how;
            how.force = options_.force;
            how.correct = options_.correct;
            if (options_.preview) {
                // Each module of a dry run is shown the row it would get beside the others.
                std::lock_guard lk(owner_.previewMu_);
                how.preview = true;
                how.promised = &owner_.previewed_;
                claim = owner_.ledger_.ClaimRow(owner_.plan_, module, how);
                if (claim.kind == Ledger::Claim::Assigned) owner_.previewed_.insert(claim.row);
            } else {
                claim = owner_.ledger_.ClaimRow(owner_.plan_, module, how);
            }
            if (claim.row > 0) {
                event_.row = claim.row;
                event_.ip = owner_.plan_.units[claim.row - 1].ip;
            }
            UnitPhase final = UnitPhase::Failed;
            switch (claim.kind) {
                case Ledger::Claim::Assigned:
                    if (options_.preview) {
                        final = UnitPhase::Preview;
                        Phase(final, -1, "would get row " + std::to_string(claim.row));
                    } else {
                        Provision(owner_.plan_.units[claim.row - 1], claim);
                        final = event_.phase;
                    }
                    break;
                case Ledger::Claim::AlreadyDone:
                    final = UnitPhase::AlreadyDone;
                    Phase(final, -1, options_.preview ? "would be left alone" : "left alone");
                    break;
                case Ledger::Claim::NoRowLeft:
                    final = UnitPhase::NoRowLeft;
                    Phase(final, -1, claim.text);
                    break;
                default:
                    Phase(final, -1, claim.text);
                    break;
            }
            Count(final);
            if (options_.preview || !options_.watch || final == UnitPhase::Interrupted) break;
            present = m.hw;
            announcedRemoval = false;
        }
    } catch (const FleetInterrupted&) {
        // Between modules: nothing is in flight.
    }
    channel_.Close();
}

void Provisioner::Worker::Provision(const UnitConfig& unit, const Ledger::Claim& claim) {
    FleetUiHost ui(&stop_, options_.pauseScale);
    UnitPhase phase = UnitPhase::Downloading;
    std::string outcome;
    try {
        auto dlg = NewWindow(ui);
        // "All": every parameter is written, whatever the module may hold already.
        dlg->UtilitySettingsPage().DownloadGroup().Select(CUtilitySettingsPage::kDownloadAll);
        std::string error;
        if (!LoadConfigurationText(*dlg, ui, unit.text, error)) {
            outcome = OneLine(error);
        } else {
            std::vector<ParamValue> expected = ConfigurationOf(*dlg);
            CUtilityDlg* d = dlg.get();
            dlg->Progress().SetListener([this, d, &phase] {
                const CProgressWnd& p = d->Progress();
                if (!p.IsOpen()) return;
                const std::string& title = p.Title();
                if (title == device_ops::kDownloading) {
                    phase = UnitPhase::Downloading;
                } else if (title == device_ops::kUploading) {
                    phase = UnitPhase::Verifying;
                } else if (title == device_ops::kResetTexts[0] || title == device_ops::kWaitTitle) {
                    phase = UnitPhase::Storing;
                }
                int span = p.Upper() - p.Lower();
                int percent = span > 0 ? (p.Pos() - p.Lower()) * 100 / span : 0;
                Phase(phase, std::clamp(percent, 0, 100));
            });
            Phase(UnitPhase::Downloading, 0);
            size_t before = ui.Messages().size();
            if (options_.ram) {
                dlg->OnRam();
                if (ui.Messages().size() == before) dlg->UploadFromDevice(true);
            } else {
                dlg->OnRom();
            }
            dlg->Progress().SetListener(nullptr);
            if (ui.Messages().size() != before) {
                outcome = OneLine(ui.Messages()[before]);
            } else {
                // What the pages make of the module's values, as verify compares them.
                dlg->StoreAllPages();
                std::vector<ParamDifference> differences =
                    CompareConfigurations(expected, ConfigurationOf(*dlg));
                if (differences.empty()) {
                    phase = UnitPhase::Done;
                } else {
                    outcome = kReadBackDiffers;
                    for (size_t i = 0; i < differences.size(); ++i) {
                        const ParamDifference& d = differences[i];
                        outcome += (i ? ", " : "") + d.key + " \"" + d.first + "\" became \"" +
                                   d.second + "\"";
                    }
                }
            }
        }
        if (phase != UnitPhase::Done) phase = UnitPhase::Failed;
    } catch (const FleetInterrupted&) {
        outcome = std::string("interrupted while ") + PhaseName(event_.phase);
        phase = UnitPhase::Interrupted;
    }
    channel_.Close();
    const char* state = phase == UnitPhase::Done          ? Ledger::kDone
                        : phase == UnitPhase::Interrupted ? Ledger::kInterrupted
                                                          : Ledger::kFailed;
    std::string text = phase == UnitPhase::Done ? std::string(Ledger::kDone) : outcome;
    if (!owner_.ledger_.Finish(claim, state, text)) {
        phase = UnitPhase::Failed;
        outcome = "the ledger could not record \"" + text + "\": " + owner_.ledger_.LastError();
    }
    Phase(phase, -1, outcome);
}

Provisioner::Provisioner(const UnitPlan& plan, Ledger& ledger, ProvisionOptions options,
                         FleetObserver& observer)
    : plan_(plan), ledger_(ledger), options_(std::move(options)), observer_(observer) {}

void Provisioner::Emit(const FleetEvent& event) {
    std::lock_guard lk(mu_);
    observer_.OnEvent(event);
}

ProvisionSummary Provisioner::Run(const std::atomic<bool>& stop) {
    summary_ = {};
    previewed_.clear();
    std::vector<std::unique_ptr<Worker>> workers;
    for (const std::string& port : options_.ports)
        workers.push_back(std::make_unique<Worker>(*this, port, stop));
    std::vector<std::thread> threads;
    for (auto& w : workers)
        threads.emplace_back([&w] { w->Run(); });
    for (std::thread& t : threads)
        t.join();
    return summary_;
}
