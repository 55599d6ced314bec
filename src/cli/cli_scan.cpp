#include "cli/cli_scan.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/cli_app.h"
#include "cli/cli_json.h"
#include "cli/serial_ports.h"
#include "files/settings_file.h"
#include "link/serial_port.h"

namespace {

constexpr const char* kNoPorts = "qorwctl: no serial port to scan\n";

std::string Rates(const std::vector<uint32_t>& rates) {
    std::string text;
    for (uint32_t r : rates)
        text += (text.empty() ? "" : " ") + std::to_string(r);
    return text;
}

// What the last column says of a port without a module.
std::string Why(const ScanResult& r) {
    using O = ScanResult::Outcome;
    switch (r.outcome) {
        case O::Nothing:
            return "no module (tried " + Rates(r.ratesTried) + ")";
        case O::PortFailed:
            return "cannot open: " + r.error;
        case O::Unidentified: {
            std::string error = r.error;
            std::replace(error.begin(), error.end(), '\n', ' ');
            return "answered at " + std::to_string(r.rate) + " but: " + error;
        }
        case O::Stopped:
            return "cancelled";
        case O::PortGone: {
            std::string error = r.error;
            std::replace(error.begin(), error.end(), '\n', ' ');
            return error;
        }
        case O::Module:
            break;
    }
    return JsonText(r.identification);
}

// Lines as the JSON objects come, each whole: ports finish on threads of their own.
class JsonLines : public ScanObserver {
public:
    void PortFinished(size_t, const ScanResult& result) override {
        std::lock_guard lk(mu_);
        std::printf("%s\n", ScanJson(result).c_str());
        std::fflush(stdout);
    }

private:
    std::mutex mu_;
};

}  // namespace

std::string ScanJson(const ScanResult& r) {
    nlohmann::ordered_json j;
    j["device"] = r.device;
    j["adapter"] = JsonText(r.label);
    j["result"] = ScanResult::OutcomeName(r.outcome);
    j["ratesTried"] = r.ratesTried;
    if (r.outcome == ScanResult::Outcome::Module) {
        j["rate"] = r.rate;
        j["identification"] = JsonText(r.identification);
        j["firmware"] = JsonText(r.firmware);
        j["series"] = r.series;
        j["web"] = r.web;
        j["hardwareAddress"] = r.hardwareAddress;
    } else if (!r.error.empty()) {
        if (r.outcome == ScanResult::Outcome::Unidentified) j["rate"] = r.rate;
        j["error"] = JsonText(r.error);
    }
    return JsonLine(j);
}

std::string ScanTable(const std::vector<ScanResult>& results) {
    std::vector<std::vector<std::string>> rows = {
        {"DEVICE", "ADAPTER", "RATE", "FIRMWARE", "SERIES", "WEB", "HARDWARE ADDRESS", "MODULE"}};
    for (const ScanResult& r : results) {
        bool found = r.outcome == ScanResult::Outcome::Module;
        rows.push_back({r.device, r.label.empty() ? "-" : JsonText(r.label),
                        found ? std::to_string(r.rate) : "-", found ? JsonText(r.firmware) : "-",
                        found ? r.series : "-", found ? (r.web ? "yes" : "no") : "-",
                        found ? r.hardwareAddress : "-", Why(r)});
    }
    return ColumnsText(rows);
}

int ScanExitStatus(const std::vector<ScanResult>& results) {
    auto any = [&](ScanResult::Outcome o) {
        return std::any_of(results.begin(), results.end(),
                           [o](const ScanResult& r) { return r.outcome == o; });
    };
    if (any(ScanResult::Outcome::Module)) return kExitOk;
    bool noneOpened = std::all_of(results.begin(), results.end(), [](const ScanResult& r) {
        return r.outcome == ScanResult::Outcome::PortFailed ||
               r.outcome == ScanResult::Outcome::PortGone;
    });
    return noneOpened ? kExitLink : kExitRefused;
}

int RunScan(const CliOptions& options) {
    if (std::string same = SamePortTwice(options.ports); !same.empty()) {
        std::fprintf(stderr, "qorwctl: %s\nTry 'qorwctl --help'.\n", same.c_str());
        return kExitUsage;
    }
    std::vector<ScanPort> ports;
    for (const std::string& p : options.ports) {
        std::optional<int> com = ComNumberOf(p);
        ScanPort port = ScanPortFor(DeviceNamed(p));
        if (com && port.label.empty()) port.label = "COM" + std::to_string(*com);
        ports.push_back(std::move(port));
    }
    if (options.ports.empty()) ports = PresentScanPorts();
    if (ports.empty()) {
        std::fputs(kNoPorts, stderr);
        return kExitLink;
    }
    int first = 1;
    if (options.baudIndex) {
        first = *options.baudIndex;
    } else if (CSettingsFile::ReadResult saved = CSettingsFile::Read(); saved.ok) {
        first = saved.baudIndex;
    }

    JsonLines lines;
    std::vector<ScanResult> results =
        ScanModules(std::move(ports), first, options.json ? &lines : nullptr);
    if (!options.json) {
        std::fputs(ScanTable(results).c_str(), stdout);
        std::fflush(stdout);
    }
    return ScanExitStatus(results);
}
