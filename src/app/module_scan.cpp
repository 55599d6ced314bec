#include "app/module_scan.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "link/serial_channel.h"
#include "link/serial_devices.h"
#include "link/serial_port.h"
#include "model/qor_doc.h"

namespace {

constexpr int kRateCount = 7;
constexpr int kPortCount = 32;

}  // namespace

// What one port's thread owns; Cancel only asks its channel to stop.
struct ModuleScan::Worker {
    SerialChannel channel;
    QorDoc doc;

    Worker() { doc.AttachChannel(channel); }
};

ModuleScan::ModuleScan(std::vector<ScanPort> ports, int firstBaudIndex, ScanObserver* observer)
    : ports_(std::move(ports)),
      firstBaudIndex_(firstBaudIndex >= 0 && firstBaudIndex < kRateCount ? firstBaudIndex : 1),
      observer_(observer),
      results_(ports_.size()) {
    // Built here rather than on the threads: their constructors draw on the process's
    // pseudo-random generator.
    for (size_t i = 0; i < ports_.size(); ++i)
        workers_.push_back(std::make_unique<Worker>());
}

ModuleScan::~ModuleScan() {
    Cancel();
    Wait();
}

std::vector<int> ModuleScan::RateOrder(int firstBaudIndex) {
    std::vector<int> order;
    if (firstBaudIndex >= 0 && firstBaudIndex < kRateCount) order.push_back(firstBaudIndex);
    for (int i = 0; i < kRateCount; ++i) {
        if (i != firstBaudIndex) order.push_back(i);
    }
    return order;
}

void ModuleScan::Start() {
    for (size_t i = 0; i < ports_.size(); ++i)
        threads_.emplace_back(&ModuleScan::Run, this, i);
}

void ModuleScan::Cancel() {
    cancelled_ = true;
    for (auto& w : workers_)
        w->channel.RequestStop();
}

void ModuleScan::Wait() {
    for (std::thread& t : threads_) {
        if (t.joinable()) t.join();
    }
}

void ModuleScan::Run(size_t index) {
    Worker& w = *workers_[index];
    ScanResult& r = results_[index];
    w.channel.SetDevice(ports_[index].device);
    auto rateStarted = [&](uint32_t rate) {
        if (observer_) observer_->RateStarted(index, rate);
    };
    static_cast<ModuleProbe&>(r) =
        ProbeModule(w.channel, w.doc, RateOrder(firstBaudIndex_), rateStarted);
    r.device = ports_[index].device;
    r.label = ports_[index].label;
    if (observer_) observer_->PortFinished(index, r);
}

std::vector<ScanResult> ScanModules(std::vector<ScanPort> ports, int firstBaudIndex,
                                    ScanObserver* observer) {
    ModuleScan scan(std::move(ports), firstBaudIndex, observer);
    scan.Start();
    scan.Wait();
    return scan.Results();
}

std::vector<ScanPort> PresentScanPorts() {
    std::vector<ScanPort> ports;
    for (const SerialDevice& d : FindSerialDevices())
        ports.push_back({d.devnode, d.Label()});
    for (int n = 1; n <= kPortCount; ++n) {
        std::string variable = "QORW_COM" + std::to_string(n);
        const char* device = std::getenv(variable.c_str());
        if (!device || !*device || ::access(device, F_OK) != 0) continue;
        bool listed = std::any_of(ports.begin(), ports.end(),
                                  [&](const ScanPort& p) { return SameDevice(p.device, device); });
        if (!listed) ports.push_back({device, variable});
    }
    return ports;
}

ScanPort ScanPortFor(const std::string& device) {
    for (const SerialDevice& d : FindSerialDevices()) {
        if (SameDevice(d.devnode, device) || (!d.byId.empty() && SameDevice(d.byId, device)))
            return {device, d.Label()};
    }
    return {device, {}};
}

int ComPortForDevice(const std::string& device) {
    for (int n = 1; n <= kPortCount; ++n) {
        if (SameDevice(DeviceForPort(n), device)) return n;
    }
    return 0;
}
