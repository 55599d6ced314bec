#include "fleet/provisioner.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "app/device_operations.h"
#include "app/module_probe.h"
#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "fleet/param_compare.h"
#include "link/link_trace.h"
#include "link/serial_channel.h"
#include "model/qor_doc.h"

namespace {

// What the ledger keeps of an attempt's link trace: its end.
constexpr size_t kTraceLimit = 256 * 1024;

constexpr const char* kPhaseNames[] = {
    "waiting",      "identifying", "preview", "downloading", "storing", "verifying",   "done",
    "already-done", "no-row-left", "failed",  "interrupted", "removal", "port-failed", "recording"};

constexpr const char* kReadBackDiffers = "read-back differs: ";
constexpr const char* kNoModule = "no module answers";
constexpr const char* kNoModuleAnswered = "no module answered";
constexpr const char* kTakeAway = "take the module off the port";
constexpr const char* kLeftAlone = "left alone";
constexpr const char* kWouldBeLeftAlone = "would be left alone";
constexpr const char* kNoLongerHolds = "the module no longer holds its row's configuration: ";
constexpr const char* kNothingWritten = "; nothing was written";
constexpr const char* kRecording = "recording...";

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

// For every difference: key "expected" became "found" (a read-back), or key "found" where the
// row has "expected" (a module found changed).
std::string DifferencesText(const std::vector<ParamDifference>& differences, bool found = false) {
    std::string text;
    for (const ParamDifference& d : differences) {
        text += (text.empty() ? "" : ", ") + d.key + " \"" + (found ? d.second : d.first) + "\"";
        text += (found ? " where the row has \"" + d.first : " became \"" + d.second) + "\"";
    }
    return text;
}

// What the module holds, as the pages make it out, against what the window held before.
std::vector<ParamDifference> ReadBackDifferences(CUtilityDlg& dlg,
                                                 const std::vector<ParamValue>& expected) {
    dlg.StoreAllPages();
    return CompareConfigurations(expected, ConfigurationOf(dlg));
}

std::string SeriesMismatch(const std::string& module, const std::string& configuration) {
    return "the module is series " + module + ", its configuration is for series " + configuration +
           kNothingWritten;
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
    Worker(Provisioner& owner, const std::string& port, const std::atomic<bool>& runStop)
        : owner_(owner), options_(owner.options_), runStop_(runStop) {
        event_.port = port;
        channel_.SetDevice(port);
        probeDoc_.AttachChannel(channel_);
        if (options_.baudIndex >= 0) baudIndex_ = options_.baudIndex;
    }
    ~Worker() { channel_.Close(); }

    void Run();
    // Ends the unit in flight (recorded as interrupted) and the worker, from any thread.
    void Stop() {
        stop_ = true;
        channel_.RequestStop();
    }
    void Retry() { retry_ = true; }
    const std::string& Port() const { return event_.port; }
    bool Finished() const { return finished_; }
    // What the worker's windows ask between requests and during pauses: the run's stop flag
    // (set by a signal handler, which can do no more) is passed on to the link here.
    bool StopNow() {
        if (runStop_ && !stop_) Stop();
        return stop_;
    }
    std::function<bool()> Stopping() {
        return [this] { return StopNow(); };
    }

private:
    // The module a probe found: its hardware address (12 hex digits), firmware and series.
    struct Module {
        std::string hw, firmware, series;
    };

    std::unique_ptr<CUtilityDlg> NewWindow(FleetUiHost& ui);
    ModuleProbe Probe();
    // Provisions the module as a claim of the ledger gave it its row: the final phase and text.
    // why, when the module is provisioned again, is what the ledger records of it when done.
    void Provision(const UnitConfig& unit, const Ledger::Claim& claim, const std::string& why = {});
    // A module the ledger records done with its row: read back, left alone when it still holds
    // the row's configuration, else provisioned again. The final phase.
    UnitPhase CheckDone(const UnitConfig& unit, const Module& m);
    // Asks the ledger for the module's row and deals with the module accordingly: the final phase.
    UnitPhase Claim(const Module& m);
    // The port is empty: a waiting event without the last module's fields, once per change.
    void Waiting(const std::string& text);
    void Phase(UnitPhase phase, int percent = -1, std::string text = {});
    std::string Interrupted() const {
        return std::string("interrupted while ") + PhaseName(event_.phase);
    }
    Ledger::Module LedgerModule(const Module& m) const {
        return {m.hw, event_.port, m.firmware, m.series};
    }
    // Forgets the last module's fields: the port alone.
    void ClearEvent() {
        std::string port = std::move(event_.port);
        event_ = {};
        event_.port = std::move(port);
    }
    void Count(UnitPhase phase);
    bool AllRowsDone() {
        return owner_.ledger_.DoneRows(owner_.plan_) >= static_cast<int>(owner_.plan_.units.size());
    }

    Provisioner& owner_;
    const ProvisionOptions& options_;
    const std::atomic<bool>& runStop_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> retry_{false};
    SerialChannel channel_;
    QorDoc probeDoc_;     // the probe's, on channel_
    int baudIndex_ = -1;  // the rate the module is asked at, once known
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

void Provisioner::Worker::Waiting(const std::string& text) {
    if (shown_ && event_.phase == UnitPhase::Waiting && event_.text == text) return;
    ClearEvent();
    shown_ = false;
    Phase(UnitPhase::Waiting, -1, text);
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

ModuleProbe Provisioner::Worker::Probe() {
    if (baudIndex_ < 0) {
        // The rate the worker's windows use: the option, else the window's own.
        FleetUiHost ui;
        baudIndex_ = NewWindow(ui)->Link().pcBaudIndex;
    }
    return ProbeModule(channel_, probeDoc_, {baudIndex_});
}

void Provisioner::Worker::Run() {
    std::string present;  // the module last dealt with, while it is still there
    bool announcedRemoval = false;
    const auto giveUpAt =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.answerWaitMs);
    for (;;) {
        if (StopNow()) break;
        if (options_.watch && AllRowsDone()) break;
        if (present.empty()) Waiting({});
        ModuleProbe probe = Probe();
        if (StopNow()) break;  // between modules: nothing in flight
        Module m{NormaliseHwAddress(probe.hardwareAddress), probe.firmware, probe.series};
        if (probe.outcome != ModuleProbe::Outcome::Module || m.hw.empty()) {
            present.clear();
            announcedRemoval = false;
            using O = ModuleProbe::Outcome;
            bool portFailed = probe.outcome == O::PortFailed || probe.outcome == O::PortGone;
            std::string why =
                probe.outcome == O::PortFailed
                    ? OneLine(QorDoc::ResultText(QorDoc::kInvalidPort)) + ": " + probe.error
                : probe.error.empty() ? kNoModule
                                      : OneLine(probe.error);
            if (options_.preview) {
                Phase(UnitPhase::Preview, -1, why);
                break;
            }
            // A station waits for its adapter as for its module; a run waits a while.
            if (!options_.watch && (portFailed || std::chrono::steady_clock::now() >= giveUpAt)) {
                Count(UnitPhase::PortFailed);
                Phase(UnitPhase::PortFailed, -1, portFailed ? why : kNoModuleAnswered);
                break;
            }
            Waiting(portFailed ? why : "");
            FleetUiHost(Stopping()).Wait(options_.probeIntervalMs);
            continue;
        }
        bool again = retry_.exchange(false);
        if (m.hw == present && !again) {
            // The module just done is still on the port.
            if (!announcedRemoval) Phase(UnitPhase::Removal, -1, kTakeAway);
            announcedRemoval = true;
            FleetUiHost(Stopping()).Wait(options_.probeIntervalMs);
            continue;
        }
        ClearEvent();
        event_.hw = FormatHwAddress(m.hw);
        event_.firmware = m.firmware;
        event_.series = m.series;
        Phase(UnitPhase::Identifying);
        UnitPhase final = Claim(m);
        Count(final);
        if (options_.preview || !options_.watch || final == UnitPhase::Interrupted) break;
        present = m.hw;
        announcedRemoval = false;
    }
    channel_.Close();
    finished_ = true;
}

UnitPhase Provisioner::Worker::Claim(const Module& m) {
    const std::vector<UnitConfig>& units = owner_.plan_.units;
    // A module no row is made for is turned away before the ledger gives it one.
    if (!units.empty() && std::none_of(units.begin(), units.end(),
                                       [&](const UnitConfig& u) { return u.series == m.series; })) {
        Phase(UnitPhase::Failed, -1, SeriesMismatch(m.series, units.front().series));
        return UnitPhase::Failed;
    }
    Ledger::Claim claim;
    Ledger::ClaimOptions how;
    how.force = options_.force;
    how.correct = options_.correct;
    if (options_.preview) {
        // Each module of a dry run is shown the row it would get beside the others.
        std::lock_guard lk(owner_.previewMu_);
        how.preview = true;
        how.promised = &owner_.previewed_;
        claim = owner_.ledger_.ClaimRow(owner_.plan_, LedgerModule(m), how);
        if (claim.kind == Ledger::Claim::Assigned) owner_.previewed_.insert(claim.row);
    } else {
        claim = owner_.ledger_.ClaimRow(owner_.plan_, LedgerModule(m), how);
    }
    if (claim.row > 0) {
        event_.row = claim.row;
        event_.ip = units[claim.row - 1].ip;
    }
    switch (claim.kind) {
        case Ledger::Claim::Assigned:
            if (options_.preview) {
                Phase(UnitPhase::Preview, -1, "would get row " + std::to_string(claim.row));
                return UnitPhase::Preview;
            }
            Provision(units[claim.row - 1], claim);
            return event_.phase;
        case Ledger::Claim::AlreadyDone:
            return CheckDone(units[claim.row - 1], m);
        case Ledger::Claim::NoRowLeft:
            Phase(UnitPhase::NoRowLeft, -1, claim.text);
            return UnitPhase::NoRowLeft;
        default:
            Phase(UnitPhase::Failed, -1, claim.text);
            return UnitPhase::Failed;
    }
}

UnitPhase Provisioner::Worker::CheckDone(const UnitConfig& unit, const Module& m) {
    Phase(UnitPhase::Verifying);
    std::vector<ParamDifference> differences;
    std::string error;
    {
        FleetUiHost ui(Stopping(), options_.pauseScale);
        auto dlg = NewWindow(ui);
        if (!LoadConfigurationText(*dlg, ui, unit.text, error)) {
            error = OneLine(error);
        } else {
            std::vector<ParamValue> expected = ConfigurationOf(*dlg);
            size_t before = ui.Messages().size();
            dlg->UploadFromDevice(true);
            if (ui.Messages().size() != before) {
                error = OneLine(ui.Messages()[before]);
            } else {
                differences = ReadBackDifferences(*dlg, expected);
            }
        }
        channel_.Close();
    }
    if (stop_) {
        // Only read so far: nothing to record.
        Phase(UnitPhase::Interrupted, -1, Interrupted());
        return UnitPhase::Interrupted;
    }
    if (!error.empty()) {
        Phase(UnitPhase::Failed, -1, error);
        return UnitPhase::Failed;
    }
    if (differences.empty()) {
        Phase(UnitPhase::AlreadyDone, -1, options_.preview ? kWouldBeLeftAlone : kLeftAlone);
        return UnitPhase::AlreadyDone;
    }
    std::string why = kNoLongerHolds + DifferencesText(differences, true);
    if (options_.preview) {
        Phase(UnitPhase::Preview, -1,
              "would be provisioned again with row " + std::to_string(unit.row) + ": " + why);
        return UnitPhase::Preview;
    }
    Ledger::ClaimOptions again;
    again.force = true;
    again.correct = options_.correct;
    Ledger::Claim claim = owner_.ledger_.ClaimRow(owner_.plan_, LedgerModule(m), again);
    if (claim.kind != Ledger::Claim::Assigned || claim.row != unit.row) {
        Phase(UnitPhase::Failed, -1, claim.text.empty() ? why : claim.text);
        return UnitPhase::Failed;
    }
    Provision(unit, claim, why);
    return event_.phase;
}

void Provisioner::Worker::Provision(const UnitConfig& unit, const Ledger::Claim& claim,
                                    const std::string& why) {
    FleetUiHost ui(Stopping(), options_.pauseScale);
    UnitPhase phase = UnitPhase::Downloading;
    std::string outcome;
    LinkTraceRecorder trace(kTraceLimit);
    channel_.SetTraceHook(trace.Hook());
    {
        auto dlg = NewWindow(ui);
        // "All": every parameter is written, whatever the module may hold already.
        dlg->UtilitySettingsPage().DownloadGroup().Select(CUtilitySettingsPage::kDownloadAll);
        std::string error;
        if (unit.series != event_.series) {
            outcome = SeriesMismatch(event_.series, unit.series);
        } else if (!LoadConfigurationText(*dlg, ui, unit.text, error)) {
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
                } else {
                    // Connecting: no step of its own, and no measure of the step under way.
                    return;
                }
                int span = p.Upper() - p.Lower();
                int percent = span > 0 ? (p.Pos() - p.Lower()) * 100 / span : 0;
                // A step's measure only grows, whatever windows the step opens on the way.
                if (phase == event_.phase) percent = std::max(percent, event_.percent);
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
                std::vector<ParamDifference> differences = ReadBackDifferences(*dlg, expected);
                if (differences.empty()) {
                    phase = UnitPhase::Done;
                } else {
                    outcome = kReadBackDiffers + DifferencesText(differences);
                }
            }
        }
        if (phase != UnitPhase::Done) phase = UnitPhase::Failed;
    }
    // A stop ends the operation through its failure paths; what it left is interrupted.
    if (stop_ && phase != UnitPhase::Done) {
        outcome = Interrupted();
        phase = UnitPhase::Interrupted;
    }
    channel_.Close();
    channel_.SetTraceHook(nullptr);
    const char* state = phase == UnitPhase::Done          ? Ledger::kDone
                        : phase == UnitPhase::Interrupted ? Ledger::kInterrupted
                                                          : Ledger::kFailed;
    std::string text = phase != UnitPhase::Done ? outcome
                       : why.empty()            ? std::string(Ledger::kDone)
                                                : "provisioned again, " + why;
    // Nothing is reported that the ledger does not hold: an outcome it cannot take yet (a
    // server away) is kept and offered again until it is recorded or the port is stopped.
    const std::string traceText = trace.Take();
    bool recorded = owner_.ledger_.Finish(claim, state, text, traceText);
    if (!recorded) Phase(UnitPhase::Recording, -1, kRecording + (" " + owner_.ledger_.LastError()));
    while (!recorded && !StopNow()) {
        FleetUiHost(Stopping()).Wait(options_.recordRetryMs);
        recorded = owner_.ledger_.Finish(claim, state, text, traceText);
    }
    if (!recorded) {
        phase = UnitPhase::Failed;
        outcome = "the ledger could not record \"" + text + "\": " + owner_.ledger_.LastError();
    }
    Phase(phase, -1, phase == UnitPhase::Done && !why.empty() ? text : outcome);
}

Provisioner::Provisioner(const UnitPlan& plan, Ledger& ledger, ProvisionOptions options,
                         FleetObserver& observer)
    : plan_(plan), ledger_(ledger), options_(std::move(options)), observer_(observer) {}

void Provisioner::Emit(const FleetEvent& event) {
    std::lock_guard lk(mu_);
    observer_.OnEvent(event);
}

Provisioner::~Provisioner() = default;

template <typename F>
void Provisioner::ForPort(const std::string& port, F f) {
    std::lock_guard lk(workersMu_);
    for (auto& w : workers_) {
        if (w->Port() == port) f(*w);
    }
}

void Provisioner::Stop(const std::string& port) {
    ForPort(port, [](Worker& w) { w.Stop(); });
}

void Provisioner::Retry(const std::string& port) {
    ForPort(port, [](Worker& w) { w.Retry(); });
}

ProvisionSummary Provisioner::Run(const std::atomic<bool>& stop) {
    summary_ = {};
    previewed_.clear();
    {
        std::lock_guard lk(workersMu_);
        for (const std::string& port : options_.ports)
            workers_.push_back(std::make_unique<Worker>(*this, port, stop));
    }
    // Only Run changes the list, under the lock; it reads it without.
    std::vector<std::unique_ptr<Worker>>& workers = workers_;
    std::vector<std::thread> threads;
    for (auto& w : workers)
        threads.emplace_back([&w] { w->Run(); });
    // Also passed on from here, for a worker that is waiting on its link rather than asking.
    constexpr auto kStopLook = std::chrono::milliseconds(20);
    bool stopped = false;
    while (!std::all_of(workers.begin(), workers.end(), [](auto& w) { return w->Finished(); })) {
        if (stop && !stopped) {
            for (auto& w : workers)
                w->Stop();
            stopped = true;
        }
        std::this_thread::sleep_for(kStopLook);
    }
    for (std::thread& t : threads)
        t.join();
    std::lock_guard lk(workersMu_);
    workers_.clear();
    return summary_;
}
