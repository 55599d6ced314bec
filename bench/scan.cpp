// Time to find a module by scanning: a port without a module (every rate ruled out by its
// acknowledgement wait), a module at 1200 found last, a module at the saved rate, and eight
// ports side by side against the slowest of them alone. The simulated modules are fixed at
// their rates and hold their bytes to them, as a line does.
//
//   ./scan [rounds]      each single-port figure is the median of rounds (default 3)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/module_scan.h"
#include "link/serial_channel.h"
#include "qorsim/sim_module.h"

namespace {

constexpr int kSaved = 1;  // 38400, the utility's default

// A module at rate, or no module for rate 0.
std::unique_ptr<SimModule> Module(uint32_t rate) {
    SimOptions options;
    options.rate = rate;
    options.pace = rate;
    options.silent = rate == 0;
    auto sim = std::make_unique<SimModule>(options);
    if (!sim->Start()) {
        std::fprintf(stderr, "scan: cannot start the simulated module\n");
        std::exit(1);
    }
    return sim;
}

struct Timed {
    double seconds;
    std::vector<ScanResult> results;
};

Timed Scan(const std::vector<std::unique_ptr<SimModule>>& sims) {
    std::vector<ScanPort> ports;
    for (const auto& s : sims)
        ports.push_back({s->SlavePath(), {}});
    auto t0 = std::chrono::steady_clock::now();
    std::vector<ScanResult> results = ScanModules(std::move(ports), kSaved);
    std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    return {d.count(), std::move(results)};
}

bool AsExpected(const ScanResult& r, uint32_t rate) {
    return rate == 0 ? r.outcome == ScanResult::Outcome::Nothing
                     : r.outcome == ScanResult::Outcome::Module && r.rate == rate;
}

// Median time of a scan of one port with a module at rate.
double Single(uint32_t rate, int rounds, bool& ok) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        std::vector<std::unique_ptr<SimModule>> sims;
        sims.push_back(Module(rate));
        Timed t = Scan(sims);
        ok = ok && AsExpected(t.results[0], rate);
        times.push_back(t.seconds);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Print(const char* what, double seconds, double base, const char* baseName, double target,
           bool ok) {
    std::printf("%-44s %6.3f s  %5.3f x %s (target %.2f)%s\n", what, seconds, seconds / base,
                baseName, target, ok ? "" : "  WRONG RESULT");
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    double ackWaits = 0;
    for (int i = 0; i < 7; ++i)
        ackWaits += LinkProfileFor(i).ackWait / 1000.0;

    bool ok = true;
    double empty = Single(0, rounds, ok);
    Print("no module, all seven rates", empty, ackWaits, "the acknowledgement waits", 1.25, ok);
    ok = true;
    double last = Single(1200, rounds, ok);
    Print("module at 1200, found last", last, 4.5, "4.5 s", 1.0, ok);
    ok = true;
    double saved = Single(LinkProfileFor(kSaved).baud, rounds, ok);
    Print("module at the saved rate (38400)", saved, 0.5, "0.5 s", 1.0, ok);

    // Eight ports, modules at every rate and one port without: each alone, then all at once.
    const uint32_t rates[8] = {57600, 38400, 19200, 9600, 4800, 2400, 1200, 0};
    double slowest = 0;
    ok = true;
    for (uint32_t rate : rates)
        slowest = std::max(slowest, Single(rate, 1, ok));
    std::vector<std::unique_ptr<SimModule>> sims;
    for (uint32_t rate : rates)
        sims.push_back(Module(rate));
    Timed all = Scan(sims);
    for (size_t i = 0; i < sims.size(); ++i)
        ok = ok && AsExpected(all.results[i], rates[i]);
    Print("eight ports side by side", all.seconds, slowest, "the slowest port alone", 1.3, ok);
    return 0;
}
