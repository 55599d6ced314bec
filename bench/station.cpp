// The provisioning station's window: eight simulated modules held to 57600 baud, provisioned
// through the window (offscreen) against the same run through the engine alone. The window
// only shows what the engine does, so the two should take the same time (target: at most 1.10),
// and its event loop must never stall while the engine works (target: the longest gap between
// two ticks of a 5 ms timer under 50 ms).
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/utility_dlg.h"
#include "fleet/fleet_ui_host.h"
#include "fleet/ledger.h"
#include "fleet/provisioner.h"
#include "fleet/unit_plan.h"
#include "gui/station_window.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"

namespace {

constexpr uint32_t kPace = 57600;
constexpr int kProbeMs = 100;

std::vector<std::unique_ptr<SimModule>> StartModules(int n, uint32_t pace) {
    std::vector<std::unique_ptr<SimModule>> sims;
    for (int i = 0; i < n; ++i) {
        SimOptions o;
        o.pace = pace;
        o.restartSilenceMs = 20;
        o.announceIntervalMs = 20;
        o.hardwareAddress[4] = 0x2D;
        o.hardwareAddress[5] = static_cast<uint8_t>(i + 1);
        sims.push_back(std::make_unique<SimModule>(o));
        if (!sims.back()->Start()) return {};
    }
    return sims;
}

struct Quiet : FleetObserver {
    void OnEvent(const FleetEvent&) override {}
};

// Every slot armed, module after module until every row is done: the seconds it took.
double EngineAlone(const std::string& dir, int n) {
    auto sims = StartModules(n, kPace);
    ProvisionOptions o;
    o.pauseScale = 0;
    o.watch = true;
    o.probeIntervalMs = kProbeMs;
    for (auto& s : sims)
        o.ports.push_back(s->SlavePath());
    std::filesystem::remove(dir + "/engine.db");
    UnitPlan plan;
    std::string error;
    if (BuildUnitPlan(dir + "/site.txt", dir + "/units.csv", plan, error) != PlanResult::Ok)
        return -1;
    auto ledger = Ledger::Open(dir + "/engine.db", false, error);
    if (!ledger) return -1;
    Quiet quiet;
    Provisioner p(plan, *ledger, o, quiet);
    std::atomic<bool> stop{false};
    QElapsedTimer clock;
    clock.start();
    ProvisionSummary s = p.Run(stop);
    return s.done == n ? clock.elapsed() / 1000.0 : -1;
}

// A station on the bench's files, unpaused, with the ledger named.
StationWindow::Setup BenchSetup(const std::string& dir, const std::string& ledger) {
    StationWindow::Setup setup;
    setup.templatePath = QString::fromStdString(dir + "/site.txt");
    setup.unitsPath = QString::fromStdString(dir + "/units.csv");
    setup.ledgerPath = QString::fromStdString(dir + "/" + ledger);
    setup.slotsPath = QString::fromStdString(dir + "/slots");
    setup.pauseScale = 0;
    setup.probeIntervalMs = kProbeMs;
    return setup;
}

// The same through the window; the longest stall of its event loop in stallMs.
double ThroughWindow(const std::string& dir, int n, double& stallMs) {
    auto sims = StartModules(n, kPace);
    StationWindow::Setup setup = BenchSetup(dir, "window.db");
    for (auto& s : sims)
        setup.ports << QString::fromStdString(s->SlavePath());
    std::filesystem::remove(dir + "/window.db");
    StationWindow window(setup);
    window.show();
    QApplication::processEvents();
    QElapsedTimer clock, tick;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longest = std::max(longest, tick.restart()); });
    clock.start();
    if (!window.Arm()) return -1;
    tick.start();
    ticker.start();
    QEventLoop loop;
    QObject::connect(&window, &StationWindow::disarmed, &loop, &QEventLoop::quit);
    loop.exec();
    double seconds = clock.elapsed() / 1000.0;
    stallMs = static_cast<double>(longest);
    std::string error;
    auto ledger = Ledger::Open(dir + "/window.db", true, error);
    int done = 0;
    for (const Ledger::Entry& e : ledger ? ledger->Report(error) : std::vector<Ledger::Entry>{})
        done += e.state == Ledger::kDone;
    return done == n ? seconds : -1;
}

// The help page's picture of a run in progress: eight slots, two modules done and waiting to
// be taken away, three being written, one of another series turned away, two slots empty.
int Screenshot(const std::string& dir, const QString& path) {
    std::vector<std::unique_ptr<SimModule>> sims;
    StationWindow::Setup setup = BenchSetup(dir, "shot.db");
    for (int i = 0; i < 8; ++i) {
        SimOptions o;
        o.pace = i >= 2 && i < 5 ? 9600 * (i - 1) : 0;
        o.firmware = i == 5 ? "4.00" : "3.12";
        o.silent = i >= 6;
        o.hardwareAddress[4] = 0x2E;
        o.hardwareAddress[5] = static_cast<uint8_t>(i + 1);
        sims.push_back(std::make_unique<SimModule>(o));
        if (!sims.back()->Start()) return 1;
        setup.ports << QString::fromStdString(sims.back()->SlavePath());
    }
    StationWindow window(setup);
    window.resize(1500, 900);
    window.show();
    if (!window.Arm()) return 1;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    bool saved = window.grab().save(path);
    window.StopAll();
    QEventLoop loop;
    QObject::connect(&window, &StationWindow::disarmed, &loop, &QEventLoop::quit);
    loop.exec();
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // station --screenshot FILE.png: the help page's picture instead of the figures.
    QString shot = argc > 2 && std::string(argv[1]) == "--screenshot" ? argv[2] : QString();
    int modules = argc > 1 && shot.isEmpty() ? std::atoi(argv[1]) : 8;
    std::string dir =
        std::filesystem::temp_directory_path() / ("qorstation-bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // The port mapping's shared numbers go here, not into the user's settings.
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir));
    QApplication app(argc, argv);

    {
        // The template: what a module holds, read back.
        auto sims = StartModules(1, 0);
        if (sims.empty()) return 1;
        FleetUiHost ui;
        SerialChannel channel;
        channel.SetDevice(sims[0]->SlavePath());
        CUtilityDlg dlg(ui);
        dlg.Doc().AttachChannel(channel);
        dlg.Start();
        dlg.OnQor();
        if (!ui.Messages().empty() || !dlg.SaveTextFile(dir + "/site.txt")) {
            std::fprintf(stderr, "station: no template: %s\n", ui.LastMessage().c_str());
            return 1;
        }
        channel.Close();
    }
    std::string csv = "IPAddress,Gateway\n";
    for (int i = 1; i <= modules; ++i)
        csv += "10.30.0." + std::to_string(i) + ",10.30.0.254\n";
    std::ofstream(dir + "/units.csv") << csv;

    if (!shot.isEmpty()) {
        int rc = Screenshot(dir, shot);
        std::filesystem::remove_all(dir);
        return rc;
    }
    double engine = EngineAlone(dir, modules);
    double stall = 0;
    double window = ThroughWindow(dir, modules, stall);
    std::filesystem::remove_all(dir);
    if (engine < 0 || window < 0) {
        std::fprintf(stderr, "station: a unit failed\n");
        return 1;
    }
    std::printf("%d slots at %u baud, engine alone:  %7.2f s\n", modules, kPace, engine);
    std::printf("%d slots at %u baud, the window:     %7.2f s; ratio %.3f (target at most 1.10)\n",
                modules, kPace, window, window / engine);
    std::printf("longest stall of the window's event loop: %.0f ms; ratio to 50 ms %.2f\n", stall,
                stall / 50.0);
    return 0;
}
